#include "app/core/app_state.h"
#include "app/core/data_file.h"
#include "support/window_fixture.h"
#include "timing/capture_journal.h"
#include "timing/frm_timer.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <QLockFile>

#include <memory>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lm;
using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmTimer> {
    QString timesFile() const { return dataFile("TIMES EV  7", ".LMT"); }
    void space() {
        QWidget* target = window->focusWidget() ? window->focusWidget() : window.get();
        QTest::keyClick(target, Qt::Key_Space);
    }
    void start() { click("CmdStart"); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    QString journal() const {
        return dir.path() + "/recovery/ 3-14-2018 Girls 5K TIMES EV  7.LMT.journal";
    }
    int count(const QString& prompt) const {
        int n = 0;
        for (const Message& m : t.dialogs.messages)
            n += m.prompt.startsWith(prompt);
        return n;
    }
    // The program dies with the window open: the next opening is a new window.
    FrmTimer& reopenAfterCrash(QList<Answer> answers) {
        t.dialogs.answers = answers;
        t.dialogs.messages.clear();
        return open();
    }
};

const QString kRestoreAsk = "Times captured for this event were not saved.";
const QString kNotResumed = "The race clock could not be resumed";
const QString kUnprotected = "Times are NOT being protected against a crash";
const QString kElsewhere = "This event is being timed in another Lapmark window";

} // namespace

class TestFrmTimer : public QObject {
    Q_OBJECT
  private slots:
    void loadsEarlierTimesAndAlwaysReminds() {
        Fixture f;
        putFile(f.timesFile(), "12.36\r\n\r\n1:05.44\r\n");
        FrmTimer& w = f.open();
        QCOMPARE(w.windowTitle(), QStringLiteral("Capture Times for EVENT # 7"));
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:05.44"}));
        QCOMPARE(f.label("Label5"), QStringLiteral("Timing Ev# 7"));
        QCOMPARE(f.t.dialogs.messages.size(), 1);
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 "If networked to the main computer so that TIMES may be imported as they are "
                 "recorded, then inform the main computer operator that the file containing the "
                 "TIMES is \r\r  no path set 3-14-2018 Girls 5K TIMES EV  7.LMT.\r\rIt a stop "
                 "watch or other timer is started at the START of the race, Lapmark may then be "
                 "started at any known time later than the actual start since Podiax can add any "
                 "time difference to ALL the times once they have been imported.");

        Fixture empty;
        FrmTimer& w2 = empty.open();
        QCOMPARE(w2.windowTitle(), QStringLiteral("Time Capture"));
        QVERIFY(w2.lines().isEmpty());
        QCOMPARE(empty.t.dialogs.messages.size(), 1);
    }

    void spaceBarCapturesNumberedTimes() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        QVERIFY(w.timerRunning());
        QCOMPARE(f.child<QWidget>("CmdTime"), w.focusWidget());
        QCOMPARE(f.label("Label2"), QStringLiteral("Timer Started"));
        f.t.clock.advance(2345);
        f.space();
        f.t.clock.advance(60000);
        f.space();
        f.t.clock.advance(1);
        f.space();
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:12.36", "3       1:12.36"}));
        auto* list = f.child<QListWidget>("ListTimes");
        QCOMPARE(list->currentRow(), 2);
        QVERIFY(list->currentItem()->isSelected());
    }

    void anyMouseButtonCaptures() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        QTest::mousePress(f.child<QPushButton>("CmdTime"), Qt::RightButton);
        QTest::mousePress(f.child<QPushButton>("CmdTime"), Qt::LeftButton);
        QCOMPARE(w.lines().size(), 2);
    }

    void refusals_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        const QString notRunning = "Timer not running. Start timer first.";
        const QString stopFirst = "Timer is running. Stop timer first.";
        QTest::newRow("start with times")
            << "stopped with times"
            << "CmdStart"
            << "Existing times must be cleared in order to start timing.";
        QTest::newRow("capture stopped") << "stopped with times"
                                         << "space" << notRunning;
        QTest::newRow("check stopped") << "stopped empty"
                                       << "CmdCheckTime" << notRunning;
        QTest::newRow("delete nothing selected")
            << "stopped empty"
            << "CmdDelete"
            << "Time not selected, select which time to delete.";
        QTest::newRow("start after capture")
            << "running with times"
            << "CmdStart"
            << "Existing times must be cleared in order to start timing.";
        QTest::newRow("delete running") << "running with times"
                                        << "CmdDelete"
                                        << "Timer is running, stop timer to edit times.";
        QTest::newRow("clear running") << "running with times"
                                       << "CmdClear" << stopFirst;
        QTest::newRow("save and exit running") << "running empty"
                                               << "CmdSave" << stopFirst;
    }
    void refusals() {
        QFETCH(QString, situation);
        QFETCH(QString, action);
        QFETCH(QString, message);
        Fixture f;
        if (situation.contains("stopped with times"))
            putFile(f.timesFile(), "1.01\r\n2.02\r\n");
        FrmTimer& w = f.open();
        if (situation.startsWith("running")) {
            f.start();
            if (situation.endsWith("with times"))
                f.space();
        }
        const QStringList before = w.lines();
        const bool running = w.timerRunning();
        const int messagesBefore = f.t.dialogs.messages.size();
        if (action == "space")
            f.space();
        else
            f.click(action.toLatin1().constData());
        QCOMPARE(f.t.dialogs.messages.size(), messagesBefore + 1);
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Reminder"));
        QCOMPARE(f.t.dialogs.lastPrompt(), message);
        QCOMPARE(w.lines(), before);
        QCOMPARE(w.timerRunning(), running);
        QVERIFY(w.isVisible());
    }

    void startTwiceBeforeFirstCaptureRestartsTheClock() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.t.clock.advance(50000);
        f.start();
        f.space();
        QCOMPARE(w.lines(), QStringList{"1         10.00"}); // the ten seconds of the display
    }

    void checkShowsTimeWithoutAddingALine() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.t.clock.advance(55432);
        f.click("CmdCheckTime");
        QCOMPARE(f.label("Label10"), QStringLiteral("1:05.44"));
        QVERIFY(w.lines().isEmpty());
    }

    void stopEmptiesDisplayAndStopsClock() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.space();
        f.click("CmdStop");
        QVERIFY(!w.timerRunning());
        QCOMPARE(f.label("Label2"), QStringLiteral("Timer Stopped"));
        QCOMPARE(f.label("Label10"), QString());
    }

    void deleteRenumbers() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n2.02\r\n3.03\r\n4.04\r\n");
        FrmTimer& w = f.open();
        f.child<QListWidget>("ListTimes")->setCurrentRow(1);
        f.click("CmdDelete");
        QCOMPARE(w.lines(), (QStringList{"1          1.01", "2          3.03", "3          4.04"}));
    }

    void clearAsksFirst() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n");
        FrmTimer& w = f.open();
        f.t.dialogs.answers = {Answer::No};
        f.click("CmdClear");
        QCOMPARE(w.lines().size(), 1);
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Confirm"));
        QCOMPARE(f.t.dialogs.lastPrompt(), QStringLiteral("Should ALL times be DELETED?"));
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        QVERIFY(w.lines().isEmpty());
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("1.01\r\n")); // file untouched
    }

    void saveCurrentWhileRunning() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.space();
        f.click("CmdSaveCurrentTimes");
        QVERIFY(w.timerRunning());
        QVERIFY(f.child<QLabel>("Label9")->isVisible());
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("10.00\r\n"));
        QCOMPARE(f.t.dialogs.messages.size(), 1); // only the load reminder
        f.space();
        QVERIFY(!f.child<QLabel>("Label9")->isVisible());
        QVERIFY(!QFile::exists(versionedName(f.timesFile(), 0)));
    }

    void finalSavesKeepLetteredVersions() {
        Fixture f;
        for (int run = 0; run < 4; ++run) {
            putFile(f.dir.filePath("marker"), QByteArray::number(run));
            FrmTimer& w = f.open();
            w.CmdClear_Click();
            f.start();
            for (int i = 0; i <= run; ++i)
                f.space();
            f.click("CmdStop");
            if (run == 3) {
                f.click("CmdSaveCurrentTimes");
                f.click("CmdSaveCurrentTimes");
            }
            f.click("CmdSave");
            QVERIFY(!w.isVisible());
            QCOMPARE(f.t.dialogs.lastPrompt(),
                     "File of times saved as: \r\r   " + f.timesFile() +
                         ".\r\r\rOLDER versions of times for THIS EVENT have a letter A,B,C... "
                         "appended to the file name");
        }
        QCOMPARE(fileBytes(versionedName(f.timesFile(), 0)).count("\r\n"), 1);
        QCOMPARE(fileBytes(versionedName(f.timesFile(), 1)).count("\r\n"), 2);
        QCOMPARE(fileBytes(versionedName(f.timesFile(), 2)).count("\r\n"), 4); // the current saves
        QVERIFY(!QFile::exists(versionedName(f.timesFile(), 3)));
        QCOMPARE(fileBytes(f.timesFile()).count("\r\n"), 4);
    }

    void emptyListFinalSave() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n");
        FrmTimer& w = f.open();
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        f.click("CmdSave");
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Note"));
        QCOMPARE(f.t.dialogs.lastPrompt(), QStringLiteral("No times saved."));
        QCOMPARE(fileBytes(f.timesFile()), QByteArray());
        QCOMPARE(fileBytes(versionedName(f.timesFile(), 0)), QByteArray("1.01\r\n"));
        QVERIFY(!w.isVisible());
    }

    void failedPrimaryWriteKeepsWindowAndTimes() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n");
        FrmTimer& w = f.open();
        f.t.files.failWrites = {"TIMES EV  7.LMT"}; // the older version can be kept
        f.click("CmdSave");
        QVERIFY(w.isVisible());
        QCOMPARE(w.lines(), QStringList{"1          1.01"});
        QVERIFY(f.t.dialogs.lastPrompt().contains("NOT saved"));
        QVERIFY(f.t.dialogs.lastPrompt().contains(f.timesFile()));
        QCOMPARE(f.t.files.atomicWrites, kWriteAttempts);
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("1.01\r\n"));
        f.click("CmdSaveCurrentTimes");
        QVERIFY(!f.child<QLabel>("Label9")->isVisible());
    }

    void earlierFileThatCannotBeKeptIsNotReplaced() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n");
        FrmTimer& w = f.open();
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        f.t.files.failWrites = {"EV  7A.LMT"};
        f.click("CmdSave");
        QVERIFY(w.isVisible());
        QVERIFY(f.t.dialogs.lastPrompt().contains("could not be kept"));
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("1.01\r\n"));
    }

    void readOnlyProgramFolder() {
        Fixture f;
        const QByteArray folder = QFile::encodeName(f.dir.path());
        if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount(folder.constData()); });
        putFile(f.timesFile(), "1.01\r\n2.02\r\n");
        QVERIFY(::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) ==
                0);
        FrmTimer& w = f.open();
        f.click("CmdSaveCurrentTimes");
        QVERIFY(f.t.dialogs.lastPrompt().contains("NOT saved"));
        QCOMPARE(f.t.files.atomicWrites, kWriteAttempts);
        f.click("CmdSave");
        QVERIFY(w.isVisible());
        QVERIFY(f.t.dialogs.lastPrompt().contains("could not be kept"));
        QCOMPARE(w.lines().size(), 2);
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("1.01\r\n2.02\r\n"));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void secondaryCopyFollowsEverySave_data() {
        QTest::addColumn<QString>("secondary");
        QTest::addColumn<int>("messages"); // after the load reminder
        QTest::newRow("folder") << "usb/" << 0;
        QTest::newRow("vanished folder") << "gone/" << 1;
        QTest::newRow("no path set") << "no path set" << 0;
        QTest::newRow("NO PATH SET") << "NO PATH SET" << 0;
        QTest::newRow("empty: the primary itself") << "" << 1;
    }
    void secondaryCopyFollowsEverySave() {
        QFETCH(QString, secondary);
        QFETCH(int, messages);
        Fixture f;
        QDir(f.dir.path()).mkdir("usb");
        QDir::setCurrent(f.dir.path());
        f.state.SecondaryPath =
            secondary.endsWith('/') ? f.dir.path() + "/" + secondary : secondary;
        FrmTimer& w = f.open();
        f.start();
        f.space();
        w.CmdSaveCurrentTimes_Click();
        QCOMPARE(f.t.dialogs.messages.size(), 1 + messages);
        if (messages)
            QCOMPARE(f.t.dialogs.lastPrompt(),
                     "Error!  Secondary file not saved.\r\rManually copy: " + f.timesFile() +
                         " if data needed elsewhere");
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("10.00\r\n"));
        if (secondary == "usb/")
            QCOMPARE(fileBytes(w.secondaryTimesFile()), QByteArray("10.00\r\n"));
        QCOMPARE(QDir(f.dir.filePath("usb")).entryList(QDir::Files | QDir::Hidden).size(),
                 secondary == "usb/" ? 1 : 0);
    }

    void closeBoxAsksWhileTimesAreUnsaved() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.space();
        f.t.dialogs.answers = {Answer::No};
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Confirm"));
        QCOMPARE(f.t.dialogs.messages.last().defaultButton, Answer::No);
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 QStringLiteral("Times captured since the last save will be lost.  Close anyway?"));
        f.click("CmdStop");
        f.click("CmdSaveCurrentTimes");
        const int asked = f.t.dialogs.messages.size();
        QVERIFY(w.close());
        QCOMPARE(f.t.dialogs.messages.size(), asked); // saved and stopped: no question
    }

    void crashedRaceIsOfferedBack_data() {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("restore") << Answer::Yes;
        QTest::newRow("set aside") << Answer::No;
    }
    void crashedRaceIsOfferedBack() {
        QFETCH(Answer, answer);
        Fixture f;
        putFile(f.timesFile(), "5.00\r\n6.00\r\n");
        f.open();
        f.click("CmdClear"); // answered Yes
        f.start();
        for (int ms : {2345, 1000, 60000}) {
            f.t.clock.advance(ms);
            f.space();
        }
        f.click("CmdStop");
        f.child<QListWidget>("ListTimes")->setCurrentRow(1);
        f.click("CmdDelete");
        const QStringList atCrash = {"1         12.36", "2       1:13.36"};
        QCOMPARE(f.window->lines(), atCrash);

        FrmTimer& w = f.reopenAfterCrash({answer});
        const Message& ask = f.t.dialogs.messages.first();
        QCOMPARE(ask.title, QStringLiteral("Restore?"));
        QCOMPARE(ask.buttons, Buttons::YesNo);
        QCOMPARE(ask.defaultButton, Answer::Yes);
        QCOMPARE(ask.prompt,
                 kRestoreAsk + "\r\rTimes found: 2   Last time: 1:13.36\r\rRestore them?");
        QVERIFY(!w.timerRunning());
        if (answer == Answer::Yes) {
            QCOMPARE(w.lines(), atCrash);
            QVERIFY(!QFile::exists(f.journal() + ".1"));
            f.click("CmdSave");
            QCOMPARE(fileBytes(f.timesFile()), QByteArray("12.36\r\n1:13.36\r\n"));
        } else {
            QCOMPARE(w.lines(), (QStringList{"1          5.00", "2          6.00"}));
            QCOMPARE(replayJournal(fileBytes(f.journal() + ".1")).lines, atCrash);
        }
        // Set aside by No or retired by the final save, never deleted; then nothing to offer.
        QVERIFY(QFile::exists(f.journal() + ".1"));
        f.reopenAfterCrash({});
        QCOMPARE(f.count(kRestoreAsk), 0);
    }

    void runningClockResumes_data() {
        QTest::addColumn<QString>("bootAfter");
        QTest::addColumn<int>("ticksAfter");
        QTest::addColumn<bool>("resumes");
        QTest::newRow("same boot") << "boot-1" << 30'000 << true;
        QTest::newRow("computer restarted") << "boot-2" << 30'000 << false;
        QTest::newRow("tick counter went back") << "boot-1" << -40'000 << false;
        QTest::newRow("boot unknown") << "" << 30'000 << false;
    }
    void runningClockResumes() {
        QFETCH(QString, bootAfter);
        QFETCH(int, ticksAfter);
        QFETCH(bool, resumes);
        Fixture f;
        f.open();
        f.start(); // the start display takes ten seconds of the fake clock
        f.space();
        f.t.clock.boot = bootAfter;
        f.t.clock.advance(ticksAfter);
        FrmTimer& w = f.reopenAfterCrash({Answer::Yes});
        QCOMPARE(f.t.dialogs.messages.first().prompt,
                 kRestoreAsk + "\r\rTimes found: 1   Last time: 10.00\rThe race clock was still "
                               "running.\r\rRestore them?");
        QCOMPARE(w.timerRunning(), resumes);
        QCOMPARE(f.count(kNotResumed), resumes ? 0 : 1);
        if (resumes) {
            QCOMPARE(f.label("Label2"), QStringLiteral("Timer Started"));
            f.space();
            QCOMPARE(w.lines(), (QStringList{"1         10.00", "2         40.00"}));
        } else {
            QCOMPARE(w.lines(), QStringList{"1         10.00"});
            f.reopenAfterCrash({Answer::Yes}); // the stop is journalled too
            QCOMPARE(f.t.dialogs.messages.first().prompt,
                     kRestoreAsk + "\r\rTimes found: 1   Last time: 10.00\r\rRestore them?");
        }
    }

    void pressCountsAtItsOwnTimeStamp() {
        Fixture f;
        f.t.clock.stampsOnTicks = true;
        FrmTimer& w = f.open();
        f.start();
        const quint32 displayEnd = f.t.clock.tick;
        f.t.clock.advance(20'000);
        // Held behind a slow save: handled 300 ms after the press.
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        held.setTimestamp(f.t.clock.tick - 300);
        QApplication::sendEvent(w.focusWidget(), &held);
        // Pressed during the start display: counts when the display ended, i.e. now.
        QKeyEvent early(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        early.setTimestamp(displayEnd - 1);
        QApplication::sendEvent(w.focusWidget(), &early);
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        click.setTimestamp(f.t.clock.tick - 1000);
        QApplication::sendEvent(f.child<QPushButton>("CmdTime"), &click);
        QCOMPARE(w.lines(), (QStringList{"1         29.71", "2         30.00", "3         29.01"}));
    }

    void journalThatCannotBeWrittenRemindsOnce() {
        Fixture f;
        f.t.files.failWrites = {"/recovery/"};
        FrmTimer& w = f.open();
        f.start();
        f.space();
        f.space();
        QCOMPARE(w.lines().size(), 2);
        QCOMPARE(f.count(kUnprotected), 1);
        QCOMPARE(f.t.dialogs.messages.first().prompt,
                 kUnprotected + ": the recovery file could not be written.\r\rTiming goes on.  "
                                "Save the times often.");
    }

    void oneWindowJournalsAnEvent() {
        Fixture f;
        f.open();
        f.start();
        f.space();
        FrmTimer second(f.state, f.t.platform);
        second.load();
        QCOMPARE(f.count(kElsewhere), 1);
        QCOMPARE(f.count(kRestoreAsk), 0);
        second.show();
        QTest::mouseClick(second.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        QTest::keyClick(second.focusWidget(), Qt::Key_Space);
        QCOMPARE(replayJournal(fileBytes(f.journal())).lines.size(), 1);
        QCOMPARE(f.count(kUnprotected), 0);

        // A lock left by a program that was killed is taken over.
        f.window.reset();
        const pid_t child = ::fork();
        if (child == 0) {
            auto* lock = new QLockFile(f.journal() + ".lock");
            ::_exit(lock->tryLock(0) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        QCOMPARE(WEXITSTATUS(status), 0);
        QVERIFY(QFile::exists(f.journal() + ".lock"));
        f.reopenAfterCrash({Answer::Yes});
        QCOMPARE(f.count(kElsewhere), 0);
        QCOMPARE(f.window->lines().size(), 1);
    }

    void escapeDoesNotClose() {
        Fixture f;
        FrmTimer& w = f.open();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(TestFrmTimer)
#include "tst_frm_timer.moc"

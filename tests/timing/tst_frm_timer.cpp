#include "app/core/data_file.h"
#include "support/window_fixture.h"
#include "timing/capture_journal.h"
#include "timing/frm_timer.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLockFile>
#include <QMouseEvent>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lm;
using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmTimer> {
    QString timesFile() const { return dataFile("TIMES EV  7", ".LMT"); }
    void space() { QTest::keyClick(window->focusWidget(), Qt::Key_Space); }
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
        QCOMPARE(f.t.dialogs.titles(), QStringList{"Reminder"});
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 "If networked to the main computer so that TIMES may be imported as they are "
                 "recorded, then inform the main computer operator that the file containing the "
                 "TIMES is \r\r  no path set 3-14-2018 Girls 5K TIMES EV  7.LMT.\r\rIt a stop "
                 "watch or other timer is started at the START of the race, Lapmark may then be "
                 "started at any known time later than the actual start since Podiax can add any "
                 "time difference to ALL the times once they have been imported.");
        QFile::remove(f.timesFile());
        QCOMPARE(f.open().windowTitle(), QStringLiteral("Time Capture"));
        QCOMPARE(f.t.dialogs.titles(), (QStringList{"Reminder", "Reminder"}));
    }

    void timingARace() {
        Fixture f;
        FrmTimer& w = f.open();
        f.start();
        f.t.clock.advance(50000);
        f.start(); // again before the first capture: from zero, with a new display
        QCOMPARE(f.label("Label2"), QStringLiteral("Timer Started"));
        f.t.clock.advance(2345);
        f.space();
        f.t.clock.advance(60000);
        QTest::mousePress(f.child<QPushButton>("CmdTime"), Qt::RightButton);
        f.t.clock.advance(1);
        f.click("CmdCheckTime");
        QCOMPARE(f.label("Label10"), QStringLiteral("1:12.36"));
        f.space();
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:12.36", "3       1:12.36"}));
        QCOMPARE(f.child<QListWidget>("ListTimes")->currentRow(), 2);
        f.click("CmdStop");
        QVERIFY(!w.timerRunning());
        QCOMPARE(f.label("Label2") + f.label("Label10"), QStringLiteral("Timer Stopped"));
        f.child<QListWidget>("ListTimes")->setCurrentRow(0);
        f.click("CmdDelete");
        QCOMPARE(w.lines(), (QStringList{"1       1:12.36", "2       1:12.36"}));
        f.t.dialogs.answers = {Answer::No, Answer::Yes};
        f.click("CmdClear");
        QCOMPARE(w.lines().size(), 2);
        QCOMPARE(f.t.dialogs.messages.last().title + f.t.dialogs.lastPrompt(),
                 QStringLiteral("ConfirmShould ALL times be DELETED?"));
        f.click("CmdClear");
        QVERIFY(w.lines().isEmpty());
    }

    void refusals() {
        Fixture f;
        putFile(f.timesFile(), "1.01\r\n2.02\r\n");
        FrmTimer& w = f.open();
        const QString clearFirst = "Existing times must be cleared in order to start timing.";
        const QString notRunning = "Timer not running. Start timer first.";
        const QString stopFirst = "Timer is running. Stop timer first.";
        const QList<std::pair<const char*, QString>> stopped = {
            {"CmdStart", clearFirst},
            {"space", notRunning},
            {"CmdCheckTime", notRunning},
            {"CmdDelete", "Time not selected, select which time to delete."}};
        const QList<std::pair<const char*, QString>> running = {
            {"CmdStart", clearFirst},
            {"CmdDelete", "Timer is running, stop timer to edit times."},
            {"CmdClear", stopFirst},
            {"CmdSave", stopFirst}};
        for (const auto& refusals : {stopped, running}) {
            const QStringList before = w.lines();
            for (const auto& [action, message] : refusals) {
                f.t.dialogs.messages.clear();
                QString(action) == "space" ? f.space() : f.click(action);
                QCOMPARE(f.t.dialogs.last(), "Reminder: " + message);
            }
            QCOMPARE(w.lines(), before);
            QCOMPARE(w.timerRunning(), refusals == running);
            w.CmdClear_Click(); // answered Yes
            f.start();
            f.space();
        }
        QVERIFY(w.isVisible());
    }

    void savesKeepEveryEarlierFile() {
        Fixture f;
        for (int run = 0; run < 3; ++run) {
            FrmTimer& w = f.open();
            w.CmdClear_Click();
            f.start();
            for (int i = 0; i <= run; ++i)
                f.space();
            f.click("CmdSaveCurrentTimes"); // while the clock runs
            QVERIFY(f.child<QLabel>("Label9")->isVisible());
            QCOMPARE(fileBytes(f.timesFile()).count("\r\n"), run + 1);
            f.space();
            QVERIFY(!f.child<QLabel>("Label9")->isVisible());
            f.click("CmdStop");
            f.click("CmdSave");
            QVERIFY(!w.isVisible());
            QCOMPARE(f.t.dialogs.lastPrompt(),
                     "File of times saved as: \r\r   " + f.timesFile() +
                         ".\r\r\rOLDER versions of times for THIS EVENT have a letter A,B,C... "
                         "appended to the file name");
        }
        // Each final save kept the file before it; the current saves kept nothing.
        QStringList counts;
        for (int i = 0; i < 4; ++i)
            counts.append(
                QString::number(fileBytes(versionedName(f.timesFile(), i)).count("\r\n")));
        QCOMPARE(counts, (QStringList{"1", "2", "3", "0"}));
        QCOMPARE(fileBytes(f.timesFile()).count("\r\n"), 4);
        FrmTimer& w = f.open();
        w.CmdClear_Click();
        f.click("CmdSave");
        QCOMPARE(f.t.dialogs.messages.last().title + f.t.dialogs.lastPrompt(),
                 QStringLiteral("NoteNo times saved."));
        QCOMPARE(fileBytes(f.timesFile()), QByteArray());
    }

    void failedSavesKeepTheWindowAndEveryFile_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("times file") << "TIMES EV  7.LMT"
                                    << "NOT saved";
        QTest::newRow("older version") << "EV  7A.LMT"
                                       << "could not be kept";
        QTest::newRow("read-only folder") << "read-only"
                                          << "could not be kept";
    }
    void failedSavesKeepTheWindowAndEveryFile() {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        Fixture f;
        const QByteArray folder = QFile::encodeName(f.dir.path());
        auto unmount = qScopeGuard([&] { ::umount(folder.constData()); });
        if (fault == "read-only" && ::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=1m"))
            QSKIP("cannot mount a tmpfs here (needs root and mount rights)");
        putFile(f.timesFile(), "1.01\r\n2.02\r\n");
        if (fault == "read-only")
            QCOMPARE(::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
                     0);
        f.t.files.failWrites = {fault};
        FrmTimer& w = f.open();
        f.click("CmdSaveCurrentTimes");
        QCOMPARE(f.t.files.atomicWrites, fault.contains("7A") ? 1 : 10);
        f.click("CmdSave");
        QVERIFY(w.isVisible());
        QVERIFY(f.t.dialogs.lastPrompt().contains(said));
        QCOMPARE(w.lines().size(), 2);
        QCOMPARE(f.child<QLabel>("Label9")->isVisible(), fault.contains("7A"));
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("1.01\r\n2.02\r\n"));
        QCOMPARE(QFile::exists(versionedName(f.timesFile(), 0)), fault == "TIMES EV  7.LMT");
    }

    void secondaryCopyFollowsEverySave_data() {
        QTest::addColumn<QString>("secondary");
        QTest::addColumn<bool>("copied"); // false: "Error!  Secondary file not saved."
        QTest::newRow("folder") << "usb/" << true;
        QTest::newRow("vanished folder") << "gone/" << false;
        QTest::newRow("NO PATH SET") << "NO PATH SET" << true;
        QTest::newRow("empty: the primary itself") << "" << false;
    }
    void secondaryCopyFollowsEverySave() {
        QFETCH(QString, secondary);
        QFETCH(bool, copied);
        Fixture f;
        QDir(f.dir.path()).mkdir("usb");
        QDir::setCurrent(f.dir.path());
        f.state.SecondaryPath = secondary.endsWith('/') ? f.dir.filePath(secondary) : secondary;
        f.open();
        f.start();
        f.space();
        f.t.dialogs.messages.clear();
        f.click("CmdSaveCurrentTimes");
        QCOMPARE(f.t.dialogs.last(), copied ? QString()
                                            : "Reminder: Error!  Secondary file not saved.\r\r"
                                              "Manually copy: " +
                                                  f.timesFile() + " if data needed elsewhere");
        QCOMPARE(fileBytes(f.timesFile()), QByteArray("10.00\r\n"));
        QCOMPARE(QDir(f.dir.filePath("usb")).entryList(QDir::Files | QDir::Hidden).size(),
                 secondary == "usb/" ? 1 : 0);
    }

    void closeBoxAsksWhileTimesAreUnsaved() {
        Fixture f;
        FrmTimer& w = f.open();
        QTest::keyClick(&w, Qt::Key_Escape); // does nothing
        QVERIFY(w.isVisible());
        f.start();
        f.space();
        f.t.dialogs.answers = {Answer::No};
        QVERIFY(!w.close());
        QCOMPARE(f.t.dialogs.messages.last().title + f.t.dialogs.lastPrompt(),
                 QStringLiteral("ConfirmTimes captured since the last save will be lost.  Close "
                                "anyway?"));
        QCOMPARE(f.t.dialogs.messages.last().defaultButton, Answer::No);
        f.click("CmdStop");
        f.click("CmdSaveCurrentTimes");
        f.t.dialogs.messages.clear();
        QVERIFY(w.close()); // saved and stopped: no question
        QVERIFY(f.t.dialogs.messages.isEmpty());
    }

    // The program dies in mid-race; the next opening offers what the journal holds.
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
        FrmTimer& w = f.reopenAfterCrash({answer});
        const Message& ask = f.t.dialogs.messages.first();
        QCOMPARE(ask.title, QStringLiteral("Restore?"));
        QCOMPARE(ask.defaultButton, Answer::Yes);
        QCOMPARE(ask.prompt,
                 kRestoreAsk + "\r\rTimes found: 2   Last time: 1:13.36\r\rRestore them?");
        const QStringList saved = {"1          5.00", "2          6.00"};
        QCOMPARE(w.lines(), answer == Answer::Yes ? atCrash : saved);
        QVERIFY(!w.timerRunning());
        if (answer == Answer::Yes)
            f.click("CmdSave"); // retires the journal
        else
            QCOMPARE(replayJournal(fileBytes(f.journal() + ".1")).lines, atCrash);
        QVERIFY(QFile::exists(f.journal() + ".1")); // set aside or retired, never deleted
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
        const QString ask = kRestoreAsk + "\r\rTimes found: 1   Last time: 10.00\r";
        FrmTimer& w = f.reopenAfterCrash({Answer::Yes});
        QCOMPARE(f.t.dialogs.messages.first().prompt,
                 ask + "The race clock was still running.\r\rRestore them?");
        QCOMPARE(w.timerRunning(), resumes);
        QCOMPARE(f.count(kNotResumed), resumes ? 0 : 1);
        if (resumes) {
            QCOMPARE(f.label("Label2"), QStringLiteral("Timer Started"));
            f.space();
            QCOMPARE(w.lines(), (QStringList{"1         10.00", "2         40.00"}));
        } else {
            f.reopenAfterCrash({Answer::Yes}); // the stop is journalled too
            QCOMPARE(f.t.dialogs.messages.first().prompt, ask + "\rRestore them?");
        }
    }

    void pressCountsAtItsOwnTimeStamp() {
        Fixture f;
        f.t.clock.stampsOnTicks = true;
        FrmTimer& w = f.open();
        f.start();
        const quint32 displayEnd = f.t.clock.tick;
        f.t.clock.advance(20'000);
        // Held 300 ms behind a slow save; pressed during the start display (counts when
        // the display ended, that is now); a click a second ago.
        for (const quint32 stamp : {f.t.clock.tick - 300, displayEnd - 1}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
            press.setTimestamp(stamp);
            QApplication::sendEvent(w.focusWidget(), &press);
        }
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        click.setTimestamp(f.t.clock.tick - 1000);
        QApplication::sendEvent(f.child<QPushButton>("CmdTime"), &click);
        QCOMPARE(w.lines(), (QStringList{"1         29.71", "2         30.00", "3         29.01"}));
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
        if (child == 0)
            ::_exit((new QLockFile(f.journal() + ".lock"))->tryLock(0) ? 0 : 1);
        int status = 0;
        ::waitpid(child, &status, 0);
        QCOMPARE(WEXITSTATUS(status), 0);
        f.reopenAfterCrash({Answer::Yes});
        QCOMPARE(f.count(kElsewhere), 0);
        QCOMPARE(f.window->lines().size(), 1);
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
};

QTEST_MAIN(TestFrmTimer)
#include "tst_frm_timer.moc"

#include "support/window_fixture.h"
#include "timing/frm_timer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>

using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmTimer> {
    QString times(const char* letter = "") const {
        return dataFile(QString("TIMES EV  7") + letter + ".LMT");
    }
    void space() { QTest::keyClick(window->focusWidget(), Qt::Key_Space); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    // The program dies with the window open: the next opening is a new window.
    FrmTimer& reopenAfterCrash(QList<Answer> answers) {
        t.dialogs.answers = answers;
        t.dialogs.said.clear();
        return open();
    }
};

} // namespace

class TestFrmTimer : public QObject {
    Q_OBJECT
  private slots:
    void timingARace() {
        Fixture f;
        putFile(f.times(), "12.36\r\n\r\n1:05.44\r\n");
        FrmTimer& w = f.open();
        QCOMPARE(w.windowTitle() + "|" + f.label("Label5"),
                 QStringLiteral("Capture Times for EVENT # 7|Timing Ev# 7"));
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:05.44"}));
        QVERIFY(f.t.dialogs.last().contains("TIMES is \r\r  no path set 3-14-2018 Girls 5K TIMES "
                                            "EV  7.LMT.\r\rIt a stop watch"));
        const auto refused = [&](const char* action, const QString& message) {
            QString(action) == "space" ? f.space() : f.click(action);
            QCOMPARE(f.t.dialogs.last(), "Reminder: " + message);
        };
        const QString clearFirst = "Existing times must be cleared in order to start timing.";
        const QString notRunning = "Timer not running. Start timer first.";
        refused("CmdStart", clearFirst);
        refused("space", notRunning);
        refused("CmdCheckTime", notRunning);
        refused("CmdDelete", "Time not selected, select which time to delete.");
        QCOMPARE(w.lines().size(), 2);
        f.click("CmdClear");
        QCOMPARE(f.t.dialogs.last(), "Confirm [Yes/No]: Should ALL times be DELETED?");
        f.click("CmdStart");
        QCOMPARE(f.label("Label2"), QStringLiteral("Timer Started"));
        QCOMPARE(f.t.session.did, QStringList{"awake"}); // while the clock runs
        f.t.clock.advance(2345);
        f.space();
        f.t.clock.advance(60001);
        f.click("CmdCheckTime");
        QCOMPARE(f.label("Label10"), QStringLiteral("1:12.36"));
        f.space();
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:12.36"}));
        QCOMPARE(f.child<QListWidget>("ListTimes")->currentRow(), 1);
        refused("CmdStart", clearFirst);
        refused("CmdDelete", "Timer is running, stop timer to edit times.");
        refused("CmdClear", "Timer is running. Stop timer first.");
        refused("CmdSave", "Timer is running. Stop timer first.");
        f.click("CmdStop");
        QCOMPARE(f.label("Label2") + f.label("Label10"), QStringLiteral("Timer Stopped"));
        QCOMPARE(f.t.session.did, (QStringList{"awake", "may sleep"}));
        f.child<QListWidget>("ListTimes")->setCurrentRow(0);
        f.click("CmdDelete");
        QCOMPARE(w.lines(), QStringList{"1       1:12.36"});
        QTest::keyClick(&w, Qt::Key_Escape); // does nothing
        f.t.dialogs.answers = {Answer::No};
        QVERIFY(!w.close() && w.isVisible());
        QCOMPARE(f.t.dialogs.last(), "Confirm [Yes/No, default No]: Times captured since the "
                                     "last save will be lost.  Close anyway?");
        // A current save keeps no older version and the window stays; a final save keeps one.
        f.click("CmdSaveCurrentTimes");
        QVERIFY(f.child<QLabel>("Label9")->isVisible() && !QFile::exists(f.times("A")));
        f.click("CmdSave");
        QVERIFY(!w.isVisible());
        QCOMPARE(f.t.dialogs.last(), "Reminder: File of times saved as: \r\r   " + f.times() +
                                         ".\r\r\rOLDER versions of times for THIS EVENT have a "
                                         "letter A,B,C... appended to the file name");
        QCOMPARE(fileBytes(f.times("A")) + fileBytes(f.times("B")), "1:12.36\r\n");
        f.open().CmdClear_Click();
        f.click("CmdSave");
        QCOMPARE(f.t.dialogs.last() + fileBytes(f.times()), "Note: No times saved.");
    }

    void failedSavesKeepTheWindowAndEveryFile_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("times file") << QString("TIMES EV  7.LMT") << QString("NOT saved");
        QTest::newRow("vanished folder") << QString("vanished") << QString("NOT saved");
        QTest::newRow("older version refused")
            << QString("7.LMT|7A.LMT") << QString("could not be kept");
    }
    void failedSavesKeepTheWindowAndEveryFile() {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        Fixture f;
        // The data folder on a flash drive that is pulled out while the window is open.
        const QString drive = f.dir.filePath("drive"), pulled = f.dir.filePath("pulled");
        if (fault == "vanished") {
            QDir().mkdir(drive);
            f.state.PrimaryPath = shown(drive) + sep;
        }
        const QString times = f.state.PrimaryPath + " 3-14-2018 Girls 5K TIMES EV  7.LMT";
        putFile(times, "1.01\r\n2.02\r\n");
        f.t.files.failWrites = fault.split("|");
        FrmTimer& w = f.open();
        if (fault == "vanished")
            QVERIFY(QDir().rename(drive, pulled));
        f.click("CmdSaveCurrentTimes");
        QCOMPARE(f.t.files.atomicWrites, 10); // tried ten times
        f.click("CmdSave");
        QVERIFY(w.isVisible() && f.t.dialogs.last().contains(said));
        QCOMPARE(w.lines().size(), 2);
        QVERIFY(!f.child<QLabel>("Label9")->isVisible());
        if (fault == "vanished")
            QVERIFY(QDir().rename(pulled, drive));
        QCOMPARE(fileBytes(times), QByteArray("1.01\r\n2.02\r\n"));
        QCOMPARE(QDir(f.state.PrimaryPath).entryList(QDir::Files).join("|"),
                 fault == "TIMES EV  7.LMT" ? " 3-14-2018 Girls 5K TIMES EV  7.LMT| 3-14-2018 "
                                              "Girls 5K TIMES EV  7A.LMT"
                                            : " 3-14-2018 Girls 5K TIMES EV  7.LMT");
    }

    // A crash in mid-race: the times are offered back, the clock runs on unless restarted.
    void crashedRaceIsOfferedBack_data() {
        QTest::addColumn<QString>("bootAfter");
        QTest::addColumn<bool>("resumes");
        QTest::newRow("same boot") << "boot-1" << true;
        QTest::newRow("computer restarted") << "boot-2" << false;
        QTest::newRow("carried from another computer") << "FINISH-2" << false;
    }
    void crashedRaceIsOfferedBack() {
        QFETCH(QString, bootAfter);
        QFETCH(bool, resumes);
        Fixture f;
        f.open();
        f.click("CmdStart"); // the start display takes ten seconds of the fake clock
        f.space();
        f.t.clock.boot = bootAfter;
        f.t.clock.advance(30'000);
        const QString ask = "Restore? [Yes/No]: Times captured for this event were not saved.\r\r"
                            "Times found: 1   Last time: 10.00\r";
        if (bootAfter == "FINISH-2") { // its lock stays: only the operator can free it
            f.window.reset();
            QFile lock(f.dir.filePath("recovery/ 3-14-2018 Girls 5K TIMES EV  7.LMT.journal.lock"));
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write("4242\nlapmark\nFINISH-2\n") &&
                    lock.flush() &&
                    lock.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(9, 41)),
                                     QFileDevice::FileModificationTime));
            lock.close();
            f.reopenAfterCrash({Answer::No}); // the notice from now on, and no restore
            QCOMPARE(f.t.dialogs.said[0],
                     "Take Over? [Yes/No, default No]: The times of this event are held by Lapmark "
                     "on the computer FINISH-2 since 12/7/2026 9:41 AM.\r\rIf Lapmark no longer "
                     "runs there, take them over: the times it captured are then offered back "
                     "here.\r\rTake them over?");
            f.t.dialogs.answers = {Answer::Yes};
        }
        FrmTimer& w = f.reopenAfterCrash(f.t.dialogs.answers + QList<Answer>{Answer::Yes});
        if (bootAfter == "FINISH-2")
            f.t.dialogs.said.removeFirst();
        QCOMPARE(f.t.dialogs.said[0], ask + "The race clock was still running.\r\rRestore them?");
        QCOMPARE(w.timerRunning(), resumes);
        QCOMPARE(f.t.session.did.last(), resumes ? "awake" : "may sleep");
        QCOMPARE(f.t.dialogs.said.filter("The race clock could not be resumed").size(),
                 int(!resumes));
        if (resumes) {
            f.space();
            QCOMPARE(w.lines(), (QStringList{"1         10.00", "2         40.00"}));
            f.t.dialogs.answers = {Answer::Yes}; // "Close anyway?": the times go for good
            QVERIFY(w.close());
            QCOMPARE(f.t.session.did.last(), "may sleep");
            QVERIFY(f.reopenAfterCrash({}).lines().isEmpty() &&
                    QFile::exists(
                        f.dir.filePath("recovery/ 3-14-2018 Girls 5K TIMES EV  7.LMT.journal.1")));
        } else {
            f.reopenAfterCrash({Answer::Yes}); // the stop is journalled too
            QCOMPARE(f.t.dialogs.said[0], ask + "\rRestore them?");
        }
    }

    // Gestures as they arrive from the windowing system, each step at its moment on the race
    // clock in ms; the window takes each up 40 ms late.  Mouse presses of one place within
    // the double-click interval come as double clicks.
    void everyPressIsOneCapture_data() {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QStringList>("times");
        QTest::newRow("click") << "down@21000 up@21090" << QStringList{"1         21.01"};
        QTest::newRow("double click, 0.25 s") << "down@21000 up@21080 down@21250 up@21330"
                                              << QStringList{"1         21.01", "2         21.26"};
        QTest::newRow("triple click, 0.15 s")
            << "down@21000 up@21050 down@21150 up@21200 down@21300 up@21350"
            << QStringList{"1         21.01", "2         21.16", "3         21.31"};
        QTest::newRow("space held 1.5 s")
            << "space@21000 repeat@21500 repeat@21533 repeat@21566 repeat@22000 repeat@22466 "
               "release@22500"
            << QStringList{"1         21.01"};
        QTest::newRow("space held, X's repeats unmarked")
            << "space@21000 release@21660 space@21660 release@21700 space@21700 release@22500 "
               "space@22580"
            << QStringList{"1         21.01", "2         22.59"};
        QTest::newRow("space held, repeats without releases")
            << "space@21000 space@21660 space@21700 space@22400 release@22500 space@22580"
            << QStringList{"1         21.01", "2         22.59"};
        QTest::newRow("space 80 ms apart")
            << "space@21000 release@21040 space@21080 release@21120 space@21160"
            << QStringList{"1         21.01", "2         21.09", "3         21.17"};
        QTest::newRow("two taps, 0.3 s") // a touch screen gives no stamp of its own here
            << "tap@21000 lift@21060 tap@21300 lift@21360"
            << QStringList{"1         21.05", "2         21.35"};
    }
    void everyPressIsOneCapture() {
        QFETCH(QString, gesture);
        QFETCH(QStringList, times);
        Fixture f;
        f.t.clock.stampsOnTicks = true;
        FrmTimer& w = f.open();
        const quint32 start = f.t.clock.tick;
        f.click("CmdStart");
        QWindow* window = w.windowHandle();
        const QPoint button = f.child("CmdTime")->geometry().center();
        QPointingDevice* screen = QTest::createTouchDevice();
        int last = 0;
        for (const QString& step : gesture.split(' ')) {
            const QString what = step.section('@', 0, 0);
            const int at = step.section('@', 1).toInt();
            f.t.clock.tick = start + quint32(at) + 40;
            const int delay = at - std::exchange(last, at);
            QTest::lastMouseTimestamp = int(start) + at - delay;
            if (what == "down" || what == "up") {
                QTest::mouseEvent(what == "down" ? QTest::MousePress : QTest::MouseRelease, window,
                                  Qt::LeftButton, Qt::NoModifier, button, delay);
            } else if (what == "tap" || what == "lift") {
                auto touch = QTest::touchEvent(window, screen);
                what == "tap" ? touch.press(0, button, window) : touch.release(0, button, window);
            } else {
                QKeyEvent key(what == "release" ? QEvent::KeyRelease : QEvent::KeyPress,
                              Qt::Key_Space, Qt::NoModifier, " ", what == "repeat");
                key.setTimestamp(start + quint32(at));
                QApplication::sendEvent(w.focusWidget(), &key);
            }
        }
        QCOMPARE(w.lines(), times);
    }

    // A second window on the event, a journal that cannot be written: a reminder, timing on.
    void unprotectedTiming() {
        Fixture f;
        f.open();
        f.click("CmdStart");
        f.space();
        FrmTimer second(f.state, f.t.platform);
        second.load();
        second.show();
        QCOMPARE(f.t.dialogs.said.filter("This event is being timed in another").size(), 1);
        QTest::mouseClick(second.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        QTest::keyClick(second.focusWidget(), Qt::Key_Space);
        const QString journal = "recovery/ 3-14-2018 Girls 5K TIMES EV  7.LMT.journal";
        QCOMPARE(fileBytes(f.dir.filePath(journal)).count("\ncapture "), 1); // the first's only
        f.window.reset();
        QDir(f.dir.filePath("recovery")).removeRecursively();
        putFile(f.dir.filePath("recovery"), "a file where the folder belongs");
        f.reopenAfterCrash({}).CmdClear_Click();
        const QString box = "Reminder: Times are NOT being protected against a crash: the "
                            "recovery file could not be written.\r\rTiming goes on.  Save the "
                            "times often.";
        QCOMPARE(f.t.dialogs.said.filter("NOT").join("\n"), box);
        // A journal that fails in mid-race: each press still a capture, a notice that takes
        // no input, and the box once the clock is stopped.
        f.window.reset();
        QFile::remove(f.dir.filePath("recovery"));
        f.t.files.journalAppends = 2; // the opening and the start
        f.reopenAfterCrash({});
        f.click("CmdStart");
        f.space();
        f.space();
        QCOMPARE(f.window->lines().size(), 2);
        QVERIFY(f.t.dialogs.said.filter("NOT").isEmpty());
        QVERIFY(f.child<QLabel>("Unprotected")->isVisible());
        f.click("CmdSaveCurrentTimes");
        QVERIFY(!f.child<QLabel>("Unprotected")->isVisible());
        f.click("CmdStop");
        QCOMPARE(f.t.dialogs.said.filter("NOT").join("\n"), box);
    }
};

QTEST_MAIN(TestFrmTimer)
#include "tst_frm_timer.moc"

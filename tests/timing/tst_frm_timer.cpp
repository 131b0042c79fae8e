#include "support/window_fixture.h"
#include "timing/capture_journal.h"
#include "timing/frm_timer.h"
#include "timing/race_clock.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>

using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmTimer> {
    QString times(const char* letter = "") const {
        return dataFile(QString("TIMES EV  7") + letter + ".LMT");
    }
    QString journal(const char* end = "") const {
        return dir.filePath(QString("recovery/ 3-14-2018 Girls 5K TIMES EV  7.LMT.journal") + end);
    }
    void space() { QTest::keyClick(window->focusWidget(), Qt::Key_Space); }
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
    void timeTexts() {
        // clang-format off
        const QList<std::pair<qint64, const char*>> rows = {
            {0, ".00"}, {9, ".02"}, {500, ".51"}, {1000, "1.01"}, {10000, "10.00"},
            {12345, "12.36"}, {59990, "60.00"}, {59999, "60.01"}, {60000, "1:00.00"},
            {65432, "1:05.44"}, {3599999, "59:60.01"}, {3600000, "1:00:00.00"},
            {3723450, "1:02:03.46"}, {36000000, "10:00:00.00"}, {2147483647, "596:31:23.66"}};
        // clang-format on
        for (const auto& [ms, text] : rows)
            QCOMPARE(FormatTime(ms), QString(text));
        QCOMPARE(elapsedMs(0xFFFFF000u, 0x00000800u), qint64(0x1800)); // across the wrap
        QCOMPARE(elapsedMs(0x7FFFFF00u, 0x80000100u), qint64(0x200));
    }

    void pressTakesTheEventsOwnTick() {
        // stamp (-1: none), end of the start display, tick taken; now 10,000, and across the wrap.
        const QList<std::tuple<qint64, quint32, quint32>> rows = {
            {-1, 0, 10'000},     {9'700, 0, 9'700},      {5'000, 0, 5'000},    {4'999, 0, 10'000},
            {10'001, 0, 10'000}, {9'000, 9'500, 10'000}, {9'600, 9'500, 9'600}};
        for (const quint32 shift : {0u, 20'000u}) {
            for (const auto& [stamp, notBefore, tick] : rows) {
                const auto event =
                    stamp < 0 ? std::nullopt : std::optional<quint32>(quint32(stamp) - shift);
                QCOMPARE(tickOfPress(event, 10'000u - shift, notBefore - shift), tick - shift);
            }
        }
    }

    // What a journal cut or spoiled by a power cut still gives back.
    void journalReplay() {
        const QByteArray race = journal::open({"7       1:05.44"}) + journal::clear() +
                                journal::start({77, "b", "CLOCK_BOOTTIME", 1, "FINISH-1"}) +
                                journal::capture(1, 2345) + journal::capture(2, 65432);
        const QStringList both = {"1          2.36", "2       1:05.44"};
        const QList<std::tuple<QByteArray, QStringList, bool>> rows = {
            {journal::open({"7       1:05.44"}), {"1       1:05.44"}, false},
            {race + "capture 3 7", both, true},             // torn last record
            {race + QByteArray(512, '\0'), both, true},     // zeros after a power cut
            {race + "capture 3 70000 *0000\n", both, true}, // spoiled record
            {race + journal::stop() + journal::remove(2), {"1          2.36"}, true},
            {race + journal::stop() + journal::save(2), both, false},
            {race + journal::save(2), both, true}}; // saved, clock still running
        for (const auto& [content, lines, worthRestoring] : rows) {
            const JournalState s = replayJournal(content);
            QCOMPARE(s.lines, lines);
            QCOMPARE(s.worthRestoring(), worthRestoring);
        }
        // A clock run on from the time of day keeps its count; a tick beyond 2^31 (a laptop up
        // for 25 days) is read whole.
        const JournalState resumed = replayJournal(
            race + journal::start({4'000'000'000u, "b2", "GetTickCount", 1, "F"}, true));
        QCOMPARE(QString::number(resumed.captureCount) + " " + QString::number(resumed.start.tick),
                 "2 4000000000");
    }

    void timingARace() {
        Fixture f;
        putFile(f.times(), "12.36\r\n\r\n1:05.44\r\n");
        FrmTimer& w = f.open();
        QCOMPARE(w.windowTitle() + "|" + f.label("Label5"),
                 QStringLiteral("Capture Times for EVENT # 7|Timing Ev# 7"));
        QCOMPARE(w.lines(), (QStringList{"1         12.36", "2       1:05.44"}));
        QVERIFY(f.t.dialogs.last().contains("TIMES is \r\r  no path set 3-14-2018 Girls 5K TIMES "
                                            "EV  7.LMT.\r\rIt a stop watch"));
        // Stopped, a refusal is a box; running, a notice in the window, as a box would take
        // the next press.
        const auto refused = [&](const char* action, const QString& message, bool boxed = true) {
            const qsizetype boxes = f.t.dialogs.said.size();
            QString(action) == "close"   ? void(w.close())
            : QString(action) == "space" ? f.space()
                                         : f.click(action);
            QCOMPARE(boxed ? f.t.dialogs.said.mid(boxes).join("") : f.label("Notice"),
                     (boxed ? "Reminder: " : "") + message);
            QCOMPARE(f.t.dialogs.said.size(), boxes + boxed);
        };
        const QString clearFirst = "Existing times must be cleared in order to start timing.";
        const QString notRunning = "Timer not running. Start timer first.";
        refused("CmdStart", clearFirst);
        refused("space", notRunning);
        refused("CmdCheckTime", notRunning);
        refused("CmdDelete", "Time not selected, select which time to delete.");
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
        refused("CmdStart", clearFirst, false);
        refused("CmdDelete", "Timer is running, stop timer to edit times.", false);
        refused("CmdClear", "Timer is running. Stop timer first.", false);
        refused("CmdSave", "Timer is running. Stop timer first.", false);
        refused("close", "Timer is running. Stop timer first.", false);
        f.click("CmdStop");
        QVERIFY(!f.child<QLabel>("Notice")->isVisible());
        QCOMPARE(f.label("Label2") + f.label("Label10"), QStringLiteral("Timer Stopped"));
        QCOMPARE(f.t.session.did, (QStringList{"awake", "may sleep"}));
        f.child<QListWidget>("ListTimes")->setCurrentRow(0);
        f.t.dialogs.answers = {Answer::No};
        f.click("CmdClear"); // No changes nothing
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
        f.t.files.failWrites = {"7A.LMT"}; // the older version cannot be kept: nothing saved
        f.click("CmdSave");
        QVERIFY(w.isVisible() && f.t.dialogs.last().contains("could not be kept") &&
                !QFile::exists(f.times("A")));
        f.t.files.failWrites.clear();
        f.click("CmdSave");
        QVERIFY(!w.isVisible());
        QCOMPARE(f.t.dialogs.last(), "Reminder: File of times saved as: \r\r   " + f.times() +
                                         ".\r\r\rOLDER versions of times for THIS EVENT have a "
                                         "letter A,B,C... appended to the file name");
        QCOMPARE(fileBytes(f.times("A")) + fileBytes(f.times("B")), "1:12.36\r\n");
        f.open().CmdClear_Click();
        f.click("CmdSave");
        QCOMPARE(f.t.dialogs.last() + fileBytes(f.times()), "Note: No times saved.");
        f.open().CmdStart_Click(); // a time captured, then the window closed anyway
        f.space();
        f.click("CmdStop");
        f.t.dialogs.answers = {Answer::Yes};
        QVERIFY(f.window->close());
        f.open();
        QVERIFY(f.t.dialogs.said.filter("Restore?").isEmpty()); // nothing is offered back
    }

    // What goes wrong while the clock runs is shown in the window, not in a box that would
    // take the next press; the box comes once the clock is stopped, and the notice stays
    // until a save succeeds.
    void noBoxWhileTheClockRuns_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("box");    // once the clock is stopped
        QTest::addColumn<QString>("notice"); // meanwhile in the window (none: the box's text)
        QTest::newRow("secondary copy")
            << "drive"
            << "Error!  Secondary file not saved.\r\rManually copy: %1 if data needed elsewhere"
            << QString();
        QTest::newRow("times file")
            << "TIMES EV  7.LMT"
            << "Error!  The times were NOT saved.\r\rCould not write: %1\r\r" << QString();
        QTest::newRow("journal") << "journal"
                                 << "Times are NOT being protected against a crash"
                                 << "Times are NOT protected against a crash.  Save them often.";
    }
    void noBoxWhileTheClockRuns() {
        QFETCH(QString, fault);
        QFETCH(QString, box);
        QFETCH(QString, notice);
        Fixture f;
        f.state.SecondaryPath = shown(f.dir.filePath("drive")) + sep;
        QDir().mkdir(f.dir.filePath("drive"));
        box.replace("%1", f.times());
        notice = notice.isNull() ? QString(box).replace('\r', '\n') : notice;
        if (fault == "journal")
            f.t.files.journalAppends = 3; // the opening, the start and the first capture
        else
            f.t.files.failWrites = {fault};
        FrmTimer& w = f.open();
        f.click("CmdStart");
        const qsizetype boxes = f.t.dialogs.said.size();
        f.space();
        f.space();
        f.click("CmdSaveCurrentTimes"); // in a lull
        f.space();                      // the next pack, without looking up
        f.space();
        f.space();
        QCOMPARE(w.lines().size(), 5);
        QCOMPARE(f.t.dialogs.said.size(), boxes);
        QCOMPARE(f.label("Notice").left(notice.size()), notice); // whole, or its start
        f.space();
        f.click("CmdStop");
        QCOMPARE(f.t.dialogs.said.size(), boxes + 1);
        QCOMPARE(f.t.dialogs.last().left(box.size() + 10), "Reminder: " + box);
        QVERIFY(f.child<QLabel>("Notice")->isVisible());
        f.t.files.failWrites.clear();
        f.click("CmdSaveCurrentTimes");
        QVERIFY(!f.child<QLabel>("Notice")->isVisible());
        QCOMPARE(fileBytes(f.dir.filePath("drive/ 3-14-2018 Girls 5K TIMES EV  7.LMT")).count('\n'),
                 6);
    }

    // A crash or a power cut in mid-race: the times are offered back, and the clock runs on
    // from its tick on the same boot and counter, otherwise from the time of day if the
    // operator agrees.
    void crashedRaceIsOfferedBack_data() {
        QTest::addColumn<QString>("after"); // what differs when the program is started again
        QTest::addColumn<QString>("asked"); // the start of what is said after "Restore?"
        QTest::addColumn<QString>("next");  // the next capture (empty: the clock is stopped)
        const QString resume = "Resume? [Yes/No]: ", runsOn = "2         40.00",
                      stopped = "Reminder: The race clock could not be resumed: ";
        QTest::newRow("same boot") << "" << QString() << runsOn;
        QTest::newRow("not restored") << "no" << QString() << QString(); // the journal set aside
        QTest::newRow("restarted") << "boot" << resume + "The tick count cannot" << runsOn;
        QTest::newRow("other counter") << "kind" << resume + "The tick count cannot" << runsOn;
        QTest::newRow("another computer, same boot count")
            << "computer" << resume + "This race was started on another computer (FINISH-2)"
            << runsOn;
        QTest::newRow("date set back")
            << "date" << stopped + "by this computer's date and time the race started later"
            << "";
        QTest::newRow("date two days on")
            << "days" << stopped + "by this computer's date and time the race started more"
            << "";
        // A journal of an earlier version: on a counter that those versions all counted on
        // (Windows), the tick serves; otherwise nothing bridges the gap.
        QTest::newRow("earlier version, one counter") << "earlier CLOCK_BOOTTIME"
                                                      << "" << runsOn;
        QTest::newRow("earlier version, two counters")
            << "earlier" << stopped + "it was started by an earlier version"
            << "";
    }
    void crashedRaceIsOfferedBack() {
        QFETCH(QString, after);
        QFETCH(QString, asked);
        QFETCH(QString, next);
        Fixture f;
        if (after == "computer")
            f.t.clock.computer = "FINISH-2";
        f.open();
        f.click("CmdStart"); // the start display takes ten seconds of the fake clock
        f.space();
        f.t.clock.advance(30'000);
        f.window.reset();
        QList<Answer> answers = {after == "no" ? Answer::No : Answer::Yes};
        if (after == "boot") {
            f.t.clock.boot = "boot-2";
            f.t.clock.tick = 2'000; // counting again from the restart
        } else if (after == "kind") {
            f.t.clock.kind = "CLOCK_MONOTONIC";
        } else if (after == "date" || after == "days") {
            f.t.clock.boot = "boot-2";
            f.t.clock.utc += after == "date" ? -3'600'000 : 2 * 86'400'000;
        } else if (after.startsWith("earlier")) {
            f.t.clock.unnamedKind = after.section(' ', 1);
            putFile(f.journal(), QString(fileBytes(f.journal()))
                                     .remove(QRegularExpression("origin[^\n]*\n"))
                                     .toLatin1());
        } else if (after == "computer") { // its lock stays: only the operator can free it
            f.t.clock.computer = "FINISH-1";
            putFile(f.journal(".lock"), "4242\nlapmark\nFINISH-2\n",
                    QDateTime(QDate(2026, 12, 7), QTime(9, 41)));
            answers.prepend(Answer::Yes);
        }
        FrmTimer& w = f.reopenAfterCrash(answers + QList<Answer>{Answer::Yes});
        if (after == "computer")
            QVERIFY(f.t.dialogs.said.takeAt(1).startsWith(
                "Take Over? [Yes/No, default No]: The times of this event are held by Lapmark "
                "on the computer FINISH-2 since 12/7/2026 9:41 AM."));
        // The reminder of every opening first, then no box once the clock runs.
        QVERIFY(f.t.dialogs.said.value(1).startsWith("Restore? [Yes/No]: ") &&
                f.t.dialogs.said[1].contains(
                    "Times found: 1   Last time: 10.00\rThe race clock was still running."));
        QCOMPARE(f.t.dialogs.said.size(), 2 + !asked.isEmpty());
        QVERIFY(f.t.dialogs.last().startsWith(asked.isEmpty() ? "Restore?" : asked));
        QVERIFY(!asked.startsWith("Resume?") || // how long the race has run, to check
                f.t.dialogs.last().contains("by this computer's clock the race has run 40.00."));
        QCOMPARE(w.lines().size(), after == "no" ? 0 : 1);
        QCOMPARE(QFile::exists(f.journal(".1")), after == "no");
        QCOMPARE(f.t.session.did.last(), next.isEmpty() ? "may sleep" : "awake");
        QCOMPARE(f.child<QLabel>("Notice")->isVisible(), !asked.isEmpty() && !next.isEmpty());
        if (next.isEmpty())
            return;
        f.space();
        QCOMPARE(w.lines(), (QStringList{"1         10.00", next}));
        // Once more on this boot: the clock runs on from its tick, and the count goes on.
        f.t.clock.advance(5'000);
        f.t.clock.utc += 1'000; // the time of day set meanwhile: only the tick gives 45.01
        f.window.reset();
        f.reopenAfterCrash({Answer::Yes}).CmdTime_MouseDown();
        QCOMPARE(f.window->lines().last(), "3         45.01");
    }

    // Gestures as they arrive from the windowing system, each step at its moment on the race
    // clock in ms; the window takes each up 40 ms late.  Mouse presses of one place within
    // the double-click interval come as double clicks.  Keys are stamped as X stamps them
    // (the moment of each event), or as Windows' Qt does: the moment it takes them from the
    // queue, so presses queued behind a busy moment share one stamp.
    void everyPressIsOneCapture_data() {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QStringList>("times");
        QTest::newRow("double click, 0.25 s") << "x"
                                              << "down@21000 up@21080 down@21250 up@21330"
                                              << QStringList{"1         21.01", "2         21.26"};
        QTest::newRow("space held 1.5 s, Windows")
            << "windows"
            << "space@21000 repeat@21500 repeat@21533 repeat@21566 repeat@22000 repeat@22466 "
               "release@22500"
            << QStringList{"1         21.01"};
        QTest::newRow("space held, X's repeats unmarked")
            << "x"
            << "space@21000 release@21660 space@21660 release@21700 space@21700 release@22500 "
               "space@22580"
            << QStringList{"1         21.01", "2         22.59"};
        QTest::newRow("two presses queued while busy, Windows")
            << "windows"
            << "space@21000 release@21000 space@21000 release@21000"
            << QStringList{"1         21.01", "2         21.01"};
        QTest::newRow("two taps, 0.3 s") // a touch screen gives no stamp of its own here
            << "x"
            << "tap@21000 lift@21060 tap@21300 lift@21360"
            << QStringList{"1         21.05", "2         21.35"};
    }
    void everyPressIsOneCapture() {
        QFETCH(QString, system);
        QFETCH(QString, gesture);
        QFETCH(QStringList, times);
        Fixture f;
        f.t.clock.stampsOnTicks = true;
        f.t.session.repeatRules = system == "x" ? KeyRepeatRules::X11 : KeyRepeatRules::Marked;
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
        QCOMPARE(f.open().windowTitle(), "Time Capture"); // no times saved yet
        f.click("CmdStart");
        f.space();
        FrmTimer second(f.state, f.t.platform);
        second.load();
        second.show();
        QCOMPARE(f.t.dialogs.said.filter("This event is being timed in another").size(), 1);
        QTest::mouseClick(second.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        QTest::keyClick(second.focusWidget(), Qt::Key_Space);
        QCOMPARE(fileBytes(f.journal()).count("\ncapture "), 1); // the first's only
        f.window.reset();
        QDir(f.dir.filePath("recovery")).removeRecursively();
        putFile(f.dir.filePath("recovery"), "a file where the folder belongs");
        f.reopenAfterCrash({}).CmdClear_Click();
        QCOMPARE(f.t.dialogs.said.filter("Times are NOT being protected").size(), 1);
    }
};

QTEST_MAIN(TestFrmTimer)
#include "tst_frm_timer.moc"

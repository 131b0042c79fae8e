// The figures of Lapmark's speed targets, one line each: name, median, p99, unit.

#include "app/core/data_file.h"
#include "app/form1.h"
#include "finishorder/frm_bib_numbers.h"
#include "platform/qt_platform.h"
#include "support/http_server.h"
#include "support/window_fixture.h"
#include "timing/capture_journal.h"
#include "timing/frm_timer.h"
#include "timing/race_clock.h"
#include "timing/times_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace lm;

namespace {

void report(const char* name, std::vector<double> values, double perUnit, const char* unit) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[size_t(q * double(values.size() - 1))] / perUnit;
    };
    std::printf("%-44s median %10.3f  p99 %10.3f  %s\n", name, at(0.5), at(0.99), unit);
    std::fflush(stdout);
}

// Nanoseconds of `step`, `runs` times; `prepare` runs untimed before each.
std::vector<double> timed(int runs, const std::function<void()>& step,
                          const std::function<void()>& prepare = {}) {
    std::vector<double> ns;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        step();
        ns.push_back(double(t.nsecsElapsed()));
    }
    return ns;
}

// The real tick counter without the ten seconds of the start display; event stamps on it
// as the X server's are, or none.
struct StampedClock : SystemClock {
    explicit StampedClock(bool stamps) : SystemClock(stamps) {}
    std::uint32_t skipped = 0;
    std::uint32_t tickCount() override { return SystemClock::tickCount() + skipped; }
    void sleepMs(int ms) override { skipped += std::uint32_t(ms); }
};

qint64 lastJournalled(const QString& journal, const QByteArray& word, int field) {
    const QList<QByteArray> lines = test::fileBytes(journal).split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->startsWith(word))
            return it->split(' ').value(field).toLongLong();
    }
    return -1;
}

void timing() {
    test::WindowFixture<FrmTimer> f;
    FrmTimer& window = f.open();
    f.click("CmdStart");
    for (int i = 0; i < 2000; ++i) {
        f.t.clock.advance(1000);
        QTest::keyClick(window.focusWidget(), Qt::Key_Space);
    }
    // The press is handled (line appended, selected, journalled) before the key event
    // returns; the repaint that shows it follows in the event loop, measured on its own.
    const auto press = [&] {
        f.t.clock.advance(731);
        QTest::keyPress(window.focusWidget(), Qt::Key_Space);
    };
    const auto release = [&] {
        QTest::keyRelease(window.focusWidget(), Qt::Key_Space);
        QCoreApplication::processEvents();
    };
    report("capture (2000+ times, journal on)", timed(2000, press, release), 1e3, "us");
    report("capture and repaint of the window",
           timed(500,
                 [&] {
                     press();
                     release();
                 }),
           1e3, "us");
    QStringList lines(2000, timeLine(1, "1:02:03.46"));
    report("save 2000 times (crash-safe, synced)",
           timed(50,
                 [&] {
                     writePrimary(f.t.platform, f.dataFile("TIMES EV  7", ".LMT"),
                                  timesFileContent(lines), RetryPause::FromRoundedSecond);
                 }),
           1e6, "ms");
    window.closeFromCode();
    f.window.reset();

    // A space bar press queued while the window thread is held for 300 ms (a save to a
    // slow flash drive): how far the captured time lies from the moment of the press.
    for (const bool stamps : {true, false}) {
        StampedClock clock(stamps);
        test::TestPlatform& t = f.t;
        Platform platform{t.dialogs, clock, t.files, t.http, t.archives, t.session};
        QDir(f.dir.filePath("recovery")).removeRecursively();
        FrmTimer held(f.state, platform);
        held.load(); // today's date: a new event file
        held.show();
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        const QString journal =
            journalPath(f.state.AppPath,
                        DataFileName(f.state, f.state.PrimaryPath, kTimesPrefix, kTimesExtension));
        const auto start = std::uint32_t(lastJournalled(journal, "start", 1));
        std::vector<double> errorNs;
        for (int i = 0; i < 30; ++i) {
            const std::uint32_t pressed = clock.tickCount();
            auto* key = new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
            key->setTimestamp(pressed);
            QCoreApplication::postEvent(held.focusWidget(), key);
            QThread::msleep(300);
            QCoreApplication::processEvents();
            errorNs.push_back(
                1e6 * double(lastJournalled(journal, "capture", 2) - elapsedMs(start, pressed)));
        }
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStop"), Qt::LeftButton);
        held.closeFromCode();
        report(stamps ? "capture error, press held 300 ms" : "  the same, read from the clock",
               errorNs, 1e6, "ms");
    }
}

void finishOrder() {
    test::WindowFixture<FrmBibNumbers> f;
    QByteArray content;
    for (int i = 1; i <= 2000; ++i)
        content += QByteArray::number(1000 + i) + "\r\n";
    test::putFile(f.dataFile("BIBS EV  7", ".LMB"), content);
    report("open bib window on 2000-line file",
           timed(20,
                 [&] {
                     f.open();
                     QCoreApplication::processEvents();
                 }),
           1e6, "ms");
    FrmBibNumbers& window = *f.window;
    int next = 9000;
    report("entry at place 2000 (check, write, save)",
           timed(200,
                 [&] {
                     f.child<QLineEdit>("TxtPlace")->setText("2000");
                     f.child<QLineEdit>("TxtBib")->setText(QString::number(next++));
                     QTest::keyClick(f.child<QLineEdit>("TxtBib"), Qt::Key_Return);
                     QCoreApplication::processEvents();
                 }),
           1e6, "ms");
    for (const bool insert : {true, false}) {
        report(insert ? "insert at place 1" : "delete at place 1",
               timed(100,
                     [&] {
                         window.selectLine(1);
                         f.t.dialogs.answers = {Answer::Yes};
                         insert ? window.CmdInsert_Click() : window.CmdDelete_Click();
                         QCoreApplication::processEvents();
                     }),
               1e6, "ms");
    }
}

void startUp() {
    QTemporaryDir dir;
    test::HttpServer server;
    server.serve("/korvel/pdtimerupgrade/pdtimerversion.txt", "1.12");
    for (const QUrl& url : {server.base(), QUrl("http://127.0.0.1:1")}) {
        const bool answers = url == server.base();
        report(answers ? "start-up, server answers 1.12" : "start-up, server refuses connections",
               timed(answers ? 9 : 3,
                     [&] {
                         RealPlatform real;
                         AppState state;
                         Form1 form(state, real.platform(), url);
                         form.load(dir.path());
                         form.show();
                         if (!QTest::qWaitForWindowExposed(&form))
                             std::abort();
                     }),
               1e6, "ms");
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    timing();
    finishOrder();
    startUp();
    return 0;
}

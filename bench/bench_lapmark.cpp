// The figures of Lapmark's speed targets, one line each: name, median, p99, unit.

#include "support/window_fixture.h"
#include "timing/frm_timer.h"
#include "timing/race_clock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>

#include <cstdio>

using namespace lm;

namespace {

void report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %9.3f  p99 %9.3f  ms\n", name, ms[ms.size() / 2],
                ms[size_t(0.99 * double(ms.size() - 1))]);
}

// The real tick counter without the ten seconds of the start display; event stamps on it
// as the X server's are, or none.
struct StampedClock : SystemClock {
    explicit StampedClock(bool stamps)
        : SystemClock(stamps ? EventTicks([](quint64 s) { return std::optional(std::uint32_t(s)); })
                             : EventTicks()) {}
    std::uint32_t skipped = 0;
    std::uint32_t tickCount() override { return SystemClock::tickCount() + skipped; }
    void sleepMs(int ms) override { skipped += std::uint32_t(ms); }
};

// A field of the last journal record that starts with `word`.
qint64 journalled(const QString& journal, const QByteArray& word, int field) {
    qint64 value = -1;
    for (const QByteArray& line : test::fileBytes(journal).split('\n'))
        value = line.startsWith(word) ? line.split(' ').value(field).toLongLong() : value;
    return value;
}

void timing() {
    test::WindowFixture<FrmTimer> f;
    FrmTimer& window = f.open();
    f.click("CmdStart");
    for (int i = 0; i < 2000; ++i)
        QTest::keyClick(window.focusWidget(), Qt::Key_Space);
    // The press is handled (line appended, selected, journalled) before the key event
    // returns; the repaint follows in the event loop, untimed.
    std::vector<double> ms;
    for (int i = 0; i < 2000; ++i) {
        QElapsedTimer timer;
        timer.start();
        QTest::keyPress(window.focusWidget(), Qt::Key_Space);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        QTest::keyRelease(window.focusWidget(), Qt::Key_Space);
        QCoreApplication::processEvents();
    }
    report("capture (2000+ times, journal on)", ms);
    f.window.reset(); // lets go of its journal before the folder is cleared

    // A space bar press queued while the window thread is held for 300 ms (a save to a
    // slow flash drive): how far the journalled time lies from the moment of the press.
    for (const bool stamps : {true, false}) {
        StampedClock clock(stamps);
        Platform platform{f.t.dialogs, clock, f.t.files, f.t.http, f.t.archives, f.t.session};
        QDir(f.dir.filePath("recovery")).removeRecursively();
        FrmTimer held(f.state, platform);
        held.load(); // today's date: a new event file
        held.show();
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
        const QString journal =
            QDir(f.dir.filePath("recovery")).entryInfoList(QDir::Files)[0].filePath();
        const auto start = std::uint32_t(journalled(journal, "start", 1));
        std::vector<double> errors;
        for (int i = 0; i < 30; ++i) {
            const std::uint32_t pressed = clock.tickCount();
            auto* key = new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
            key->setTimestamp(pressed);
            QCoreApplication::postEvent(held.focusWidget(), key);
            QThread::msleep(300);
            QCoreApplication::processEvents();
            errors.push_back(double(journalled(journal, "capture", 2) - elapsedMs(start, pressed)));
        }
        report(stamps ? "capture error, press held 300 ms" : "  the same, read from the clock",
               errors);
        QTest::mouseClick(held.findChild<QPushButton*>("CmdStop"), Qt::LeftButton);
        held.closeFromCode();
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    timing();
    return 0;
}

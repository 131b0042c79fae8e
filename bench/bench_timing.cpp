// Capture handling with 2,000 times in the list (journal on), how far a capture lies from
// its press when the window thread was held, and a save of 2,000 times.

#include "app/core/app_state.h"
#include "bench_util.h"
#include "support/window_fixture.h"
#include "timing/capture_journal.h"
#include "app/core/data_file.h"
#include "timing/frm_timer.h"
#include "timing/race_clock.h"
#include "timing/times_file.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QThread>

using namespace lm;

namespace {

// The real tick counter, with the start display skipped, and event stamps taken on it as
// the X server's are.
struct StampedClock : SystemClock {
    std::uint32_t skipped = 0;
    std::uint32_t tickCount() override { return SystemClock::tickCount() + skipped; }
    void sleepMs(int ms) override { skipped += static_cast<std::uint32_t>(ms); }
    std::optional<std::uint32_t> eventTick(quint64 stamp) override {
        return stamps ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(stamp))
                      : std::nullopt;
    }
    bool stamps = true;
};

qint64 lastJournalled(const QString& journal, const char* word) {
    const QList<QByteArray> lines = test::fileBytes(journal).trimmed().split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->startsWith(word))
            return it->split(' ').value(word[0] == 'c' ? 2 : 1).toLongLong();
    }
    return -1;
}

// A space bar press queued while the window thread is held for 300 ms (a save to a slow
// flash drive): how far the captured time lies from the moment of the press.
bench::Figures captureErrorUnderStall(test::WindowFixture<FrmTimer>& f, bool stamps) {
    StampedClock clock;
    clock.stamps = stamps;
    test::TestPlatform& t = f.t;
    Platform platform{t.dialogs, clock, t.files, t.http, t.archives, t.session};
    QDir(f.dir.filePath("recovery")).removeRecursively();
    FrmTimer window(f.state, platform);
    window.load(); // today's date: a new event file
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
    const QString journal = journalPath(
        f.state.AppPath, DataFileName(f.state, f.state.PrimaryPath, kTimesPrefix, kTimesExtension));
    const auto start = static_cast<std::uint32_t>(lastJournalled(journal, "start"));
    std::vector<double> errorNs;
    for (int i = 0; i < 30; ++i) {
        const std::uint32_t pressed = clock.tickCount();
        auto* press = new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        press->setTimestamp(pressed);
        QCoreApplication::postEvent(window.focusWidget(), press);
        QThread::msleep(300);
        QCoreApplication::processEvents();
        const qint64 captured = lastJournalled(journal, "capture");
        errorNs.push_back(1e6 * static_cast<double>(captured - elapsedMs(start, pressed)));
    }
    QTest::mouseClick(window.findChild<QPushButton*>("CmdStop"), Qt::LeftButton);
    window.closeFromCode();
    return bench::summarize(errorNs);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::WindowFixture<FrmTimer> f;
    test::TestPlatform& t = f.t;
    FrmTimer& window = f.open();
    QTest::mouseClick(window.findChild<QPushButton*>("CmdStart"), Qt::LeftButton);
    auto* list = window.findChild<QListWidget*>("ListTimes");
    for (int i = 0; i < 2000; ++i) {
        t.clock.advance(1000);
        QTest::keyClick(window.focusWidget(), Qt::Key_Space);
    }
    // The key press is handled (line appended and selected) before the key event returns;
    // the repaint that shows it follows in the event loop and is measured on its own.
    const bench::Figures capture = bench::measure(
        2000,
        [&] {
            t.clock.advance(731);
            QTest::keyPress(window.focusWidget(), Qt::Key_Space);
        },
        [&] {
            QTest::keyRelease(window.focusWidget(), Qt::Key_Space);
            QCoreApplication::processEvents();
        });
    bench::report("capture (space bar to line selected, 2000+)", capture, 1e3, "us");
    const bench::Figures repaint = bench::measure(500, [&] {
        t.clock.advance(731);
        QTest::keyClick(window.focusWidget(), Qt::Key_Space);
        QCoreApplication::processEvents();
    });
    bench::report("capture and repaint of the window", repaint, 1e3, "us");
    if (list->count() != 4500)
        return 1;

    QStringList lines;
    for (int i = 1; i <= 2000; ++i)
        lines.append(timeLine(i, "1:02:03.46"));
    const QString file = f.dataFile("TIMES EV  7", ".LMT");
    const bench::Figures save = bench::measure(50, [&] {
        writePrimary(t.platform, file, timesFileContent(lines), RetryPause::FromRoundedSecond);
    });
    bench::report("save 2000 times (crash-safe, synced)", save, 1e6, "ms");

    window.closeFromCode();
    f.window.reset();
    bench::report("capture error, press held 300 ms", captureErrorUnderStall(f, true), 1e6, "ms");
    bench::report("  the same, read from the clock (no stamp)", captureErrorUnderStall(f, false),
                  1e6, "ms");
    return 0;
}

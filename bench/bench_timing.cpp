// Capture handling with 2,000 times in the list, and a save of 2,000 times.

#include "app/app_state.h"
#include "bench_util.h"
#include "support/window_fixture.h"
#include "timing/data_file.h"
#include "timing/frm_timer.h"
#include "timing/times_file.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace lm;

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
    return 0;
}

// Bib entry at place 2,000 of a full list, Insert and Delete at place 1, and opening the
// window on a 2,000-line bibs file.

#include "app/core/app_state.h"
#include "bench_util.h"
#include "finishorder/finish_order_list.h"
#include "finishorder/frm_bib_numbers.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace lm;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::WindowFixture<FrmBibNumbers> f;
    test::TestPlatform& t = f.t;
    const QString file = f.dataFile("BIBS EV  7", ".LMB");
    QByteArray content;
    for (int i = 1; i <= 2000; ++i)
        content += QByteArray::number(1000 + i) + "\r\n";
    test::putFile(file, content);

    const bench::Figures open = bench::measure(20, [&] {
        f.open();
        QCoreApplication::processEvents();
    });
    std::unique_ptr<FrmBibNumbers>& window = f.window;
    bench::report("open bib window on 2000-line file", open, 1e6, "ms");

    auto* place = window->findChild<QLineEdit*>("TxtPlace");
    auto* bib = window->findChild<QLineEdit*>("TxtBib");
    int next = 9000;
    const bench::Figures entry = bench::measure(200, [&] {
        place->setText("2000");
        bib->setText(QString::number(next++));
        QTest::keyClick(bib, Qt::Key_Return);
        QCoreApplication::processEvents();
    });
    bench::report("entry at place 2000 (check, write, save)", entry, 1e6, "ms");

    t.dialogs.answers.clear();
    const bench::Figures insert = bench::measure(100, [&] {
        window->selectLine(1);
        t.dialogs.answers = {Answer::Yes};
        window->CmdInsert_Click();
        QCoreApplication::processEvents();
    });
    bench::report("insert at place 1", insert, 1e6, "ms");
    const bench::Figures remove = bench::measure(100, [&] {
        window->selectLine(1);
        t.dialogs.answers = {Answer::Yes};
        window->CmdDelete_Click();
        QCoreApplication::processEvents();
    });
    bench::report("delete at place 1", remove, 1e6, "ms");
    return window->list().count() == 2001 ? 0 : 1;
}

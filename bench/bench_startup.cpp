// Start-up to the main window shown, with an upgrade server that answers "1.12" and with
// one that refuses connections (five seconds of retries).

#include "app/core/app_state.h"
#include "app/form1.h"
#include "bench_util.h"
#include "platform/qt_platform.h"
#include "support/http_server.h"
#include "upgrade/check_version.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace lm;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    test::HttpServer server;
    server.serve(kVersionPath, "1.12");

    auto startOnce = [&](const QUrl& url) {
        RealPlatform real;
        AppState state;
        Form1 form(state, real.platform(), url);
        form.load(dir.path());
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            std::abort();
    };
    bench::report("start-up, server answers 1.12",
                  bench::measure(9, [&] { startOnce(server.base()); }), 1e6, "ms");
    bench::report("start-up, server refuses connections",
                  bench::measure(3, [&] { startOnce(QUrl("http://127.0.0.1:1")); }), 1e6, "ms");
    return 0;
}

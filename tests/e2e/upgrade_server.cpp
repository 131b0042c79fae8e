// A stand-in upgrade server for the end-to-end tests: serves the version text (and a
// package) on 127.0.0.1 at the given port until it is killed.
//   upgrade_server <port> <version text> [--package]

#include "support/http_server.h"
#include "support/zip_builder.h"
#include "upgrade/check_version.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    lm::test::HttpServer server(static_cast<quint16>(QByteArray(argv[1]).toUInt()));
    if (server.base().port() <= 0)
        return 3;
    QByteArray version(argv[2]);
    version.replace("\\n", "\n");
    server.serve(lm::kVersionPath, version);
    if (argc > 3 && QByteArray(argv[3]) == "--package") {
        server.serve(lm::kPackagePath,
                     lm::test::buildZip({{"upgradetimer.exe", "#!/bin/sh\nexit 0\n"},
                                         {"LAPMARK.exe", "new program"}}));
    }
    return app.exec();
}

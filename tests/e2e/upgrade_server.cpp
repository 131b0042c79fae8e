// A stand-in upgrade server for the end-to-end tests: serves the version text, and the
// package with its signature from a folder, on 127.0.0.1 at the given port until killed.
//   upgrade_server <port> <version text> [<folder with the package and its signature>]
//   upgrade_server --make-package <folder>   writes a package whose updater leaves a mark

#include "support/fakes.h"
#include "support/http_server.h"
#include "support/zip_builder.h"

#include <QCoreApplication>
#include <QDir>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString zip = QStringLiteral("pdtimerupgrade.zip");
    if (QByteArray(argv[1]) == "--make-package") {
        lm::test::putFile(
            QDir(argv[2]).filePath(zip),
            lm::test::buildZip({{"upgradetimer.exe", "#!/bin/sh\necho started >updater-ran\n"},
                                {"LAPMARK.exe", "new program"}}));
        return 0;
    }
    lm::test::HttpServer server(static_cast<quint16>(QByteArray(argv[1]).toUInt()));
    if (server.base().port() <= 0)
        return 3;
    QByteArray version(argv[2]);
    version.replace("\\n", "\n");
    server.serve("/korvel/pdtimerupgrade/pdtimerversion.txt", version);
    if (argc > 3) {
        for (const QString& name : {zip, zip + ".minisig"})
            server.serve("/korvel/pdtimerupgrade/" + name,
                         lm::test::fileBytes(QDir(argv[3]).filePath(name)));
    }
    return app.exec();
}

#include "app/core/app_state.h"
#include "support/fakes.h"
#include "support/http_server.h"
#include "support/zip_builder.h"
#include "upgrade/check_version.h"

#include "platform/signature.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace lm;
using namespace lm::test;

namespace {

// A key pair of the minisign tool, and signatures made by it.
struct Signer {
    QTemporaryDir dir;
    QString publicKey;
    Signer() {
        run({"-G", "-W", "-f", "-p", dir.filePath("k.pub"), "-s", dir.filePath("k.key")});
        publicKey = QString::fromLatin1(fileBytes(dir.filePath("k.pub")).split('\n').value(1));
    }
    QByteArray sign(const QByteArray& data, const QString& comment, bool legacy = false) {
        putFile(dir.filePath("m"), data);
        QStringList args = {"-S", "-s",   dir.filePath("k.key"), "-m", dir.filePath("m"),
                            "-t", comment};
        if (legacy)
            args.prepend("-l");
        run(args);
        return fileBytes(dir.filePath("m.minisig"));
    }
    static void run(const QStringList& args) {
        QProcess p;
        p.start("minisign", args);
        p.closeWriteChannel();
        if (!p.waitForFinished() || p.exitCode() != 0)
            qFatal("minisign %s failed", qPrintable(args.join(' ')));
    }
};

Signer& maker() {
    static Signer signer;
    return signer;
}

const QString kSignaturePath = kPackagePath + ".minisig";
const QString kUnverified = "The upgrade package could not be verified: it is not signed by "
                            "the maker of Lapmark for this version.\r\rNothing was installed.";

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    Fixture() {
        state.AppPath = dir.path();
        state.VersionText = "1.12";
    }
    Upgrader upgrader(const QUrl& server = QUrl("http://upgrade.test")) {
        return Upgrader(state, t.platform, server, maker().publicKey);
    }
    QString inUpgrade(const QString& name) const { return dir.path() + "/upgrade/" + name; }
    QStringList upgradeFolder() const {
        return QDir(dir.filePath("upgrade")).entryList(QDir::Files | QDir::Hidden);
    }
    bool packageRequested() const { return t.http.requested.contains(kPackagePath); }
    // Offers `version` with `package` signed for it.
    void offer(const QByteArray& version, const QByteArray& package) {
        t.http.bodies[kVersionPath] = version;
        t.http.bodies[kPackagePath] = package;
        t.http.bodies[kSignaturePath] = maker().sign(package, "version:" + version.trimmed());
    }
};

QByteArray goodPackage() {
    return buildZip({{"upgradetimer.exe", "#!/bin/sh\nexit 0\n"}, {"LAPMARK.exe", "new program"}});
}

} // namespace

class TestCheckVersion : public QObject {
    Q_OBJECT
  private slots:
    void serverVersions_data() {
        QTest::addColumn<QByteArray>("body"); // "<none>": the fetch fails
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("retried");
        QTest::newRow("1.12") << QByteArray("1.12") << false << false;
        QTest::newRow("1.2") << QByteArray("1.2") << true << false;
        QTest::newRow("1.100") << QByteArray("1.100") << false << false;
        QTest::newRow("1.099") << QByteArray("1.099") << false << false;
        QTest::newRow("1.13 and line break") << QByteArray("1.13\n") << true << false;
        QTest::newRow("0") << QByteArray("0") << false << true;
        QTest::newRow("empty") << QByteArray("") << false << true;
        QTest::newRow("error page") << QByteArray("<html><body>404</body></html>") << false << true;
        QTest::newRow("no answer") << QByteArray("<none>") << false << true;
    }
    void serverVersions() {
        QFETCH(QByteArray, body);
        QFETCH(bool, asked);
        QFETCH(bool, retried);
        Fixture f;
        if (body != "<none>")
            f.t.http.bodies[kVersionPath] = body;
        f.t.dialogs.answers = {Answer::No};
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        QCOMPARE(f.t.dialogs.messages.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(f.t.dialogs.messages[0].title, QStringLiteral("Upgrade?"));
            QCOMPARE(f.t.dialogs.messages[0].defaultButton, Answer::Yes);
            QCOMPARE(f.t.dialogs.lastPrompt(),
                     "Version " + QString::fromLatin1(body) + " is available.  Apply upgrade?");
        }
        QCOMPARE(f.t.http.requested.count(kVersionPath) > 1, retried);
        if (retried) // five seconds of asking, with pauses between the attempts
            QVERIFY(f.t.clock.sleptMs >= 5000 && f.t.clock.sleptMs < 5200);
        QVERIFY(!f.packageRequested());
        QCOMPARE(f.t.session.cursorChanges, (QList<bool>{true, false}));
        QVERIFY(QFileInfo(f.dir.filePath("upgrade")).isDir());
    }

    void yesWithAGoodPackageHandsOver() {
        Fixture f;
        QDir(f.dir.path()).mkdir("upgrade");
        putFile(f.inUpgrade("leftover.txt"), "x");
        f.offer("1.13\r\n", goodPackage());
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::ProgramEnding);
        QCOMPARE(f.t.http.requested, (QStringList{kVersionPath, kPackagePath, kSignaturePath}));
        QCOMPARE(f.t.dialogs.progressShown.size(), 1);
        QCOMPARE(f.t.dialogs.progressShown[0].done, goodPackage().size());
        QCOMPARE(f.t.dialogs.titles(), (QStringList{"Upgrade?", "Apply Upgrade"}));
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 QStringLiteral("Downloaded Upgrade to version 1.13\r\n.\r\r\rThe program will "
                                "re-start after the upgrade is applied."));
        QVERIFY(f.t.session.closedAll);
        QCOMPARE(f.t.session.started, QStringList{f.dir.path() + "/upgradetimer.exe"});
        QVERIFY(f.t.session.quitRequested);
        QVERIFY(QFileInfo(f.dir.filePath("upgradetimer.exe")).isExecutable());
        QCOMPARE(f.upgradeFolder(), QStringList{"LAPMARK.exe"});
        QCOMPARE(f.t.session.cursorChanges, (QList<bool>{true, false}));
    }

    // Online: every package that is not the maker's, for the version offered, is refused
    // before anything is unpacked.
    void signatures_data() {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("signature"); // "<none>": the server has none
        QTest::addColumn<bool>("keyInBuild");
        QTest::addColumn<bool>("installs");
        const QByteArray p = goodPackage();
        const QByteArray good = maker().sign(p, "version:1.13");
        QByteArray flippedPackage = p;
        flippedPackage[40] = char(flippedPackage[40] ^ 1);
        QByteArray flippedSignature = good;
        const qsizetype sigLine = good.indexOf('\n') + 20;
        flippedSignature[sigLine] = flippedSignature[sigLine] == 'A' ? 'B' : 'A';
        QByteArray altered = maker().sign(p, "version:1.11");
        altered.replace("version:1.11", "version:1.13");
        QTest::newRow("pre-hashed") << p << good << true << true;
        QTest::newRow("legacy") << p << maker().sign(p, "version:1.13", true) << true << true;
        QTest::newRow("flipped package byte") << flippedPackage << good << true << false;
        QTest::newRow("flipped signature byte") << p << flippedSignature << true << false;
        QTest::newRow("another key") << p << Signer().sign(p, "version:1.13") << true << false;
        QTest::newRow("no signature") << p << QByteArray("<none>") << true << false;
        QTest::newRow("empty signature") << p << QByteArray() << true << false;
        QTest::newRow("oversized signature")
            << p
            << QByteArray(good).replace("untrusted comment: ",
                                        "untrusted comment: " + QByteArray(1000, 'x'))
            << true << false;
        QTest::newRow("malformed signature")
            << p << QByteArray("untrusted comment: a\nRUS!!\ntrusted comment: version:1.13\nxx\n")
            << true << false;
        QTest::newRow("older version replayed")
            << p << maker().sign(p, "version:1.12") << true << false;
        QTest::newRow("no version named") << p << maker().sign(p, "1.13") << true << false;
        QTest::newRow("comment altered after signing") << p << altered << true << false;
        QTest::newRow("build without a key") << p << good << false << false;
    }
    void signatures() {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, signature);
        QFETCH(bool, keyInBuild);
        QFETCH(bool, installs);
        Fixture f;
        f.t.http.bodies[kVersionPath] = "1.13\n";
        f.t.http.bodies[kPackagePath] = package;
        if (signature != "<none>")
            f.t.http.bodies[kSignaturePath] = signature;
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u(f.state, f.t.platform, QUrl("http://upgrade.test"),
                   keyInBuild ? maker().publicKey : QString());
        QCOMPARE(u.CheckVersion(false),
                 installs ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QCOMPARE(f.t.session.started.size(), installs ? 1 : 0);
        if (installs)
            return;
        const Message& failed = f.t.dialogs.messages.last();
        QCOMPARE(failed.title, QStringLiteral("Failed!"));
        QCOMPARE(failed.icon, Icon::Error);
        QCOMPARE(failed.prompt, kUnverified);
        QVERIFY(!f.t.session.quitRequested);
        QCOMPARE(f.upgradeFolder(), QStringList{});
        QVERIFY(!QFile::exists(f.dir.filePath("upgradetimer.exe")));
        QCOMPARE(f.t.session.cursorChanges, (QList<bool>{true, false}));
    }

    void minisignToolVector() {
        const QString dir = QFINDTESTDATA("minisign-vector");
        const QByteArray message = fileBytes(dir + "/message.txt");
        const QByteArray signature = fileBytes(dir + "/message.txt.minisig");
        const QString testKey = "RWSdIF2CZcVZAtx0SXOGQjFjdX6AqMD7vB7t9KnJLDm+bia+LEIDoECH";
        QCOMPARE(verifyMinisign(message, signature, testKey), QString("version:1.13"));
        QCOMPARE(verifyMinisign(message + " ", signature, testKey), std::nullopt);
    }

    void packageWithoutProgramFails() {
        Fixture f;
        f.offer("2", buildZip({{"upgradetimer.exe", "updater"}, {"readme.txt", "r"}}));
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        const Message& failed = f.t.dialogs.messages.last();
        QCOMPARE(failed.title, QStringLiteral("Failed!"));
        QCOMPARE(failed.icon, Icon::Error);
        QCOMPARE(failed.prompt, QStringLiteral("Error downloading or unzipping your upgrade file. "
                                               "\r\rDownload again and repeat this procedure."));
        QVERIFY(QFile::exists(f.dir.filePath("upgradetimer.exe")));
        QVERIFY(f.t.session.started.isEmpty());
        QVERIFY(!f.t.session.quitRequested);
        QCOMPARE(f.upgradeFolder(), QStringList{"readme.txt"});
    }

    void manualMode_data() {
        QTest::addColumn<QByteArray>("placed"); // "<none>": nothing placed
        QTest::addColumn<QString>("comment");   // "<none>": no signature placed
        QTest::addColumn<QString>("message");   // of the "Failed!" box, or "" for the hand-over
        const QString downloadAgain = "Error downloading or unzipping your upgrade file. \r\r"
                                      "Download again and repeat this procedure.";
        const QByteArray noProgram = buildZip({{"upgradetimer.exe", "u"}});
        QTest::newRow("no package") << QByteArray("<none>") << "<none>" << downloadAgain;
        QTest::newRow("empty file of a failed download")
            << QByteArray() << "<none>" << downloadAgain;
        QTest::newRow("broken archive")
            << QByteArray("PK\x03\x04garbage") << "version:1.13" << downloadAgain;
        QTest::newRow("signed, no program: placed files do not count")
            << noProgram << "version:1.13" << downloadAgain;
        QTest::newRow("any version") << goodPackage() << "version:1.05"
                                     << "";
        QTest::newRow("no version named") << goodPackage() << "version: " << kUnverified;
        QTest::newRow("unsigned") << goodPackage() << "<none>" << kUnverified;
    }
    void manualMode() {
        QFETCH(QByteArray, placed);
        QFETCH(QString, comment);
        QFETCH(QString, message);
        Fixture f;
        QDir(f.dir.path()).mkdir("upgrade");
        // Program files placed by hand beside the package are never started unsigned.
        putFile(f.inUpgrade("LAPMARK.exe"), "placed by hand");
        putFile(f.inUpgrade("upgradetimer.exe"), "placed by hand");
        if (placed != "<none>")
            putFile(f.inUpgrade("PDTimerUpgrade.ZIP"), placed); // any letter case
        if (comment != "<none>")
            putFile(f.inUpgrade("pdtimerupgrade.zip.MINISIG"), maker().sign(placed, comment));
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(true),
                 message.isEmpty() ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QVERIFY(f.t.http.requested.isEmpty());
        QCOMPARE(f.t.dialogs.titles(), message.isEmpty() ? QStringList{} : QStringList{"Failed!"});
        QCOMPARE(f.t.dialogs.lastPrompt(), message);
        QVERIFY(!f.t.session.cursorChanges.contains(true));
        QCOMPARE(f.t.session.started.size(), message.isEmpty() ? 1 : 0);
        QVERIFY(fileBytes(f.dir.filePath("upgradetimer.exe")) != "placed by hand");
    }

    void downloadChordIgnoresErrors() {
        Fixture f;
        Upgrader u = f.upgrader();
        u.DownloadPackage(); // server has no package: an empty file all the same
        QCOMPARE(f.upgradeFolder(), QStringList{"pdtimerupgrade.zip"});
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip")), QByteArray());
        putFile(f.inUpgrade("old.bin"), "x");
        f.offer("1.13", goodPackage());
        u.DownloadPackage();
        QCOMPARE(f.upgradeFolder(),
                 (QStringList{"pdtimerupgrade.zip", "pdtimerupgrade.zip.minisig"}));
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip")), goodPackage());
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip.minisig")),
                 f.t.http.bodies[kSignaturePath]);
        QVERIFY(f.t.dialogs.messages.isEmpty());
        QCOMPARE(u.CheckVersion(true), UpgradeResult::ProgramEnding); // then installed by hand
    }

    // A package of 3 MB that trickles in over ten seconds arrives whole; one whose server
    // falls silent mid-way fails after the silence time-out.
    void slowServers_data() {
        QTest::addColumn<bool>("goesQuiet");
        QTest::newRow("slow link") << false;
        QTest::newRow("falls silent") << true;
    }
    void slowServers() {
        QFETCH(bool, goesQuiet);
        QByteArray noise(3'000'000, Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 2654435761u) >> 13);
        const QByteArray package =
            buildZip({{"upgradetimer.exe", "#!/bin/sh\n"}, {"LAPMARK.exe", noise}});
        HttpServer server;
        server.serve(kVersionPath, "1.13\r\n");
        server.trickle(kPackagePath, package, goesQuiet ? 1000 : 10'000,
                       goesQuiet ? package.size() / 2 : -1);
        server.serve(kSignaturePath, maker().sign(package, "version:1.13"));
        Fixture f;
        QtHttp http(2000);
        Platform platform{f.t.dialogs, f.t.clock, f.t.files, http, f.t.archives, f.t.session};
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u(f.state, platform, server.base(), maker().publicKey);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(u.CheckVersion(false),
                 goesQuiet ? UpgradeResult::Returned : UpgradeResult::ProgramEnding);
        QCOMPARE(f.t.dialogs.progressShown[0].total, package.size());
        if (goesQuiet) {
            QVERIFY(timer.elapsed() < 5000);
            QCOMPARE(f.t.dialogs.lastPrompt(),
                     QStringLiteral("Error downloading or unzipping your upgrade file. \r\r"
                                    "Download again and repeat this procedure."));
        } else {
            QVERIFY(timer.elapsed() > 9000);
            QCOMPARE(server.requested, (QStringList{kVersionPath, kPackagePath, kSignaturePath}));
        }
    }

    void cancelledDownloadFails() {
        Fixture f;
        f.offer("1.13", goodPackage());
        f.t.dialogs.cancelAtBytes = 1;
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 QStringLiteral("Error downloading or unzipping your upgrade file. \r\r"
                                "Download again and repeat this procedure."));
    }

    void fetchFailures_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("hang");
        QTest::addColumn<int>("bodySize");
        QTest::newRow("error status") << 500 << false << 4;
        QTest::newRow("not found") << 404 << false << 4;
        QTest::newRow("never answers") << 200 << true << 0;
        QTest::newRow("too large") << 200 << false << 4096;
    }
    void fetchFailures() {
        QFETCH(int, status);
        QFETCH(bool, hang);
        QFETCH(int, bodySize);
        HttpServer server;
        if (hang)
            server.hang("/x");
        else
            server.serve("/x", QByteArray(bodySize, '1'), status);
        QtHttp http(700);
        FetchOptions small;
        small.maxBytes = 1024;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!http.fetch(QUrl(server.base().toString() + "/x"), small));
        QVERIFY(timer.elapsed() < 3000);
        server.serve("/ok", "1.12");
        QCOMPARE(http.fetch(QUrl(server.base().toString() + "/ok")).value_or("fail"),
                 QByteArray("1.12"));
    }

    void refusedConnectionStopsAfterFiveSeconds() {
        Fixture f;
        QtHttp http(700);
        SystemClock clock;
        Platform platform{f.t.dialogs, clock, f.t.files, http, f.t.archives, f.t.session};
        Upgrader u(f.state, platform, QUrl("http://127.0.0.1:1"), maker().publicKey);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        QVERIFY(timer.elapsed() >= 5000);
        QVERIFY(timer.elapsed() < 8000);
        QVERIFY(f.t.dialogs.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCheckVersion)
#include "tst_check_version.moc"

#include "platform/signature.h"
#include "support/fakes.h"
#include "support/http_server.h"
#include "support/zip_builder.h"
#include "upgrade/check_version.h"

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
        run(QStringList{"-S", "-s", dir.filePath("k.key"), "-m", dir.filePath("m"), "-t", comment} +
            (legacy ? QStringList{"-l"} : QStringList{}));
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

const QString kVersion = "/korvel/pdtimerupgrade/pdtimerversion.txt";
const QString kPackage = "/korvel/pdtimerupgrade/pdtimerupgrade.zip";
const QString kSignature = kPackage + ".minisig";
const QString kUnverified = "The upgrade package could not be verified: it is not signed by "
                            "the maker of Lapmark for this version.\r\rNothing was installed.";
const QString kDownloadAgain = "Error downloading or unzipping your upgrade file. \r\r"
                               "Download again and repeat this procedure.";

QByteArray goodPackage() {
    return buildZip({{"upgradetimer.exe", "#!/bin/sh\nexit 0\n"}, {"LAPMARK.exe", "new program"}});
}

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    Fixture() {
        state.AppPath = dir.path();
        state.VersionText = "1.12";
    }
    Upgrader upgrader(const QString& key = maker().publicKey) {
        return Upgrader(state, t.platform, QUrl("http://upgrade.test"), key);
    }
    QString inUpgrade(const QString& name) const { return dir.path() + "/upgrade/" + name; }
    QStringList upgradeFolder() const {
        return QDir(dir.filePath("upgrade")).entryList(QDir::Files | QDir::Hidden);
    }
    void offer(const QByteArray& version, const QByteArray& package) {
        t.http.bodies[kVersion] = version;
        t.http.bodies[kPackage] = package;
        t.http.bodies[kSignature] = maker().sign(package, "version:" + version.trimmed());
    }
};

} // namespace

class TestCheckVersion : public QObject {
    Q_OBJECT
  private slots:
    void serverVersions_data() {
        QTest::addColumn<QByteArray>("body"); // "<none>": the fetch fails
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("retried");
        for (const auto& [body, asked, retried] :
             QList<std::tuple<const char*, bool, bool>>{{"1.12", false, false},
                                                        {"1.2", true, false},
                                                        {"1.100", false, false},
                                                        {"1.099", false, false},
                                                        {"1.13\n", true, false},
                                                        {"0", false, true},
                                                        {"", false, true},
                                                        {"<html>404</html>", false, true},
                                                        {"<none>", false, true}})
            QTest::newRow(body) << QByteArray(body) << asked << retried;
    }
    void serverVersions() {
        QFETCH(QByteArray, body);
        QFETCH(bool, asked);
        QFETCH(bool, retried);
        Fixture f;
        if (body != "<none>")
            f.t.http.bodies[kVersion] = body;
        f.t.dialogs.answers = {Answer::No};
        QCOMPARE(f.upgrader().CheckVersion(false), UpgradeResult::Returned);
        QCOMPARE(f.t.dialogs.titles(), asked ? QStringList{"Upgrade?"} : QStringList{});
        if (asked)
            QCOMPARE(f.t.dialogs.last(),
                     "Upgrade? [Yes/No]: Version " + body + " is available.  Apply upgrade?");
        QCOMPARE(f.t.http.requested.count(kVersion) > 1, retried);
        if (retried) // five seconds of asking, with pauses between the attempts
            QVERIFY(f.t.clock.sleptMs >= 5000 && f.t.clock.sleptMs < 5200);
        QVERIFY(!f.t.http.requested.contains(kPackage));
        QCOMPARE(f.t.session.cursorChanges, (QList<bool>{true, false}));
    }

    // Online, answered Yes: only the maker's package for the version offered is installed.
    void installs_data() {
        QTest::addColumn<QByteArray>("package");   // "<none>": the server has none
        QTest::addColumn<QByteArray>("signature"); // "<none>": the server has none
        QTest::addColumn<QString>("key");          // built into the program
        QTest::addColumn<QString>("failure");      // "": handed over
        const QByteArray p = goodPackage(), good = maker().sign(p, "version:1.13");
        const QString key = maker().publicKey;
        QByteArray flipped = p, spoiled = good, altered = maker().sign(p, "version:1.11");
        flipped[40] = char(flipped[40] ^ 1);
        spoiled[good.indexOf('\n') + 20] = good[good.indexOf('\n') + 20] == 'A' ? 'B' : 'A';
        altered.replace("version:1.11", "version:1.13");
        const QByteArray longComment =
            QByteArray(good).replace("comment: ", "comment: " + QByteArray(900, 'x'));
        QTest::newRow("pre-hashed") << p << good << key << "";
        QTest::newRow("legacy") << p << maker().sign(p, "version:1.13", true) << key << "";
        QTest::newRow("flipped package byte") << flipped << good << key << kUnverified;
        QTest::newRow("flipped signature byte") << p << spoiled << key << kUnverified;
        QTest::newRow("another key") << p << Signer().sign(p, "version:1.13") << key << kUnverified;
        QTest::newRow("no signature") << p << QByteArray("<none>") << key << kUnverified;
        QTest::newRow("empty signature") << p << QByteArray() << key << kUnverified;
        QTest::newRow("oversized signature") << p << longComment << key << kUnverified;
        QTest::newRow("malformed")
            << p << QByteArray("untrusted comment: a\nRUS!!\ntrusted comment: version:1.13\nxx\n")
            << key << kUnverified;
        QTest::newRow("older version replayed")
            << p << maker().sign(p, "version:1.12") << key << kUnverified;
        QTest::newRow("no version named") << p << maker().sign(p, "1.13") << key << kUnverified;
        QTest::newRow("comment altered after signing") << p << altered << key << kUnverified;
        QTest::newRow("build without a key") << p << good << QString() << kUnverified;
        const QByteArray noProgram = buildZip({{"upgradetimer.exe", "u"}, {"readme.txt", "r"}});
        QTest::newRow("no program in it")
            << noProgram << maker().sign(noProgram, "version:1.13") << key << kDownloadAgain;
        QTest::newRow("none on the server")
            << QByteArray("<none>") << good << key << kDownloadAgain;
    }
    void installs() {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, signature);
        QFETCH(QString, key);
        QFETCH(QString, failure);
        Fixture f;
        QDir(f.dir.path()).mkdir("upgrade");
        putFile(f.inUpgrade("leftover.txt"), "x");
        f.t.http.bodies[kVersion] = "1.13\r\n";
        if (package != "<none>")
            f.t.http.bodies[kPackage] = package;
        if (signature != "<none>")
            f.t.http.bodies[kSignature] = signature;
        f.t.dialogs.answers = {Answer::Yes};
        QCOMPARE(f.upgrader(key).CheckVersion(false),
                 failure.isEmpty() ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QCOMPARE(f.t.http.requested, (QStringList{kVersion, kPackage, kSignature}));
        if (package != "<none>")
            QCOMPARE(f.t.dialogs.progressShown.last().first, package.size());
        QVERIFY(!f.t.session.cursorChanges.last()); // the arrow again
        if (!failure.isEmpty()) {
            QCOMPARE(f.t.dialogs.last(), "Failed! [error]: " + failure);
            QVERIFY(f.t.session.started.isEmpty() && !f.t.session.quitRequested);
            // Refused: nothing unpacked, the files removed.  A signed package stays unpacked.
            QCOMPARE(f.upgradeFolder().isEmpty(), failure == kUnverified);
            QVERIFY(!f.upgradeFolder().contains("LAPMARK.exe"));
            QCOMPARE(QFile::exists(f.dir.filePath("upgradetimer.exe")),
                     f.upgradeFolder().contains("readme.txt"));
            return;
        }
        QCOMPARE(f.t.dialogs.last(), "Apply Upgrade: Downloaded Upgrade to version 1.13\r\n.\r\r\r"
                                     "The program will re-start after the upgrade is applied.");
        QVERIFY(f.t.session.closedAll && f.t.session.quitRequested);
        QCOMPARE(f.t.session.started, QStringList{f.dir.path() + "/upgradetimer.exe"});
        QVERIFY(QFileInfo(f.dir.filePath("upgradetimer.exe")).isExecutable());
        QCOMPARE(f.upgradeFolder(), QStringList{"LAPMARK.exe"});
    }

    void minisignToolVector() {
        const QString dir = QFINDTESTDATA("minisign-vector");
        const QByteArray message = fileBytes(dir + "/message.txt");
        const QByteArray signature = fileBytes(dir + "/message.txt.minisig");
        const QString testKey = "RWSdIF2CZcVZAtx0SXOGQjFjdX6AqMD7vB7t9KnJLDm+bia+LEIDoECH";
        QCOMPARE(verifyMinisign(message, signature, testKey), QString("version:1.13"));
        QCOMPARE(verifyMinisign(message + " ", signature, testKey), std::nullopt);
        // A long untrusted comment leaves the signature valid, but the file is over 1 KiB.
        const QByteArray padded =
            QByteArray(signature).insert(signature.indexOf('\n'), QByteArray(1100, 'x'));
        QCOMPARE(verifyMinisign(message, padded, testKey), std::nullopt);
    }

    void manualMode_data() {
        QTest::addColumn<QByteArray>("placed"); // "<none>": nothing placed
        QTest::addColumn<QString>("comment");   // "<none>": no signature placed
        QTest::addColumn<QString>("message");   // of the "Failed!" box; "": handed over
        QTest::newRow("no package") << QByteArray("<none>") << "<none>" << kDownloadAgain;
        QTest::newRow("empty file") << QByteArray() << "<none>" << kDownloadAgain;
        QTest::newRow("broken archive")
            << QByteArray("PK\x03\x04garbage") << "version:1.13" << kDownloadAgain;
        QTest::newRow("signed, no program: placed files do not count")
            << buildZip({{"upgradetimer.exe", "u"}}) << "version:1.13" << kDownloadAgain;
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
        QCOMPARE(f.upgrader().CheckVersion(true),
                 message.isEmpty() ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QVERIFY(f.t.http.requested.isEmpty());
        QCOMPARE(f.t.dialogs.titles(), message.isEmpty() ? QStringList{} : QStringList{"Failed!"});
        QCOMPARE(f.t.dialogs.lastPrompt(), message);
        QVERIFY(!f.t.session.cursorChanges.contains(true));
        QCOMPARE(f.t.session.started.size(), message.isEmpty() ? 1 : 0);
        QVERIFY(fileBytes(f.dir.filePath("upgradetimer.exe")) != "placed by hand");
    }

    void downloadChord() {
        Fixture f;
        Upgrader u = f.upgrader();
        u.DownloadPackage(); // the server has no package: an empty file all the same
        QCOMPARE(f.upgradeFolder(), QStringList{"pdtimerupgrade.zip"});
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip")), QByteArray());
        f.offer("1.13", goodPackage());
        u.DownloadPackage();
        QCOMPARE(f.upgradeFolder(),
                 (QStringList{"pdtimerupgrade.zip", "pdtimerupgrade.zip.minisig"}));
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip.minisig")), f.t.http.bodies[kSignature]);
        QVERIFY(f.t.dialogs.messages.isEmpty());
        QCOMPARE(u.CheckVersion(true), UpgradeResult::ProgramEnding); // then installed by hand
        f.offer("1.13", goodPackage());
        f.t.dialogs.cancelAtBytes = 1; // the operator cancels the download
        f.t.dialogs.answers = {Answer::Yes};
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        QCOMPARE(f.t.dialogs.lastPrompt(), kDownloadAgain);
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
        server.serve(kVersion, "1.13\r\n");
        server.trickle(kPackage, package, goesQuiet ? 1000 : 10'000,
                       goesQuiet ? package.size() / 2 : -1);
        server.serve(kSignature, maker().sign(package, "version:1.13"));
        Fixture f;
        QtHttp http(2000);
        Platform platform{f.t.dialogs, f.t.clock, f.t.files, http, f.t.archives, f.t.session};
        f.t.dialogs.answers = {Answer::Yes};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Upgrader(f.state, platform, server.base(), maker().publicKey).CheckVersion(false),
                 goesQuiet ? UpgradeResult::Returned : UpgradeResult::ProgramEnding);
        QCOMPARE(f.t.dialogs.progressShown.last().second, package.size());
        QVERIFY(goesQuiet ? timer.elapsed() < 5000 : timer.elapsed() > 9000);
        QCOMPARE(f.t.dialogs.titles().last(), goesQuiet ? "Failed!" : "Apply Upgrade");
        QCOMPARE(server.requested.size(), 3);
    }

    void fetchFailures() {
        HttpServer server;
        server.serve("/error", "1.13", 500);
        server.serve("/large", QByteArray(4096, '1'));
        server.serve("/ok", "1.12");
        QtHttp http(700);
        FetchOptions small;
        small.maxBytes = 1024;
        QVERIFY(!http.fetch(QUrl(server.base().toString() + "/error"), small));
        QVERIFY(!http.fetch(QUrl(server.base().toString() + "/large"), small));
        QCOMPARE(http.fetch(QUrl(server.base().toString() + "/ok")), QByteArray("1.12"));
        // A refused connection: five seconds of asking, then silence.
        Fixture f;
        SystemClock clock;
        Platform platform{f.t.dialogs, clock, f.t.files, http, f.t.archives, f.t.session};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Upgrader(f.state, platform, QUrl("http://127.0.0.1:1"), "").CheckVersion(false),
                 UpgradeResult::Returned);
        QVERIFY(timer.elapsed() >= 5000 && timer.elapsed() < 8000);
        QVERIFY(f.t.dialogs.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCheckVersion)
#include "tst_check_version.moc"

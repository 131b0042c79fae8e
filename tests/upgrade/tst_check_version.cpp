#include "app/app_state.h"
#include "support/fakes.h"
#include "support/http_server.h"
#include "support/zip_builder.h"
#include "upgrade/check_version.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace lm;
using namespace lm::test;

namespace {

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    Fixture() {
        state.AppPath = dir.path();
        state.VersionText = "1.12";
    }
    Upgrader upgrader(const QUrl& server = QUrl("http://upgrade.test")) {
        return Upgrader(state, t.platform, server);
    }
    QString inUpgrade(const QString& name) const { return dir.path() + "/upgrade/" + name; }
    bool packageRequested() const { return t.http.requested.contains(kPackagePath); }
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
        f.t.http.bodies[kVersionPath] = "1.13\r\n";
        f.t.http.bodies[kPackagePath] = goodPackage();
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::ProgramEnding);
        QCOMPARE(f.t.dialogs.titles(), (QStringList{"Upgrade?", "Apply Upgrade"}));
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 QStringLiteral("Downloaded Upgrade to version 1.13\r\n.\r\r\rThe program will "
                                "re-start after the upgrade is applied."));
        QVERIFY(f.t.session.closedAll);
        QCOMPARE(f.t.session.started, QStringList{f.dir.path() + "/upgradetimer.exe"});
        QVERIFY(f.t.session.quitRequested);
        QVERIFY(QFileInfo(f.dir.filePath("upgradetimer.exe")).isExecutable());
        QCOMPARE(QDir(f.dir.filePath("upgrade")).entryList(QDir::Files),
                 QStringList{"LAPMARK.exe"});
        QCOMPARE(f.t.session.cursorChanges, (QList<bool>{true, false}));
    }

    void packageWithoutProgramFails() {
        Fixture f;
        f.t.http.bodies[kVersionPath] = "2";
        f.t.http.bodies[kPackagePath] =
            buildZip({{"upgradetimer.exe", "updater"}, {"readme.txt", "r"}});
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
        QCOMPARE(QDir(f.dir.filePath("upgrade")).entryList(QDir::Files), QStringList{"readme.txt"});
    }

    void manualMode_data() {
        QTest::addColumn<QByteArray>("placed"); // "<none>": nothing placed
        QTest::addColumn<bool>("handsOver");
        QTest::newRow("no package") << QByteArray("<none>") << false;
        QTest::newRow("empty file of a failed download") << QByteArray() << false;
        QTest::newRow("broken archive") << QByteArray("PK\x03\x04garbage") << false;
        QTest::newRow("good package") << goodPackage() << true;
    }
    void manualMode() {
        QFETCH(QByteArray, placed);
        QFETCH(bool, handsOver);
        Fixture f;
        QDir(f.dir.path()).mkdir("upgrade");
        if (placed != "<none>")
            putFile(f.inUpgrade("PDTimerUpgrade.ZIP"), placed); // any letter case
        Upgrader u = f.upgrader();
        QCOMPARE(u.CheckVersion(true),
                 handsOver ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QVERIFY(f.t.http.requested.isEmpty());
        QCOMPARE(f.t.dialogs.titles(), handsOver ? QStringList{} : QStringList{"Failed!"});
        QVERIFY(!f.t.session.cursorChanges.contains(true));
        QVERIFY(!QFile::exists(f.inUpgrade("LAPMARK.exe")) || handsOver);
    }

    void downloadChordIgnoresErrors() {
        Fixture f;
        Upgrader u = f.upgrader();
        u.DownloadPackage(); // server has no package: an empty file all the same
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip")), QByteArray());
        putFile(f.inUpgrade("old.bin"), "x");
        f.t.http.bodies[kPackagePath] = goodPackage();
        u.DownloadPackage();
        QCOMPARE(QDir(f.dir.filePath("upgrade")).entryList(QDir::Files),
                 QStringList{"pdtimerupgrade.zip"});
        QCOMPARE(fileBytes(f.inUpgrade("pdtimerupgrade.zip")), goodPackage());
        QVERIFY(f.t.dialogs.messages.isEmpty());
    }

    void realServerEndToEnd() {
        HttpServer server;
        server.serve(kVersionPath, "1.13\r\n");
        server.serve(kPackagePath, goodPackage());
        Fixture f;
        QtHttp http(2000);
        Platform platform{f.t.dialogs, f.t.clock, f.t.files, http, f.t.archives, f.t.session};
        f.t.dialogs.answers = {Answer::Yes};
        Upgrader u(f.state, platform, server.base());
        QCOMPARE(u.CheckVersion(false), UpgradeResult::ProgramEnding);
        QCOMPARE(server.requested, (QStringList{kVersionPath, kPackagePath}));
        QCOMPARE(u.availableVersionText(), QStringLiteral("1.13\r\n"));
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
        QtHttp http(700, 1024);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!http.fetch(QUrl(server.base().toString() + "/x")));
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
        Upgrader u(f.state, platform, QUrl("http://127.0.0.1:1"));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(u.CheckVersion(false), UpgradeResult::Returned);
        QVERIFY(timer.elapsed() >= 5000);
        QVERIFY(timer.elapsed() < 8000);
        QVERIFY(f.t.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestCheckVersion)
#include "tst_check_version.moc"

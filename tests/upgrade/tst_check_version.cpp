#include "platform/signature.h"
#include "support/fakes.h"
#include "support/zip_builder.h"
#include "upgrade/check_version.h"

#include <QFileInfo>
#include <QLockFile>

#include <sodium.h>

using namespace lm::test;

namespace {

// Signed as minisign signs, with the tests' key (public half `kKey`; see the scenarios).
QByteArray sign(const QByteArray& data, const QString& comment, bool legacy = false) {
    const QByteArray key = QByteArray::fromBase64(
        fileBytes(QFINDTESTDATA("e2e/test-signing-key/test-only.key")).split('\n').value(1));
    const auto sign = [&](const QByteArray& message) {
        QByteArray sig(64, 0);
        crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                             reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                             reinterpret_cast<const unsigned char*>(key.constData()) + 62);
        return sig;
    };
    QByteArray hash(64, 0);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), 64,
                       reinterpret_cast<const unsigned char*>(data.constData()), data.size(),
                       nullptr, 0);
    const QByteArray sig = sign(legacy ? data : hash);
    return "untrusted comment: signature from minisign secret key\n" +
           (QByteArray(legacy ? "Ed" : "ED") + key.mid(54, 8) + sig).toBase64() +
           "\ntrusted comment: " + comment.toUtf8() + "\n" +
           sign(sig + comment.toUtf8()).toBase64() + "\n";
}

const QString kKey = "RWSdIF2CZcVZAtx0SXOGQjFjdX6AqMD7vB7t9KnJLDm+bia+LEIDoECH";
const QString kVersion = "/korvel/pdtimerupgrade/pdtimerversion.txt";
const QString kPackage = "/korvel/pdtimerupgrade/pdtimerupgrade.zip";
const QString kSignature = kPackage + ".minisig";
const QString kUnverified = "Failed! [error]: The upgrade package could not be verified: it is "
                            "not signed by the maker of Lapmark for this version.\r\rNothing was "
                            "installed.";
const QString kDownloadAgain = "Failed! [error]: Error downloading or unzipping your upgrade "
                               "file. \r\rDownload again and repeat this procedure.";
const QByteArray kPackageBytes =
    buildZip({{"upgradetimer.exe", "#!/bin/sh\nexit 0\n"}, {"LAPMARK.exe", "new program"}});

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    Fixture() {
        state.AppPath = shown(dir.path());
        state.VersionText = "1.12";
        QDir(dir.path()).mkdir("upgrade");
    }
    Upgrader upgrader(const QString& key = kKey) {
        return Upgrader(state, t.platform, QUrl("http://upgrade.test"), key);
    }
    QString inUpgrade(const QString& name) const { return dir.path() + "/upgrade/" + name; }
    QStringList upgradeFolder() const {
        return QDir(dir.filePath("upgrade")).entryList(QDir::Files | QDir::Hidden);
    }
    // What the operator saw, then what the program did.
    QString outcome() const { return t.dialogs.said.join("\n") + "|" + t.session.did.join(","); }
};

} // namespace

class TestCheckVersion : public QObject {
    Q_OBJECT
  private slots:
    void serverVersions_data() {
        QTest::addColumn<QByteArray>("body"); // "<none>": the fetch fails
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("retried");
        QTest::newRow("same") << QByteArray("1.12") << false << false;
        QTest::newRow("newer") << QByteArray("1.2") << true << false;
        QTest::newRow("older") << QByteArray("1.100") << false << false;
        QTest::newRow("older, three places") << QByteArray("1.099") << false << false;
        QTest::newRow("error page") << QByteArray("<html>404</html>") << false << true;
        QTest::newRow("no answer") << QByteArray("<none>") << false << true;
    }
    void serverVersions() {
        QFETCH(QByteArray, body);
        QFETCH(bool, asked);
        QFETCH(bool, retried);
        Fixture f;
        putFile(f.inUpgrade("leftover.txt"), "x"); // emptied before the version is asked
        if (body != "<none>")
            f.t.http.bodies[kVersion] = body;
        f.t.dialogs.answers = {Answer::No};
        QCOMPARE(f.upgrader().CheckVersion(false), UpgradeResult::Returned);
        QCOMPARE(
            f.outcome(),
            (asked ? "Upgrade? [Yes/No]: Version " + body + " is available.  Apply upgrade?" : "") +
                "|wait,arrow");
        QCOMPARE(f.t.http.requested.count(kVersion) > 1, retried);
        if (retried) // five seconds of asking, with pauses between the attempts
            QVERIFY(f.t.clock.sleptMs >= 5000 && f.t.clock.sleptMs < 5200);
        QVERIFY(f.upgradeFolder().isEmpty());
    }

    // Online, answered Yes: only the maker's package for the version offered is installed.
    void installs_data() {
        QTest::addColumn<QByteArray>("package");   // "<cancel>": cancelled
        QTest::addColumn<QByteArray>("signature"); // "<none>": the server has none
        QTest::addColumn<QString>("key");          // built into the program
        QTest::addColumn<QString>("failure");      // "": handed over
        const QByteArray p = kPackageBytes, good = sign(p, "version:1.13");
        QByteArray flipped = p, altered = sign(p, "version:1.11");
        flipped[40] = char(flipped[40] ^ 1);
        altered.replace("version:1.11", "version:1.13");
        // A long untrusted comment leaves a signature valid; the verifier refuses it unread.
        const QByteArray longComment =
            QByteArray(good).insert(good.indexOf('\n'), QByteArray(1100, 'x'));
        QCOMPARE(verifyMinisign(p, longComment, kKey), std::nullopt);
        QTest::newRow("pre-hashed") << p << good << kKey << "";
        QTest::newRow("legacy") << p << sign(p, "version:1.13", true) << kKey << "";
        QTest::newRow("flipped package byte") << flipped << good << kKey << kUnverified;
        QTest::newRow("no signature") << p << QByteArray("<none>") << kKey << kUnverified;
        QTest::newRow("valid, but over 1 KiB") << p << longComment << kKey << kUnverified;
        QTest::newRow("older version replayed")
            << p << sign(p, "version:1.12") << kKey << kUnverified;
        QTest::newRow("comment altered after signing") << p << altered << kKey << kUnverified;
        QTest::newRow("build without a key") << p << good << QString() << kUnverified;
        QTest::newRow("download cancelled")
            << QByteArray("<cancel>") << good << kKey << kDownloadAgain;
        QTest::newRow("the updater does not start") << p << good << kKey << "<no updater>";
    }
    void installs() {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, signature);
        QFETCH(QString, key);
        QFETCH(QString, failure);
        Fixture f;
        putFile(f.inUpgrade("leftover.txt"), "x");
        f.t.http.bodies[kVersion] = "1.13\r\n";
        f.t.dialogs.cancelAtBytes = package == "<cancel>" ? 1 : -1;
        f.t.http.bodies[kPackage] = package == "<cancel>" ? kPackageBytes : package;
        if (signature != "<none>")
            f.t.http.bodies[kSignature] = signature;
        f.t.dialogs.answers = {Answer::Yes};
        f.t.session.startFails = failure == "<no updater>";
        QCOMPARE(f.upgrader(key).CheckVersion(false),
                 failure.isEmpty() ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QCOMPARE(f.t.http.requested, (QStringList{kVersion, kPackage, kSignature}));
        QCOMPARE(f.t.dialogs.bytesShown, f.t.http.bodies[kPackage].size());
        const QString asked = "Upgrade? [Yes/No]: Version 1.13\r\n is available.  Apply upgrade?\n";
        const QString updater = shown(f.dir.filePath("upgradetimer.exe"));
        const QString applied = "Apply Upgrade: Downloaded Upgrade to version 1.13\r\n.\r\r\r"
                                "The program will re-start after the upgrade is applied.";
        if (failure == "<no updater>") { // the program stays, and nothing is handed over
            QVERIFY(f.outcome().startsWith(asked + applied +
                                           "\nFailed! [error]: The upgrade was NOT applied: the "
                                           "updater " +
                                           updater + " could not be started."));
            QVERIFY(f.outcome().endsWith("|wait,arrow,start " + updater + ",arrow"));
            QVERIFY(!QFile::exists(f.dir.filePath("upgradetimer.to")));
            return;
        }
        if (!failure.isEmpty()) {
            QCOMPARE(f.outcome(), asked + failure + "|wait,arrow");
            // Unverified: the folder emptied, the leftover too.  Not downloaded: nothing unpacked.
            QCOMPARE(f.upgradeFolder().isEmpty(), failure == kUnverified);
            QVERIFY(!f.upgradeFolder().contains("LAPMARK.exe") && !QFile::exists(updater));
            return;
        }
        QCOMPARE(f.outcome(), asked + applied + "|wait,arrow,start " + updater + ",close all,quit");
        QVERIFY(QFileInfo(updater).isExecutable());
        QCOMPARE(f.upgradeFolder(), QStringList{"LAPMARK.exe"});
        QCOMPARE(fileBytes(f.dir.filePath("upgradetimer.to")),
                 "1.13\r\n1.12\r\n"); // for the updater
    }

    // What a start finds of an upgrade: a version taken back is told once and not offered
    // again; a hand-over cut short (the updater stopped, a power cut) is finished, and what
    // is left is tidied.  Files as "name:content", {P} the program (version 1.12), {C} the
    // candidate 1.14 and {S} this program as candidate 1.12; "lock": a running updater's.
    void startUpAfterAnUpgrade_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QByteArray>("offered"); // the version on the server
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("said"); // to the operator, then the line added to the log
        const QString unproven = "{P}:old {C}:new upgradetimer.proving:1.14|{C} "
                                 "upgradetimer.to:1.14 ",
                      failed = "{P}:old upgradetimer.failed:1.14|told|",
                      takenBack = "Reminder: The upgrade to version 1.14 failed|Version 1.12 "
                                  "started with no updater running: version 1.14 did not prove "
                                  "itself and is taken back.";
        QTest::newRow("taken back, first start")
            << "{P}:old upgradetimer.failed:1.14|" << QByteArray("1.14") << failed
            << "Reminder: The upgrade to version 1.14 failed|";
        QTest::newRow("taken back, told before") << failed << QByteArray("1.140") << failed << "|";
        QTest::newRow("taken back, a later version")
            << failed << QByteArray("1.15") << failed
            << "Upgrade? [Yes/No]: Version 1.15 is available.  Apply upgrade?|";
        QTest::newRow("proving itself")
            << "{S}:new upgradetimer.proving:1.12|{S}|" << QByteArray("1.15")
            << "{S}:new upgradetimer.proving:1.12|{S}|proven|"
            << "|";
        QTest::newRow("a candidate left unproven")
            << unproven << QByteArray() << failed << takenBack;
        QTest::newRow("an updater lock of another computer")
            << unproven + "upgradetimer.lock:4242|lapmark|FINISH-2|" << QByteArray()
            << failed + " upgradetimer.lock:4242|lapmark|FINISH-2|" << takenBack;
        QTest::newRow("the updater still waits")
            << unproven + "lock" << QByteArray() << unproven.trimmed() << "|";
        QTest::newRow("proven, never put in place")
            << "{P}:old {C}:new upgradetimer.proving:1.14|{C}|proven| upgradetimer.to:1.14"
            << QByteArray() << "{P}:old"
            << "|Version 1.14 showed its main window but was not put in place: the upgrade will "
               "be offered again.";
        QTest::newRow("a candidate never started")
            << "{P}:old {C}:new upgradetimer.to:1.14" << QByteArray() << "{P}:old"
            << "|";
        QTest::newRow("an earlier version's upgrade, cut")
            << "{P}:new lapmark-1.11:old LAPMARK-previous.exe:old upgradetimer.proving:1.12|"
               "lapmark-1.11 upgradetimer.to:1.12|1.11"
            << QByteArray() << "{P}:new"
            << "|Version 1.12 is in place; the upgrade is complete.";
        QTest::newRow("leftovers")
            << "{P}:new lapmark-1.11:old LAPMARK-1.11.exe:old {P}.previous:old "
               "upgradetimer.to:1.14 .~lm-{P}.a1b2:half .~lm-new:saving "
               "lapmark-notes.txt:mine"
            << QByteArray() << ".~lm-new:saving {P}:new lapmark-notes.txt:mine"
            << "|";
    }
    void startUpAfterAnUpgrade() {
        QFETCH(QString, before);
        QFETCH(QByteArray, offered);
        QFETCH(QString, after);
        QFETCH(QString, said);
        const auto named = [](QString s) {
            return s.replace("{C}", kCandidate)
                .replace("{S}", QString(kCandidate).replace("4", "2"))
                .replace("{P}", kProgram);
        };
        Fixture f;
        QLockFile updater(f.dir.filePath("upgradetimer.lock"));
        for (const QString& file : named(before).split(' ')) {
            if (file == "lock")
                QVERIFY(updater.lock());
            else
                putFile(f.dir.filePath(file.section(':', 0, 0)),
                        file.section(':', 1).replace("|", "\r\n").toLatin1());
        }
        putFile(f.dir.filePath("upgradetimer.log"), "An earlier upgrade.\r\n");
        // A save left 61 s ago, and one under way for 30 s (on a slow share).
        for (const auto& [name, age] : {std::pair{".~lm-{P}.a1b2", -61}, {".~lm-new", -30}}) {
            QFile left(f.dir.filePath(named(name)));
            QVERIFY(!left.exists() || (left.open(QIODevice::Append) &&
                                       left.setFileTime(QDateTime::currentDateTime().addSecs(age),
                                                        QFileDevice::FileModificationTime)));
        }
        f.t.session.program = f.dir.filePath(named(before.contains("{S}") ? "{S}" : "{P}"));
        f.t.http.bodies[kVersion] = offered;
        f.t.dialogs.answers = {Answer::No};
        Upgrader upgrader = f.upgrader();
        upgrader.startUp();
        if (!offered.isEmpty())
            QCOMPARE(upgrader.CheckVersion(false), UpgradeResult::Returned);
        upgrader.proven();
        updater.unlock();
        QStringList files;
        for (const QString& name :
             QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name))
            if (name != "upgradetimer.log")
                files.append(name + ":" +
                             QString(fileBytes(f.dir.filePath(name))).replace("\r\n", "|"));
        QStringList expected = named(after).split(' ');
        files.sort(), expected.sort();
        QCOMPARE(files, expected);
        const QString saw = said.section('|', 0, 0), line = said.section('|', 1);
        QCOMPARE(f.t.dialogs.said.join("\n").left(saw.size()), saw);
        QCOMPARE(f.t.dialogs.said.size(), int(!saw.isEmpty())); // once, if at all
        const QString log = fileBytes(f.dir.filePath("upgradetimer.log"));
        QVERIFY(log.startsWith("An earlier upgrade.\r\n"));
        QCOMPARE(log.section("  ", 1), line.isEmpty() ? line : line + "\r\n");
    }

    void manualMode_data() {
        QTest::addColumn<QByteArray>("placed");
        QTest::addColumn<QString>("comment"); // of its signature
        QTest::addColumn<QString>("message"); // "": handed over
        QTest::newRow("broken archive")
            << QByteArray("PK\x03\x04garbage") << "version:1.13" << kDownloadAgain;
        QTest::newRow("signed, no program: placed files do not count")
            << buildZip({{"upgradetimer.exe", "u"}}) << "version:1.13" << kDownloadAgain;
        QTest::newRow("any version") << kPackageBytes << "version:1.05" << QString();
        QTest::newRow("no version named") << kPackageBytes << "version: " << kUnverified;
    }
    void manualMode() {
        QFETCH(QByteArray, placed);
        QFETCH(QString, comment);
        QFETCH(QString, message);
        Fixture f;
        // Program files placed by hand beside the package are never started unsigned.
        putFile(f.inUpgrade("LAPMARK.exe"), "placed by hand");
        putFile(f.inUpgrade("upgradetimer.exe"), "placed by hand");
        putFile(f.inUpgrade("PDTimerUpgrade.ZIP"), placed); // any letter case
        putFile(f.inUpgrade("pdtimerupgrade.zip.MINISIG"), sign(placed, comment));
        QCOMPARE(f.upgrader().CheckVersion(true),
                 message.isEmpty() ? UpgradeResult::ProgramEnding : UpgradeResult::Returned);
        QCOMPARE(f.t.dialogs.said.join("\n") + "|" + f.t.session.did.filter("start").join(","),
                 message.isEmpty() ? "|start " + shown(f.dir.filePath("upgradetimer.exe"))
                                   : message + "|");
        QVERIFY(f.t.http.requested.isEmpty() && !f.t.session.did.contains("wait"));
        QVERIFY(fileBytes(f.dir.filePath("upgradetimer.exe")) != "placed by hand");
        QCOMPARE(fileBytes(f.dir.filePath("upgradetimer.to")),
                 QByteArray(message.isEmpty() ? "1.05\r\n1.12\r\n" : ""));
    }
};

QTEST_GUILESS_MAIN(TestCheckVersion)
#include "tst_check_version.moc"

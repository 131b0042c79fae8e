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
    const auto in = [](const QByteArray& b) { return reinterpret_cast<const uchar*>(b.data()); };
    const auto out = [](QByteArray& b) { return reinterpret_cast<uchar*>(b.data()); };
    const auto sign = [&](const QByteArray& message) {
        QByteArray sig(64, 0);
        crypto_sign_detached(out(sig), nullptr, in(message), message.size(), in(key) + 62);
        return sig;
    };
    QByteArray hash(64, 0);
    crypto_generichash(out(hash), 64, in(data), data.size(), nullptr, 0);
    const QByteArray sig = sign(legacy ? data : hash);
    return "untrusted comment: signature from minisign secret key\n" +
           (QByteArray(legacy ? "Ed" : "ED") + key.mid(54, 8) + sig).toBase64() +
           "\ntrusted comment: " + comment.toUtf8() + "\n" +
           sign(sig + comment.toUtf8()).toBase64() + "\n";
}

const QString kKey = "RWSdIF2CZcVZAtx0SXOGQjFjdX6AqMD7vB7t9KnJLDm+bia+LEIDoECH";
const QString kVersion = "/korvel/pdtimerupgrade/pdtimerversion.txt";
const QString kPackage = "/korvel/pdtimerupgrade/pdtimerupgrade.zip";
const QString kUnverified = "Failed! [error]: The upgrade package could not be verified...";
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
    // What the operator saw | what the program did | the upgrade folder | the hand-over.
    QString outcome() const {
        return t.dialogs.said.join("\n") + "|" + t.session.did.join(",") + "|" +
               QDir(dir.filePath("upgrade")).entryList(QDir::Files | QDir::Hidden).join(",") + "|" +
               QString(fileBytes(dir.filePath("upgradetimer.to"))).replace("\r\n", " ");
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
        QTest::newRow("same") << QByteArray("1.12") << false << false;
        QTest::newRow("newer") << QByteArray("1.2") << true << false;
        QTest::newRow("older") << QByteArray("1.100") << false << false; // not 100 > 12
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
                "|wait,arrow||");
        QCOMPARE(f.t.http.requested.count(kVersion) > 1, retried);
        if (retried) // five seconds of asking, with pauses between the attempts
            QVERIFY(f.t.clock.sleptMs >= 5000 && f.t.clock.sleptMs < 5200);
    }

    // Online and answered Yes, or placed by hand: only a package that the maker signed is
    // installed, online only for the version offered.  {U}: the updater in the program folder.
    void installs_data() {
        QTest::addColumn<QByteArray>("package");   // "<cancel>": cancelled
        QTest::addColumn<QByteArray>("signature"); // "<none>": the server has none
        QTest::addColumn<QString>("key");          // built into the program
        QTest::addColumn<QString>("outcome");
        const QByteArray p = kPackageBytes, good = sign(p, "version:1.13");
        QByteArray flipped = p, altered = sign(p, "version:1.11");
        flipped[40] = char(flipped[40] ^ 1);
        altered.replace("version:1.11", "version:1.13");
        // A long untrusted comment leaves a signature valid; the verifier refuses it unread.
        const QByteArray longComment =
            QByteArray(good).insert(good.indexOf('\n'), QByteArray(1100, 'x'));
        const QString asked = "Upgrade? [Yes/No]: Version 1.13\r\n is available.  Apply upgrade?\n",
                      applied = asked + "Apply Upgrade: Downloaded Upgrade to version 1.13\r\n."
                                        "\r\r\rThe program will re-start after the upgrade is "
                                        "applied.",
                      unverified = asked + kUnverified + "|wait,arrow||",
                      handed =
                          applied + "|wait,arrow,start {U},close all,quit|LAPMARK.exe|1.13 1.12 ";
        QTest::newRow("pre-hashed") << p << good << kKey << handed;
        QTest::newRow("legacy") << p << sign(p, "version:1.13", true) << kKey << handed;
        QTest::newRow("flipped package byte") << flipped << good << kKey << unverified;
        QTest::newRow("no signature") << p << QByteArray("<none>") << kKey << unverified;
        QTest::newRow("valid, but over 1 KiB") << p << longComment << kKey << unverified;
        QTest::newRow("older version replayed")
            << p << sign(p, "version:1.12") << kKey << unverified;
        QTest::newRow("comment altered after signing") << p << altered << kKey << unverified;
        QTest::newRow("build without a key") << p << good << QString() << unverified;
        QTest::newRow("download cancelled")
            << QByteArray("<cancel>") << good << kKey
            << asked + kDownloadAgain +
                   "|wait,arrow|pdtimerupgrade.zip,pdtimerupgrade.zip.minisig|";
        QTest::newRow("the updater does not start")
            << p << good << kKey
            << applied + "\nFailed! [error]: The upgrade was NOT applied: the updater {U} could "
                         "not be started....|wait,arrow,start {U},arrow|LAPMARK.exe|";
        QTest::newRow("placed: any version")
            << p << sign(p, "version:1.05") << kKey
            << "|arrow,start {U},close all,quit|LAPMARK.exe|1.05 1.12 ";
        QTest::newRow("placed: no version named")
            << p << sign(p, "version: ") << kKey
            << kUnverified + "|arrow|LAPMARK.exe,leftover.txt,upgradetimer.exe|";
        const QByteArray broken = "PK\x03\x04garbage",
                         noProgram = buildZip({{"upgradetimer.exe", "u"}});
        QTest::newRow("placed: broken archive")
            << broken << sign(broken, "version:1.13") << kKey << kDownloadAgain + "|arrow,arrow||";
        QTest::newRow("placed, signed, no program: placed files do not count")
            << noProgram << sign(noProgram, "version:1.13") << kKey
            << kDownloadAgain + "|arrow,arrow||";
    }
    void installs() {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, signature);
        QFETCH(QString, key);
        QFETCH(QString, outcome);
        const bool placed = QString(QTest::currentDataTag()).startsWith("placed");
        Fixture f;
        putFile(f.inUpgrade("leftover.txt"), "x");
        if (placed) { // beside program files placed by hand, never started unsigned
            putFile(f.inUpgrade("LAPMARK.exe"), "placed by hand");
            putFile(f.inUpgrade("upgradetimer.exe"), "placed by hand");
            putFile(f.inUpgrade("PDTimerUpgrade.ZIP"), package); // any letter case
            putFile(f.inUpgrade("pdtimerupgrade.zip.MINISIG"), signature);
        }
        f.t.http.bodies[kVersion] = "1.13\r\n";
        f.t.dialogs.cancelAtBytes = package == "<cancel>" ? 1 : -1;
        f.t.http.bodies[kPackage] = package == "<cancel>" ? kPackageBytes : package;
        if (signature != "<none>")
            f.t.http.bodies[kPackage + ".minisig"] = signature;
        f.t.dialogs.answers = {Answer::Yes};
        f.t.session.startFails = QTest::currentDataTag() == QString("the updater does not start");
        const UpgradeResult result = f.upgrader(key).CheckVersion(placed);
        const QString updater = shown(f.dir.filePath("upgradetimer.exe"));
        QString got = f.outcome().replace(updater, "{U}");
        if (const qsizetype more = outcome.indexOf("...|"); more >= 0) // the rest of one message
            got.replace(more, got.indexOf(QRegularExpression("[|\n]"), more) - more, "...");
        QCOMPARE(got, outcome);
        QCOMPARE(result, outcome.contains("close all") ? UpgradeResult::ProgramEnding
                                                       : UpgradeResult::Returned);
        // Only the package's own updater is ever started, runnable.
        QVERIFY(!outcome.contains("start ") ||
                (QFileInfo(updater).isExecutable() && fileBytes(updater) == "#!/bin/sh\nexit 0\n"));
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
            const QString name = file.section(':', 0, 0);
            if (file == "lock")
                QVERIFY(updater.lock());
            else // a save left 61 s ago, and one under way for 30 s (on a slow share)
                putFile(f.dir.filePath(name), file.section(':', 1).replace("|", "\r\n").toLatin1(),
                        name.startsWith(".~lm-")
                            ? QDateTime::currentDateTime().addSecs(name == ".~lm-new" ? -30 : -61)
                            : QDateTime());
        }
        putFile(f.dir.filePath("upgradetimer.log"), "An earlier upgrade.\r\n");
        f.t.session.program = f.dir.filePath(named(before.contains("{S}") ? "{S}" : "{P}"));
        f.t.http.bodies[kVersion] = offered;
        f.t.dialogs.answers = {Answer::No};
        Upgrader upgrader = f.upgrader();
        upgrader.startUp();
        if (!offered.isEmpty())
            QCOMPARE(upgrader.CheckVersion(false), UpgradeResult::Returned);
        upgrader.proven();
        updater.unlock();
        QStringList files, expected = named(after).split(' ');
        for (const QString& name : QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden))
            if (name != "upgradetimer.log")
                files << name + ":" + QString(fileBytes(f.dir.filePath(name))).replace("\r\n", "|");
        files.sort(), expected.sort();
        QCOMPARE(files, expected);
        const QString saw = said.section('|', 0, 0), line = said.section('|', 1);
        QCOMPARE(f.t.dialogs.said.join("\n").left(saw.size()), saw);
        QCOMPARE(f.t.dialogs.said.size(), int(!saw.isEmpty())); // once, if at all
        const QString log = fileBytes(f.dir.filePath("upgradetimer.log"));
        QVERIFY(log.startsWith("An earlier upgrade.\r\n"));
        QCOMPARE(log.section("  ", 1), line.isEmpty() ? line : line + "\r\n");
    }
};

QTEST_GUILESS_MAIN(TestCheckVersion)
#include "tst_check_version.moc"

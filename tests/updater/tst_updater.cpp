#include "support/fakes.h"
#include "updater/system_updater.h"
#include "updater/updater.h"

#include <QFileInfo>
#include <QLockFile>
#include <QThread>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

using namespace lm::test;

namespace {

// A power cut: every file operation after the `left`th one never happens.
struct Cut {};
struct WaitsForEver {};

// Real files that count their changes, and may fail some or be cut off.
struct CountedFiles : FaultyFiles {
    int left = -1; // changes before the cut (-1: none)
    void change() {
        if (left == 0)
            throw Cut{};
        if (left > 0)
            --left;
    }
    bool writeFileAtomic(const QString& path, const QByteArray& data) override {
        change();
        return FaultyFiles::writeFileAtomic(path, data);
    }
    bool writeProgramAtomic(const QString& path, const QByteArray& data) override {
        change();
        return !failWrites.contains(QFileInfo(path).fileName()) &&
               FileSystem::writeProgramAtomic(path, data);
    }
    bool removeFile(const QString& path) override {
        change();
        return FileSystem::removeFile(path);
    }
};

// Scripted time and processes: the old program ends after half a second, or runs on; the
// new one shows its window after 100 ms, or ends at once, hangs, or is taken back.
struct FakeSystem : UpdaterSystem {
    FakeSystem(QString f, QString program) : folder(f), newProgram(program) {}
    QString folder, newProgram;
    qint64 now = 0;
    QStringList did;
    bool proven = false;
    qint64 nowMs() override { return now; }
    void sleepMs(int ms) override {
        if ((now += ms) > 120'000)
            throw WaitsForEver{};
        if (did.size() != 1 || did[0] != "start " + kCandidate || proven)
            return;
        QFile proving(folder + "/upgradetimer.proving");
        if (newProgram == "shows") // its main window: it says so
            proven = proving.open(QIODevice::Append) && proving.write("proven\r\n");
        else if (newProgram == "taken back") // by the old program, started by hand meanwhile
            proving.remove();
    }
    bool programEnded(const QString&) override { return now >= 500 && newProgram != "old runs on"; }
    std::optional<qint64> start(const QString& program) override {
        did.append("start " + QFileInfo(program).fileName());
        // Whatever is started has been written whole and runnable.
        if (!QFileInfo(program).isExecutable())
            did.append("NOT RUNNABLE");
        return 4242;
    }
    bool running(qint64) override { return newProgram != "exits"; }
    void stop(qint64) override { did.append("stop"); }
};

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT
  private slots:
    void eachStepLeavesARunnableProgram_data() {
        QTest::addColumn<QString>("newProgram");
        QTest::addColumn<QString>("failWrite");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("result"); // the program file, what was done, how long, the log
        const QString s = "start " + kProgram, c = "start " + kCandidate,
                      unwritable = "|The program folder could not be written";
        using O = Updater::Outcome;
        QTest::newRow("upgraded") << "shows"
                                  << "" << int(O::Upgraded)
                                  << "new|" + c +
                                         "|0 s|Version 1.14 showed its main window and is in";
        QTest::newRow("new program ends at once")
            << "exits"
            << "" << int(O::TakenBack) << "old|" + c + "," + s + "|0 s|The program stays";
        QTest::newRow("new program hangs")
            << "hangs"
            << "" << int(O::TakenBack) << "old|" + c + ",stop," + s + "|20 s|The program stays";
        QTest::newRow("old program runs on")
            << "old runs on"
            << "" << int(O::GaveUp) << "old|" + s + "|30 s|Lapmark was still running after 30 s";
        QTest::newRow("taken back by a program started meanwhile")
            << "taken back"
            << "" << int(O::TakenBack)
            << "old|" + c + ",stop|0 s|A program started meanwhile took the upgrade back";
        QTest::newRow("candidate cannot be written")
            << "shows" << kCandidate << int(O::GaveUp) << "old|" + s + "|5 s" + unwritable;
        QTest::newRow("proving file cannot be written")
            << "shows"
            << "upgradetimer.proving" << int(O::GaveUp) << "old|" + s + "|0 s" + unwritable;
        QTest::newRow("proven, but the program cannot be replaced")
            << "shows" << kProgram << int(O::GaveUp)
            << "old|" + c +
                   "|5 s|Version 1.14 showed its main window but could not be put in place";
    }
    void eachStepLeavesARunnableProgram() {
        QFETCH(QString, newProgram);
        QFETCH(QString, failWrite);
        QFETCH(int, outcome);
        QFETCH(QString, result);
        // Run whole, then cut off after each change it makes: the program the operator
        // starts is the old one, or the new one once proven, and runnable either way.
        for (int cut = -1; cut < 8; ++cut) {
            QTemporaryDir dir;
            const QString program = dir.filePath(kProgram);
            QDir(dir.path()).mkdir("upgrade"); // handed over, after an upgrade that it logged
            putFile(dir.filePath("upgradetimer.to"), "1.14\r\n1.12\r\n");
            putFile(dir.filePath("upgradetimer.log"), "An earlier upgrade.\r\n");
            putFile(program, "old");
            QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
            putFile(dir.filePath("upgrade/LAPMARK.exe"), "new");
            CountedFiles files;
            files.failWrites = QStringList{failWrite}.filter(QRegularExpression("."));
            files.left = cut;
            FakeSystem system{dir.path(), newProgram};
            try {
                QCOMPARE(int(Updater(files, system, dir.path()).run()), outcome);
            } catch (const Cut&) {
            } catch (const WaitsForEver&) {
                QFAIL("the updater waits for ever");
            }
            QVERIFY(QFileInfo(program).isExecutable());
            QVERIFY(!system.did.contains("NOT RUNNABLE"));
            QVERIFY(fileBytes(program) == "old" || system.proven);
            if (cut >= 0)
                continue;
            // The log's last line, added to what it held.
            const QStringList log =
                QString(fileBytes(dir.filePath("upgradetimer.log"))).split("\r\n");
            const QString done =
                fileBytes(program) + "|" + system.did.join(",") + "|" +
                QString::number(system.now / 1000) + " s|" +
                (log[0] == "An earlier upgrade." ? log.value(log.size() - 2).section("  ", 1)
                                                 : "the log was overwritten");
            QCOMPARE(done.left(result.size()), result);
            QCOMPARE(fileBytes(dir.filePath("upgradetimer.failed")),
                     QByteArray(newProgram == "exits" || newProgram == "hangs" ? "1.14\r\n" : ""));
            QVERIFY(!QFile::exists(dir.filePath("upgradetimer.proving")));
            // The candidate stays only where it runs on after proving itself.
            QCOMPARE(QFile::exists(dir.filePath(kCandidate)),
                     system.proven && outcome == int(Updater::Outcome::GaveUp));
        }
    }

    // The updater's reach on this system: the old program's running lock, and a new
    // program that hangs (this test program, told so) is stopped.
    void theRealSystem() {
#ifdef Q_OS_LINUX // the stopped program stays this test's zombie, as where nobody reaps
        QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
#endif
        QTemporaryDir dir;
        RealUpdaterSystem system;
        QLockFile running(dir.filePath("lapmark.lock"));
        QVERIFY(running.tryLock(0) && !system.programEnded(dir.path()));
        running.unlock();
        QVERIFY(system.programEnded(dir.path()));
        const qint64 before = system.nowMs(); // the bounds are kept in milliseconds
        system.sleepMs(300);
        QVERIFY(system.nowMs() - before >= 300 && system.nowMs() - before < 2000);
        qputenv("LAPMARK_TEST_HANGS", "1");
        const std::optional<qint64> pid = system.start(QCoreApplication::applicationFilePath());
        qunsetenv("LAPMARK_TEST_HANGS");
        QVERIFY(pid && system.running(*pid));
        system.stop(*pid);
        QTRY_VERIFY(!system.running(*pid));
        QVERIFY(!system.start(dir.filePath("none")));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("LAPMARK_TEST_HANGS")) { // holds nothing of the test's
        std::fclose(stdout);
        std::fclose(stderr);
        QThread::sleep(60);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestUpdater test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_updater.moc"

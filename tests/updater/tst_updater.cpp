#include "support/fakes.h"
#include "updater/updater.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <QTimer>

using namespace lm::test;

namespace {

// A power cut: every file operation after the `left`th one never happens.
struct Cut {};

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

// Scripted time and processes: the old program ends after half a second; the new one shows
// its window after 100 ms, or ends at once, or is taken back.
struct FakeSystem : UpdaterSystem {
    FakeSystem(QString f, QString program) : folder(f), newProgram(program) {}
    QString folder, newProgram;
    qint64 now = 0;
    QStringList did;
    bool proven = false;
    qint64 nowMs() override { return now; }
    void sleepMs(int ms) override {
        now += ms;
        if (did.size() != 1 || did[0] != "start " + kCandidate || proven)
            return;
        QFile proving(folder + "/upgradetimer.proving");
        if (newProgram == "shows") // its main window: it says so
            proven = proving.open(QIODevice::Append) && proving.write("proven\r\n");
        else if (newProgram == "taken back") // by the old program, started by hand meanwhile
            proving.remove();
    }
    bool programEnded(const QString&) override { return now >= 500; }
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

// A copy of this test program with a role written after its end stands in for a program
// that the updater starts: "shows" marks the proving file proven as a main window shown would,
// "exits" ends at once and "hangs" holds hang.lock until it is stopped.  Each notes its name
// in started.txt in its folder.
const QByteArray kRoleMark = "\nLMROLE ";

void makeStandIn(const QString& path, const QByteArray& role) {
    putFile(path, fileBytes(QCoreApplication::applicationFilePath()) + kRoleMark + role);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
}

std::optional<int> runStandIn() {
    const QByteArray self = fileBytes(QCoreApplication::applicationFilePath());
    const qsizetype mark = self.lastIndexOf(kRoleMark);
    if (mark < 0 || self.size() - mark > 64)
        return std::nullopt;
    const QList<QByteArray> role = self.mid(mark + kRoleMark.size()).split(' ');
    QFile started("started.txt");
    if (started.open(QIODevice::Append))
        started.write(role.value(1) + "\r\n");
    started.close();
    if (role[0] == "shows") {
        QFile proving("upgradetimer.proving");
        if (proving.open(QIODevice::Append | QIODevice::ExistingOnly))
            proving.write("proven\r\n");
        proving.close();
        QThread::msleep(300);
    } else if (role[0] == "hangs") {
        QLockFile hanging("hang.lock");
        hanging.tryLock(0);
        QThread::sleep(3600);
    }
    return role[0] == "shows" ? 0 : 1;
}

// An upgrade handed over to the updater in `folder`, after an earlier one that it logged.
void handedOver(const QString& folder) {
    QDir(folder).mkdir("upgrade");
    putFile(folder + "/upgradetimer.to", "1.14\r\n1.12\r\n");
    putFile(folder + "/upgradetimer.log", "An earlier upgrade.\r\n");
}

// The updater's log, read after its run: its last line, and whether the earlier one stays.
QString lastLogLine(const QString& folder) {
    const QStringList log = QString(fileBytes(folder + "/upgradetimer.log")).split("\r\n");
    return log[0] == "An earlier upgrade." ? log.value(log.size() - 2).section("  ", 1)
                                           : "the log was overwritten";
}

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT
  private slots:
    void eachStepLeavesARunnableProgram_data() {
        QTest::addColumn<QString>("newProgram");
        QTest::addColumn<QString>("failWrite");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("result"); // the program file, what was done, the log's last line
        const QString s = "start " + kProgram, c = "start " + kCandidate,
                      unwritable = "old|" + s + "|The program folder could not be written";
        using O = Updater::Outcome;
        QTest::newRow("upgraded") << "shows"
                                  << "" << int(O::Upgraded)
                                  << "new|" + c + "|Version 1.14 showed its main window and is in";
        QTest::newRow("new program ends at once")
            << "exits"
            << "" << int(O::TakenBack) << "old|" + c + "," + s + "|The program stays";
        QTest::newRow("taken back by a program started meanwhile")
            << "taken back"
            << "" << int(O::TakenBack)
            << "old|" + c + ",stop|A program started meanwhile took the upgrade back";
        QTest::newRow("candidate cannot be written")
            << "shows" << kCandidate << int(O::GaveUp) << unwritable;
        QTest::newRow("proving file cannot be written")
            << "shows"
            << "upgradetimer.proving" << int(O::GaveUp) << unwritable;
        QTest::newRow("proven, but the program cannot be replaced")
            << "shows" << kProgram << int(O::GaveUp)
            << "old|" + c + "|Version 1.14 showed its main window but could not be put in place";
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
            handedOver(dir.path());
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
            }
            QVERIFY(QFileInfo(program).isExecutable());
            QVERIFY(!system.did.contains("NOT RUNNABLE"));
            QVERIFY(fileBytes(program) == "old" || system.proven);
            if (cut >= 0)
                continue;
            const QString done =
                fileBytes(program) + "|" + system.did.join(",") + "|" + lastLogLine(dir.path());
            QCOMPARE(done.left(result.size()), result);
            QCOMPARE(fileBytes(dir.filePath("upgradetimer.failed")),
                     QByteArray(newProgram == "exits" ? "1.14\r\n" : ""));
            QVERIFY(!QFile::exists(dir.filePath("upgradetimer.proving")));
            // The candidate stays only where it runs on after proving itself.
            QCOMPARE(QFile::exists(dir.filePath(kCandidate)),
                     system.proven && outcome == int(Updater::Outcome::GaveUp));
        }
    }

    // The updater as it is built, with its own bounds, its lock and real processes: a
    // program that ends, one that does not, and new programs that show, end and hang.
    void theRealUpdaterKeepsItsBounds_data() {
        QTest::addColumn<int>("holdMs");   // how long the old program holds its running lock
        QTest::addColumn<QString>("next"); // what the new program does
        QTest::addColumn<int>("fromMs");   // the run's length, from..to
        QTest::addColumn<int>("toMs");
        QTest::addColumn<QString>("result"); // programs started, the start of the log's last line
        QTest::newRow("old one ends after 1.5 s, new one shows")
            << 1500 << "shows" << 1500 << 8000
            << "new|Version 1.14 showed its main window and is in";
        QTest::newRow("old one runs on")
            << 45000 << "shows" << 30000 << 34000 << "old|Lapmark was still running after 30 s";
        QTest::newRow("new one hangs")
            << 0 << "hangs" << 20000 << 26000 << "new,old|The program stays";
    }
    void theRealUpdaterKeepsItsBounds() {
        QFETCH(int, holdMs);
        QFETCH(QString, next);
        QFETCH(int, fromMs);
        QFETCH(int, toMs);
        QFETCH(QString, result);
        QTemporaryDir dir;
        handedOver(dir.path());
        const QString updater = dir.filePath("upgradetimer.exe");
        QVERIFY(QFile::copy(LAPMARK_UPDATER, updater));
        QFile::setPermissions(updater, QFile::permissions(updater) | QFile::ExeOwner);
        makeStandIn(dir.filePath(kProgram), "shows old");
        makeStandIn(dir.filePath("upgrade/LAPMARK.exe"), next.toLatin1() + " new");
        QLockFile running(dir.filePath("lapmark.lock")); // the old program's, held for a while
        QVERIFY(holdMs == 0 || running.tryLock(0));
        QElapsedTimer took;
        took.start();
        QProcess run;
        QTimer::singleShot(holdMs, &run, [&] { running.unlock(); });
        run.start(updater, {});
        QTRY_VERIFY_WITH_TIMEOUT(run.state() == QProcess::NotRunning, 60000);
        const qint64 ms = took.elapsed();
        QVERIFY2(ms >= fromMs && ms < toMs, QByteArray::number(ms));
        QCOMPARE(run.exitCode(), result.startsWith("new|") ? 0 : 1); // 0: upgraded
        // The programs it started: the last one's note may take a moment.
        const QString started = "started.txt";
        QTRY_VERIFY(fileBytes(dir.filePath(started)).count('\n') == result.count(',') + 1);
        const QString done =
            QString(fileBytes(dir.filePath(started))).trimmed().replace("\r\n", ",") + "|" +
            lastLogLine(dir.path());
        QCOMPARE(done.left(result.size()), result);
        QLockFile hanging(dir.filePath("hang.lock")); // a stopped program holds nothing
        hanging.setStaleLockTime(0);
        QVERIFY(hanging.tryLock(0));
        QVERIFY(!QFile::exists(dir.filePath("upgradetimer.proving")));
        // The program the operator starts: the old one, or the new one that proved itself.
        QVERIFY(QFileInfo(dir.filePath(kProgram)).isExecutable());
        QCOMPARE(fileBytes(dir.filePath(kProgram)).endsWith(" new"), run.exitCode() == 0);
        QThread::msleep(400); // the last program ends before its folder goes
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (const std::optional<int> code = runStandIn())
        return *code;
    TestUpdater test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_updater.moc"

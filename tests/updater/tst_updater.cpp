#include "support/fakes.h"
#include "updater/updater.h"

#include <QFileInfo>

using namespace lm::test;

namespace {

#ifdef Q_OS_WIN
const QString kProgram = "LAPMARK.exe", kKept = "LAPMARK-1.12.exe";
#else
const QString kProgram = "lapmark", kKept = "lapmark-1.12";
#endif

// Scripted time and processes: the old program ends after `endsAfterMs` (never when
// negative); the new one shows its window after 100 ms, ends at once, or hangs.
struct FakeSystem : UpdaterSystem {
    FakeSystem(QString f, qint64 ends, QString program)
        : folder(f), newProgram(program), endsAfterMs(ends) {}
    QString folder, newProgram;
    qint64 now = 0, endsAfterMs;
    QStringList did;
    bool keptRunnable = false;
    qint64 nowMs() override { return now; }
    void sleepMs(int ms) override {
        now += ms;
        if (newProgram == "shows" && did.size() == 1 && did[0].startsWith("start"))
            QFile::remove(folder + "/upgradetimer.proving");
    }
    bool programEnded(const QString&) override { return endsAfterMs >= 0 && now >= endsAfterMs; }
    std::optional<qint64> start(const QString& program) override {
        did.append("start " + QFileInfo(program).fileName());
        // While the new program is unproven the previous one can be started by itself.
        keptRunnable = keptRunnable || QFileInfo(folder + "/" + kKept).isExecutable();
        return 4242;
    }
    bool running(qint64) override { return newProgram != "exits" || did.size() > 1; }
    void stop(qint64) override { did.append("stop"); }
};

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT
  private slots:
    void eachStepLeavesARunnableProgram_data() {
        QTest::addColumn<qint64>("endsAfterMs");
        QTest::addColumn<QString>("newProgram");
        QTest::addColumn<QString>("failWrite");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("result"); // the program file, what was done, the log's last line
        const QString s = "start " + kProgram,
                      back = "|The previous program is back in place; starting it.",
                      kept = "old|" + s +
                             "|The new program could not be put in place: the "
                             "previous one stays, unchanged.";
        using O = Updater::Outcome;
        QTest::newRow("upgraded") << 500LL << "shows"
                                  << "" << int(O::Upgraded)
                                  << "new|" + s +
                                         "|Version 1.14 showed its main window: the "
                                         "upgrade is complete.";
        QTest::newRow("program still running past 30 s")
            << -1LL << "shows"
            << "" << int(O::GaveUp)
            << "old|" + s + "|Lapmark was still running after 30 s: nothing was changed.";
        QTest::newRow("new program ends at once")
            << 500LL << "exits"
            << "" << int(O::PutBack) << "old|" + s + "," + s + back;
        QTest::newRow("new program never shows its window")
            << 500LL << "hangs"
            << "" << int(O::PutBack) << "old|" + s + ",stop," + s + back;
        QTest::newRow("program file cannot be replaced")
            << 500LL << "shows" << kProgram << int(O::GaveUp) << kept;
        QTest::newRow("previous program cannot be kept")
            << 500LL << "shows" << kKept << int(O::GaveUp) << kept;
        QTest::newRow("proving file cannot be written")
            << 500LL << "shows"
            << ".proving" << int(O::GaveUp)
            << "old|" + s + "|The program folder could not be written: nothing was changed.";
    }
    void eachStepLeavesARunnableProgram() {
        QFETCH(qint64, endsAfterMs);
        QFETCH(QString, newProgram);
        QFETCH(QString, failWrite);
        QFETCH(int, outcome);
        QFETCH(QString, result);
        QTemporaryDir dir;
        const QString program = dir.filePath(kProgram);
        QDir(dir.path()).mkdir("upgrade");
        putFile(program, "old");
        QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
        putFile(dir.filePath("upgrade/LAPMARK.exe"), "new");
        putFile(dir.filePath("upgradetimer.to"), "1.14\r\n1.12\r\n");
        FaultyFiles files;
        files.failWrites = QStringList{failWrite}.filter(QRegularExpression("."));
        FakeSystem system{dir.path(), endsAfterMs, newProgram};
        QCOMPARE(int(Updater(files, system, dir.path()).run()), outcome);
        const QStringList log = QString(fileBytes(dir.filePath("upgradetimer.log"))).split("\r\n");
        QCOMPARE(fileBytes(program) + "|" + system.did.join(",") + "|" +
                     log.value(log.size() - 2).section("  ", 1),
                 result);
        QVERIFY(QFileInfo(program).isExecutable());
        QCOMPARE(fileBytes(dir.filePath("upgradetimer.failed")),
                 QByteArray(outcome == int(Updater::Outcome::PutBack) ? "1.14\r\n" : ""));
        QVERIFY(!QFile::exists(dir.filePath("upgradetimer.proving")));
        QCOMPARE(QFile::exists(dir.filePath(kKept)), false);
        QCOMPARE(system.keptRunnable, outcome != int(Updater::Outcome::GaveUp));
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"

#include "app/core/data_file.h"
#include "support/fakes.h"
#include "timing/times_file.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <sys/mount.h>
#include <thread>

using namespace lm;
using namespace lm::test;

class TestDataFiles : public QObject {
    Q_OBJECT
  private slots:
    void namesAndFields() {
        AppState s;
        s.MeetDate = "3-14-2018";
        s.EventName = "  Boys 1600 ";
        for (const auto& [event, number] : {std::pair(7, "  7"), {12, " 12"}, {100, "100"}}) {
            s.EventNumber = std::int16_t(event);
            QCOMPARE(DataFileName(s, "/r/", kTimesPrefix, kTimesExtension),
                     QString("/r/ 3-14-2018 Boys 1600 TIMES EV") + number + ".LMT");
        }
        QStringList letters;
        for (int i : {0, 25, 26, 52, 701, 702})
            letters.append(versionedName("x EV  7.LMT", i).mid(7).chopped(4));
        QCOMPARE(letters, (QStringList{"A", "Z", "AA", "BA", "ZZ", "AAA"}));
        QCOMPARE(readFields("12.36\r\n\r\n  1.01,2.02  \n\"12, 5\"xyz,7\n\"a\r\nb"),
                 (QStringList{"12.36", "", "1.01", "2.02", "12, 5", "7", "a\r\nb"}));
    }

    void timesAndTheirOlderVersions() {
        QTemporaryDir dir;
        FileSystem files;
        const QString file = dir.filePath("a TIMES EV  1.LMT");
        QVERIFY(!loadTimes(files, file));
        QCOMPARE(KeepOlderVersion(files, file).result, OlderVersion::NothingToKeep);
        putFile(file, "12.36\r\n\r\n1:05.44,\"  \"\r\n10:00:00.00\r\n");
        const QStringList lines = loadTimes(files, file).value();
        QCOMPARE(lines, (QStringList{"1         12.36", "2       1:05.44", "3    10:00:00.00"}));
        QCOMPARE(timesFileContent(lines), QByteArray("12.36\r\n1:05.44\r\n10:00:00.00\r\n"));
        QCOMPARE(timeLine(123456, ".51"), QStringLiteral("12345       .51"));
        for (int i = 1; i < 26; ++i)
            putFile(versionedName(file, i), QByteArray::number(i));
        QCOMPARE(KeepOlderVersion(files, file).name, dir.filePath("a TIMES EV  1A.LMT"));
        QCOMPARE(KeepOlderVersion(files, file).name, dir.filePath("a TIMES EV  1AA.LMT"));
        QCOMPARE(fileBytes(versionedName(file, 25)), QByteArray("25"));            // never replaced
        QCOMPARE(fileBytes(dir.filePath("a TIMES EV  1AA.LMT")), fileBytes(file)); // still there
    }

    void failedPrimaryWriteIsRepeatedTenTimes() {
        QTemporaryDir dir;
        TestPlatform t;
        t.files.failWrites = {"TIMES"};
        QVERIFY(!writePrimary(t.platform, dir.filePath("x TIMES EV  1.LMT"), "1\r\n",
                              RetryPause::FromRoundedSecond));
        QCOMPARE(t.files.atomicWrites, 10);
        QVERIFY(t.clock.sleptMs >= 9 * 250 && t.clock.sleptMs <= 9 * 1000);
    }

    // A reader polling the file (the Main Computer over the network) never finds it
    // missing or half written; a full disk leaves the old file whole.
    void savesAreCrashSafe() {
        QTemporaryDir dir;
        FileSystem files;
        const QString path = dir.filePath("t TIMES EV  1.LMT");
        const QByteArray small = QByteArray("1:05.44\r\n").repeated(50);
        const QByteArray large = QByteArray("1:02:03.46\r\n").repeated(2000);
        QVERIFY(files.writeFileAtomic(path, small));
        std::atomic<bool> done{false};
        std::atomic<int> bad{0}, reads{0};
        std::thread reader([&] {
            while (!done) {
                QFile f(path);
                const QByteArray got = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                bad += got != small && got != large;
                ++reads;
            }
        });
        for (int i = 0; i < 300; ++i)
            QVERIFY(files.writeFileAtomic(path, i % 2 ? small : large));
        done = true;
        reader.join();
        QCOMPARE(bad.load(), 0);
        QVERIFY(reads.load() > 0);

        const QByteArray mountPoint = QFile::encodeName(dir.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        QVERIFY(files.writeFileAtomic(path, "12.36\r\n"));
        QVERIFY(!files.writeFileAtomic(path, QByteArray(200 * 1024, 'x')));
        QCOMPARE(fileBytes(path), QByteArray("12.36\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"t TIMES EV  1.LMT"});
    }
};

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_data_files.moc"

#include "app/core/app_state.h"
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
    void names() {
        AppState s;
        s.MeetDate = "3-14-2018";
        s.EventName = "  Boys 1600 ";
        for (const auto& [event, file] : QList<std::pair<int, QString>>{
                 {7, "/r/ 3-14-2018 Boys 1600 TIMES EV  7.LMT"},
                 {12, "/r/ 3-14-2018 Boys 1600 TIMES EV 12.LMT"},
                 {100, "/r/ 3-14-2018 Boys 1600 TIMES EV100.LMT"}}) {
            s.EventNumber = std::int16_t(event);
            QCOMPARE(DataFileName(s, "/r/", kTimesPrefix, kTimesExtension), file);
        }
        const QStringList letters = {"A", "Z", "AA", "BA", "ZZ", "AAA"};
        const QList<int> indexes = {0, 25, 26, 52, 701, 702};
        for (int i = 0; i < letters.size(); ++i)
            QCOMPARE(versionedName("x EV  7.LMT", indexes[i]), "x EV  7" + letters[i] + ".LMT");
    }

    void olderVersionsTakeTheNextFreeLetter() {
        QTemporaryDir dir;
        FileSystem files;
        const QString file = dir.filePath("a TIMES EV  1.LMT");
        QCOMPARE(KeepOlderVersion(files, file).result, OlderVersion::NothingToKeep);
        for (int i = 1; i < 26; ++i)
            putFile(versionedName(file, i), QByteArray::number(i));
        putFile(file, "current");
        QCOMPARE(KeepOlderVersion(files, file).name, dir.filePath("a TIMES EV  1A.LMT"));
        QCOMPARE(KeepOlderVersion(files, file).name, dir.filePath("a TIMES EV  1AA.LMT"));
        QCOMPARE(fileBytes(versionedName(file, 25)), QByteArray("25")); // never replaced
        QCOMPARE(fileBytes(dir.filePath("a TIMES EV  1AA.LMT")), QByteArray("current"));
        QCOMPARE(fileBytes(file), QByteArray("current")); // present until the save replaces it
    }

    void fields_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("lines") << QByteArray("12.36\r\n\r\n1:05.44\n")
                               << QStringList{"12.36", "", "1:05.44"};
        QTest::newRow("comma, blanks") << QByteArray("  1.01,2.02  \r\n")
                                       << QStringList{"1.01", "2.02"};
        QTest::newRow("quotes") << QByteArray("\"12, 5\"xyz,7") << QStringList{"12, 5", "7"};
        QTest::newRow("unbalanced quote") << QByteArray("\"a\r\nb") << QStringList{"a\r\nb"};
    }
    void fields() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, fields);
        QCOMPARE(readFields(data), fields);
    }

    void timesFile() {
        QTemporaryDir dir;
        FileSystem files;
        putFile(dir.filePath("t.LMT"), "12.36\r\n\r\n1:05.44,\"  \"\r\n10:00:00.00\r\n");
        const QStringList lines = loadTimes(files, dir.filePath("t.LMT")).value();
        QCOMPARE(lines, (QStringList{"1         12.36", "2       1:05.44", "3    10:00:00.00"}));
        QCOMPARE(timesFileContent(lines), QByteArray("12.36\r\n1:05.44\r\n10:00:00.00\r\n"));
        QCOMPARE(timeLine(123456, ".51"), QStringLiteral("12345       .51"));
        QVERIFY(!loadTimes(files, dir.filePath("missing.LMT")));
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
    // missing or half written.
    void readerNeverSeesAMissingOrPartialFile() {
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
    }

    void fullDiskNeverLeavesATruncatedFile() {
        QTemporaryDir dir;
        const QByteArray mountPoint = QFile::encodeName(dir.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        FileSystem files;
        const QString path = dir.filePath("t TIMES EV  1.LMT");
        QVERIFY(files.writeFileAtomic(path, "12.36\r\n"));
        QVERIFY(!files.writeFileAtomic(path, QByteArray(200 * 1024, 'x')));
        QCOMPARE(fileBytes(path), QByteArray("12.36\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"t TIMES EV  1.LMT"});
    }
};

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_data_files.moc"

#include "app/core/app_state.h"
#include "app/core/data_file.h"
#include "support/fakes.h"
#include "timing/times_file.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <sys/mount.h>
#include <thread>

using namespace lm;
using namespace lm::test;

namespace {

AppState stateFor(int event, const QString& name, const QString& folder = "/race/") {
    AppState s;
    s.EventNumber = static_cast<std::int16_t>(event);
    s.EventName = name;
    s.MeetDate = "3-14-2018";
    s.PrimaryPath = folder;
    return s;
}

} // namespace

class TestDataFiles : public QObject {
    Q_OBJECT
  private slots:
    void dataFileName_data() {
        QTest::addColumn<int>("event");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::newRow("7") << 7 << "Girls 5K"
                           << "/race/ 3-14-2018 Girls 5K TIMES EV  7.LMT";
        QTest::newRow("12") << 12 << "Girls 5K"
                            << "/race/ 3-14-2018 Girls 5K TIMES EV 12.LMT";
        QTest::newRow("100") << 100 << "Girls 5K"
                             << "/race/ 3-14-2018 Girls 5K TIMES EV100.LMT";
        QTest::newRow("empty name") << 7 << ""
                                    << "/race/ 3-14-2018  TIMES EV  7.LMT";
        QTest::newRow("name trimmed") << 7 << "  Boys 1600 "
                                      << "/race/ 3-14-2018 Boys 1600 TIMES EV  7.LMT";
        QTest::newRow("event 0") << 0 << "X"
                                 << "/race/ 3-14-2018 X TIMES EV  0.LMT";
    }
    void dataFileName() {
        QFETCH(int, event);
        QFETCH(QString, name);
        QFETCH(QString, file);
        const AppState s = stateFor(event, name);
        QCOMPARE(DataFileName(s, s.PrimaryPath, kTimesPrefix, kTimesExtension), file);
    }

    void versionedNames_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::newRow("A") << 0 << "x EV  7A.LMT";
        QTest::newRow("Z") << 25 << "x EV  7Z.LMT";
        QTest::newRow("after Z") << 26 << "x EV  7AA.LMT";
        QTest::newRow("BA") << 52 << "x EV  7BA.LMT";
        QTest::newRow("ZZ") << 701 << "x EV  7ZZ.LMT";
        QTest::newRow("AAA") << 702 << "x EV  7AAA.LMT";
    }
    void versionedNames() {
        QFETCH(int, index);
        QFETCH(QString, name);
        QCOMPARE(versionedName("x EV  7.LMT", index), name);
    }

    void keepOlderVersionTakesNextFreeLetter() {
        QTemporaryDir dir;
        FileSystem files;
        const QString file = dir.filePath(" 3-14-2018 Girls 5K TIMES EV  7.LMT");
        QCOMPARE(KeepOlderVersion(files, file).result, OlderVersion::NothingToKeep);
        putFile(file, "1\r\n");
        QCOMPARE(KeepOlderVersion(files, file).name, versionedName(file, 0));
        putFile(file, "2\r\n");
        QCOMPARE(KeepOlderVersion(files, file).name, versionedName(file, 1));
        QCOMPARE(fileBytes(versionedName(file, 0)), QByteArray("1\r\n"));
        QCOMPARE(fileBytes(versionedName(file, 1)), QByteArray("2\r\n"));
        QCOMPARE(fileBytes(file), QByteArray("2\r\n")); // present until the save replaces it
        QFile::remove(versionedName(file, 0));
        QCOMPARE(KeepOlderVersion(files, file).name, versionedName(file, 0)); // freed letter reused
    }

    void keepOlderVersionContinuesAfterZ() {
        QTemporaryDir dir;
        FileSystem files;
        const QString file = dir.filePath("a TIMES EV  1.LMT");
        for (int i = 0; i < 26; ++i)
            putFile(versionedName(file, i), QByteArray::number(i));
        putFile(file, "current");
        QCOMPARE(KeepOlderVersion(files, file).name, dir.filePath("a TIMES EV  1AA.LMT"));
        QCOMPARE(fileBytes(versionedName(file, 25)), QByteArray("25"));
        QCOMPARE(fileBytes(dir.filePath("a TIMES EV  1AA.LMT")), QByteArray("current"));
    }

    void readFields_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("lines") << QByteArray("12.36\r\n1:05.44\r\n")
                               << QStringList{"12.36", "1:05.44"};
        QTest::newRow("blank line")
            << QByteArray("12.36\r\n\r\n1:05.44\r\n") << QStringList{"12.36", "", "1:05.44"};
        QTest::newRow("comma") << QByteArray("1.01,2.02\r\n") << QStringList{"1.01", "2.02"};
        QTest::newRow("quotes") << QByteArray("\"12, 5\"\r\n7\r\n") << QStringList{"12, 5", "7"};
        QTest::newRow("leading blanks") << QByteArray("   42  \r\n") << QStringList{"42"};
        QTest::newRow("LF only") << QByteArray("1\n2") << QStringList{"1", "2"};
        QTest::newRow("unbalanced quote")
            << QByteArray("\"abc\r\ndef") << QStringList{"abc\r\ndef"};
        QTest::newRow("text after quote") << QByteArray("\"a\"xyz,b") << QStringList{"a", "b"};
        QTest::newRow("empty") << QByteArray() << QStringList{};
    }
    void readFields() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, fields);
        QCOMPARE(lm::readFields(data), fields);
    }

    void timesLoadNumbersFieldsAndSkipsBlanks() {
        QTemporaryDir dir;
        FileSystem files;
        putFile(dir.filePath("t.LMT"), "12.36\r\n\r\n1:05.44,\"2:00.01\"\r\n");
        const auto lines = loadTimes(files, dir.filePath("t.LMT"));
        QVERIFY(lines);
        QCOMPARE(*lines, (QStringList{"1         12.36", "2       1:05.44", "3       2:00.01"}));
        QVERIFY(!loadTimes(files, dir.filePath("missing.LMT")));
    }

    void timesContentRoundTrips() {
        QCOMPARE(timeLine(3, "1:05.44"), QStringLiteral("3       1:05.44"));
        QCOMPARE(timeLine(1, "10:00:00.00"), QStringLiteral("1    10:00:00.00")); // kept whole
        QCOMPARE(timeLine(123456, ".51"), QStringLiteral("12345       .51"));
        const QStringList lines{timeLine(1, ".51"), timeLine(2, "10:00:00.00"),
                                timeLine(3, "1:05.44")};
        QCOMPARE(timesFileContent(lines), QByteArray(".51\r\n10:00:00.00\r\n1:05.44\r\n"));
        QCOMPARE(timesFileContent({}), QByteArray());
        QCOMPARE(renumberedTimes({timeLine(1, ".51"), timeLine(3, "1.01")}),
                 (QStringList{timeLine(1, ".51"), timeLine(2, "1.01")}));
    }

    void failedPrimaryWriteIsRetriedABoundedNumberOfTimes() {
        QTemporaryDir dir;
        TestPlatform t;
        t.files.failWrites = {"TIMES"};
        QVERIFY(!writePrimary(t.platform, dir.filePath("x TIMES EV  1.LMT"), "1\r\n",
                              RetryPause::FromRoundedSecond));
        QCOMPARE(t.files.atomicWrites, kWriteAttempts);
        // each pause lasts at most a second of the time of day
        QVERIFY(t.clock.sleptMs >= (kWriteAttempts - 1) * 500 / 2);
        QVERIFY(t.clock.sleptMs <= (kWriteAttempts - 1) * 1000);
    }

    void pauseEndsWhenMidnightPasses() {
        FakeClock clock;
        clock.timeOfDay = 86399.9;
        int reads = 0;
        struct Wrapping : FakeClock {
            int* reads;
            double secondsSinceMidnight() override {
                ++*reads;
                return *reads > 3 ? 0.05 : timeOfDay;
            }
        } wrapping;
        wrapping.reads = &reads;
        wrapping.timeOfDay = 86399.9;
        pauseBeforeRetry(wrapping, RetryPause::FromNow);
        QVERIFY(wrapping.sleptMs < 100);
    }

    void readerNeverSeesAMissingOrPartialFile() {
        QTemporaryDir dir;
        FileSystem files;
        const QString path = dir.filePath("t TIMES EV  1.LMT");
        QByteArray small, large;
        for (int i = 0; i < 50; ++i)
            small += "1:05.44\r\n";
        for (int i = 0; i < 2000; ++i)
            large += "1:02:03.46\r\n";
        QVERIFY(files.writeFileAtomic(path, small));
        std::atomic<bool> done{false};
        std::atomic<int> bad{0}, reads{0};
        std::thread reader([&] {
            while (!done) {
                QFile f(path);
                if (!f.open(QIODevice::ReadOnly)) {
                    ++bad;
                    continue;
                }
                const QByteArray got = f.readAll();
                if (got != small && got != large)
                    ++bad;
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
        const QString mountPoint = dir.filePath("small");
        QDir(dir.path()).mkdir("small");
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") !=
            0)
            QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(mountPoint).constData()); });
        FileSystem files;
        const QString path = mountPoint + "/t TIMES EV  1.LMT";
        QVERIFY(files.writeFileAtomic(path, "12.36\r\n"));
        const QByteArray huge(200 * 1024, 'x');
        QVERIFY(!files.writeFileAtomic(path, huge));
        QCOMPARE(fileBytes(path), QByteArray("12.36\r\n"));
        QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"t TIMES EV  1.LMT"});
    }
};

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_data_files.moc"

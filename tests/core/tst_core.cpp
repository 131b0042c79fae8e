#include "core/data_file.h"
#include "support/fakes.h"

using namespace lm::test;

class TestCore : public QObject {
    Q_OBJECT
  private slots:
    void numbersOfTexts() {
        // clang-format off
        const QList<std::pair<const char*, double>> values = {
            {"  4 2  ", 42}, {"12abc", 12}, {"2.5e-1", 0.25}, {"3D2", 300}, {"7E", 7}, {"abc", 0},
            {"-17", -17}, {"-", 0}, {".5", 0.5}, {"1.2.3", 1.2}, {"&H1F", 31}, {"&HFFFF", -1},
            {"&H10000", 65536}, {"&O17", 15}, {"&H", 0}, {"1.13\r\n", 1.13},
            {"<html>404</html>", 0}, {"99999     ", 99999}};
        // clang-format on
        for (const auto& [text, value] : values)
            QCOMPARE(numericValue(text), value);
        const QList<std::pair<const char*, int>> events = {
            {"", 0},          {"12abc", 12}, {"2.5", 2},     {"3.5", 4},
            {"32767", 32767}, {"99999", -1}, {"-40000", -1}, {"1E999", -1}};
        for (const auto& [text, number] : events)
            QCOMPARE(int(eventNumberFrom(text).value_or(-1)), number);
        QCOMPARE(meetDateFrom("3/14/2018") + meetDateFrom("2018-03-14"),
                 QStringLiteral("3-14-2018 "));
        QCOMPARE(QLocale::c().toString(QDate(2018, 3, 14), shortDatePattern(QLocale::c())),
                 QStringLiteral("3/14/2018"));
        QCOMPARE(numberText(12.5) + numberText(-0.0), QStringLiteral("12.50")); // "##.00"
    }

    void namesAndFields() {
        AppState s;
        s.MeetDate = "3-14-2018";
        s.EventName = "  Boys 1600 ";
        for (const auto& [event, number] : {std::pair(7, "  7"), {12, " 12"}, {100, "100"}}) {
            s.EventNumber = std::int16_t(event);
            QCOMPARE(DataFileName(s, "/r/", "TIMES EV", ".LMT"),
                     QString("/r/ 3-14-2018 Boys 1600 TIMES EV") + number + ".LMT");
        }
        QStringList letters;
        for (int i : {0, 25, 26, 52, 701, 702})
            letters.append(versionedName("x EV  7.LMT", i).mid(7).chopped(4));
        QCOMPARE(letters, (QStringList{"A", "Z", "AA", "BA", "ZZ", "AAA"}));
        QCOMPARE(readFields("12.36\r\n\r\n  1.01,2.02  \n\"12, 5\"xyz,7\n\"a\r\nb"),
                 (QStringList{"12.36", "", "1.01", "2.02", "12, 5", "7", "a\r\nb"}));
    }

    void olderVersionsAndRetries() {
        QTemporaryDir dir;
        TestPlatform t;
        const QString file = dir.filePath("a TIMES EV  1.LMT");
        QCOMPARE(KeepOlderVersion(t.files, file).result, OlderVersion::NothingToKeep);
        putFile(file, "now");
        for (int i = 1; i < 26; ++i)
            putFile(versionedName(file, i), QByteArray::number(i));
        QCOMPARE(KeepOlderVersion(t.files, file).name, dir.filePath("a TIMES EV  1A.LMT"));
        QCOMPARE(KeepOlderVersion(t.files, file).name, dir.filePath("a TIMES EV  1AA.LMT"));
        QCOMPARE(fileBytes(versionedName(file, 25)) + fileBytes(versionedName(file, 26)) +
                     fileBytes(file),
                 "25nownow");               // never replaced, and still there
        t.files.takenMeanwhile = "1AB.LMT"; // by another program, between the look and the write
        QCOMPARE(KeepOlderVersion(t.files, file).name, dir.filePath("a TIMES EV  1AC.LMT"));
        QCOMPARE(fileBytes(dir.filePath("a TIMES EV  1AB.LMT")), "theirs");
        t.files.failWrites = {"TIMES"};
        QVERIFY(!writePrimary(t.platform, file, "1\r\n", RetryPause::FromRoundedSecond));
        const int pauses = t.files.atomicWrites - 1; // tried again, after a pause each time
        QVERIFY(pauses > 0 && t.clock.sleptMs >= pauses * 250 && t.clock.sleptMs <= pauses * 1000);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"

#include "support/fakes.h"
#include "timing/capture_journal.h"
#include "timing/race_clock.h"
#include "timing/times_file.h"

using namespace lm::test;

class TestRaceClock : public QObject {
    Q_OBJECT
  private slots:
    void timeTexts() {
        // clang-format off
        const QList<std::pair<qint64, const char*>> rows = {
            {0, ".00"}, {9, ".02"}, {500, ".51"}, {1000, "1.01"}, {10000, "10.00"},
            {12345, "12.36"}, {59990, "60.00"}, {59999, "60.01"}, {60000, "1:00.00"},
            {65432, "1:05.44"}, {3599999, "59:60.01"}, {3600000, "1:00:00.00"},
            {3723450, "1:02:03.46"}, {36000000, "10:00:00.00"}, {2147483647, "596:31:23.66"}};
        // clang-format on
        for (const auto& [ms, text] : rows)
            QCOMPARE(FormatTime(ms), QString(text));
        QCOMPARE(elapsedMs(0xFFFFF000u, 0x00000800u), qint64(0x1800)); // across the wrap
        QCOMPARE(elapsedMs(0x7FFFFF00u, 0x80000100u), qint64(0x200));
    }

    void pressTakesTheEventsOwnTick() {
        // stamp (-1: none), end of the start display, tick taken; now 10,000, and across the wrap.
        const QList<std::tuple<qint64, quint32, quint32>> rows = {
            {-1, 0, 10'000},     {9'700, 0, 9'700},      {5'000, 0, 5'000},    {4'999, 0, 10'000},
            {10'001, 0, 10'000}, {9'000, 9'500, 10'000}, {9'600, 9'500, 9'600}};
        for (const quint32 shift : {0u, 20'000u}) {
            for (const auto& [stamp, notBefore, tick] : rows) {
                const auto event =
                    stamp < 0 ? std::nullopt : std::optional<quint32>(quint32(stamp) - shift);
                QCOMPARE(tickOfPress(event, 10'000u - shift, notBefore - shift), tick - shift);
            }
        }
    }

    // What a journal cut or spoiled by a power cut still gives back.
    void journalReplay() {
        const QByteArray race = journal::open({"7       1:05.44"}) + journal::clear() +
                                journal::start({77, "b", "CLOCK_BOOTTIME", 1, "FINISH-1"}) +
                                journal::capture(1, 2345) + journal::capture(2, 65432);
        const QStringList both = {"1          2.36", "2       1:05.44"};
        const QList<std::tuple<QByteArray, QStringList, bool>> rows = {
            {journal::open({"7       1:05.44"}), {"1       1:05.44"}, false},
            {race + "capture 3 7", both, true},             // torn last record
            {race + QByteArray(512, '\0'), both, true},     // zeros after a power cut
            {race + "capture 3 70000 *0000\n", both, true}, // spoiled record
            {race + journal::stop() + journal::remove(2), {"1          2.36"}, true},
            {race + journal::stop() + journal::save(2), both, false},
            {race + journal::save(2), both, true}}; // saved, clock still running
        for (const auto& [content, lines, worthRestoring] : rows) {
            const JournalState s = replayJournal(content);
            QCOMPARE(s.lines, lines);
            QCOMPARE(s.worthRestoring(), worthRestoring);
        }
        // A clock run on from the time of day keeps its count; a field with blanks survives.
        const JournalState resumed =
            replayJournal(race + journal::start({4'000'000'000u, "b 2", "GetTickCount",
                                                 1'520'000'000'000, "Finish Line"},
                                                true));
        QCOMPARE(resumed.captureCount, 2);
        QCOMPARE(
            QStringList({QString::number(resumed.start.tick), resumed.start.bootId,
                         resumed.start.tickKind, QString::number(resumed.start.utcMs),
                         resumed.start.computer}),
            QStringList({"4000000000", "b 2", "GetTickCount", "1520000000000", "Finish Line"}));
    }
};

QTEST_GUILESS_MAIN(TestRaceClock)
#include "tst_race_clock.moc"

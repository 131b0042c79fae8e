#include "support/fakes.h"
#include "timing/capture_journal.h"
#include "timing/race_clock.h"

#include <QTest>

using namespace lm;
using namespace lm::test;

class TestRaceClock : public QObject {
    Q_OBJECT
  private slots:
    void formatTime_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        const QList<std::pair<qint64, const char*>> rows = {
            {0, ".00"},          {9, ".02"},           {500, ".51"},         {1000, "1.01"},
            {10000, "10.00"},    {12345, "12.36"},     {59990, "60.00"},     {59999, "60.01"},
            {60000, "1:00.00"},  {65432, "1:05.44"},   {3599999, "59:60.01"}, {3600000, "1:00:00.00"},
            {3723450, "1:02:03.46"}, {36000000, "10:00:00.00"}, {2147483647, "596:31:23.66"}};
        for (const auto& [ms, text] : rows)
            QTest::addRow("%lld", static_cast<long long>(ms)) << ms << QString::fromLatin1(text);
    }
    void formatTime() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(FormatTime(ms), text);
    }

    void elapsedAcrossTheTickWrap() {
        QCOMPARE(elapsedMs(0xFFFFF000u, 0x00000800u), qint64(0x1800));
        QCOMPARE(elapsedMs(0x7FFFFF00u, 0x80000100u), qint64(0x200));
    }

    void pressTakesTheEventsOwnTick_data() {
        QTest::addColumn<qint64>("stamp"); // -1: no stamp on the tick counter's clock
        QTest::addColumn<quint32>("notBefore");
        QTest::addColumn<quint32>("tick"); // now is 10,000
        QTest::newRow("no stamp") << -1LL << 0u << 10'000u;
        QTest::newRow("held 300 ms") << 9'700LL << 0u << 9'700u;
        QTest::newRow("five seconds old") << 5'000LL << 0u << 5'000u;
        QTest::newRow("older") << 4'999LL << 0u << 10'000u;
        QTest::newRow("from the future") << 10'001LL << 0u << 10'000u;
        QTest::newRow("before the display ended") << 9'000LL << 9'500u << 10'000u;
        QTest::newRow("after the display ended") << 9'600LL << 9'500u << 9'600u;
    }
    void pressTakesTheEventsOwnTick() {
        QFETCH(qint64, stamp);
        QFETCH(quint32, notBefore);
        QFETCH(quint32, tick);
        const auto eventTick = stamp < 0 ? std::nullopt : std::optional<quint32>(quint32(stamp));
        QCOMPARE(tickOfPress(eventTick, 10'000u, notBefore), tick);
        QCOMPARE(tickOfPress(eventTick ? std::optional<quint32>(*eventTick - 20'000u) : eventTick,
                             quint32(tick - 20'000u), notBefore - 20'000u),
                 tick - 20'000u); // the same across the wrap of the tick counter
    }

    // What a journal cut or spoiled by a power cut still gives back.
    void journalReplay_data() {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("worthRestoring");
        const QByteArray race = journal::open({"7       1:05.44"}) + journal::clear() +
                                journal::start(77, "b") + journal::capture(1, 2345) +
                                journal::capture(2, 65432);
        const QStringList both = {"1          2.36", "2       1:05.44"};
        QTest::newRow("opened") << journal::open({"7       1:05.44"})
                                << QStringList{"1       1:05.44"} << false;
        QTest::newRow("torn last record") << race + "capture 3 7" << both << true;
        QTest::newRow("zeros after a power cut") << race + QByteArray(512, '\0') << both << true;
        QTest::newRow("spoiled record") << race + "capture 3 70000 *0000\n" << both << true;
        QTest::newRow("delete") << race + journal::stop() + journal::remove(2)
                                << QStringList{"1          2.36"} << true;
        QTest::newRow("saved and stopped") << race + journal::stop() + journal::save(2) << both
                                           << false;
        QTest::newRow("saved, clock running") << race + journal::save(2) << both << true;
    }
    void journalReplay() {
        QFETCH(QByteArray, journal);
        QFETCH(QStringList, lines);
        QFETCH(bool, worthRestoring);
        const JournalState s = replayJournal(journal);
        QCOMPARE(s.lines, lines);
        QCOMPARE(s.worthRestoring(), worthRestoring);
    }

    void startDisplayRunsTenSecondsOnTheTickCounter() {
        FakeClock clock;
        clock.tick = 0xFFFFFF00u;  // wraps during the display
        clock.timeOfDay = 86399.0; // and midnight passes too
        QStringList shown;
        StartDisplay(clock, [&](const QString& text) {
            shown.append(text);
            clock.advance(3); // setting and repainting the label takes a little time
        });
        QCOMPARE(shown.mid(0, 2), (QStringList{".00", ".10"}));
        QVERIFY(shown.last().startsWith(QStringLiteral("9.")));
        QVERIFY(clock.sleptMs >= 9500 && clock.sleptMs <= 10000);
    }
};

QTEST_GUILESS_MAIN(TestRaceClock)
#include "tst_race_clock.moc"

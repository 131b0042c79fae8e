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
            {0, ".00"},
            {9, ".02"},
            {500, ".51"},
            {1000, "1.01"},
            {10000, "10.00"},
            {12000, "12.01"},
            {12300, "12.31"},
            {12340, "12.35"},
            {12345, "12.36"},
            {12349, "12.36"},
            {59990, "60.00"},
            {59999, "60.01"},
            {60000, "1:00.00"},
            {65432, "1:05.44"},
            {600000, "10:00.00"},
            {3599999, "59:60.01"},
            {3600000, "1:00:00.00"},
            {3723450, "1:02:03.46"},
            {36000000, "10:00:00.00"},
            {45296789, "12:34:56.80"},
            // beyond the worked examples
            {20000, "20.00"},
            {59995, "60.01"},
            {4, ".01"},
            {119990, "1:60.00"},
            {2147483647, "596:31:23.66"},
        };
        for (const auto& [ms, text] : rows)
            QTest::addRow("%lld", static_cast<long long>(ms)) << ms << QString::fromLatin1(text);
    }
    void formatTime() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(FormatTime(ms), text);
    }

    void elapsedAcrossTickWrap_data() {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<quint32>("now");
        QTest::addColumn<qint64>("elapsed");
        QTest::newRow("plain") << 1000u << 66432u << qint64(65432);
        QTest::newRow("unsigned wrap") << 0xFFFFF000u << 0x00000800u << qint64(0x1800);
        QTest::newRow("signed boundary") << 0x7FFFFF00u << 0x80000100u << qint64(0x200);
    }
    void elapsedAcrossTickWrap() {
        QFETCH(quint32, start);
        QFETCH(quint32, now);
        QFETCH(qint64, elapsed);
        QCOMPARE(elapsedMs(start, now), elapsed);
    }

    void pressTakesTheEventsOwnTick_data() {
        QTest::addColumn<qint64>("stamp"); // -1: no stamp on the tick counter's clock
        QTest::addColumn<quint32>("now");
        QTest::addColumn<quint32>("notBefore");
        QTest::addColumn<quint32>("tick");
        QTest::newRow("no stamp") << -1LL << 10'000u << 0u << 10'000u;
        QTest::newRow("held 300 ms") << 9'700LL << 10'000u << 0u << 9'700u;
        QTest::newRow("five seconds old") << 5'000LL << 10'000u << 0u << 5'000u;
        QTest::newRow("minutes old") << 4'999LL << 10'000u << 0u << 10'000u;
        QTest::newRow("from the future") << 10'001LL << 10'000u << 0u << 10'000u;
        QTest::newRow("before the display ended") << 9'000LL << 10'000u << 9'500u << 10'000u;
        QTest::newRow("after the display ended") << 9'600LL << 10'000u << 9'500u << 9'600u;
        QTest::newRow("across the wrap") << 0xFFFF'FF00LL << 100u << 0xFFFF'0000u << 0xFFFF'FF00u;
    }
    void pressTakesTheEventsOwnTick() {
        QFETCH(qint64, stamp);
        QFETCH(quint32, now);
        QFETCH(quint32, notBefore);
        QFETCH(quint32, tick);
        const auto eventTick = stamp < 0 ? std::nullopt : std::optional<quint32>(quint32(stamp));
        QCOMPARE(tickOfPress(eventTick, now, notBefore), tick);
    }

    // What a journal cut or spoiled by a power cut still gives back.
    void journalReplay_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("worthRestoring");
        const QByteArray race = journal::open({}) + journal::start(77, "b") +
                                journal::capture(1, 2345) + journal::capture(2, 65432);
        const QStringList both = {"1          2.36", "2       1:05.44"};
        QTest::newRow("as written") << race << both << true;
        QTest::newRow("torn last record") << race + "capture 3 7" << both << true;
        QTest::newRow("zeros after a power cut") << race + QByteArray(512, '\0') << both << true;
        QTest::newRow("spoiled record") << race + "capture 3 70000 *0000\n" << both << true;
        QTest::newRow("delete renumbers") << race + journal::stop() + journal::remove(2)
                                          << QStringList{"1          2.36"} << true;
        QTest::newRow("clear") << race + journal::stop() + journal::clear() << QStringList{}
                               << true;
        QTest::newRow("saved and stopped")
            << race + journal::stop() + journal::save(2) << both << false;
        QTest::newRow("saved, clock running") << race + journal::save(2) << both << true;
        QTest::newRow("opened again")
            << race + journal::open({"7       1:05.44"}) << QStringList{"1       1:05.44"} << false;
    }
    void journalReplay() {
        QFETCH(QByteArray, tail);
        QFETCH(QStringList, lines);
        QFETCH(bool, worthRestoring);
        const JournalState s = replayJournal(tail);
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
        QCOMPARE(shown.first(), QStringLiteral(".00"));
        QCOMPARE(shown.at(1), QStringLiteral(".10"));
        QVERIFY(shown.last().startsWith(QStringLiteral("9.")));
        QVERIFY(shown.size() >= 95 && shown.size() <= 100);
        QVERIFY(clock.sleptMs >= 9500 && clock.sleptMs <= 10000);
    }
};

QTEST_GUILESS_MAIN(TestRaceClock)
#include "tst_race_clock.moc"

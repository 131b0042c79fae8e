#include "core/app_state.h"
#include "support/bibs.h"

#include <QTest>

using namespace lm;
using lm::test::bibsAt;

namespace {

// The list built afresh with the given bibs at places 1, 2, 3, ... ("" leaves a place blank).
void fill(FinishOrderList& list, const QStringList& bibs) {
    list.build();
    for (int i = 0; i < bibs.size(); ++i) {
        if (!bibs[i].isEmpty())
            list.setBib(i + 1, bibs[i]);
    }
}

} // namespace

class TestFinishOrderList : public QObject {
    Q_OBJECT
  private slots:
    void placesAndDuplicates() {
        FinishOrderList list(2000);
        fill(list, {"1", "99999", "", "0", "17", "-5", "99999", "0", "17"});
        QCOMPARE(list.line(0) + list.line(2000) + MakePlaceLine("3", "12345678901"),
                 "PLACE     BIB       2000                3         1234567890");
        // 99999 is taken, 0 and negative bibs are free; past the end stays on the last place.
        QCOMPARE(QList<int>({list.nextFreePlace(0), list.nextFreePlace(4), list.nextFreePlace(6),
                             list.nextFreePlace(2001)}),
                 QList<int>({3, 4, 6, 2000}));
        list.setBib(2000, "17");
        QCOMPARE(list.placesHolding(17), (QList<int>{5, 9, 2000}));
        for (double never : {99999.0, 0.0, -5.0})
            QVERIFY(list.placesHolding(never).isEmpty());
        // Loaded fields; 0 closes up, at most 2000 places, placeholders and gaps saved as 99999.
        QStringList many;
        for (int i = 1; i <= 2500; ++i)
            many.append(QString::number(i));
        list.build();
        QCOMPARE(list.loadFields(many), 2001);
        QCOMPARE(list.count(), 2001);
        QCOMPARE(list.nextFreePlace(1), 2000); // full
        QCOMPARE(list.line(2000), QStringLiteral("2000      2000      "));
        fill(list, {});
        list.loadFields({" 0042 ", "0", "abc", "123456789012", "", "-3", "99999"});
        QCOMPARE(bibsAt(list, {1, 2, 3, 4}), QStringLiteral("0042,1234567890,99999,"));
        list.setBib(5, "-2");
        list.setBib(7, "8");
        QCOMPARE(list.fileContent(list.lastUsedPlace()),
                 "0042\r\n1234567890\r\n99999\r\n99999\r\n99999\r\n99999\r\n8\r\n");
    }

    void insertAndDelete() {
        FinishOrderList list(2000);
        fill(list, {"11", "12", "99999", "14", "15", "99999", "17"});
        list.setBib(2000, "777");
        list.insertPlace(2);
        QCOMPARE(bibsAt(list, {1, 2, 3, 4}), QStringLiteral("11,,12,99999"));
        QCOMPARE(list.line(2001), "2000      777       "); // pushed past the end
        QCOMPARE(list.line(2000), "2000                ");
        list.deletePlace(2);
        list.deletePlace(5); // placeholders below a deleted place become blank places
        QCOMPARE(bibsAt(list, {1, 2, 3, 4, 5, 6, 7}), QStringLiteral("11,12,,14,,17,"));
        QCOMPARE(list.line(1999), "1999      777       ");
        QCOMPARE(list.line(2000), QString()); // no line until the places are restored
        list.restoreMissingPlaces();
        QCOMPARE(list.count(), 2001);
        for (int p = 1; p <= 2000; ++p)
            QCOMPARE(list.placeValue(p), double(p));
    }
};

QTEST_GUILESS_MAIN(TestFinishOrderList)
#include "tst_finish_order_list.moc"

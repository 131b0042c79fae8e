#include "app/core/app_state.h"
#include "finishorder/finish_order_list.h"

#include <QTest>

using namespace lm;

namespace {

// A built list with the given bibs at places 1, 2, 3, ... ("" leaves a place blank).
void fill(FinishOrderList& list, const QStringList& bibs) {
    list.build();
    for (int i = 0; i < bibs.size(); ++i) {
        if (!bibs[i].isEmpty())
            list.setBib(i + 1, bibs[i]);
    }
}

QStringList bibsOf(const FinishOrderList& list, int last) {
    QStringList out;
    for (int i = 1; i <= last; ++i)
        out.append(list.line(i).right(10).trimmed());
    return out;
}

} // namespace

class TestFinishOrderList : public QObject {
    Q_OBJECT
  private slots:
    void placesAndDuplicates() {
        FinishOrderList list(2000);
        fill(list, {"1", "99999", "", "0", "17", "-5", "99999", "0", "17"});
        QCOMPARE(list.line(0), QStringLiteral("PLACE     BIB       "));
        QCOMPARE(list.line(2000), QStringLiteral("2000                "));
        QCOMPARE(MakePlaceLine("3", "12345678901"), QStringLiteral("3         1234567890"));
        QCOMPARE(list.nextFreePlace(0), 3); // 99999 is taken
        QCOMPARE(list.nextFreePlace(4), 4); // 0 is free
        QCOMPARE(list.nextFreePlace(6), 6); // so is a negative bib
        QCOMPARE(list.nextFreePlace(2001), 2000);
        QCOMPARE(list.placesHolding(17), (QList<int>{5, 9}));
        for (double never : {99999.0, 0.0, -5.0})
            QVERIFY(list.placesHolding(never).isEmpty());
        list.setBib(2000, "17");
        QCOMPARE(list.placesHolding(17), (QList<int>{5, 9, 2000}));
        for (int p = 1; p <= 2000; ++p)
            list.setBib(p, QString::number(p));
        QCOMPARE(list.nextFreePlace(1), 2000); // full: stays on the last place
    }

    void bibsFile() {
        // Fields of a bibs file, the bibs they give, and the file they are saved as.
        const QList<std::tuple<QStringList, QStringList, QByteArray>> rows = {
            {{"101", "99999", "57"}, {"101", "99999", "57"}, "101\r\n99999\r\n57\r\n"},
            {{"101", "0", "57"}, {"101", "57", ""}, "101\r\n57\r\n"}, // 0 closes up
            {{" 0042 ", "123456789012"}, {"0042", "1234567890"}, "0042\r\n1234567890\r\n"},
            {{"abc", "\x01\xff", "", "-3", "8"}, {"8", ""}, "8\r\n"}};
        FinishOrderList list(2000);
        for (const auto& [fields, bibs, content] : rows) {
            list.build();
            list.loadFields(fields);
            QCOMPARE(bibsOf(list, int(bibs.size())), bibs);
            QCOMPARE(list.fileContent(list.lastUsedPlace()), content);
        }
        fill(list, {"5", "", "-2", "0"}); // gaps and negatives are written as placeholders
        QCOMPARE(list.fileContent(list.lastUsedPlace()), QByteArray("5\r\n99999\r\n99999\r\n"));
        QStringList many;
        for (int i = 1; i <= 2500; ++i)
            many.append(QString::number(i));
        list.build();
        QCOMPARE(list.loadFields(many), 2001); // stops at the last place
        QCOMPARE(list.count(), 2001);
        QCOMPARE(list.line(2000), QStringLiteral("2000      2000      "));
        fill(list, {"101", "99999", "103", "0", "99999", "0"}); // leaving: trailing ones go
        QCOMPARE(list.clearTrailingPlaceholders(), 3);
        QCOMPARE(list.line(5), blankPlaceLine(5));
        QCOMPARE(list.missingCount(3), 1);
    }

    void insertAndDelete() {
        FinishOrderList list(2000);
        fill(list, {"11", "12", "99999", "14", "15", "99999", "17"});
        list.setBib(2000, "777");
        list.insertPlace(2);
        QCOMPARE(bibsOf(list, 4), (QStringList{"11", "", "12", "99999"}));
        QCOMPARE(list.line(2001), MakePlaceLine("2000", "777")); // pushed past the end
        QCOMPARE(list.line(2000), blankPlaceLine(2000));
        list.deletePlace(2);
        list.deletePlace(5); // placeholders below a deleted place become blank places
        QCOMPARE(bibsOf(list, 7), (QStringList{"11", "12", "", "14", "", "17", ""}));
        QCOMPARE(list.line(1999), MakePlaceLine("1999", "777"));
        QCOMPARE(list.line(2000), QString()); // no line until the places are restored
        list.deletePlace(0);                  // the header survives edits at the edges
        list.insertPlace(0);
        QCOMPARE(list.line(0), kListHeader);
        list.restoreMissingPlaces();
        QCOMPARE(list.count(), 2001);
        for (int p = 1; p <= 2000; ++p)
            QCOMPARE(list.placeValue(p), double(p));
    }
};

QTEST_GUILESS_MAIN(TestFinishOrderList)
#include "tst_finish_order_list.moc"

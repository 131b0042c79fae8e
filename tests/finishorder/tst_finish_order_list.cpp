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

QStringList bibsOf(const FinishOrderList& list, int first, int last) {
    QStringList out;
    for (int i = first; i <= last; ++i)
        out.append(list.line(i).right(10).trimmed());
    return out;
}

} // namespace

class TestFinishOrderList : public QObject {
    Q_OBJECT
  private slots:
    void freshList() {
        FinishOrderList list(2000);
        list.build();
        QCOMPARE(list.count(), 2001);
        QCOMPARE(list.line(0), QStringLiteral("PLACE     BIB       "));
        QCOMPARE(list.line(1), QStringLiteral("1                   "));
        QCOMPARE(list.line(2000), QStringLiteral("2000                "));
        QCOMPARE(MakePlaceLine("3", "42"), QStringLiteral("3         42        "));
        QCOMPARE(MakePlaceLine("3", "12345678901"), QStringLiteral("3         1234567890"));
    }

    void nextFreePlace_data() {
        QTest::addColumn<QStringList>("bibs");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("free");
        QTest::newRow("after 4,5,6") << QStringList{"1", "2", "3", "4", "5", "6"} << 4 << 7;
        QTest::newRow("placeholder is taken") << QStringList{"1", "99999", ""} << 1 << 3;
        QTest::newRow("zero is free") << QStringList{"1", "0", "3"} << 1 << 2;
        QTest::newRow("negative is free") << QStringList{"1", "-4", "3"} << 1 << 2;
        QTest::newRow("past the end stays at 2000") << QStringList{} << 2001 << 2000;
        QTest::newRow("below 1 starts at 1") << QStringList{} << 0 << 1;
    }
    void nextFreePlace() {
        QFETCH(QStringList, bibs);
        QFETCH(int, from);
        QFETCH(int, free);
        FinishOrderList list(2000);
        fill(list, bibs);
        QCOMPARE(list.nextFreePlace(from), free);
    }

    void fullListStopsAtLastPlace() {
        FinishOrderList list(2000);
        list.build();
        for (int p = 1; p <= 2000; ++p)
            list.setBib(p, QString::number(p));
        QCOMPARE(list.nextFreePlace(1), 2000);
    }

    void duplicates_data() {
        QTest::addColumn<QString>("bib");
        QTest::addColumn<QList<int>>("places");
        QTest::newRow("real bib twice") << "17" << QList<int>{2, 9};
        QTest::newRow("placeholder never") << "99999" << QList<int>{};
        QTest::newRow("zero never") << "0" << QList<int>{};
        QTest::newRow("negative never") << "-5" << QList<int>{};
    }
    void duplicates() {
        QFETCH(QString, bib);
        QFETCH(QList<int>, places);
        FinishOrderList list(2000);
        fill(list, {"99999", "17", "0", "-5", "99999", "0", "-5", "", "17"});
        QCOMPARE(list.placesHolding(numericValue(bib)), places);
    }

    void loadFields_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("bibs");
        QTest::addColumn<int>("next");
        QTest::newRow("placeholder keeps its place")
            << QStringList{"101", "99999", "57"} << QStringList{"101", "99999", "57"} << 4;
        QTest::newRow("zero closes up")
            << QStringList{"101", "0", "57"} << QStringList{"101", "57", ""} << 3;
        QTest::newRow("not normalised") << QStringList{" 0042 "} << QStringList{"0042", ""} << 2;
        QTest::newRow("cut to ten")
            << QStringList{"123456789012"} << QStringList{"1234567890"} << 2;
        QTest::newRow("garbage skipped")
            << QStringList{"abc", "\x01\xff", "", "-3", "8"} << QStringList{"8", ""} << 2;
    }
    void loadFields() {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, bibs);
        QFETCH(int, next);
        FinishOrderList list(2000);
        list.build();
        QCOMPARE(list.loadFields(fields), next);
        QCOMPARE(bibsOf(list, 1, int(bibs.size())), bibs);
        QCOMPARE(list.line(0), kListHeader);
    }

    void loadStopsAtLastPlace() {
        FinishOrderList list(2000);
        list.build();
        QStringList fields;
        for (int i = 1; i <= 2500; ++i)
            fields.append(QString::number(i));
        QCOMPARE(list.loadFields(fields), 2001);
        QCOMPARE(list.count(), 2001);
        QCOMPARE(list.line(2000), QStringLiteral("2000      2000      "));
    }

    void fileContent_data() {
        QTest::addColumn<QStringList>("bibs");
        QTest::addColumn<int>("last");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("gap written as placeholder")
            << QStringList{"101", "", "57"} << 3 << QByteArray("101\r\n99999\r\n57\r\n");
        QTest::newRow("negative counts, written as placeholder")
            << QStringList{"5", "", "-2"} << 3 << QByteArray("5\r\n99999\r\n99999\r\n");
        QTest::newRow("zero is not a last place")
            << QStringList{"5", "0"} << 1 << QByteArray("5\r\n");
        QTest::newRow("loaded text kept") << QStringList{"0042"} << 1 << QByteArray("0042\r\n");
        QTest::newRow("nothing") << QStringList{} << 0 << QByteArray();
    }
    void fileContent() {
        QFETCH(QStringList, bibs);
        QFETCH(int, last);
        QFETCH(QByteArray, content);
        FinishOrderList list(2000);
        fill(list, bibs);
        QCOMPARE(list.lastUsedPlace(), last);
        QCOMPARE(list.fileContent(last), content);
    }

    void exitClearsTrailingPlaceholders() {
        FinishOrderList list(2000);
        QStringList bibs;
        for (int p = 1; p <= 20; ++p)
            bibs.append(p == 7 ? "99999" : QString::number(100 + p));
        bibs << "0"
             << "99999"
             << "0";
        fill(list, bibs);
        QCOMPARE(list.clearTrailingPlaceholders(), 20);
        QCOMPARE(list.line(22), blankPlaceLine(22));
        QCOMPARE(list.missingCount(20), 1);
        QCOMPARE(list.fileContent(20).count("\r\n"), 20);

        fill(list, {"99999", "0"});
        QCOMPARE(list.clearTrailingPlaceholders(), 0);
    }

    void insertPushesTheLastPlacePastTheEnd() {
        FinishOrderList list(2000);
        list.build();
        list.setBib(2000, "777");
        list.insertPlace(5);
        QCOMPARE(list.line(2001), MakePlaceLine("2000", "777"));
        QCOMPARE(list.line(2000), blankPlaceLine(2000));
        QCOMPARE(list.lastUsedPlace(), 0); // never saved
        list.deletePlace(5);
        QCOMPARE(list.count(), 2001);
        QCOMPARE(list.line(2000), MakePlaceLine("2000", "777"));
    }

    void deleteClosesUpAndClearsPlaceholdersBelow() {
        FinishOrderList list(2000);
        fill(list, {"11", "12", "99999", "14", "15", "99999", "17"});
        list.deletePlace(5);
        QCOMPARE(list.count(), 2000);
        QCOMPARE(bibsOf(list, 1, 7), (QStringList{"11", "12", "99999", "14", "", "17", ""}));
        QCOMPARE(list.line(5), blankPlaceLine(5));
        QCOMPARE(list.line(1999), blankPlaceLine(1999));
        QCOMPARE(list.line(2000), QString()); // no line until rebuilt

        fill(list, {"11", "12", "13"});
        list.deletePlace(2);
        QCOMPARE(bibsOf(list, 1, 3), (QStringList{"11", "13", ""}));
    }

    void editsAtTheEdgesNeverFail() {
        FinishOrderList list(2000);
        list.build();
        list.deletePlace(0); // the header survives
        list.insertPlace(0);
        QCOMPARE(list.line(0), kListHeader);
        QCOMPARE(list.count(), 2001);
        for (int i = 0; i < 5; ++i)
            list.deletePlace(list.count() - 1); // the last line, again and again
        QCOMPARE(list.count(), 1996);
        list.deletePlace(1);
        QCOMPARE(list.line(1994), blankPlaceLine(1994));
        list.restoreMissingPlaces();
        QCOMPARE(list.count(), 2001);
        for (int p = 1; p <= 2000; ++p)
            QCOMPARE(list.placeValue(p), double(p));
    }
};

QTEST_GUILESS_MAIN(TestFinishOrderList)
#include "tst_finish_order_list.moc"

#include "app/core/app_state.h"
#include "platform/system.h"
#include "support/fakes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace lm;
using namespace lm::test;

class TestAppState : public QObject {
    Q_OBJECT
  private slots:
    void numericValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        const QList<std::pair<const char*, double>> rows = {{"  4 2  ", 42},
                                                            {"0042", 42},
                                                            {"12abc", 12},
                                                            {"2.5e-1", 0.25},
                                                            {"3D2", 300},
                                                            {"7E", 7},
                                                            {"abc", 0},
                                                            {"", 0},
                                                            {"-17", -17},
                                                            {"+5", 5},
                                                            {"-", 0},
                                                            {".5", 0.5},
                                                            {"1.2.3", 1.2},
                                                            {"1.13\r\n", 1.13},
                                                            {"<html>404</html>", 0},
                                                            {"&H1F", 31},
                                                            {"&HFFFF", -1},
                                                            {"&H10000", 65536},
                                                            {"&O17", 15},
                                                            {"&H", 0},
                                                            {"&", 0},
                                                            {"99999     ", 99999}};
        for (const auto& [text, value] : rows)
            QTest::newRow(text) << QString(text) << value;
    }
    void numericValue() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(lm::numericValue(text), value);
    }

    void eventNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number"); // -99999: refused
        const QList<std::pair<const char*, int>> rows = {
            {"7", 7},         {"", 0},           {"12abc", 12},      {"2.5", 2},       {"3.5", 4},
            {"32767", 32767}, {"99999", -99999}, {"-40000", -99999}, {"1E999", -99999}};
        for (const auto& [text, number] : rows)
            QTest::newRow(text) << QString(text) << number;
    }
    void eventNumber() {
        QFETCH(QString, text);
        QFETCH(int, number);
        const auto event = eventNumberFrom(text);
        QCOMPARE(event ? int(*event) : -99999, number);
    }

    void textsOfTheFiles() {
        QCOMPARE(meetDateFrom("3/14/2018"), QStringLiteral("3-14-2018"));
        QCOMPARE(meetDateFrom("2018-03-14"), QStringLiteral(" "));
        QCOMPARE(
            meetDateFrom(QLocale::c().toString(QDate(2018, 3, 14), shortDatePattern(QLocale::c()))),
            QStringLiteral("3-14-2018"));
        QCOMPARE(numberText(12.5), QStringLiteral("12.5"));
        QCOMPARE(numberText(-0.0), QStringLiteral("0"));
    }

    void settingsFile_data() {
        QTest::addColumn<QString>("fileName"); // empty: no file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected"); // "<none>": nothing read
        QTest::newRow("absent") << "" << QByteArray() << "<none>";
        QTest::newRow("empty file") << "Lapmark.lm" << QByteArray() << "<none>";
        QTest::newRow("two lines") << "Lapmark.lm" << QByteArray("a/\r\nb/\r\n") << "a/";
        QTest::newRow("CR only") << "Lapmark.lm" << QByteArray("a/\rb/") << "a/";
        QTest::newRow("other letter case") << "LAPMARK.LM" << QByteArray("  /x/ \n") << "  /x/ ";
    }
    void settingsFile() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        if (!fileName.isEmpty())
            putFile(dir.filePath(fileName), content);
        FileSystem files;
        QCOMPARE(readSettings(files, dir.path()).value_or("<none>"), expected);
        // Written back under whichever spelling exists, trimmed, with CR LF.
        QVERIFY(writeSettings(files, dir.path(), " /media/usb/ "));
        const QString name = fileName.isEmpty() ? "lapmark.lm" : fileName;
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(fileBytes(dir.filePath(name)), QByteArray("/media/usb/\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"

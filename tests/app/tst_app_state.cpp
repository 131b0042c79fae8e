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
    void numbersOfTexts() {
        const QList<std::pair<const char*, double>> values = {
            {"  4 2  ", 42}, {"12abc", 12},        {"2.5e-1", 0.25},   {"3D2", 300},
            {"7E", 7},       {"abc", 0},           {"-17", -17},       {"-", 0},
            {".5", 0.5},     {"1.2.3", 1.2},       {"1.13\r\n", 1.13}, {"<html>404</html>", 0},
            {"&H1F", 31},    {"&HFFFF", -1},       {"&H10000", 65536}, {"&O17", 15},
            {"&H", 0},       {"99999     ", 99999}};
        for (const auto& [text, value] : values)
            QCOMPARE(numericValue(text), value);
        const QList<std::pair<const char*, int>> events = {
            {"", 0},          {"12abc", 12}, {"2.5", 2},     {"3.5", 4},
            {"32767", 32767}, {"99999", -1}, {"-40000", -1}, {"1E999", -1}};
        for (const auto& [text, number] : events)
            QCOMPARE(eventNumberFrom(text) ? int(*eventNumberFrom(text)) : -1, number);
        QCOMPARE(meetDateFrom("3/14/2018") + meetDateFrom("2018-03-14"),
                 QStringLiteral("3-14-2018 "));
        QCOMPARE(QLocale::c().toString(QDate(2018, 3, 14), shortDatePattern(QLocale::c())),
                 QStringLiteral("3/14/2018"));
        QCOMPARE(numberText(12.5) + numberText(-0.0), QStringLiteral("12.50"));
    }

    void settingsFile_data() {
        QTest::addColumn<QString>("fileName"); // empty: no file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("read"); // "<none>": nothing read
        QTest::newRow("absent") << "" << QByteArray() << "<none>";
        QTest::newRow("empty file") << "Lapmark.lm" << QByteArray() << "<none>";
        QTest::newRow("two lines") << "Lapmark.lm" << QByteArray("a/\r\nb/\r\n") << "a/";
        QTest::newRow("CR only") << "Lapmark.lm" << QByteArray("a/\rb/") << "a/";
        QTest::newRow("other letter case") << "LAPMARK.LM" << QByteArray("  /x/ \n") << "  /x/ ";
    }
    void settingsFile() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, read);
        QTemporaryDir dir;
        if (!fileName.isEmpty())
            putFile(dir.filePath(fileName), content);
        FileSystem files;
        QCOMPARE(readSettings(files, dir.path()).value_or("<none>"), read);
        // Written back under whichever spelling exists, trimmed, with CR LF.
        QVERIFY(writeSettings(files, dir.path(), " /media/usb/ "));
        const QString name = fileName.isEmpty() ? "lapmark.lm" : fileName;
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(fileBytes(dir.filePath(name)), QByteArray("/media/usb/\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"

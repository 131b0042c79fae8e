#include "app/core/app_state.h"
#include "support/fakes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace lm;
using namespace lm::test;

class TestAppState : public QObject {
    Q_OBJECT
  private slots:
    void numericValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("surrounded by spaces") << "  42  " << 42.0;
        QTest::newRow("leading zeros") << "0042" << 42.0;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("exponent") << "1E3" << 1000.0;
        QTest::newRow("lower-case exponent and sign") << "2.5e-1" << 0.25;
        QTest::newRow("D exponent") << "3D2" << 300.0;
        QTest::newRow("exponent without digits") << "7E" << 7.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("spaces inside") << "1 2 3" << 123.0;
        QTest::newRow("negative") << "-17" << -17.0;
        QTest::newRow("plus sign") << "+5" << 5.0;
        QTest::newRow("lone minus") << "-" << 0.0;
        QTest::newRow("fraction only") << ".5" << 0.5;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("version with line break") << "1.13\r\n" << 1.13;
        QTest::newRow("html page") << "<html>404</html>" << 0.0;
        QTest::newRow("hex") << "&H1F" << 31.0;
        QTest::newRow("hex is 16-bit signed") << "&HFFFF" << -1.0;
        QTest::newRow("long hex") << "&H10000" << 65536.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("hex without digits") << "&H" << 0.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
        QTest::newRow("placeholder") << "99999     " << 99999.0;
    }
    void numericValue() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(lm::numericValue(text), value);
    }

    void numberText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 42.0 << "42";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("negative") << -3.0 << "-3";
        QTest::newRow("fraction") << 12.5 << "12.5";
        QTest::newRow("large") << 1e30 << "1e+30";
    }
    void numberText() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(lm::numberText(value), text);
    }

    void eventNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number"); // -99999: refused
        QTest::newRow("picked") << "7" << 7;
        QTest::newRow("empty box") << "" << 0;
        QTest::newRow("typed with letters") << "12abc" << 12;
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("too large") << "99999" << -99999;
        QTest::newRow("too small") << "-40000" << -99999;
        QTest::newRow("exponent overflow") << "1E999" << -99999;
    }
    void eventNumber() {
        QFETCH(QString, text);
        QFETCH(int, number);
        const auto result = eventNumberFrom(text);
        if (number == -99999)
            QVERIFY(!result);
        else
            QCOMPARE(int(result.value_or(-1)), number);
    }

    void meetDate_data() {
        QTest::addColumn<QString>("shortDate");
        QTest::addColumn<QString>("meetDate");
        QTest::newRow("slashes") << "3/14/2018"
                                 << "3-14-2018";
        QTest::newRow("no slash") << "14.03.2018"
                                  << " ";
        QTest::newRow("iso") << "2018-03-14"
                             << " ";
    }
    void meetDate() {
        QFETCH(QString, shortDate);
        QFETCH(QString, meetDate);
        QCOMPARE(meetDateFrom(shortDate), meetDate);
    }

    void cLocaleHasSlashedDate() {
        QCOMPARE(shortDatePattern(QLocale::c()), QStringLiteral("M/d/yyyy"));
        QCOMPARE(
            meetDateFrom(QLocale::c().toString(QDate(2018, 3, 14), shortDatePattern(QLocale::c()))),
            QStringLiteral("3-14-2018"));
    }

    void readSettings_data() {
        QTest::addColumn<QString>("fileName"); // empty: no file
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected"); // "<none>": nothing read
        QTest::newRow("absent") << "" << QByteArray() << "<none>";
        QTest::newRow("empty file") << "Lapmark.lm" << QByteArray() << "<none>";
        QTest::newRow("one line") << "Lapmark.lm" << QByteArray("/media/usb/\r\n") << "/media/usb/";
        QTest::newRow("two lines")
            << "Lapmark.lm" << QByteArray("first/\r\nsecond/\r\n") << "first/";
        QTest::newRow("CR only") << "Lapmark.lm" << QByteArray("a/\rb/") << "a/";
        QTest::newRow("no path set")
            << "Lapmark.lm" << QByteArray("no path set\r\n") << "no path set";
        QTest::newRow("other letter case") << "LAPMARK.LM" << QByteArray("/x/\r\n") << "/x/";
        QTest::newRow("kept untrimmed") << "lapmark.lm" << QByteArray("  /x/ \r\n") << "  /x/ ";
        QTest::newRow("empty line") << "Lapmark.lm" << QByteArray("\r\n") << "";
    }
    void readSettings() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        if (!fileName.isEmpty())
            putFile(dir.filePath(fileName), content);
        FileSystem files;
        const auto line = lm::readSettings(files, dir.path());
        QCOMPARE(line.value_or("<none>"), expected);
    }

    void writeSettingsReplacesOtherSpelling() {
        QTemporaryDir dir;
        putFile(dir.filePath("LAPMARK.LM"), "old/\r\n");
        FileSystem files;
        QVERIFY(writeSettings(files, dir.path(), " /media/usb/ "));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"LAPMARK.LM"});
        QCOMPARE(fileBytes(dir.filePath("LAPMARK.LM")), QByteArray("/media/usb/\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"

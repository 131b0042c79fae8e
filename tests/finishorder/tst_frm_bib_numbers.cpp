#include "app/core/app_state.h"
#include "app/core/data_file.h"
#include "finishorder/finish_order_list.h"
#include "finishorder/frm_bib_numbers.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace lm;
using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmBibNumbers> {
    QString bibsFile() const { return dataFile("BIBS EV  7", ".LMB"); }
    QLineEdit* box(const char* name) { return child<QLineEdit>(name); }
    QString place() { return box("TxtPlace")->text(); }
    QString bib() { return box("TxtBib")->text(); }
    void enter(const QString& bibText, const QString& placeText = QString()) {
        if (!placeText.isNull())
            box("TxtPlace")->setText(placeText);
        box("TxtBib")->setText(bibText);
        QTest::keyClick(box("TxtBib"), Qt::Key_Return);
    }
    QString bibAt(int place) { return window->list().line(place).right(10).trimmed(); }
    bool saved() { return child<QLabel>("Label9")->isVisible(); }
};

QByteArray lines(const QStringList& bibs) {
    QByteArray out;
    for (const QString& b : bibs)
        out += b.toLatin1() + "\r\n";
    return out;
}

} // namespace

class TestFrmBibNumbers : public QObject {
    Q_OBJECT
  private slots:
    void firstOpening() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        QCOMPARE(w.windowTitle(), QStringLiteral("Enter Bib#'s for EVENT # 7"));
        QCOMPARE(w.findChild<QLabel*>("Label6")->text(), QStringLiteral("Processing Ev# 7"));
        QCOMPARE(f.place(), QStringLiteral("1"));
        QCOMPARE(w.selectedIndex(), -1);
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 "By default, bib #'s previously saved, if any, for this event are loaded.\r\r"
                 "Simply clear these bib #'s if re-processing the same event.\r\rIf networked to "
                 "the main computer so that BIBS may be imported as they are recorded, then "
                 "inform the main computer operator that the file containing the BIBS is \r\r  NO "
                 "Secondary path currently set..");
        f.enter("101");
        QCOMPARE(f.bibAt(1), QStringLiteral("101"));
        QCOMPARE(f.place(), QStringLiteral("2"));
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("101\r\n"));
        QCOMPARE(w.selectedIndex(), 2);
    }

    void reopenSelectsPlaceAfterLoadedOnes() {
        Fixture f;
        putFile(f.bibsFile(), "101\r\n99999\r\n57\r\n");
        FrmBibNumbers& w = f.open();
        QCOMPARE(f.bibAt(2), QStringLiteral("99999"));
        QCOMPARE(f.place(), QStringLiteral("4"));
        QCOMPARE(w.selectedIndex(), 4);
        QCOMPARE(f.bib(), QString());
    }

    void entryNormalisesTheBib_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("line3");
        QTest::newRow("leading zeros") << "0042"
                                       << "3         42        ";
        QTest::newRow("empty box stores 0") << ""
                                            << "3         0         ";
        QTest::newRow("letters after") << "12abc"
                                       << "3         12        ";
    }
    void entryNormalisesTheBib() {
        QFETCH(QString, typed);
        QFETCH(QString, line3);
        Fixture f;
        f.open();
        f.enter(typed, "3");
        QCOMPARE(f.window->list().line(3), line3);
    }

    void zeroPlaceStaysFreeAndMissing() {
        Fixture f;
        f.open();
        f.enter("");
        QCOMPARE(f.place(), QStringLiteral("2"));
        f.enter("55");
        QCOMPARE(f.window->list().nextFreePlace(1), 1);
        f.click("CmdExit");
        QVERIFY(f.t.dialogs.lastPrompt().startsWith("File of bib numbers saved as: "));
        QVERIFY(f.t.dialogs.titles().contains("Reminder"));
        QVERIFY(f.t.dialogs.messages.at(1).prompt.startsWith("There are 1 places for which"));
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("99999\r\n55\r\n"));
    }

    void placeholderZeroNegativeNeverAskedAsDuplicates() {
        Fixture f;
        f.open();
        for (const char* b : {"99999", "99999", "0", "0", "-3", "-3"})
            f.enter(b);
        QCOMPARE(f.t.dialogs.titles().count("Move?"), 0);
    }

    void duplicateQuestions_data() {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("bibsAt2_9_12");
        QTest::addColumn<QStringList>("askedPlaces");
        QTest::newRow("yes yes") << QList<Answer>{Answer::Yes, Answer::Yes}
                                 << QStringList{"", "", "17"} << QStringList{"2", "9"};
        QTest::newRow("yes no") << QList<Answer>{Answer::Yes, Answer::No}
                                << QStringList{"", "17", ""} << QStringList{"2", "9"};
        QTest::newRow("no") << QList<Answer>{Answer::No} << QStringList{"17", "17", ""}
                            << QStringList{"2"};
    }
    void duplicateQuestions() {
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, bibsAt2_9_12);
        QFETCH(QStringList, askedPlaces);
        Fixture f;
        putFile(f.bibsFile(), lines({"1", "17", "3", "4", "5", "6", "7", "8", "17", "10", "11"}));
        f.open();
        f.t.dialogs.messages.clear();
        f.t.dialogs.answers = answers;
        f.enter("17", "12");
        QCOMPARE((QStringList{f.bibAt(2), f.bibAt(9), f.bibAt(12)}), bibsAt2_9_12);
        QStringList asked;
        for (const Message& m : f.t.dialogs.messages) {
            QCOMPARE(m.title, QStringLiteral("Move?"));
            QCOMPARE(m.defaultButton, Answer::No);
            asked.append(m.prompt.section(": ", 1).chopped(1));
        }
        QCOMPARE(asked, askedPlaces);
        if (answers.endsWith(Answer::No)) {
            QCOMPARE(f.bib(), QString());
            QCOMPARE(f.place(), QStringLiteral("12"));
        }
    }

    void sameBibAtSamePlaceAsksForThatPlace() {
        Fixture f;
        putFile(f.bibsFile(), lines({"1", "2", "3", "4", "5"}));
        f.open();
        f.t.dialogs.answers = {Answer::Yes};
        f.enter("5", "5");
        QCOMPARE(
            f.t.dialogs.messages.last().prompt,
            "Duplicate BIB NUMBERS have been entered.\r\rMove existing BIB NUmber to PLACE: 5?");
        QCOMPARE(f.bibAt(5), QStringLiteral("5"));
    }

    void positionOnList() {
        Fixture f;
        QStringList bibs;
        for (int i = 1; i <= 2000; ++i)
            bibs.append(QString::number(i));
        putFile(f.bibsFile(), lines(bibs));
        FrmBibNumbers& w = f.open();
        QCOMPARE(w.selectedIndex(), 2000); // a full list selects the last place
        QCOMPARE(f.place(), QStringLiteral("2000"));
        w.list().blankPlace(1995);
        QCOMPARE(w.PositiononList(1995), 1995);
        QCOMPARE(w.selectedIndex(), 1995);
        QCOMPARE(f.place(), QStringLiteral("1995"));
    }

    void correctionJumpsToFirstFreePlace() {
        Fixture f;
        QStringList bibs;
        for (int i = 1; i <= 30; ++i)
            bibs.append(QString::number(100 + i));
        putFile(f.bibsFile(), lines(bibs));
        f.open();
        f.enter("77", "10");
        QCOMPARE(f.bibAt(10), QStringLiteral("77"));
        QCOMPARE(f.place(), QStringLiteral("31"));
    }

    void quickSaveStopsAtAFreePlace() {
        Fixture f;
        QStringList bibs;
        for (int i = 1; i <= 20; ++i)
            bibs.append(i == 11 ? QString("0") : QString::number(100 + i));
        putFile(f.bibsFile(), lines(bibs));
        f.open();
        QCOMPARE(f.place(), QStringLiteral("20")); // 0 closes up on loading
        f.window->list().blankPlace(11);
        for (int i = 12; i <= 20; ++i)
            f.window->list().setBib(i, QString::number(200 + i));
        f.enter("555", "5");
        QCOMPARE(f.place(), QStringLiteral("11"));
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 10);
        f.click("CmdSaveCurrent");
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 20);
        QVERIFY(f.saved());
        QTest::keyClick(f.box("TxtBib"), Qt::Key_1);
        QVERIFY(!f.saved());
    }

    void fullListQuickSaveKeepsTheLastPlace() {
        Fixture f;
        QStringList bibs;
        for (int i = 1; i <= 1999; ++i)
            bibs.append(QString::number(i));
        putFile(f.bibsFile(), lines(bibs));
        f.open();
        f.enter("5000");
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 2000);
    }

    void badPlaceOrBibIsRefused_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("bib");
        QTest::newRow("place 0") << "0"
                                 << "5";
        QTest::newRow("negative place") << "-1"
                                        << "5";
        QTest::newRow("past the last place") << "2001"
                                             << "5";
        QTest::newRow("fraction") << "2.5"
                                  << "5";
        QTest::newRow("not a number") << "ab"
                                      << "5";
        QTest::newRow("exponent bib") << "1"
                                      << "1E30";
        QTest::newRow("overflowing bib") << "1"
                                         << "1E999";
    }
    void badPlaceOrBibIsRefused() {
        QFETCH(QString, place);
        QFETCH(QString, bib);
        Fixture f;
        putFile(f.bibsFile(), "5\r\n");
        FrmBibNumbers& w = f.open();
        const int before = f.t.dialogs.messages.size();
        f.enter(bib, place);
        QCOMPARE(f.t.dialogs.messages.size(), before + 1);
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Reminder"));
        QVERIFY(f.t.dialogs.lastPrompt().contains("Nothing was entered."));
        QCOMPARE(w.list().line(0), kListHeader);
        QCOMPARE(w.list().count(), 2001);
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("5\r\n"));
    }

    void enterInPlaceBoxDoesNothing() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        f.box("TxtPlace")->setText("3");
        f.box("TxtBib")->setText("44");
        QTest::keyClick(f.box("TxtPlace"), Qt::Key_Return);
        QCOMPARE(w.list().lastUsedPlace(), 0);
        QVERIFY(w.isVisible());
    }

    void exitExamples() {
        Fixture f;
        QStringList bibs;
        for (int i = 1; i <= 20; ++i)
            bibs.append(i == 7 ? "99999" : QString::number(100 + i));
        bibs << "0"
             << "99999"
             << "0";
        f.state.SecondaryPath = f.dir.path() + "/";
        QDir(f.dir.path()).mkdir("usb");
        f.state.SecondaryPath = f.dir.path() + "/usb/";
        FrmBibNumbers& w = f.open();
        for (int i = 0; i < bibs.size(); ++i)
            w.list().setBib(i + 1, bibs[i]);
        putFile(f.bibsFile(), "old\r\n");
        f.t.dialogs.messages.clear();
        f.click("CmdExit");
        QCOMPARE(f.t.dialogs.messages.size(), 2);
        QCOMPARE(f.t.dialogs.messages[0].prompt,
                 "There are 1 places for which the BIB number is 99999 or 0.\r\rEdit these missing "
                 "bib numbers when they can be identified by returning here.");
        const QString name = " 3-14-2018 Girls 5K BIBS EV  7.LMB";
        QCOMPARE(f.t.dialogs.messages[1].prompt,
                 "File of bib numbers saved as: \r\r   " + f.bibsFile() +
                     ".\r\r\r And as: " + f.state.SecondaryPath + name +
                     ".\r\r\rOLDER versions of bib numbers for this event have a letter A,B,C... "
                     "appended to the file name");
        const QByteArray saved = fileBytes(f.bibsFile());
        QCOMPARE(saved.count("\r\n"), 20);
        QCOMPARE(saved.split('\n').at(6), QByteArray("99999\r"));
        QCOMPARE(fileBytes(f.state.SecondaryPath + name), saved);
        QCOMPARE(fileBytes(versionedName(f.bibsFile(), 0)), QByteArray("old\r\n"));
        QVERIFY(!w.isVisible());
    }

    void exitWithOnePlaceOrNoneSavesNothing_data() {
        QTest::addColumn<QStringList>("bibs");
        QTest::newRow("only place 1") << QStringList{"42"};
        QTest::newRow("empty list") << QStringList{};
    }
    void exitWithOnePlaceOrNoneSavesNothing() {
        QFETCH(QStringList, bibs);
        Fixture f;
        FrmBibNumbers& w = f.open();
        for (int i = 0; i < bibs.size(); ++i)
            w.list().setBib(i + 1, bibs[i]);
        putFile(f.bibsFile(), "on disk\r\n");
        f.t.dialogs.messages.clear();
        f.click("CmdExit");
        QVERIFY(f.t.dialogs.messages.isEmpty());
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("on disk\r\n"));
        QVERIFY(!QFile::exists(versionedName(f.bibsFile(), 0)));
        QVERIFY(!w.isVisible());
    }

    void failedSaveOnExitKeepsTheWindowOpen() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        f.enter("1");
        f.enter("2");
        f.t.files.failWrites = {"BIBS EV  7.LMB"};
        f.click("CmdExit");
        QVERIFY(w.isVisible());
        QVERIFY(f.t.dialogs.lastPrompt().contains("NOT saved"));
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("1\r\n2\r\n"));
    }

    void insertAndDelete() {
        Fixture f;
        putFile(f.bibsFile(), lines({"11", "12", "13"}));
        FrmBibNumbers& w = f.open();
        w.selectLine(2);
        QCOMPARE(f.bib(), QStringLiteral("12"));
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdInsert");
        QCOMPARE(f.t.dialogs.messages.last().prompt,
                 "Ready to INSERT a new item above the selected one and move those below down one "
                 "position?\r\rType the BIB Number and press ENTER.\r\rInsert above place 2 ?");
        QCOMPARE((QStringList{f.bibAt(1), f.bibAt(2), f.bibAt(3), f.bibAt(4)}),
                 (QStringList{"11", "", "12", "13"}));
        QCOMPARE(w.selectedIndex(), 2);
        QCOMPARE(f.place(), QStringLiteral("2"));
        QCOMPARE(f.bib(), QString());

        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdDelete");
        QCOMPARE(f.t.dialogs.messages.last().prompt,
                 "Are you SURE you wish to delete this item and move those below up one "
                 "position?\r\rRemove  2 ?");
        QCOMPARE((QStringList{f.bibAt(1), f.bibAt(2), f.bibAt(3)}),
                 (QStringList{"11", "12", "13"}));
        QCOMPARE(f.bib(), QStringLiteral("12"));
        QCOMPARE(w.list().count(), 2001);

        const QStringList before = {f.bibAt(1), f.bibAt(2), f.bibAt(3)};
        f.t.dialogs.answers = {Answer::No};
        f.click("CmdDelete");
        QCOMPARE((QStringList{f.bibAt(1), f.bibAt(2), f.bibAt(3)}), before);
    }

    void editsWithoutAPlaceSelected() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        w.selectLine(0);
        const int before = f.t.dialogs.messages.size();
        f.click("CmdInsert");
        f.click("CmdDelete");
        QCOMPARE(f.t.dialogs.messages.size(), before + 2);
        QCOMPARE(f.t.dialogs.titles().count("Insert?"), 0);
        QCOMPARE(w.list().line(0), kListHeader);
        QCOMPARE(w.list().count(), 2001);
    }

    void deletingTheLastLineThenEnteringThere() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        w.selectLine(2000);
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdDelete");
        QCOMPARE(w.list().count(), 2000);
        QVERIFY(w.selectedIndex() >= 0 && w.selectedIndex() < 2000);
        f.enter("9", "2000");
        QCOMPARE(w.list().count(), 2001);
        QCOMPARE(f.bibAt(2000), QStringLiteral("9"));
    }

    void clearRebuildsTheList() {
        Fixture f;
        putFile(f.bibsFile(), lines({"11", "12", "13"}));
        FrmBibNumbers& w = f.open();
        f.click("CmdSaveCurrent");
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        QCOMPARE(w.list().lastUsedPlace(), 0);
        QCOMPARE(w.selectedIndex(), -1);
        QCOMPARE(f.place(), QStringLiteral("1"));
        QVERIFY(!f.saved());
        QCOMPARE(fileBytes(f.bibsFile()), lines({"11", "12", "13"}));
    }

    void selectingALineFillsTheBoxes_data() {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("bib");
        QTest::newRow("bib") << 1 << "1"
                             << "11";
        QTest::newRow("placeholder") << 2 << "2"
                                     << "99999";
        QTest::newRow("zero") << 3 << "3"
                              << "";
        QTest::newRow("negative") << 4 << "4"
                                  << "";
        QTest::newRow("header keeps place") << 0 << "5"
                                            << "";
    }
    void selectingALineFillsTheBoxes() {
        QFETCH(int, line);
        QFETCH(QString, place);
        QFETCH(QString, bib);
        Fixture f;
        FrmBibNumbers& w = f.open();
        w.list().setBib(1, "11");
        w.list().setBib(2, "99999");
        w.list().setBib(3, "0");
        w.list().setBib(4, "-2");
        w.PositiononList(5);
        f.box("TxtBib")->setText("x");
        w.selectLine(line);
        QCOMPARE(f.place(), place);
        QCOMPARE(f.bib(), bib);
    }
};

QTEST_MAIN(TestFrmBibNumbers)
#include "tst_frm_bib_numbers.moc"

#include "app/core/data_file.h"
#include "finishorder/finish_order_list.h"
#include "finishorder/frm_bib_numbers.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>

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
    QString bibs(int first, int last) {
        QStringList out;
        for (int p = first; p <= last; ++p)
            out.append(window->list().line(p).right(10).trimmed());
        return out.join(',');
    }
    bool saved() { return child<QLabel>("Label9")->isVisible(); }
    // A bibs file of places 1 to n; place i holds 100 + i unless given.
    void putBibs(int n, QMap<int, QByteArray> at = {}) {
        QByteArray out;
        for (int i = 1; i <= n; ++i)
            out += at.value(i, QByteArray::number(100 + i)) + "\r\n";
        putFile(bibsFile(), out);
    }
};

} // namespace

class TestFrmBibNumbers : public QObject {
    Q_OBJECT
  private slots:
    void openingAndEntering() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        QCOMPARE(w.windowTitle(), QStringLiteral("Enter Bib#'s for EVENT # 7"));
        QCOMPARE(f.child<QLabel>("Label6")->text(), QStringLiteral("Processing Ev# 7"));
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 "By default, bib #'s previously saved, if any, for this event are loaded.\r\r"
                 "Simply clear these bib #'s if re-processing the same event.\r\rIf networked to "
                 "the main computer so that BIBS may be imported as they are recorded, then "
                 "inform the main computer operator that the file containing the BIBS is \r\r  NO "
                 "Secondary path currently set..");
        QCOMPARE(f.place() + "|" + QString::number(w.selectedIndex()), QStringLiteral("1|-1"));
        for (const char* never : {"101", "99999", "99999", "0", "0", "-3", "-3"})
            f.enter(never); // placeholders, 0 and negatives are never duplicates
        QCOMPARE(f.t.dialogs.titles(), QStringList{"Reminder"});
        QCOMPARE(fileBytes(f.bibsFile()), "101\r\n" + QByteArray("99999\r\n").repeated(6));
        QCOMPARE(f.place() + "|" + QString::number(w.selectedIndex()), QStringLiteral("8|8"));

        f.putBibs(3, {{2, "99999"}});
        f.open(); // reopening loads the file and goes to the place after it
        QCOMPARE(f.bibs(1, 3), QStringLiteral("101,99999,103"));
        QCOMPARE(f.place() + "|" + QString::number(f.window->selectedIndex()),
                 QStringLiteral("4|4"));
    }

    void entries_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("bib");
        QTest::addColumn<QString>("line3"); // "refused": a reminder, nothing entered
        const QList<std::tuple<const char*, const char*, const char*, const char*>> rows = {
            {"leading zeros", "3", "0042", "3         42        "},
            {"empty box stores 0", "3", "", "3         0         "},
            {"letters after", "3", "12abc", "3         12        "},
            {"place 0", "0", "5", "refused"},
            {"negative place", "-1", "5", "refused"},
            {"past the last place", "2001", "5", "refused"},
            {"fraction", "2.5", "5", "refused"},
            {"not a number", "ab", "5", "refused"},
            {"exponent bib", "3", "1E30", "refused"},
            {"overflowing bib", "3", "1E999", "refused"}};
        for (const auto& [name, place, bib, line3] : rows)
            QTest::newRow(name) << place << bib << line3;
    }
    void entries() {
        QFETCH(QString, place);
        QFETCH(QString, bib);
        QFETCH(QString, line3);
        Fixture f;
        f.putBibs(1);
        FrmBibNumbers& w = f.open();
        f.t.dialogs.messages.clear();
        f.enter(bib, place);
        if (line3 != "refused") {
            QCOMPARE(w.list().line(3), line3);
            return;
        }
        QCOMPARE(f.t.dialogs.titles(), QStringList{"Reminder"});
        QVERIFY(f.t.dialogs.lastPrompt().endsWith("Nothing was entered."));
        QCOMPARE(w.list().line(0), kListHeader);
        QCOMPARE(w.list().count(), 2001);
        QCOMPARE(fileBytes(f.bibsFile()), QByteArray("101\r\n"));
    }

    void duplicateQuestions_data() {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QString>("bibsAt2_9_12");
        QTest::addColumn<QString>("asked");
        QTest::newRow("yes yes") << QList<Answer>{Answer::Yes, Answer::Yes} << ",,17"
                                 << "2?9?";
        QTest::newRow("yes no") << QList<Answer>{Answer::Yes, Answer::No} << ",17,"
                                << "2?9?";
        QTest::newRow("no") << QList<Answer>{Answer::No} << "17,17,"
                            << "2?";
    }
    void duplicateQuestions() {
        QFETCH(QList<Answer>, answers);
        QFETCH(QString, bibsAt2_9_12);
        QFETCH(QString, asked);
        Fixture f;
        f.putBibs(11, {{2, "17"}, {9, "17"}});
        f.open();
        f.t.dialogs.messages.clear();
        f.t.dialogs.answers = answers;
        f.enter("17", "12");
        QCOMPARE(f.bibs(2, 2) + "," + f.bibs(9, 9) + "," + f.bibs(12, 12), bibsAt2_9_12);
        QString places;
        for (const Message& m : f.t.dialogs.messages) {
            QCOMPARE(m.title + QString::number(int(m.defaultButton)),
                     "Move?" + QString::number(int(Answer::No)));
            QVERIFY(m.prompt.startsWith("Duplicate BIB NUMBERS have been entered.\r\rMove existing "
                                        "BIB NUmber to PLACE: "));
            places += m.prompt.section(": ", 1);
        }
        QCOMPARE(places, asked);
        if (answers.endsWith(Answer::No))
            QCOMPARE(f.place() + "|" + f.bib(), QStringLiteral("12|"));
    }

    void savesAsTheBibsGoIn() {
        Fixture f;
        f.putBibs(1999);
        f.open();
        f.enter("5000"); // the list is full now: place 2000 belongs in the quick save
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 2000);
        QCOMPARE(f.place() + "|" + QString::number(f.window->selectedIndex()),
                 QStringLiteral("2000|2000"));

        f.putBibs(20, {{11, "0"}}); // 0 closes up on loading: 19 places
        f.open();
        f.window->list().blankPlace(11);
        f.enter("555", "5"); // a correction goes on at the first free place
        QCOMPARE(f.place(), QStringLiteral("11"));
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 10);
        f.click("CmdSaveCurrent");
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 19);
        QVERIFY(f.saved());
        QTest::keyClick(f.box("TxtBib"), Qt::Key_1);
        QVERIFY(!f.saved());
    }

    void exit() {
        Fixture f;
        QDir(f.dir.path()).mkdir("usb");
        f.state.SecondaryPath = f.dir.path() + "/usb/";
        FrmBibNumbers& w = f.open();
        for (int i = 1; i <= 23; ++i)
            w.list().setBib(i, i == 7 || i == 22 ? "99999" : i > 20 ? "0" : QString::number(i));
        putFile(f.bibsFile(), "old\r\n");
        f.t.dialogs.messages.clear();
        f.click("CmdExit");
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

        for (const char* only : {"42", ""}) { // one place or none: nothing saved
            QFile::remove(f.bibsFile());
            f.open().list().setBib(1, only);
            putFile(f.bibsFile(), "on disk\r\n");
            f.t.dialogs.messages.clear();
            f.click("CmdExit");
            QVERIFY(f.t.dialogs.messages.isEmpty());
            QCOMPARE(fileBytes(f.bibsFile()), QByteArray("on disk\r\n"));
        }
        QFile::remove(f.bibsFile());
        f.open();
        f.enter("1");
        f.enter("2");
        f.t.files.failWrites = {"BIBS EV  7.LMB"};
        f.click("CmdExit");
        QVERIFY(f.window->isVisible());
        QVERIFY(f.t.dialogs.lastPrompt().contains("NOT saved"));
    }

    void insertDeleteClear() {
        Fixture f;
        f.putBibs(3);
        FrmBibNumbers& w = f.open();
        w.selectLine(2);
        QCOMPARE(f.bib(), QStringLiteral("102"));
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdInsert");
        QCOMPARE(f.t.dialogs.messages.last().prompt,
                 "Ready to INSERT a new item above the selected one and move those below down one "
                 "position?\r\rType the BIB Number and press ENTER.\r\rInsert above place 2 ?");
        QCOMPARE(f.bibs(1, 4), QStringLiteral("101,,102,103"));
        QCOMPARE(f.place() + "|" + f.bib() + "|" + QString::number(w.selectedIndex()),
                 QStringLiteral("2||2"));
        f.t.dialogs.answers = {Answer::Yes, Answer::No};
        f.click("CmdDelete");
        QCOMPARE(f.t.dialogs.messages.last().prompt,
                 "Are you SURE you wish to delete this item and move those below up one "
                 "position?\r\rRemove  2 ?");
        QCOMPARE(f.bibs(1, 3) + "|" + f.bib(), QStringLiteral("101,102,103|102"));
        f.click("CmdDelete"); // answered No
        QCOMPARE(f.bibs(1, 3), QStringLiteral("101,102,103"));

        w.selectLine(0); // the header: nothing to insert or delete
        f.t.dialogs.messages.clear();
        f.click("CmdInsert");
        f.click("CmdDelete");
        QCOMPARE(f.t.dialogs.titles(), (QStringList{"Reminder", "Reminder"}));
        w.selectLine(2000);
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdDelete");
        QVERIFY(w.selectedIndex() >= 0 && w.selectedIndex() < 2000);
        f.enter("9", "2000");
        QCOMPARE(w.list().count(), 2001);
        QCOMPARE(f.bibs(2000, 2000), QStringLiteral("9"));

        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        QCOMPARE(w.list().lastUsedPlace(), 0);
        QCOMPARE(f.place() + "|" + QString::number(w.selectedIndex()), QStringLiteral("1|-1"));
        QVERIFY(fileBytes(f.bibsFile()).startsWith("101\r\n102\r\n103\r\n")); // file untouched
    }

    void selectingALineFillsTheBoxes() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        for (const auto& [p, b] :
             QList<std::pair<int, const char*>>{{1, "11"}, {2, "99999"}, {3, "0"}, {4, "-2"}})
            w.list().setBib(p, b);
        w.PositiononList(5);
        QStringList shown;
        for (int line : {1, 2, 3, 4, 0}) {
            f.box("TxtBib")->setText("x");
            w.selectLine(line);
            shown.append(f.place() + ":" + f.bib());
        }
        QCOMPARE(shown, (QStringList{"1:11", "2:99999", "3:", "4:", "4:"}));
    }
};

QTEST_MAIN(TestFrmBibNumbers)
#include "tst_frm_bib_numbers.moc"

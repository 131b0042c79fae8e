#include "finishorder/finish_order_list.h"
#include "finishorder/frm_bib_numbers.h"
#include "support/window_fixture.h"

using namespace lm::test;

namespace {

struct Fixture : WindowFixture<FrmBibNumbers> {
    QString bibsFile(const char* letter = "") const {
        return dataFile(QString("BIBS EV  7") + letter + ".LMB");
    }
    QLineEdit* box(const char* name) { return child<QLineEdit>(name); }
    void enter(const QString& bibText, const QString& placeText = QString()) {
        if (!placeText.isNull())
            box("TxtPlace")->setText(placeText);
        box("TxtBib")->setText(bibText);
        QTest::keyClick(box("TxtBib"), Qt::Key_Return);
    }
    // "place|bib|selected line" as the boxes and the list show them.
    QString boxes() {
        return box("TxtPlace")->text() + "|" + box("TxtBib")->text() + "|" +
               QString::number(window->selectedIndex());
    }
    // The bibs at the given places, as "101,,102" (blank: a place without one).
    QString bibs(const QList<int>& places) {
        QStringList out;
        for (const int p : places)
            out.append(window->list().line(p).right(10).trimmed());
        return out.join(',');
    }
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
    void entering() {
        Fixture f;
        FrmBibNumbers& w = f.open();
        QCOMPARE(w.windowTitle() + "|" + f.label("Label6"),
                 QStringLiteral("Enter Bib#'s for EVENT # 7|Processing Ev# 7"));
        QVERIFY(f.t.dialogs.last().endsWith("the file containing the BIBS is \r\r  NO Secondary "
                                            "path currently set.."));
        for (const char* never : {"101", "99999", "99999", "0", "0", "-3", "-3"})
            f.enter(never); // placeholders, 0 and negatives are never duplicates
        QCOMPARE(fileBytes(f.bibsFile()), "101\r\n" + QByteArray("99999\r\n").repeated(6));
        f.enter("0042", "2"); // leading zeros and letters after the number go
        f.enter("12abc", "3");
        f.t.dialogs.said.clear();
        for (const auto& [place, bib] : QList<std::pair<const char*, const char*>>{
                 {"0", "5"}, {"2001", "5"}, {"2.5", "5"}, {"3", "1E30"}})
            f.enter(bib, place);
        QCOMPARE(f.t.dialogs.said.filter("Nothing was entered.").size(), 4);
        QCOMPARE(f.bibs({1, 2, 3}), QStringLiteral("101,42,12"));

        // A bib entered again: each earlier place is offered for moving, default No.
        f.putBibs(11, {{2, "17"}, {9, "17"}});
        f.open().list().setBib(2000, "17"); // the last place too
        f.t.dialogs.said.clear();
        f.t.dialogs.answers = {Answer::Yes, Answer::Yes, Answer::No};
        f.enter("17", "12");
        const QString ask = "Move? [Yes/No, default No]: Duplicate BIB NUMBERS have been "
                            "entered.\r\rMove existing BIB NUmber to PLACE: ";
        QCOMPARE(f.t.dialogs.said, QStringList({ask + "2?", ask + "9?", ask + "2000?"}));
        QCOMPARE(f.bibs({2, 9, 12, 2000}) + "|" + f.boxes(), QStringLiteral(",,,17|12||12"));
    }

    void savesAsTheBibsGoIn() {
        Fixture f;
        f.putBibs(1999);
        f.open();
        f.enter("5000"); // the list is full now: place 2000 belongs in the quick save
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 2000);
        QCOMPARE(f.boxes(), QStringLiteral("2000||2000"));

        f.putBibs(20, {{11, "0"}}); // 0 closes up on loading: 19 places
        f.open();
        f.window->list().blankPlace(11);
        f.enter("555", "5"); // a correction goes on at the first free place
        QCOMPARE(f.boxes(), QStringLiteral("11||11"));
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 10);
        f.click("CmdSaveCurrent");
        QCOMPARE(fileBytes(f.bibsFile()).count("\r\n"), 19);
    }

    void editingAndLeaving() {
        Fixture f;
        f.putBibs(3, {{3, "99999"}});
        FrmBibNumbers& w = f.open();
        w.list().setBib(1999, "777"); // pushed to the last place by an insert
        w.selectLine(2);
        QCOMPARE(f.boxes(), QStringLiteral("2|102|2"));
        f.t.dialogs.answers = {Answer::No, Answer::No}; // No changes nothing
        f.click("CmdInsert");
        f.click("CmdDelete");
        QCOMPARE(f.bibs({1, 2, 3, 4}) + "|" + f.boxes(), QStringLiteral("101,102,99999,|2|102|2"));
        f.t.dialogs.said.clear();
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdInsert");
        QCOMPARE(f.bibs({1, 2, 3, 4}) + "|" + f.boxes(), QStringLiteral("101,,102,99999|2||2"));
        QCOMPARE(w.list().line(2000) + w.list().line(2001),
                 "2000      777       2000                ");
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdDelete"); // a placeholder below the place goes blank
        QCOMPARE(f.bibs({1, 2, 3}) + "|" + f.boxes(), QStringLiteral("101,102,|2|102|2"));
        const QString remove = "Remove? [Yes/No, default No]: Are you SURE you wish to delete "
                               "this item and move those below up one position?\r\rRemove  2 ?";
        QCOMPARE(f.t.dialogs.said,
                 QStringList({"Insert? [Yes/No, default No]: Ready to INSERT a new item above the "
                              "selected one and move those below down one position?\r\rType "
                              "the BIB Number and press ENTER.\r\rInsert above place 2 ?",
                              remove}));
        f.t.dialogs.answers = {Answer::Yes};
        f.click("CmdClear");
        QCOMPARE(f.boxes() + "|" + QString::number(w.list().lastUsedPlace()), "1||-1|0");
        QCOMPARE(fileBytes(f.bibsFile()), "101\r\n102\r\n99999\r\n"); // the file untouched

        // Leaving saves, with a copy on the secondary path, and keeps the file before it.
        QDir(f.dir.path()).mkdir("usb");
        f.state.SecondaryPath = shown(f.dir.path() + "/usb/");
        FrmBibNumbers& again = f.open();
        for (int i = 1; i <= 23; ++i)
            again.list().setBib(i, i == 7 || i == 22 ? "99999" : i > 20 ? "0" : QString::number(i));
        f.t.dialogs.said.clear();
        f.click("CmdExit");
        const QString copy = f.state.SecondaryPath + " 3-14-2018 Girls 5K BIBS EV  7.LMB",
                      savedAs = "Reminder: File of bib numbers saved as: \r\r   " + f.bibsFile() +
                                ".\r\r\r And as: " + copy +
                                ".\r\r\rOLDER versions of bib numbers for this event have a "
                                "letter A,B,C... appended to the file name";
        QCOMPARE(f.t.dialogs.said,
                 QStringList({"Reminder: There are 1 places for which the BIB number is 99999 or "
                              "0.\r\rEdit these missing bib numbers when they can be identified "
                              "by returning here.",
                              savedAs}));
        const QByteArray saved = fileBytes(f.bibsFile());
        QCOMPARE(saved.count("\r\n") + saved.indexOf("\n6\r\n99999\r\n8\r\n"), 20 + 14);
        QCOMPARE(fileBytes(copy), saved);
        QCOMPARE(fileBytes(f.bibsFile("A")), QByteArray("101\r\n102\r\n99999\r\n"));
        f.state.SecondaryPath = "no path set";
        f.open().list().setBib(2, "2");
        f.t.files.failWrites = {"BIBS EV  7.LMB"};
        f.click("CmdExit");
        QVERIFY(f.window->isVisible() && f.t.dialogs.last().contains("NOT saved"));
        f.t.files.failWrites.clear();
        f.click("CmdExit"); // with no copy to name
        QCOMPARE(f.t.dialogs.last(), QString(savedAs).remove(" And as: " + copy + ".\r\r\r"));
        f.t.dialogs.said.clear(); // leaving with one place: nothing more is said or kept
        f.open().list().build();
        f.window->list().setBib(1, "5");
        f.click("CmdExit");
        QVERIFY(f.t.dialogs.said.size() == 1 && !f.window->isVisible() &&
                !QFile::exists(f.bibsFile("D")));
    }
};

QTEST_MAIN(TestFrmBibNumbers)
#include "tst_frm_bib_numbers.moc"

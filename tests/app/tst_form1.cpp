#include "app/form1.h"
#include "app/frm_path.h"
#include "support/fakes.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace lm;
using namespace lm::test;

namespace {

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    std::unique_ptr<Form1> form;
    QStringList opened;      // object names of the windows shown
    QList<int> openedEvents; // EventNumber when each was shown
    QStringList steps;       // done in each window shown: a button, "escape" or "close"
    Form1& start() {
        form = std::make_unique<Form1>(state, t.platform, QUrl("http://127.0.0.1:1"));
        form->showModal = [this](ModalWindow& w) {
            opened.append(w.objectName());
            openedEvents.append(state.EventNumber);
            w.show();
            for (const QString& step : steps) {
                if (step == "escape")
                    QTest::keyClick(&w, Qt::Key_Escape);
                else if (step == "close")
                    w.close();
                else if (auto* button = w.findChild<QPushButton*>(step))
                    QTest::mouseClick(button, Qt::LeftButton);
            }
            return w.result();
        };
        form->load(dir.path());
        form->show();
        return *form;
    }
    template <class T> T* child(const char* name) { return form->findChild<T*>(name); }
    QLineEdit* name() { return child<QLineEdit>("Text1"); }
    QComboBox* event() { return child<QComboBox>("Comboevent"); }
    void click(const char* button) {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    QString secondaryShown() { return child<QLabel>("Label9")->text(); }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
  private slots:
    void startUp_data() {
        QTest::addColumn<QByteArray>("settings"); // "<none>": no settings file
        QTest::addColumn<QString>("shown");
        QTest::newRow("first start") << QByteArray("<none>") << "None Set...";
        QTest::newRow("no path set") << QByteArray("no path set\r\n") << "no path set";
        QTest::newRow("folder") << QByteArray("/media/usb/\r\n") << "/media/usb/";
    }
    void startUp() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, shown);
        Fixture f;
        if (settings != "<none>")
            putFile(f.dir.filePath("LapMark.LM"), settings);
        Form1& w = f.start();
        QCOMPARE(w.windowTitle(), QStringLiteral("Lapmark from Korvel      VERSION: 1.12"));
        QCOMPARE(f.state.MeetDate + "|" + f.state.PrimaryPath + "|" +
                     QString::number(f.state.MaxEntries),
                 "3-14-2018|" + f.dir.path() + "/|2000");
        QCOMPARE(f.event()->count(), 100);
        QCOMPARE(f.event()->itemText(99) + "|" + f.event()->currentText(), QStringLiteral("100|1"));
        QCOMPARE(f.child<QLabel>("Label6")->text(), f.dir.path() + "/");
        QCOMPARE(f.secondaryShown(), shown);
        QCOMPARE(w.focusWidget(), f.event());
        QVERIFY(f.t.dialogs.messages.isEmpty()); // the upgrade server gave no version
        QVERIFY(f.t.http.requested.size() > 1);  // asked again for five seconds
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files).size(), settings == "<none>" ? 0 : 1);
    }

    void windowsOpenAfterTheirChecks() {
        Fixture f;
        f.start();
        f.name()->setText("   ");
        f.click("Command1");
        QCOMPARE(f.t.dialogs.last(), "Reminder: Enter event name to be used for the file saved.");
        f.name()->setText("Girls 5K");
        f.event()->setEditText("99999");
        f.click("CmdBibNumbers");
        QVERIFY(f.opened.isEmpty());
        QVERIFY(f.t.dialogs.lastPrompt().contains("99999"));
        f.t.dialogs.messages.clear();
        f.event()->setEditText("12abc");
        f.click("Command1");
        QCOMPARE(f.t.dialogs.messages[0].prompt,
                 "By default, times previously saved, if any, for this event are loaded.\r\r"
                 "Simply clear these times if re-timing the same event.\r\rWhen there is a short "
                 "break in collecting times, the times collected thus far may be saved by "
                 "clicking the SAVE CURRENT TIMES button so that the Main Computer may import them "
                 "tp produce partial results.");
        f.event()->setEditText("7");
        f.click("CmdBibNumbers");
        QCOMPARE(f.opened, (QStringList{"FrmTimer", "FrmBibNumbers"}));
        QCOMPARE(f.openedEvents, (QList<int>{12, 7}));
        QCOMPARE(f.t.dialogs.messages.size(), 3); // and each window's own reminder
        f.state.PrimaryPath = " ";
        f.click("Command1");
        QCOMPARE(f.t.dialogs.titles().last(), QStringLiteral("Set Path"));
        QCOMPARE(f.opened.size(), 2);
    }

    void typing() {
        Fixture f;
        f.start();
        f.event()->setEditText("7");
        const QList<std::tuple<QWidget*, Qt::Key, Qt::KeyboardModifiers, bool>> keys = {
            {f.event(), Qt::Key_7, {}, false},
            {f.event(), Qt::Key_Minus, {}, true},
            {f.name(), Qt::Key_Slash, {}, true},
            {f.name(), Qt::Key_V, Qt::ControlModifier, true},
            {f.name(), Qt::Key_Backspace, {}, false}};
        for (const auto& [target, key, modifiers, rejected] : keys) {
            f.name()->setText("Girls 5K");
            f.t.dialogs.messages.clear();
            target->setFocus();
            QTest::keyClick(target, key, modifiers);
            QCOMPARE(f.t.dialogs.last(),
                     rejected ? "Reminder: Please re-enter using only alpha numeric keys."
                              : QString());
            QCOMPARE(f.name()->text().isEmpty(), rejected);
        }
        QCOMPARE(f.event()->currentText(), QStringLiteral("77"));
        f.name()->clear();
        QTest::keyClicks(f.name(), QString(50, 'x'));
        QCOMPARE(f.name()->text().size(), 40);
        f.name()->clear();
        f.name()->insert("../etc"); // pasted or dropped
        QCOMPARE(f.name()->text(), QString());
        QTest::keyClicks(f.name(), " Boys 1600 ");
        QTest::keyClick(f.name(), Qt::Key_Return);
        QCOMPARE(f.form->focusWidget(), f.child<QWidget>("CmdPath"));
        QCOMPARE(f.state.EventName, QStringLiteral("Boys 1600"));
    }

    void maintenanceChords() {
        const int all = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier;
        for (const auto& [modifiers, key, titles] : QList<std::tuple<int, Qt::Key, QStringList>>{
                 {all, Qt::Key_M, {"Reminder", "Failed!"}},
                 {Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_M, {}},
                 {all, Qt::Key_D, {}}}) {
            Fixture f;
            f.start();
            f.t.http.requested.clear();
            f.event()->setFocus();
            QTest::keyClick(f.event(), key, Qt::KeyboardModifiers(modifiers));
            QCOMPARE(f.t.dialogs.titles(), titles);
            QVERIFY(!f.form->manualUpgrade());
            const bool download = key == Qt::Key_D; // the package and its signature
            QCOMPARE(f.t.http.requested.size(), download ? 2 : 0);
            QCOMPARE(QFile::exists(f.dir.filePath("upgrade/pdtimerupgrade.zip")), download);
        }
    }

    void windowsOfTheMainWindow_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("directions") << "CmdDirections" << QStringList{"CmdExit"}
                                    << QStringList{"FormDirections3", "FormDirections"};
        QTest::newRow("directions, escape") << "CmdDirections" << QStringList{"escape"}
                                            << QStringList{"FormDirections3", "FormDirections"};
        QTest::newRow("directions, close box")
            << "CmdDirections" << QStringList{"close"} << QStringList{"FormDirections3"};
        QTest::newRow("exit") << "CmdExit" << QStringList{} << QStringList{};
        QTest::newRow("escape") << "escape" << QStringList{} << QStringList{};
    }
    void windowsOfTheMainWindow() {
        QFETCH(QString, button);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, opened);
        Fixture f;
        f.steps = steps;
        Form1& w = f.start();
        if (button == "escape")
            QTest::keyClick(f.event(), Qt::Key_Escape);
        else
            f.click(button.toLatin1());
        QCOMPARE(f.opened, opened);
        QCOMPARE(w.isVisible(), button == "CmdDirections");
    }

    // The path settings window, opened from the main window.
    void secondaryPath_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("chosenFile"); // empty: the chooser is cancelled
        QTest::addColumn<QString>("stored");     // the path stored and shown
        const QString usb = "/media/usb/temp.txt";
        QTest::newRow("no path") << QStringList{"CmdNoPath", "CmdExit"} << ""
                                 << "no path set";
        QTest::newRow("folder") << QStringList{"CmdSecondaryPath", "CmdExit"} << usb
                                << "/media/usb/";
        QTest::newRow("root") << QStringList{"CmdSecondaryPath", "CmdExit"} << "/temp.txt"
                              << "/";
        QTest::newRow("escape commits")
            << QStringList{"CmdSecondaryPath", "escape"} << usb << "/media/usb/";
        QTest::newRow("close box discards")
            << QStringList{"CmdSecondaryPath", "close"} << usb << "/old/";
        QTest::newRow("then no path")
            << QStringList{"CmdSecondaryPath", "CmdNoPath", "CmdExit"} << usb << "no path set";
        QTest::newRow("cancelled chooser") << QStringList{"CmdSecondaryPath", "CmdExit"} << ""
                                           << "/old/";
    }
    void secondaryPath() {
        QFETCH(QStringList, steps);
        QFETCH(QString, chosenFile);
        QFETCH(QString, stored);
        Fixture f;
        putFile(f.dir.filePath("Lapmark.lm"), "/old/\r\n");
        if (!chosenFile.isEmpty())
            f.t.dialogs.chosenFile = chosenFile;
        f.steps = steps;
        f.start();
        f.t.dialogs.messages.clear();
        f.click("CmdPath");
        QCOMPARE(fileBytes(f.dir.filePath("Lapmark.lm")), stored.toLatin1() + "\r\n");
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files),
                 QStringList{"Lapmark.lm"}); // no temp.txt
        QCOMPARE(f.secondaryShown() + "|" + f.state.SecondaryPath, stored + "|" + stored);
        if (steps[0] == "CmdSecondaryPath") {
            QCOMPARE(f.t.dialogs.proposedNames, QStringList{"temp.txt"});
            QVERIFY(f.t.dialogs.messages[0].prompt.endsWith(
                "\r\r    Click SAVE (on next screen) to set the chosen Path."));
        }
        f.t.files.failWrites = {"Lapmark.lm"}; // an unwritable settings file is reported
        f.steps = {"CmdNoPath", "CmdExit"};
        f.t.dialogs.messages.clear();
        f.click("CmdPath");
        QCOMPARE(f.t.dialogs.titles(), QStringList{"Reminder"});
        QCOMPARE(f.secondaryShown(), QStringLiteral("no path set"));
    }

    void pathWindow() {
        Fixture f;
        f.state.SecondaryPath = "no path set";
        FrmPath w(f.state, f.t.platform);
        w.load();
        w.show();
        QCOMPARE(w.windowTitle() + "|" + w.findChild<QPushButton*>("CmdNoPath")->text() + "|" +
                     w.findChild<QLabel*>("Label6")->text(),
                 QStringLiteral("Set Path|No Secondary Path |no path set"));
        QStringList order = {w.focusWidget()->objectName()};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
            order.append(w.focusWidget()->objectName());
        }
        QCOMPARE(order, (QStringList{"CmdExit", "CmdSecondaryPath", "CmdNoPath", "CmdExit"}));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

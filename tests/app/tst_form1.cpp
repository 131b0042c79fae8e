#include "app/core/app_state.h"
#include "app/directions.h"
#include "app/form1.h"
#include "support/fakes.h"

#include <QComboBox>
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

struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    std::unique_ptr<Form1> form;
    QStringList opened;      // object names of the windows shown
    QList<int> openedEvents; // EventNumber when each was shown
    std::function<int(ModalWindow&)> onOpen;

    Form1& start() {
        form = std::make_unique<Form1>(state, t.platform, QUrl("http://127.0.0.1:1"));
        form->showModal = [this](ModalWindow& w) {
            opened.append(w.objectName());
            openedEvents.append(state.EventNumber);
            return onOpen ? onOpen(w) : int(QDialog::Rejected);
        };
        form->load(dir.path());
        form->show();
        return *form;
    }
    template <class T> T* child(const char* name) {
        return form->findChild<T*>(QLatin1String(name));
    }
    QLineEdit* name() { return child<QLineEdit>("Text1"); }
    QComboBox* event() { return child<QComboBox>("Comboevent"); }
    void click(const char* button) {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
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
        QCOMPARE(int(f.state.MaxEntries), 2000);
        QCOMPARE(f.state.MeetDate + "|" + f.state.PrimaryPath, "3-14-2018|" + f.dir.path() + "/");
        QCOMPARE(f.event()->count(), 100);
        QCOMPARE(f.event()->itemText(99), QStringLiteral("100"));
        QCOMPARE(f.event()->currentText(), QStringLiteral("1"));
        QCOMPARE(f.child<QLabel>("Label6")->text(), f.dir.path() + "/");
        QCOMPARE(f.child<QLabel>("Label9")->text(), shown);
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
        f.click("CmdBibNumbers");
        f.name()->setText("Girls 5K");
        f.event()->setEditText("99999");
        f.click("Command1");
        QVERIFY(f.opened.isEmpty());
        QCOMPARE(f.t.dialogs.messages[0].prompt,
                 QStringLiteral("Enter event name to be used for the file saved."));
        QCOMPARE(f.t.dialogs.messages.size(), 3);
        QVERIFY(f.t.dialogs.lastPrompt().contains("99999"));
        f.t.dialogs.messages.clear();
        f.event()->setEditText("12abc");
        f.click("Command1");
        QCOMPARE(f.opened, QStringList{"FrmTimer"});
        QCOMPARE(f.t.dialogs.messages.size(), 2); // the three paragraphs, then the window's own
        QCOMPARE(f.t.dialogs.messages[0].prompt,
                 "By default, times previously saved, if any, for this event are loaded.\r\r"
                 "Simply clear these times if re-timing the same event.\r\rWhen there is a short "
                 "break in collecting times, the times collected thus far may be saved by "
                 "clicking the SAVE CURRENT TIMES button so that the Main Computer may import them "
                 "tp produce partial results.");
        f.t.dialogs.messages.clear();
        f.event()->setEditText("7");
        f.click("CmdBibNumbers");
        QCOMPARE(f.opened, (QStringList{"FrmTimer", "FrmBibNumbers"}));
        QCOMPARE(f.openedEvents, (QList<int>{12, 7}));
        QCOMPARE(f.state.EventName, QStringLiteral("Girls 5K"));
        QCOMPARE(f.t.dialogs.messages.size(), 1); // only the window's own reminder
        f.state.PrimaryPath = " ";
        f.click("Command1");
        QCOMPARE(f.opened.size(), 2);
        QCOMPARE(f.t.dialogs.messages.last().title, QStringLiteral("Set Path"));
    }

    void characterFilter_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("rejected");
        QTest::newRow("digit in event") << "Comboevent" << int(Qt::Key_7) << 0 << false;
        QTest::newRow("hyphen in event") << "Comboevent" << int(Qt::Key_Minus) << 0 << true;
        QTest::newRow("slash in name") << "Text1" << int(Qt::Key_Slash) << 0 << true;
        QTest::newRow("paste chord")
            << "Text1" << int(Qt::Key_V) << int(Qt::ControlModifier) << true;
        QTest::newRow("backspace") << "Text1" << int(Qt::Key_Backspace) << 0 << false;
    }
    void characterFilter() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, rejected);
        Fixture f;
        f.start();
        f.name()->setText("Girls 5K");
        f.event()->setEditText("7");
        QWidget* target = f.form->findChild<QWidget*>(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.t.dialogs.lastPrompt(),
                 rejected ? QStringLiteral("Please re-enter using only alpha numeric keys.")
                          : QString());
        if (rejected)
            QCOMPARE(f.name()->text() + "|" + f.event()->currentText(), QStringLiteral("|7"));
    }

    void eventName() {
        Fixture f;
        f.start();
        f.name()->setFocus();
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

    void maintenanceChords_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("fetches");
        const int all = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier;
        QTest::newRow("manual upgrade")
            << all << int(Qt::Key_M) << QStringList{"Reminder", "Failed!"} << 0;
        QTest::newRow("without Alt")
            << int(Qt::ControlModifier | Qt::ShiftModifier) << int(Qt::Key_M) << QStringList{} << 0;
        QTest::newRow("download") << all << int(Qt::Key_D) << QStringList{} << 2;
    }
    void maintenanceChords() {
        QFETCH(int, modifiers);
        QFETCH(int, key);
        QFETCH(QStringList, titles);
        QFETCH(int, fetches);
        Fixture f;
        f.start();
        f.t.http.requested.clear();
        f.event()->setFocus();
        QTest::keyClick(f.event(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.t.dialogs.titles(), titles);
        QVERIFY(!f.form->manualUpgrade());
        QCOMPARE(f.t.http.requested.size(), fetches); // the package and its signature
        QCOMPARE(QFile::exists(f.dir.filePath("upgrade/pdtimerupgrade.zip")), fetches > 0);
    }

    void escapeAndExitClose() {
        for (const bool escape : {true, false}) {
            Fixture f;
            Form1& w = f.start();
            if (escape)
                QTest::keyClick(f.event(), Qt::Key_Escape);
            else
                f.click("CmdExit");
            QVERIFY(!w.isVisible());
        }
    }

    void directionsChain_data() {
        QTest::addColumn<QString>("howFirstCloses");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("exit button") << "exit" << QStringList{"FormDirections3", "FormDirections"};
        QTest::newRow("escape") << "escape" << QStringList{"FormDirections3", "FormDirections"};
        QTest::newRow("close box") << "close" << QStringList{"FormDirections3"};
    }
    void directionsChain() {
        QFETCH(QString, howFirstCloses);
        QFETCH(QStringList, shown);
        Fixture f;
        f.start();
        f.onOpen = [&](ModalWindow& w) {
            w.show();
            if (w.objectName() == "FormDirections3") {
                if (howFirstCloses == "exit")
                    QTest::mouseClick(w.findChild<QPushButton*>("CmdExit"), Qt::LeftButton);
                else if (howFirstCloses == "escape")
                    QTest::keyClick(&w, Qt::Key_Escape);
                else
                    w.close();
            } else {
                QTest::keyClick(&w, Qt::Key_Escape);
            }
            return w.result();
        };
        f.click("CmdDirections");
        QCOMPARE(f.opened, shown);
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

#include "app/core/app_state.h"
#include "app/form1.h"
#include "app/frm_path.h"
#include "support/fakes.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace lm;
using namespace lm::test;

namespace {

// The main window with the path settings window driven by `steps` while it is open.
struct Fixture {
    QTemporaryDir dir;
    TestPlatform t;
    AppState state;
    std::unique_ptr<Form1> form;

    void run(const QStringList& steps) {
        form = std::make_unique<Form1>(state, t.platform, QUrl("http://127.0.0.1:1"));
        form->showModal = [&](ModalWindow& w) {
            w.show();
            for (const QString& step : steps) {
                if (step == "escape")
                    QTest::keyClick(&w, Qt::Key_Escape);
                else if (step == "close")
                    w.close();
                else
                    QTest::mouseClick(w.findChild<QPushButton*>(step), Qt::LeftButton);
            }
            return w.result();
        };
        form->load(dir.path());
        t.dialogs.messages.clear();
        QTest::mouseClick(form->findChild<QPushButton*>("CmdPath"), Qt::LeftButton);
    }
    QString shown() { return form->findChild<QLabel*>("Label9")->text(); }
    QStringList files() { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

} // namespace

class TestFrmPath : public QObject {
    Q_OBJECT
  private slots:
    void choices_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("chosenFile"); // empty: the chooser is cancelled
        QTest::addColumn<QByteArray>("stored");  // "-": the settings file is untouched
        QTest::addColumn<QString>("shown");
        const QString usb = "/media/usb/temp.txt";
        QTest::newRow("no path") << QStringList{"CmdNoPath", "CmdExit"} << ""
                                 << QByteArray("no path set\r\n") << "no path set";
        QTest::newRow("folder") << QStringList{"CmdSecondaryPath", "CmdExit"} << usb
                                << QByteArray("/media/usb/\r\n") << "/media/usb/";
        QTest::newRow("root") << QStringList{"CmdSecondaryPath", "CmdExit"} << "/temp.txt"
                              << QByteArray("/\r\n") << "/";
        QTest::newRow("escape commits") << QStringList{"CmdSecondaryPath", "escape"} << usb
                                        << QByteArray("/media/usb/\r\n") << "/media/usb/";
        QTest::newRow("close box discards")
            << QStringList{"CmdSecondaryPath", "close"} << usb << QByteArray("-") << "/old/";
        QTest::newRow("folder then no path")
            << QStringList{"CmdSecondaryPath", "CmdNoPath", "CmdExit"} << usb
            << QByteArray("no path set\r\n") << "no path set";
        QTest::newRow("cancelled chooser") << QStringList{"CmdSecondaryPath", "CmdExit"} << ""
                                           << QByteArray("/old/\r\n") << "/old/";
    }
    void choices() {
        QFETCH(QStringList, steps);
        QFETCH(QString, chosenFile);
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        Fixture f;
        putFile(f.dir.filePath("Lapmark.lm"), "/old/\r\n");
        if (!chosenFile.isEmpty())
            f.t.dialogs.chosenFile = chosenFile;
        f.run(steps);
        QCOMPARE(fileBytes(f.dir.filePath("Lapmark.lm")),
                 stored == "-" ? QByteArray("/old/\r\n") : stored);
        QCOMPARE(f.files(), QStringList{"Lapmark.lm"}); // no second spelling, no temp.txt
        QCOMPARE(f.shown() + "|" + f.state.SecondaryPath, shown + "|" + shown);
        if (steps.contains("CmdSecondaryPath")) {
            QCOMPARE(f.t.dialogs.proposedNames, QStringList{"temp.txt"});
            QVERIFY(f.t.dialogs.messages.first().prompt.endsWith(
                "\r\r    Click SAVE (on next screen) to set the chosen Path."));
        }
    }

    void firstRunAndUnwritableSettings() {
        Fixture f;
        f.run({"CmdExit"});
        QCOMPARE(fileBytes(f.dir.filePath("lapmark.lm")), QByteArray("\r\n"));
        QCOMPARE(f.shown(), QStringLiteral("None Set..."));
        QFile::remove(f.dir.filePath("lapmark.lm"));
        f.t.files.failWrites = {"lapmark.lm"};
        f.run({"CmdNoPath", "CmdExit"});
        QCOMPARE(f.t.dialogs.titles(), QStringList{"Reminder"});
        QVERIFY(f.t.dialogs.lastPrompt().contains(f.dir.path()));
        QCOMPARE(f.shown() + "|" + f.state.SecondaryPath,
                 QStringLiteral("no path set|no path set"));
    }

    void windowOpensWithExitFocused() {
        Fixture f;
        f.state.SecondaryPath = "no path set";
        FrmPath w(f.state, f.t.platform);
        w.load();
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Set Path"));
        QCOMPARE(w.findChild<QPushButton*>("CmdNoPath")->text(),
                 QStringLiteral("No Secondary Path "));
        QCOMPARE(w.findChild<QLabel*>("Label6")->text(), QStringLiteral("no path set"));
        QStringList order = {w.focusWidget()->objectName()};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
            order.append(w.focusWidget()->objectName());
        }
        QCOMPARE(order, (QStringList{"CmdExit", "CmdSecondaryPath", "CmdNoPath", "CmdExit"}));
    }
};

QTEST_MAIN(TestFrmPath)
#include "tst_frm_path.moc"

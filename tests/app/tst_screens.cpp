// Every window at its real size: no caption may be clipped.  The windows are also saved as
// pictures under the build folder (screens/) for a person to look at.

#include "app/core/app_state.h"
#include "app/directions.h"
#include "app/form1.h"
#include "app/frm_path.h"
#include "finishorder/frm_bib_numbers.h"
#include "platform/qt_platform.h"
#include "support/fakes.h"
#include "timing/frm_timer.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lm;
using namespace lm::test;

namespace {

QStringList clippedCaptions(QWidget* window) {
    QStringList clipped;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const bool fits = label->wordWrap()
                              ? label->heightForWidth(label->width()) <= label->height()
                              : label->sizeHint().width() <= label->width();
        if (!fits)
            clipped.append(label->objectName());
    }
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        const QRect area = button->rect().adjusted(3, 2, -3, -2);
        const QRect needed = button->fontMetrics().boundingRect(
            area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, button->text());
        if (needed.height() > area.height() || needed.width() > area.width())
            clipped.append(button->objectName());
    }
    return clipped;
}

template <class W> std::unique_ptr<QWidget> loaded(AppState& state, Platform& platform) {
    auto w = std::make_unique<W>(state, platform);
    w->load();
    return w;
}

} // namespace

class TestScreens : public QObject {
    Q_OBJECT
  private slots:
    void captionsFit_data() {
        QTest::addColumn<QString>("window");
        for (const char* name :
             {"Form1", "FrmPath", "FormDirections3", "FormDirections", "FrmTimer", "FrmBibNumbers"})
            QTest::newRow(name) << name;
    }
    void captionsFit() {
        QFETCH(QString, window);
        QTemporaryDir dir;
        TestPlatform t;
        AppState state;
        Form1 form(state, t.platform, QUrl("http://127.0.0.1:1"));
        form.load(dir.path() + "/home/volunteer/Lapmark"); // a path of usual length
        state.SecondaryPath = "/media/timing/USB DRIVE/";
        state.EventName = "Girls 5K";
        state.EventNumber = 7;
        std::unique_ptr<QWidget> shown;
        if (window == "FrmPath")
            shown = loaded<FrmPath>(state, t.platform);
        else if (window == "FrmTimer")
            shown = loaded<FrmTimer>(state, t.platform);
        else if (window == "FrmBibNumbers")
            shown = loaded<FrmBibNumbers>(state, t.platform);
        else if (window == "FormDirections3")
            shown = std::make_unique<FormDirections3>();
        else if (window == "FormDirections")
            shown = std::make_unique<FormDirections>();
        QWidget* target = shown ? shown.get() : &form;
        target->show();
        QVERIFY(QTest::qWaitForWindowExposed(target));
        QDir().mkpath(QT_TESTCASE_BUILDDIR "/screens");
        target->grab().save(QT_TESTCASE_BUILDDIR "/screens/" + window + ".png");
        QCOMPARE(clippedCaptions(target).join(","), QString());
    }

    void messageBoxes() {
        QtDialogs dialogs;
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            shown = box->windowTitle() + "|" + box->text();
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            box->button(QMessageBox::Yes)->click();
        });
        QCOMPARE(dialogs.message("one\r\rtwo", "Move?", Buttons::YesNo, Answer::No, Icon::None),
                 Answer::Yes);
        QCOMPARE(shown, QStringLiteral("Move?|one\n\ntwo"));
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            shown = box->icon() == QMessageBox::Critical ? "error icon" : "no icon";
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(dialogs.message("x", "Failed!", Buttons::Ok, Answer::Ok, Icon::Error), Answer::Ok);
        QCOMPARE(shown, QStringLiteral("error icon"));
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"

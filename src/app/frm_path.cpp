#include "frm_path.h"

#include "core/app_state.h"

#include <QLabel>

namespace lm {

QString folderOfChosenFile(const QString& chosenFile) {
    const qsizetype cut = chosenFile.lastIndexOf(QLatin1Char(kPathSeparator));
    return cut < 0 ? chosenFile : chosenFile.left(cut + 1);
}

FrmPath::FrmPath(AppState& state, Platform& platform, QWidget* parent)
    : ModalWindow(parent, 421, 411), state_(state), platform_(platform) {
    setObjectName(QStringLiteral("FrmPath"));
    setWindowTitle(QStringLiteral("Set Path"));

    makeLabel(this, "Label1",
              QStringLiteral("The Bib Numbers and Times will be saved in the PRIMARY PATH given "
                             "here. This Path is on this computer and is a safe location where "
                             "these files may be found."),
              16, 8, 389, 44);
    makeLabel(this, "Label2",
              QStringLiteral("A FLASH drive may be used to carry the data to the Main Computer or "
                             "the Timing Computer may be networked to the Main Computer.  If a "
                             "FLASH drive is used, it MUST BE the SECONDARY PATH."),
              16, 56, 389, 58);
    makeLabel(
        this, "Label3",
        QStringLiteral("If the Timing or Bib Number Computer is networked to the Main "
                       "Computer, those computers must be directed to save Times and BIB "
                       "Numbers in the same agreed upon folder (Path) on the Main Computer. "),
        16, 118, 389, 58);
    makeLabel(this, "Label8",
              QStringLiteral("Or the Main Computer may set its Path to the Primary Path below so "
                             "as to be able to load either Times of Bib Numbers."),
              16, 180, 389, 44);
    auto* label7 = makeLabel(this, "Label7", QStringLiteral("Primary Path is:"), 136, 228, 150, 20);
    label7->setFont(uiFont(9.75));
    label7->setAlignment(Qt::AlignCenter);
    setBackColor(label7, QColor(0x80, 0xFF, 0x80));
    Label4 = makeLabel(this, "Label4", QString(), 8, 250, 405, 20);
    Label4->setFont(uiFont(8.25, true));
    Label4->setAlignment(Qt::AlignCenter);
    auto* label5 = makeLabel(this, "Label5",
                             QStringLiteral("Click SET SECONDARY PATH, navigate to the drive or "
                                            "folder designated for this data and then click SAVE."),
                             16, 274, 389, 34);
    label5->setFont(uiFont(8.25, true));
    setTextColor(label5, QColor(0x00, 0x00, 0xFF));
    auto* secondary = makeButton(this, "CmdSecondaryPath", QStringLiteral("Set SECONDARY Path"), 40,
                                 314, 150, 30, QColor(0xC0, 0xFF, 0xC0));
    auto* noPath = makeButton(this, "CmdNoPath", QStringLiteral("No Secondary Path "), 230, 314,
                              150, 30, QColor(0xFF, 0xC0, 0xC0));
    Label6 = makeLabel(this, "Label6", QString(), 8, 350, 405, 20);
    Label6->setFont(uiFont(8.25, true));
    Label6->setAlignment(Qt::AlignCenter);
    auto* exitButton = makeButton(this, "CmdExit", QStringLiteral("E&xit"), 170, 376, 80, 28);

    setTabOrder(exitButton, secondary);
    setTabOrder(secondary, noPath);
    connect(secondary, &QPushButton::clicked, this, &FrmPath::CmdSecondaryPath_Click);
    connect(noPath, &QPushButton::clicked, this, &FrmPath::CmdNoPath_Click);
    connect(exitButton, &QPushButton::clicked, this, &FrmPath::CmdExit_Click);
    exitButton->setFocus();
}

void FrmPath::load() {
    Label4->hide();
    Label6->hide();
    if (pathIsSet(state_.PrimaryPath)) {
        Label4->setText(state_.PrimaryPath);
        Label4->show();
    }
    if (pathIsSet(state_.SecondaryPath)) {
        Label6->setText(state_.SecondaryPath);
        Label6->show();
    }
}

void FrmPath::CmdSecondaryPath_Click() {
    platform_.dialogs.message(
        QStringLiteral("The SECONDARY path may be a flash drive that may be used to get data to "
                       "the main computer.") +
            CR + CR + QStringLiteral("Or it may be a folder (Path) on the Main Computer.") + CR +
            CR +
            QStringLiteral("Be sure that the flash drive is in place when selecting to copy "
                           "times/bibs to this device.") +
            CR + CR + QStringLiteral("    Click SAVE (on next screen) to set the chosen Path."),
        QStringLiteral("Reminder"));
    const std::optional<QString> chosen =
        platform_.dialogs.chooseSaveFile(QStringLiteral("temp.txt"));
    if (!chosen)
        return;
    Label6->setText(folderOfChosenFile(*chosen));
    Label6->show();
}

void FrmPath::CmdNoPath_Click() {
    Label6->setText(kNoPathSet);
    Label6->show();
    repaint();
}

void FrmPath::CmdExit_Click() {
    state_.PrimaryPath = Label4->text().trimmed();
    state_.SecondaryPath = Label6->text().trimmed();
    if (!writeSettings(platform_.files, state_.AppPath, state_.SecondaryPath)) {
        platform_.dialogs.message(
            QStringLiteral("The secondary path could not be stored in the program folder:") + CR +
                CR + QStringLiteral("   ") + state_.AppPath + CR + CR +
                QStringLiteral("It is used until Lapmark is closed, but must be set again at the "
                               "next start."),
            QStringLiteral("Reminder"));
    }
    closeFromCode();
}

} // namespace lm

#include "form1.h"

#include "core/app_state.h"
#include "directions.h"
#include "finishorder/frm_bib_numbers.h"
#include "frm_path.h"
#include "platform/ui.h"
#include "timing/frm_timer.h"
#include "upgrade/check_version.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpressionValidator>

namespace lm {

namespace {

// The window icon: a green stopwatch with a white face and red hand.
QIcon lapmarkIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1B, 0x7A, 0x2E));
    p.drawRoundedRect(26, 2, 12, 8, 2, 2);
    p.drawEllipse(QPointF(32, 37), 26, 26);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(32, 37), 20, 20);
    p.setPen(QPen(QColor(0xC6, 0x28, 0x28), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 37), QPointF(44, 27));
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(32, 37);
        p.rotate(90.0 * i);
        p.drawLine(QPointF(0, -17), QPointF(0, -13));
        p.restore();
    }
    return QIcon(pixmap);
}

bool allowedCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u' ' || u == 8 || u == 13;
}

} // namespace

Form1::Form1(AppState& state, Platform& platform, const QUrl& upgradeServer,
             const QString& upgradeKey, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform),
      upgrader_(std::make_unique<Upgrader>(state, platform, upgradeServer, upgradeKey)) {
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(532, 406);
    setFont(uiFont());
    setWindowIcon(lapmarkIcon());
    showModal = [](ModalWindow& window) { return window.exec(); };

    auto* banner = makeLabel(this, "Label1", QStringLiteral("Lapmark"), 0, 0, 532, 64);
    banner->setFont(uiFont(36, true, true));
    banner->setAlignment(Qt::AlignCenter);
    setTextColor(banner, QColor(0x00, 0x80, 0x00));

    const QColor blue(0x00, 0x00, 0xFF);
    auto* label2 = makeLabel(this, "Label2", QStringLiteral("Select the EVENT # to process:"), 24,
                             72, 260, 17);
    setTextColor(label2, blue);
    makeLabel(this, "Label3", QStringLiteral("Event Number:"), 24, 98, 96, 17);
    Comboevent = new QComboBox(this);
    Comboevent->setObjectName(QStringLiteral("Comboevent"));
    Comboevent->setEditable(true);
    Comboevent->setInsertPolicy(QComboBox::NoInsert);
    Comboevent->setGeometry(124, 94, 80, 24);
    Comboevent->setEditText(QStringLiteral("Combo1"));

    auto* label4 = makeLabel(this, "Label4", QStringLiteral("Enter event name (ie Girls 5K):"), 24,
                             126, 260, 17);
    setTextColor(label4, blue);
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(24, 145, 300, 24);
    Text1->setMaxLength(40);
    // Only letters, digits and spaces ever reach a file name, also by paste or drop.
    Text1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9 ]*")), Text1));
    makeLabel(this, "Label5",
              QStringLiteral("(Used in FILE NAME along with DATE when data is saved.)"), 24, 172,
              420, 17);
    makeLabel(this, "Label7", QStringLiteral("Fixed  PRIMARY PATH:"), 24, 198, 150, 17);
    Label6 = makeLabel(this, "Label6", QStringLiteral("Label6"), 160, 198, 364, 17);
    Label6->setFont(uiFont(8.25, true));
    auto* label10 = makeLabel(this, "Label10",
                              QStringLiteral("The Primary Path may be used by the Main Computer "
                                             "to have the Times and Bib Number files available "
                                             "via a network."),
                              24, 218, 490, 32);
    setTextColor(label10, blue);
    CmdPath = makeButton(this, "CmdPath", QStringLiteral("Set Secondary Path for Data"), 24, 254,
                         200, 27, QColor(0xFF, 0xFF, 0xC0));
    makeLabel(this, "Label8", QStringLiteral("Current SECONDARY Path:"), 24, 290, 160, 17);
    Label9 = makeLabel(this, "Label9", QStringLiteral("Label9"), 180, 290, 344, 17);
    Label9->setFont(uiFont(8.25, true));
    auto* command1 = makeButton(this, "Command1", QStringLiteral("Time a Race"), 24, 322, 150, 36,
                                QColor(0xFF, 0xFF, 0x00));
    auto* bibs = makeButton(this, "CmdBibNumbers", QStringLiteral("Enter BIB Numbers"), 190, 322,
                            150, 36, QColor(0xFF, 0xFF, 0xA0));
    auto* exitButton = makeButton(this, "CmdExit", QStringLiteral("E&xit Lapmark"), 396, 362, 120,
                                  32, QColor(0xFF, 0x40, 0x40));
    auto* directions = makeButton(this, "CmdDirections", QStringLiteral("&Directions"), 420, 72, 96,
                                  27, QColor(0xFF, 0xA5, 0x00));
    setTabOrder(Comboevent, Text1);
    setTabOrder(Text1, CmdPath);
    setTabOrder(CmdPath, command1);
    setTabOrder(command1, bibs);
    setTabOrder(bibs, exitButton);
    setTabOrder(exitButton, directions);

    connect(Text1, &QLineEdit::returnPressed, CmdPath, [this] { CmdPath->setFocus(); });
    connect(Text1, &QLineEdit::editingFinished, this,
            [this] { state_.EventName = Text1->text().trimmed(); });
    connect(command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(bibs, &QPushButton::clicked, this, &Form1::CmdBibNumbers_Click);
    connect(CmdPath, &QPushButton::clicked, this, &Form1::CmdPath_Click);
    connect(directions, &QPushButton::clicked, this, &Form1::CmdDirections_Click);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    Comboevent->setFocus();
}

Form1::~Form1() = default;

bool Form1::load(const QString& appPath) {
    installKeyPreview(this, [this](QKeyEvent* e) { return keyPreview(e); });
    state_.AppPath = appPath;
    state_.VersionText = QLatin1String(kVersionText);
    setWindowTitle(QStringLiteral("Lapmark from Korvel    ") + QStringLiteral("  VERSION: ") +
                   state_.VersionText);
    ManualUpgrade = false;
    upgrader_->startUp();
    if (upgrader_->CheckVersion(ManualUpgrade) == UpgradeResult::ProgramEnding)
        return false;
    state_.MaxEntries = kMaxEntries;
    state_.MeetDate = meetDateFrom(platform_.clock.shortDateText());
    Comboevent->clear();
    for (int i = 1; i <= 100; ++i)
        Comboevent->addItem(QString::number(i));
    Comboevent->setCurrentIndex(0);
    if (const std::optional<QString> line = readSettings(platform_.files, state_.AppPath))
        state_.SecondaryPath = *line;
    state_.PrimaryPath = state_.AppPath + QLatin1Char(kPathSeparator);
    refreshPaths();
    return true;
}

void Form1::refreshPaths() {
    Label6->setText(pathDisplay(state_.PrimaryPath));
    Label9->setText(pathDisplay(state_.SecondaryPath));
}

void Form1::reminder(const QString& prompt) {
    platform_.dialogs.message(prompt, QStringLiteral("Reminder"));
}

bool Form1::readyToOpen() {
    state_.EventName = Text1->text().trimmed();
    if (state_.EventName.isEmpty()) {
        reminder(QStringLiteral("Enter event name to be used for the file saved."));
        return false;
    }
    if (state_.PrimaryPath.trimmed().isEmpty()) {
        platform_.dialogs.message(QStringLiteral("Set the PATH first so that the data may be "
                                                 "saved where it is desired."),
                                  QStringLiteral("Set Path"));
        return false;
    }
    const std::optional<std::int16_t> number = eventNumberFrom(Comboevent->currentText());
    if (!number) {
        reminder(QStringLiteral("The event number ") + Comboevent->currentText().trimmed() +
                 QStringLiteral(" is too large.") + CR + CR +
                 QStringLiteral("Choose an event number from the list."));
        return false;
    }
    state_.EventNumber = *number;
    return true;
}

void Form1::Command1_Click() {
    if (!readyToOpen())
        return;
    reminder(QStringLiteral("By default, times previously saved, if any, for this event are "
                            "loaded.") +
             CR + CR + QStringLiteral("Simply clear these times if re-timing the same event.") +
             CR + CR +
             QStringLiteral("When there is a short break in collecting times, the times "
                            "collected thus far may be saved by clicking the SAVE CURRENT TIMES "
                            "button so that the Main Computer may import them tp produce partial "
                            "results."));
    FrmTimer window(state_, platform_, this);
    window.load();
    showModal(window);
}

void Form1::CmdBibNumbers_Click() {
    if (!readyToOpen())
        return;
    FrmBibNumbers window(state_, platform_, this);
    window.load();
    showModal(window);
}

void Form1::CmdPath_Click() {
    FrmPath window(state_, platform_, this);
    window.load();
    showModal(window);
    refreshPaths();
}

void Form1::CmdDirections_Click() {
    FormDirections3 paths(this);
    if (showModal(paths) != QDialog::Accepted)
        return;
    FormDirections brief(this);
    showModal(brief);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    upgrader_->proven();
}

bool Form1::keyPreview(QKeyEvent* event) {
    const bool chord = maintenanceChord(event);
    ManualUpgrade = false;
    if (chord)
        return true;
    if (event->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return characterFilter(event);
}

bool Form1::maintenanceChord(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods != (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier))
        return false;
    if (event->key() == Qt::Key_M) {
        ManualUpgrade = true;
        reminder(QStringLiteral("Place the downloaded file: pdtimerupgrade.zip into the "
                                "Lapmark/Upgrade Folder NOW.") +
                 CR + CR +
                 QStringLiteral("Be sure the Upgrade file pdtimerupgrade.zip is placed in "
                                "Lapmark/Upgrade then click OK."));
        upgrader_->CheckVersion(ManualUpgrade);
        ManualUpgrade = false;
        return true;
    }
    if (event->key() == Qt::Key_D) {
        upgrader_->DownloadPackage();
        return true;
    }
    return false;
}

bool Form1::characterFilter(QKeyEvent* event) {
    const QString text = event->text();
    // Navigation keys and Alt combinations type no character.
    if (text.isEmpty() || (event->modifiers() & Qt::AltModifier) || event->key() == Qt::Key_Tab ||
        event->key() == Qt::Key_Backtab)
        return false;
    for (QChar c : text) {
        // A letter typed with Ctrl held is a control character (Ctrl+V is 22), whatever
        // text the keyboard layer reports for it.
        if ((event->modifiers() & Qt::ControlModifier) && c.isLetter() && c.unicode() < 128)
            c = QChar(c.toUpper().unicode() & 0x1F);
        if (!allowedCharacter(c)) {
            reminder(QStringLiteral("Please re-enter using only alpha numeric keys."));
            Text1->clear();
            return true;
        }
    }
    return false;
}

} // namespace lm

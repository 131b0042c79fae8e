#include "frm_bib_numbers.h"

#include "bibs_file.h"
#include "core/app_state.h"
#include "core/data_file.h"
#include "finish_order_list.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>

#include <cmath>

namespace lm {

namespace {

QLineEdit* makeBox(QWidget* parent, const char* name, int maxLength, int x, int y, int w, int h) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(maxLength);
    box->setGeometry(x, y, w, h);
    box->setFont(uiFont(13.5, true));
    box->setAlignment(Qt::AlignCenter);
    return box;
}

} // namespace

FrmBibNumbers::FrmBibNumbers(AppState& state, Platform& platform, QWidget* parent)
    : ModalWindow(parent, 491, 492), state_(state), platform_(platform),
      list_(new FinishOrderList(state.MaxEntries, this)) {
    setObjectName(QStringLiteral("FrmBibNumbers"));
    setWindowTitle(QStringLiteral("Enter Bib Numbers"));

    TxtPlace = makeBox(this, "TxtPlace", 4, 60, 148, 69, 41);
    TxtBib = makeBox(this, "TxtBib", 6, 156, 148, 89, 41);
    auto* insert = makeButton(this, "CmdInsert", QStringLiteral("Insert ABOVE Selected  Item"), 212,
                              272, 125, 38, QColor(0xFF, 0xFF, 0x80));
    auto* remove = makeButton(this, "CmdDelete", QStringLiteral("DELETE Selected Item"), 262, 206,
                              75, 52, QColor(0xFF, 0x00, 0x00));
    auto* exitButton = makeButton(this, "CmdExit", QStringLiteral("&Save && Exit"), 24, 336, 105,
                                  25, QColor(0x80, 0xFF, 0x80));
    exitButton->setFont(uiFont(9.75));
    auto* saveCurrent = makeButton(this, "CmdSaveCurrent", QStringLiteral("Save Current Numbers"),
                                   170, 326, 150, 27, QColor(0xC0, 0xFF, 0xC0));
    List1 = new QListView(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(336, 88, 152, 356);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setTextElideMode(Qt::ElideNone);
    List1->setFont(fixedFont(9, true));
    List1->setUniformItemSizes(true);
    List1->setModel(list_);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* clear = makeButton(this, "CmdClear", QStringLiteral("Clear BIB# List"), 368, 452, 100, 33,
                             QColor(0xFF, 0x80, 0x80));
    setTabOrder(TxtPlace, TxtBib);
    setTabOrder(TxtBib, insert);
    setTabOrder(insert, remove);
    setTabOrder(remove, exitButton);
    setTabOrder(exitButton, saveCurrent);
    setTabOrder(saveCurrent, List1);
    setTabOrder(List1, clear);

    makeLabel(this, "Label1", QStringLiteral("PLACE:"), 60, 128, 60, 17);
    makeLabel(this, "Label2", QStringLiteral("BIB #:"), 160, 128, 60, 17);
    auto* label3 =
        makeLabel(this, "Label3", QStringLiteral("Type BIB# and press ENTER:"), 130, 108, 200, 17);
    setTextColor(label3, QColor(0x00, 0x00, 0xFF));
    makeLabel(this, "Label4", QStringLiteral("PLACE                 BIB"), 340, 68, 148, 17);
    auto* label5 = makeLabel(this, "Label5",
                             QStringLiteral("Enter BIB NUMBERS in finish order by typing a number "
                                            "into the BIB # box and pressing ENTER"),
                             30, 6, 455, 48);
    label5->setFont(uiFont(12, true));
    setTextColor(label5, QColor(0x00, 0x00, 0xFF));
    Label6 = makeLabel(this, "Label6", QString(), 8, 64, 329, 25);
    Label6->setFont(uiFont(12, true));
    Label6->setAlignment(Qt::AlignCenter);
    setTextColor(Label6, QColor(0xFF, 0x00, 0x00));
    auto* label7 = makeLabel(this, "Label7",
                             QStringLiteral("Bib numbers are saved when leaving this screen.  "
                                            "Return here to add, change, edit bib numbers already "
                                            "entered. Any blank bib numbers are replaced with "
                                            "99999 for future editing."),
                             10, 372, 320, 84);
    label7->setFont(uiFont(9.75));
    makeLabel(this, "Label8",
              QStringLiteral("Change a BIB number by specifying an existing place and enter the "
                             "correct BIB number for that place."),
              14, 238, 190, 56);
    Label9 = makeLabel(this, "Label9", QStringLiteral("Bibs Saved"), 200, 358, 120, 17);
    Label9->setFont(uiFont(8.25, true, true));
    setTextColor(Label9, QColor(0x00, 0x00, 0xFF));
    makeLabel(this, "Label10",
              QStringLiteral("If DUPLICATE BIB's are entered there will be a choice to move "
                             "curent one to specified place."),
              14, 192, 240, 44);

    connect(insert, &QPushButton::clicked, this, &FrmBibNumbers::CmdInsert_Click);
    connect(remove, &QPushButton::clicked, this, &FrmBibNumbers::CmdDelete_Click);
    connect(exitButton, &QPushButton::clicked, this, &FrmBibNumbers::CmdExit_Click);
    connect(saveCurrent, &QPushButton::clicked, this, &FrmBibNumbers::CmdSaveCurrent_Click);
    connect(clear, &QPushButton::clicked, this, &FrmBibNumbers::CmdClear_Click);
    connect(List1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { List1_Click(); });
    connect(List1, &QListView::clicked, this, [this] { List1_Click(); });
    TxtBib->installEventFilter(this);
    TxtPlace->installEventFilter(this);
}

void FrmBibNumbers::load() {
    Label6->setText(QStringLiteral("Processing Ev# ") + QString::number(state_.EventNumber));
    Loading = true;
    Label9->hide();
    state_.MeetDate = meetDateFrom(platform_.clock.shortDateText());
    list_->build();
    BibsFile = bibsFileName(state_);
    if (const std::optional<int> next = loadBibs(platform_.files, BibsFile, *list_))
        PositiononList(*next);
    if (numericValue(TxtPlace->text()) == 0)
        TxtPlace->setText(QStringLiteral("1"));
    setWindowTitle(QStringLiteral("Enter Bib#'s for EVENT # ") +
                   QString::number(state_.EventNumber));
    SecondaryBibsFile = secondaryBibsFileName(state_);
    reminder(QStringLiteral("By default, bib #'s previously saved, if any, for this event are "
                            "loaded.") +
             CR + CR +
             QStringLiteral("Simply clear these bib #'s if re-processing the same event.") + CR +
             CR +
             QStringLiteral("If networked to the main computer so that BIBS may be imported as "
                            "they are recorded, then inform the main computer operator that the "
                            "file containing the BIBS is ") +
             CR + CR + QStringLiteral("  ") + SecondaryBibsFile + QStringLiteral("."));
    Loading = false;
}

int FrmBibNumbers::run() {
    load();
    return exec();
}

void FrmBibNumbers::reminder(const QString& prompt) {
    platform_.dialogs.message(prompt, QStringLiteral("Reminder"));
}

int FrmBibNumbers::selectedIndex() const {
    const QModelIndex current = List1->currentIndex();
    if (!current.isValid() || !List1->selectionModel()->isSelected(current))
        return -1;
    return current.row();
}

void FrmBibNumbers::selectLine(int index) {
    List1->selectionModel()->setCurrentIndex(list_->index(index),
                                             QItemSelectionModel::ClearAndSelect);
}

QString FrmBibNumbers::selectedLine() const {
    return list_->line(selectedIndex());
}

int FrmBibNumbers::PositiononList(int place) {
    list_->restoreMissingPlaces();
    const int max = list_->maxEntries();
    const int x = list_->nextFreePlace(place);
    // Selecting a line further down first scrolls the list so that place x is shown
    // together with the places after it.
    selectLine(x <= max - 10 ? x + 10 : max);
    selectLine(x);
    if (list_->placeValue(x) > 0)
        TxtPlace->setText(list_->line(x).left(10).trimmed());
    return x;
}

void FrmBibNumbers::List1_Click() {
    if (Loading)
        return;
    const QString text = selectedLine();
    if (numericValue(text.left(10)) > 0)
        TxtPlace->setText(text.left(10).trimmed());
    if (numericValue(text.right(10)) > 0)
        TxtBib->setText(text.right(10).trimmed());
    else
        TxtBib->clear();
    TxtBib->setFocus();
    TxtBib->selectAll();
}

void FrmBibNumbers::enterBib() {
    const int max = list_->maxEntries();
    const double placeValue = numericValue(TxtPlace->text());
    if (!(placeValue >= 1 && placeValue <= max && placeValue == std::trunc(placeValue))) {
        reminder(QStringLiteral("PLACE must be a whole number from 1 to ") + QString::number(max) +
                 QStringLiteral(".") + CR + CR + QStringLiteral("Nothing was entered."));
        TxtPlace->setFocus();
        return;
    }
    const double bib = numericValue(TxtBib->text());
    const QString bibText = numberText(bib);
    // The bib column holds ten characters of plain decimal digits.
    if (!std::isfinite(bib) || bibText.size() > 10 || bibText.contains(QLatin1Char('e'))) {
        reminder(QStringLiteral("BIB # ") + TxtBib->text() +
                 QStringLiteral(" is not a bib number that can be stored.") + CR + CR +
                 QStringLiteral("Nothing was entered."));
        TxtBib->setFocus();
        return;
    }

    // Duplicate check: every other place holding this bib is offered for a move.
    for (const int i : list_->placesHolding(bib)) {
        const Answer answer = platform_.dialogs.message(
            QStringLiteral("Duplicate BIB NUMBERS have been entered.") + CR + CR +
                QStringLiteral("Move existing BIB NUmber to PLACE: ") +
                list_->line(i).left(10).trimmed() + QStringLiteral("?"),
            QStringLiteral("Move?"), Buttons::YesNo, Answer::No);
        if (answer != Answer::Yes) {
            TxtBib->clear();
            return;
        }
        list_->blankPlace(i);
    }

    const int p = static_cast<int>(placeValue);
    list_->restoreMissingPlaces();
    list_->setLine(p, MakePlaceLine(QString::number(p), bibText));
    TxtPlace->setText(QString::number(p + 1));
    TxtBib->clear();
    TxtBib->setFocus();
    const int next = PositiononList(static_cast<int>(numericValue(TxtPlace->text())));
    // Quick save: every place before the next free one.  When the list is full the last
    // place is taken too and belongs in the file.
    writeBibs(list_->bibValue(next) > 0 ? next : next - 1);
    Label9->hide();
}

bool FrmBibNumbers::writeBibs(int last) {
    if (writePrimary(platform_, BibsFile, list_->fileContent(last), RetryPause::FromNow))
        return true;
    reminder(QStringLiteral("Error!  The bib numbers were NOT saved.") + CR + CR +
             QStringLiteral("Could not write: ") + BibsFile + CR + CR +
             QStringLiteral("The bib numbers are still in the list.  Check the disk or folder, "
                            "then save again."));
    return false;
}

bool FrmBibNumbers::SaveBibs() {
    const int last = list_->lastUsedPlace();
    if (!writeBibs(last))
        return false;
    if (!secondaryIsNoPath(state_.SecondaryPath))
        if (const QString failed = copyToSecondary(platform_.files, BibsFile, SecondaryBibsFile,
                                                   list_->fileContent(last));
            !failed.isEmpty())
            reminder(failed);
    return true;
}

void FrmBibNumbers::CmdSaveCurrent_Click() {
    if (SaveBibs())
        Label9->show();
    TxtBib->setFocus();
}

void FrmBibNumbers::CmdExit_Click() {
    const int last = list_->clearTrailingPlaceholders();
    const int missing = list_->missingCount(last);
    if (missing > 0) {
        reminder(QStringLiteral("There are ") + QString::number(missing) +
                 QStringLiteral(" places for which the BIB number is 99999 or 0.") + CR + CR +
                 QStringLiteral("Edit these missing bib numbers when they can be identified by "
                                "returning here."));
    }
    if (last >= 2) {
        if (!keepOlderVersionOrReport(platform_, BibsFile) || !SaveBibs())
            return; // the window stays open so that nothing is lost
        QString prompt = QStringLiteral("File of bib numbers saved as: ") + CR + CR +
                         QStringLiteral("   ") + BibsFile + QStringLiteral(".") + CR + CR + CR;
        if (!state_.SecondaryPath.toUpper().contains(QLatin1String("NO PATH SET"))) {
            const QString name =
                BibsFile.mid(BibsFile.lastIndexOf(QLatin1Char(kPathSeparator)) + 1);
            prompt += QStringLiteral(" And as: ") + state_.SecondaryPath + name +
                      QStringLiteral(".") + CR + CR + CR;
        }
        prompt += QStringLiteral("OLDER versions of bib numbers for this event have a letter "
                                 "A,B,C... appended to the file name");
        reminder(prompt);
    }
    closeFromCode();
}

int FrmBibNumbers::targetPlace() const {
    return static_cast<int>(static_cast<std::int16_t>(numericValue(selectedLine().left(5))));
}

void FrmBibNumbers::afterEdit(int place) {
    selectLine(std::min(place, list_->count() - 1));
    // The selection may already stand on that index after the lines moved; the boxes
    // must show the line as it is now either way.
    List1_Click();
    TxtPlace->setText(QString::number(place));
    TxtBib->setFocus();
    TxtBib->selectAll();
    Label9->hide();
}

void FrmBibNumbers::CmdInsert_Click() {
    const int p = targetPlace();
    if (p < 1) {
        reminder(QStringLiteral("Select the place above which a new place is inserted."));
        return;
    }
    if (platform_.dialogs.message(
            QStringLiteral("Ready to INSERT a new item above the selected one and move those "
                           "below down one position?") +
                CR + CR + QStringLiteral("Type the BIB Number and press ENTER.") + CR + CR +
                QStringLiteral("Insert above place ") + selectedLine().left(10).trimmed() +
                QStringLiteral(" ?"),
            QStringLiteral("Insert?"), Buttons::YesNo, Answer::No) != Answer::Yes)
        return;
    list_->insertPlace(p);
    afterEdit(p);
}

void FrmBibNumbers::CmdDelete_Click() {
    const int p = targetPlace();
    if (p < 1) {
        reminder(QStringLiteral("Select the place to delete."));
        return;
    }
    if (platform_.dialogs.message(
            QStringLiteral("Are you SURE you wish to delete this item and move those below up "
                           "one position?") +
                CR + CR + QStringLiteral("Remove  ") + selectedLine().left(10).trimmed() +
                QStringLiteral(" ?"),
            QStringLiteral("Remove?"), Buttons::YesNo, Answer::No) != Answer::Yes)
        return;
    list_->deletePlace(p);
    afterEdit(p);
}

void FrmBibNumbers::CmdClear_Click() {
    if (platform_.dialogs.message(QStringLiteral("Should ALL bib numbers be deleted?"),
                                  QStringLiteral("Remove?"), Buttons::YesNo,
                                  Answer::No) != Answer::Yes)
        return;
    TxtPlace->setText(QStringLiteral("1"));
    TxtBib->clear();
    TxtBib->setFocus();
    list_->build();
    List1->selectionModel()->clear();
    Label9->hide();
}

bool FrmBibNumbers::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == TxtBib || watched == TxtPlace) && event->type() == QEvent::FocusIn) {
        static_cast<QLineEdit*>(watched)->selectAll();
        return false;
    }
    if (watched == TxtBib && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            enterBib();
            return true;
        }
        Label9->hide();
    }
    return ModalWindow::eventFilter(watched, event);
}

bool FrmBibNumbers::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        TxtBib->setFocus();
    return ModalWindow::event(event);
}

} // namespace lm

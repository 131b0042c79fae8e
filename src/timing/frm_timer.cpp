#include "frm_timer.h"

#include "capture_journal.h"
#include "core/app_state.h"
#include "core/data_file.h"
#include "race_clock.h"
#include "times_file.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>

namespace lm {

namespace {

const QString kTitle = QStringLiteral("Reminder");
const QString kNotRunning = QStringLiteral("Timer not running. Start timer first.");
const QString kStopFirst = QStringLiteral("Timer is running. Stop timer first.");

} // namespace

FrmTimer::FrmTimer(AppState& state, Platform& platform, QWidget* parent)
    : ModalWindow(parent, 510, 484), state_(state), platform_(platform),
      spaceBar_(platform.session.keyRepeatRules()) {
    setObjectName(QStringLiteral("FrmTimer"));
    setWindowTitle(QStringLiteral("Time Capture"));

    CmdStart = makeButton(this, "CmdStart", QStringLiteral("Start Timer"), 48, 24, 113, 33,
                          QColor(0x00, 0xC0, 0x00));
    ListTimes = new QListWidget(this);
    ListTimes->setObjectName(QStringLiteral("ListTimes"));
    ListTimes->setGeometry(192, 144, 169, 276);
    ListTimes->setFont(fixedFont(9.75, true));
    ListTimes->setUniformItemSizes(true);
    CmdStop = makeButton(this, "CmdStop", QStringLiteral("Stop Timer"), 344, 24, 105, 33,
                         QColor(0xFF, 0x40, 0x40));
    CmdCheckTime =
        makeButton(this, "CmdCheckTime", QStringLiteral("Check Clock Time"), 104, 88, 97, 33);
    CmdTime = makeButton(this, "CmdTime",
                         QStringLiteral("Click Here to Capture a Finish Time or Press Space Bar"),
                         16, 144, 161, 40, QColor(0xFF, 0xFF, 0x00));
    CmdDelete =
        makeButton(this, "CmdDelete", QStringLiteral("Delete Extra Time When Clock is STOPPED"),
                   200, 432, 129, 41);
    CmdClear = makeButton(this, "CmdClear", QStringLiteral("Clear Times"), 400, 312, 81, 25);
    CmdSave = makeButton(this, "CmdSave", QStringLiteral("Save Times and EXIT"), 368, 376, 129, 33,
                         QColor(0x80, 0xFF, 0x80));
    CmdSaveCurrentTimes =
        makeButton(this, "CmdSaveCurrentTimes", QStringLiteral("Save Current Times"), 40, 352, 113,
                   25, QColor(0xC0, 0xFF, 0xC0));
    setTabOrder(CmdStart, ListTimes);
    setTabOrder(ListTimes, CmdStop);
    setTabOrder(CmdStop, CmdCheckTime);
    setTabOrder(CmdCheckTime, CmdTime);
    setTabOrder(CmdTime, CmdDelete);
    setTabOrder(CmdDelete, CmdClear);
    setTabOrder(CmdClear, CmdSave);
    setTabOrder(CmdSave, CmdSaveCurrentTimes);

    Label2 = makeLabel(this, "Label2", QStringLiteral("Timer Stopped"), 210, 16, 93, 49);
    Label2->setFont(uiFont(13.5, true));
    Label2->setAlignment(Qt::AlignCenter);
    makeLabel(this, "Label1", QStringLiteral("Time:"), 200, 72, 41, 17);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Line1"));
    frame->setGeometry(216, 88, 112, 32);
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);
    Label10 = makeLabel(this, "Label10", QString(), 218, 91, 108, 26);
    Label10->setFont(uiFont(12));
    Label10->setAlignment(Qt::AlignCenter);
    auto* label7 = makeLabel(this, "Label7", QStringLiteral("Time NOT recorded by CHECK TIME."), 16,
                             86, 85, 45);
    label7->setAlignment(Qt::AlignCenter);
    Label5 = makeLabel(this, "Label5", QStringLiteral("Label5"), 336, 96, 140, 25);
    Label5->setFont(uiFont(9.75));
    Label6 = makeLabel(this, "Label6",
                       QStringLiteral("Times show here for the first 10 seconds then click CHECK "
                                      "TIME to see current clock time."),
                       334, 72, 150, 66);
    Label6->setAlignment(Qt::AlignCenter);
    setBackColor(Label6, QColor(0xC0, 0xFF, 0xC0));
    auto* label4 = makeLabel(this, "Label4",
                             QStringLiteral("When timer is running, TOUCH SPACE BAR  to time the "
                                            "athlete  (same as clicking CAPTURE FINISH)"),
                             370, 180, 130, 96);
    label4->setAlignment(Qt::AlignCenter);
    setBackColor(label4, QColor(0xFF, 0xFF, 0xC0));
    makeLabel(this, "Label8",
              QStringLiteral("When there is a break among finishers and times are NOT being "
                             "captured  times already collected may be saved if partial results "
                             "are needed."),
              14, 250, 170, 96);
    Label9 = makeLabel(this, "Label9", QStringLiteral("Times Saved"), 40, 384, 110, 17);
    Label9->setFont(uiFont(8.25, true, true));
    setTextColor(Label9, Qt::blue);
    makeLabel(this, "Label3", QStringLiteral("Highlight Time to Remove:"), 40, 440, 160, 17);
    // Beside the capture button, where the operator looks, over the hint on partial saves.
    Notice = makeLabel(this, "Notice", QString(), 8, 190, 180, 158);
    Notice->setFont(uiFont(8.25, true));
    Notice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Notice->setWordWrap(true);
    Notice->setAutoFillBackground(true);
    setTextColor(Notice, QColor(0xFF, 0x00, 0x00));
    Notice->hide();

    connect(CmdStart, &QPushButton::clicked, this, &FrmTimer::CmdStart_Click);
    connect(CmdStop, &QPushButton::clicked, this, &FrmTimer::CmdStop_Click);
    connect(CmdCheckTime, &QPushButton::clicked, this, &FrmTimer::CmdCheckTime_Click);
    connect(CmdDelete, &QPushButton::clicked, this, &FrmTimer::CmdDelete_Click);
    connect(CmdClear, &QPushButton::clicked, this, &FrmTimer::CmdClear_Click);
    connect(CmdSaveCurrentTimes, &QPushButton::clicked, this, &FrmTimer::CmdSaveCurrentTimes_Click);
    connect(CmdSave, &QPushButton::clicked, this, &FrmTimer::CmdSave_Click);
    CmdTime->installEventFilter(this);
    installKeyPreview(
        this, [this](QKeyEvent* e) { return keyPreview(e); }, true);
    CmdStart->setFocus();
}

void FrmTimer::load() {
    Label9->hide();
    TimerRunning = false;
    Label5->setText(QStringLiteral("Timing Ev# ") + QString::number(state_.EventNumber));
    Label6->hide();
    state_.MeetDate = meetDateFrom(platform_.clock.shortDateText());
    TimesFile = DataFileName(state_, state_.PrimaryPath, kTimesPrefix, kTimesExtension);
    ListTimes->clear();
    if (const std::optional<QStringList> loaded = loadTimes(platform_.files, TimesFile)) {
        ListTimes->addItems(*loaded);
        setWindowTitle(QStringLiteral("Capture Times for EVENT # ") +
                       QString::number(state_.EventNumber));
    }
    SecondaryTimesFile = DataFileName(state_, state_.SecondaryPath, kTimesPrefix, kTimesExtension);
    reminder(QStringLiteral("If networked to the main computer so that TIMES may be imported as "
                            "they are recorded, then inform the main computer operator that the "
                            "file containing the TIMES is ") +
             CR + CR + QStringLiteral("  ") + SecondaryTimesFile + QStringLiteral(".") + CR + CR +
             QStringLiteral("It a stop watch or other timer is started at the START of the race, "
                            "Lapmark may then be started at any known time later than the actual "
                            "start since Podiax can add any time difference to ALL the times once "
                            "they have been imported."));
    // Last: a race that was cut off may run on from here, and then no box may follow.
    openJournal();
}

int FrmTimer::run() {
    load();
    return exec();
}

QStringList FrmTimer::lines() const {
    QStringList out;
    out.reserve(ListTimes->count());
    for (int i = 0; i < ListTimes->count(); ++i)
        out.append(ListTimes->item(i)->text());
    return out;
}

void FrmTimer::reminder(const QString& prompt) {
    platform_.dialogs.message(prompt, kTitle);
}

void FrmTimer::openJournal() {
    journal_ = platform_.files.openJournal(journalPath(state_.AppPath, TimesFile));
    bool takenOver = false;
    if (journal_->status() == Journal::Status::HeldElsewhere && journal_->holder().otherComputer) {
        // The program folder was carried over from a computer that stopped in mid-race.
        if (platform_.dialogs.message(
                QStringLiteral("The times of this event are held by Lapmark on ") +
                    journal_->holder().text() + QStringLiteral(".") + CR + CR +
                    QStringLiteral("If Lapmark no longer runs there, take them over: the times "
                                   "it captured are then offered back here.") +
                    CR + CR + QStringLiteral("Take them over?"),
                QStringLiteral("Take Over?"), Buttons::YesNo, Answer::No) == Answer::Yes)
            takenOver = journal_->takeOver();
        if (journal_->status() != Journal::Status::Held) {
            journal_.reset();
            journalWarned_ = true; // the operator knows: the notice only from now on
            return;
        }
    }
    if (journal_->status() == Journal::Status::HeldElsewhere) {
        journal_.reset();
        journalWarned_ = true;
        reminder(QStringLiteral("This event is being timed in another Lapmark window on this "
                                "computer.") +
                 CR + CR +
                 QStringLiteral("Times captured here are NOT protected against a crash.  Time "
                                "the event in the other window."));
        return;
    }
    if (journal_->status() == Journal::Status::Failed)
        journal_.reset(); // the open record below reports it
    const JournalState found = journal_ ? replayJournal(journal_->content()) : JournalState{};
    if (found.worthRestoring()) {
        const qsizetype count = found.lines.size();
        QString prompt = QStringLiteral("Times captured for this event were not saved.") + CR + CR +
                         QStringLiteral("Times found: ") + QString::number(count);
        if (count > 0)
            prompt += QStringLiteral("   Last time: ") + timeOfLine(found.lines.last());
        if (found.clockRunning)
            prompt += CR + QStringLiteral("The race clock was still running.");
        prompt += CR + CR + QStringLiteral("Restore them?");
        if (platform_.dialogs.message(prompt, QStringLiteral("Restore?"), Buttons::YesNo,
                                      Answer::Yes) == Answer::Yes) {
            restore(found, takenOver);
            return;
        }
        journal_->setAside();
    }
    record(journal::open(lines()));
}

void FrmTimer::restore(const JournalState& found, bool takenOver) {
    ListTimes->clear();
    ListTimes->addItems(found.lines);
    ListTimes->scrollToBottom();
    unsaved_ = true;
    if (!found.clockRunning)
        return;
    const ClockStart& start = found.start;
    Clock& clock = platform_.clock;
    const std::uint32_t now = clock.tickCount();
    // The tick count carries the clock on only on the computer and the boot that started it,
    // on the same counter, and not gone backwards.
    const QString kind = start.tickKind.isEmpty() ? clock.unnamedTickKind() : start.tickKind;
    const bool sameComputer =
        !takenOver && (start.computer.isEmpty() ||
                       start.computer.compare(clock.computerName(), Qt::CaseInsensitive) == 0);
    if (sameComputer && !start.bootId.isEmpty() && start.bootId == clock.bootId() &&
        !kind.isEmpty() && kind == clock.tickKind() && now - start.tick < 0x8000'0000u) {
        runOn(start.tick, found.captureCount);
        return;
    }
    const auto stopped = [this](const QString& why) {
        record(journal::stop());
        reminder(QStringLiteral("The race clock could not be resumed: ") + why + CR + CR +
                 QStringLiteral("The times are restored and the clock is stopped."));
    };
    if (start.utcMs == 0) {
        stopped(QStringLiteral("it was started by an earlier version of Lapmark, which did not "
                               "note the time of day of the start."));
        return;
    }
    // Otherwise the time of day bridges the gap, where it is plausible.
    const std::int64_t elapsed = clock.utcMs() - start.utcMs;
    if (elapsed < 0 || elapsed > 24LL * 60 * 60 * 1000) {
        stopped(QStringLiteral("by this computer's date and time the race started ") +
                (elapsed < 0 ? QStringLiteral("later than now.")
                             : QStringLiteral("more than a day ago.")) +
                QStringLiteral("  Check the date and time of the computer."));
        return;
    }
    const QString where =
        sameComputer
            ? QStringLiteral("The tick count cannot carry the race clock on: the computer was "
                             "restarted, or Lapmark upgraded, since the race started.")
            : QStringLiteral("This race was started on another computer (") +
                  (start.computer.isEmpty() ? QStringLiteral("name unknown") : start.computer) +
                  QStringLiteral("), whose tick count means nothing here.");
    if (platform_.dialogs.message(
            where + CR + CR +
                QStringLiteral("The race clock can run on from the time of day: by this "
                               "computer's clock the race has run ") +
                FormatTime(elapsed) +
                QStringLiteral(".  If it does, check one finish time "
                               "against a stopwatch.") +
                CR + CR + QStringLiteral("Run the race clock on from the time of day?"),
            QStringLiteral("Resume?"), Buttons::YesNo, Answer::Yes) != Answer::Yes) {
        record(journal::stop());
        return;
    }
    const std::uint32_t tick = now - static_cast<std::uint32_t>(elapsed);
    record(journal::start(
        {tick, clock.bootId(), clock.tickKind(), start.utcMs, clock.computerName()}, true));
    runOn(tick, found.captureCount);
    setNotice(ClockFromTimeOfDay,
              QStringLiteral("The race clock runs on from the time of day.  Check one finish "
                             "time against a stopwatch."));
}

void FrmTimer::runOn(std::uint32_t startTick, int captureCount) {
    StartTick = startTick;
    CaptureCount = captureCount;
    TimerRunning = true;
    platform_.session.keepAwake(true);
    notBefore_ = platform_.clock.tickCount();
    Label2->setText(QStringLiteral("Timer Started"));
}

void FrmTimer::setNotice(NoticeKind kind, const QString& text) {
    notices_[kind] = text;
    QStringList shown;
    for (const QString& notice : notices_) {
        if (!notice.isEmpty())
            shown.append(QString(notice).replace(CR, QStringLiteral("\n")));
    }
    Notice->setText(shown.join(QStringLiteral("\n\n")));
    Notice->setVisible(!shown.isEmpty());
    Notice->raise();
}

void FrmTimer::tell(const QString& text) {
    if (TimerRunning)
        setNotice(Refused, text);
    else
        reminder(text);
}

void FrmTimer::reportSaveFailure(const QString& text) {
    setNotice(SaveFailed, text);
    if (!TimerRunning)
        reminder(text);
    else if (!saveBoxes_.contains(text))
        saveBoxes_.append(text);
}

void FrmTimer::record(const QByteArray& records) {
    if (journal_ && journal_->append(records))
        return;
    setNotice(Unprotected, QStringLiteral("Times are NOT protected against a crash.  Save them "
                                          "often."));
    if (journalWarned_)
        return;
    journalWarned_ = true;
    const QString box = QStringLiteral("Times are NOT being protected against a crash: the "
                                       "recovery file could not be written.") +
                        CR + CR + QStringLiteral("Timing goes on.  Save the times often.");
    if (TimerRunning)
        journalBox_ = box;
    else
        reminder(box);
}

void FrmTimer::showTime(std::int64_t elapsed) {
    Label10->setText(FormatTime(elapsed));
}

void FrmTimer::CmdStart_Click() {
    if (ListTimes->count() > 0) {
        tell(QStringLiteral("Existing times must be cleared in order to start timing."));
        return;
    }
    Label2->setText(QStringLiteral("Timer Started"));
    repaint();
    platform_.session.processEvents();
    StartTick = platform_.clock.tickCount();
    CaptureCount = 0;
    TimerRunning = true;
    setNotice(ClockFromTimeOfDay, {});
    record(journal::start({StartTick, platform_.clock.bootId(), platform_.clock.tickKind(),
                           platform_.clock.utcMs(), platform_.clock.computerName()}));
    platform_.session.keepAwake(true);
    Label5->hide();
    Label6->show();
    repaint();
    Label6->repaint();
    StartDisplay(platform_.clock, [this](const QString& text) {
        Label10->setText(text);
        Label10->repaint();
    });
    notBefore_ = platform_.clock.tickCount();
    Label6->hide();
    Label5->show();
    repaint();
    Label10->setText(QString());
    Label10->repaint();
    CmdTime->setFocus();
}

void FrmTimer::CmdStop_Click() {
    CaptureCount = 0;
    Label2->setText(QStringLiteral("Timer Stopped"));
    Label10->setText(QString());
    repaint();
    platform_.session.processEvents();
    TimerRunning = false;
    platform_.session.keepAwake(false);
    record(journal::stop());
    setNotice(Refused, {});
    setNotice(ClockFromTimeOfDay, {});
    // What could not be shown while the clock ran, once.
    QStringList boxes = std::exchange(saveBoxes_, {});
    if (!journalBox_.isEmpty())
        boxes.append(std::exchange(journalBox_, {}));
    for (const QString& box : boxes)
        reminder(box);
}

FrmTimer::~FrmTimer() {
    if (TimerRunning)
        platform_.session.keepAwake(false);
}

void FrmTimer::hideEvent(QHideEvent* event) {
    // Closed, not minimised: the clock of this window is gone.
    if (!event->spontaneous() && TimerRunning) {
        TimerRunning = false;
        platform_.session.keepAwake(false);
    }
    ModalWindow::hideEvent(event);
}

void FrmTimer::CmdTime_MouseDown(quint64 timestamp) {
    Label9->hide();
    if (!TimerRunning) {
        reminder(kNotRunning);
        return;
    }
    // The time of the press itself, not of the moment this handler got to it.
    const std::uint32_t tick =
        tickOfPress(platform_.clock.eventTick(timestamp), platform_.clock.tickCount(), notBefore_);
    const std::int64_t elapsed = elapsedMs(StartTick, tick);
    ++CaptureCount;
    setNotice(Refused, {});
    showTime(elapsed);
    ListTimes->addItem(timeLine(CaptureCount, Label10->text().trimmed()));
    ListTimes->setCurrentRow(ListTimes->count() - 1);
    unsaved_ = true;
    record(journal::capture(CaptureCount, elapsed));
}

void FrmTimer::CmdCheckTime_Click() {
    if (!TimerRunning) {
        reminder(kNotRunning);
        return;
    }
    showTime(elapsedMs(StartTick, platform_.clock.tickCount()));
    Label9->hide();
    CmdTime->setFocus();
}

void FrmTimer::CmdDelete_Click() {
    if (TimerRunning) {
        tell(QStringLiteral("Timer is running, stop timer to edit times."));
        return;
    }
    const int row = ListTimes->currentRow();
    if (row < 0 || !ListTimes->item(row)->isSelected()) {
        reminder(QStringLiteral("Time not selected, select which time to delete."));
        return;
    }
    const QStringList renumbered = [&] {
        QStringList remaining = lines();
        remaining.removeAt(row);
        return renumberedTimes(remaining);
    }();
    delete ListTimes->takeItem(row);
    for (int i = 0; i < ListTimes->count(); ++i)
        ListTimes->item(i)->setText(renumbered[i]);
    ListTimes->setCurrentRow(-1);
    unsaved_ = true;
    record(journal::remove(row + 1));
}

void FrmTimer::CmdClear_Click() {
    if (TimerRunning) {
        tell(kStopFirst);
        return;
    }
    if (platform_.dialogs.message(QStringLiteral("Should ALL times be DELETED?"),
                                  QStringLiteral("Confirm"), Buttons::YesNo,
                                  Answer::Yes) != Answer::Yes)
        return;
    ListTimes->clear();
    Label10->setText(QString());
    setNotice(SaveFailed, {}); // nothing is left that was not saved
    record(journal::clear());
}

bool FrmTimer::SaveTimes() {
    const QByteArray content = timesFileContent(lines());
    if (!writePrimary(platform_, TimesFile, content, RetryPause::FromRoundedSecond)) {
        reportSaveFailure(QStringLiteral("Error!  The times were NOT saved.") + CR + CR +
                          QStringLiteral("Could not write: ") + TimesFile + CR + CR +
                          QStringLiteral("The times are still in the list.  Check the disk or "
                                         "folder, then save again."));
        return false;
    }
    unsaved_ = false;
    // The save stands in for the boxes of earlier failed saves, and protects what was not.
    saveBoxes_.clear();
    setNotice(SaveFailed, {});
    record(journal::save(ListTimes->count()));
    setNotice(Unprotected, {}); // until the next time that cannot be protected
    if (!secondaryIsNoPath(state_.SecondaryPath)) {
        const QString failed =
            copyToSecondary(platform_.files, TimesFile, SecondaryTimesFile, content);
        if (!failed.isEmpty())
            reportSaveFailure(failed);
    }
    return true;
}

void FrmTimer::CmdSaveCurrentTimes_Click() {
    if (SaveTimes())
        Label9->show();
}

void FrmTimer::CmdSave_Click() {
    if (TimerRunning) {
        tell(kStopFirst);
        return;
    }
    const int count = ListTimes->count();
    if (!keepOlderVersionOrReport(platform_, TimesFile) || !SaveTimes())
        return; // the window stays open with every time still in the list
    if (count < 1) {
        platform_.dialogs.message(QStringLiteral("No times saved."), QStringLiteral("Note"));
    } else {
        reminder(QStringLiteral("File of times saved as: ") + CR + CR + QStringLiteral("   ") +
                 TimesFile + QStringLiteral(".") + CR + CR + CR +
                 QStringLiteral("OLDER versions of times for THIS EVENT have a letter A,B,C... "
                                "appended to the file name"));
    }
    if (journal_)
        journal_->setAside(); // everything in it is in the times file now
    closeFromCode();
}

bool FrmTimer::onCloseBox() {
    if (TimerRunning) { // the race goes on: stop the clock first, as for a save and exit
        tell(kStopFirst);
        return false;
    }
    if (!unsaved_)
        return true;
    if (platform_.dialogs.message(
            QStringLiteral("Times captured since the last save will be lost.  Close anyway?"),
            QStringLiteral("Confirm"), Buttons::YesNo, Answer::No) != Answer::Yes)
        return false;
    // The operator chose to drop them: the next opening is the ordinary one, not a
    // restore (the journal stays in the recovery folder).
    if (journal_)
        journal_->setAside();
    return true;
}

bool FrmTimer::eventFilter(QObject* watched, QEvent* event) {
    // Every press is a finisher: the second press of a quick double click comes as a double
    // click, a tap on a touch screen and a pen as a press of their own.
    if (watched == CmdTime && (event->type() == QEvent::MouseButtonPress ||
                               event->type() == QEvent::MouseButtonDblClick)) {
        const bool wasRunning = TimerRunning;
        CmdTime_MouseDown(static_cast<QMouseEvent*>(event)->timestamp());
        // After a message box the press must not leave the button held down.
        if (!wasRunning) {
            CmdTime->setDown(false);
            return true;
        }
    }
    return ModalWindow::eventFilter(watched, event);
}

bool FrmTimer::keyPreview(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space)
        return false;
    if (event->type() == QEvent::KeyRelease) {
        spaceBar_.released(event->isAutoRepeat(), event->timestamp());
        return false;
    }
    if (event->text() != QLatin1String(" "))
        return false;
    // A space bar held down, or a foot switch that sticks, repeats: one press, one time.
    if (!spaceBar_.isNewPress(event->isAutoRepeat(), event->timestamp()))
        return true;
    CmdTime->setFocus();
    CmdTime_MouseDown(event->timestamp());
    return true;
}

} // namespace lm

#pragma once
// FrmTimer, the time capture window: start the race clock, capture one time per finisher
// (mouse-down on the capture button or the space bar), check the clock, delete an extra
// time, clear, save while the race goes on, and save and leave.

#include "platform/input_times.h"
#include "platform/ui.h"

#include <cstdint>
#include <memory>

class QLabel;
class QListWidget;
class QPushButton;

namespace lm {

struct AppState;
struct JournalState;

class FrmTimer : public ModalWindow {
    Q_OBJECT
  public:
    FrmTimer(AppState& state, Platform& platform, QWidget* parent = nullptr);
    ~FrmTimer() override;

    // The load steps: file names, the earlier times of the event, the reminder.  Runs
    // before the window is first shown.
    void load();
    // load(), then the window modally until it closes.
    int run();

    bool timerRunning() const { return TimerRunning; }
    QStringList lines() const;
    QString secondaryTimesFile() const { return SecondaryTimesFile; }

    void CmdStart_Click();
    void CmdStop_Click();
    // `timestamp`: the input event's own time stamp (0: none).
    void CmdTime_MouseDown(quint64 timestamp = 0);
    void CmdCheckTime_Click();
    void CmdDelete_Click();
    void CmdClear_Click();
    void CmdSaveCurrentTimes_Click();
    void CmdSave_Click();

  protected:
    bool onCloseBox() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool keyPreview(QKeyEvent* event);
    void showTime(std::int64_t elapsed);
    // Writes the times file and its secondary copy; false (after telling the operator)
    // when the primary file could not be written.
    bool SaveTimes();
    void reminder(const QString& prompt);
    // Takes the journal of the times file and offers what it holds beyond the last save.
    void openJournal();
    // `takenOver`: from another computer, whose ticks mean nothing here.
    void restore(const JournalState& found, bool takenOver);
    void runOn(std::uint32_t startTick, int captureCount);
    // Appends to the journal; the first record that cannot be written is reported once.
    void record(const QByteArray& records);

    // A box would take the next press at the finish line: while the clock runs, what the
    // operator must know is shown in the window instead, and a box that must still be
    // seen waits until the clock is stopped.
    // Shown in this order, the most pressing first.
    enum NoticeKind { SaveFailed, Unprotected, ClockFromTimeOfDay, Refused, NoticeKinds };
    void setNotice(NoticeKind kind, const QString& text);
    // A refusal or a message: a box while the clock is stopped, a notice while it runs.
    void tell(const QString& text);
    // A failed save or copy: its notice until the next save succeeds, and its box now, or
    // once the clock is stopped.
    void reportSaveFailure(const QString& text);

    AppState& state_;
    Platform& platform_;

    std::uint32_t StartTick = 0;
    std::uint32_t notBefore_ = 0; // presses stamped earlier count from the end of the display
    bool TimerRunning = false;
    int CaptureCount = 0;
    bool unsaved_ = false; // times captured or deleted since the last save
    QString TimesFile;
    QString SecondaryTimesFile;
    std::unique_ptr<Journal> journal_;
    bool journalWarned_ = false;
    QString notices_[NoticeKinds];
    QStringList saveBoxes_; // of failed saves and copies since the last good save
    QString journalBox_;
    KeyRepeats spaceBar_;

    QPushButton* CmdStart;
    QPushButton* CmdStop;
    QLabel* Label2;
    QLabel* Label10;
    QPushButton* CmdCheckTime;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* CmdTime;
    QListWidget* ListTimes;
    QPushButton* CmdClear;
    QPushButton* CmdSaveCurrentTimes;
    QLabel* Label9;
    QPushButton* CmdSave;
    QPushButton* CmdDelete;
    QLabel* Notice;
};

} // namespace lm

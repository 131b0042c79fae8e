#pragma once
// FrmTimer, the time capture window: start the race clock, capture one time per finisher
// (mouse-down on the capture button or the space bar), check the clock, delete an extra
// time, clear, save while the race goes on, and save and leave.

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
    void restore(const JournalState& found);
    // Appends to the journal; the first record that cannot be written is reported once.
    void record(const QByteArray& records);

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
    // The space bar, to tell its repeats from presses: down since the stamp of its last press
    // or repeat, or released at that of its last release.
    bool spaceDown_ = false;
    quint64 spacePressed_ = 0;
    quint64 spaceReleased_ = 0;

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
    QLabel* Unprotected;
};

} // namespace lm

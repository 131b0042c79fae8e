#pragma once
// Form1, the main window and hub: the event number and name that name the saved files,
// the two paths, and the buttons that open every other window modally.  Its load step is
// the program's start-up.

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lm {

struct AppState;
struct Platform;
class ModalWindow;
class Upgrader;

class Form1 : public QWidget {
    Q_OBJECT
  public:
    // `upgradeKey`: the maker's public key that every upgrade package must be signed with.
    Form1(AppState& state, Platform& platform, const QUrl& upgradeServer,
          const QString& upgradeKey = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence.  False when the upgrade check is ending the program.
    bool load(const QString& appPath);

    // Shows a loaded window modally; tests replace it to look at the window instead.
    std::function<int(ModalWindow&)> showModal;

    bool manualUpgrade() const { return ManualUpgrade; }

    void Command1_Click();
    void CmdBibNumbers_Click();
    void CmdPath_Click();
    void CmdDirections_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Shown: an updater waiting for this program's window may stop waiting.
    void showEvent(QShowEvent* event) override;

  private:
    bool keyPreview(QKeyEvent* event);
    bool characterFilter(QKeyEvent* event);
    bool maintenanceChord(QKeyEvent* event);
    // The checks before a working window opens; false when one of them refused.
    bool readyToOpen();
    void refreshPaths();
    void reminder(const QString& prompt);

    AppState& state_;
    Platform& platform_;
    std::unique_ptr<Upgrader> upgrader_;
    bool ManualUpgrade = false;

    QComboBox* Comboevent;
    QLineEdit* Text1;
    QLabel* Label6;
    QLabel* Label9;
    QPushButton* CmdPath;
};

} // namespace lm

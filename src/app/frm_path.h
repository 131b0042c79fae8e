#pragma once
// FrmPath, the path settings window: shows the fixed primary path and lets the operator
// choose the secondary folder, or declare that there is none.  Leaving by "Exit" (or
// Escape) commits the choice and stores it; the close box discards it.

#include "platform/ui.h"

class QLabel;

namespace lm {

struct AppState;

// The folder part of a chosen file name: everything up to and including the last
// separator; a name without a separator is kept whole.
QString folderOfChosenFile(const QString& chosenFile);

class FrmPath : public ModalWindow {
    Q_OBJECT
  public:
    FrmPath(AppState& state, Platform& platform, QWidget* parent = nullptr);

    void load();
    void CmdSecondaryPath_Click();
    void CmdNoPath_Click();
    void CmdExit_Click();

  protected:
    void onEscape() override { CmdExit_Click(); }

  private:
    AppState& state_;
    Platform& platform_;
    QLabel* Label4;
    QLabel* Label6;
};

} // namespace lm

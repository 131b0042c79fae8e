#pragma once
// FrmBibNumbers, the bib entry window: bib numbers typed (or scanned) in finish order,
// each confirmed with ENTER, land on the next free place; places can be corrected,
// inserted, deleted and cleared; the bibs file is rewritten after every entry.

#include "platform/ui.h"

class QLabel;
class QLineEdit;
class QListView;

namespace lm {

struct AppState;
class FinishOrderList;

class FrmBibNumbers : public ModalWindow {
    Q_OBJECT
  public:
    FrmBibNumbers(AppState& state, Platform& platform, QWidget* parent = nullptr);

    void load();
    int run();

    FinishOrderList& list() { return *list_; }
    // Index of the selected line, -1 when none is selected.
    int selectedIndex() const;
    void selectLine(int index);

    // ENTER in the bib box.
    void enterBib();
    // Selects the first free place at or after `place`, shows it in the place box and
    // returns it.
    int PositiononList(int place);

    void CmdSaveCurrent_Click();
    void CmdExit_Click();
    void CmdInsert_Click();
    void CmdDelete_Click();
    void CmdClear_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void List1_Click();
    // Writes places 1 to `last` crash-safely; false (after telling the operator) when the
    // file could not be written.
    bool writeBibs(int last);
    bool SaveBibs();
    void reminder(const QString& prompt);
    QString selectedLine() const;
    int targetPlace() const;
    void afterEdit(int place);

    AppState& state_;
    Platform& platform_;
    FinishOrderList* list_;
    bool Loading = false;
    QString BibsFile;
    QString SecondaryBibsFile;

    QLineEdit* TxtPlace;
    QLineEdit* TxtBib;
    QListView* List1;
    QLabel* Label6;
    QLabel* Label9;
};

} // namespace lm

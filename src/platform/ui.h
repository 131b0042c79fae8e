#pragma once
// Small helpers over Qt Widgets shared by every window: the fonts and colours of the
// original screens, the window-wide key preview, and a modal window whose Escape key and
// close box each get their own meaning.

#include "platform.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QPushButton>
#include <QString>

#include <functional>

class QKeyEvent;
class QLabel;

namespace lm {

QFont uiFont(double pointSize = 8.25, bool bold = false, bool italic = false);
QFont fixedFont(double pointSize, bool bold);
void setBackColor(QWidget* w, const QColor& color);
void setTextColor(QWidget* w, const QColor& color);
// A word-wrapped label placed at x, y with the given size.
QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text, int x, int y, int w,
                  int h);

// A push button whose caption wraps within the button, as the captions of the original
// screens do; text() stays the caption as written.
class WrapButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption, int x,
                        int y, int w, int h, const QColor& backColor = QColor());

// Lets `window` see every key press typed into any of its controls before that control
// does, and with `releases` every release too.  The handler returns true to swallow the
// key.  Each key is offered once, to the window of the control that has the focus.
void installKeyPreview(QWidget* window, std::function<bool(QKeyEvent*)> handler,
                       bool releases = false);

class ModalWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ModalWindow(QWidget* parent, int clientWidth, int clientHeight);

    // Escape: by default nothing (windows without a cancel button).
    void reject() override;
    // Closes the window the way its own code does, without the close-box question.
    void closeFromCode();

  protected:
    virtual void onEscape() {}
    // The title bar's close box: return false to keep the window open.
    virtual bool onCloseBox() { return true; }
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool closingFromCode_ = false;
};

} // namespace lm

#include "ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace lm {

QFont uiFont(double pointSize, bool bold, bool italic) {
#ifdef Q_OS_WIN
    // Microsoft Sans Serif is the TrueType twin of the bitmap MS Sans Serif: the same
    // letters, at every size (the bitmap font has six) and on the denser screens of newer
    // laptops.  Tahoma, its sibling, stands in where it is missing.
    QFont f(QStringLiteral("Microsoft Sans Serif"));
    f.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma")});
#else
    QFont f(QStringLiteral("Liberation Sans"));
#endif
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QFont fixedFont(double pointSize, bool bold) {
    QFont f(QStringLiteral("Courier New"));
    f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

void setBackColor(QWidget* w, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(QPalette::Button, color);
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::ButtonText, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColor(QWidget* w, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text, int x, int y, int w,
                  int h) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setGeometry(x, y, w, h);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    const QRect area = rect().adjusted(3, 2, -3, -2);
    p.setFont(font());
    style()->drawItemText(&p, area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic,
                          palette(), isEnabled(), caption, QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption, int x,
                        int y, int w, int h, const QColor& backColor) {
    auto* button = new WrapButton(caption, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setGeometry(x, y, w, h);
    button->setAutoDefault(false);
    if (backColor.isValid())
        setBackColor(button, backColor);
    return button;
}

namespace {

class KeyPreviewFilter : public QObject {
  public:
    KeyPreviewFilter(QWidget* window, std::function<bool(QKeyEvent*)> handler, bool releases)
        : QObject(window), window_(window), handler_(std::move(handler)), releases_(releases) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded) {
            auto* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType())
                watch(child);
            return false;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride &&
            (event->type() != QEvent::KeyRelease || !releases_))
            return false;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w->window() != window_)
            return false;
        // A key that the focused control leaves unhandled travels on to its parents;
        // offer it to the window only where it first arrives.
        QWidget* focus = window_->focusWidget();
        if (focus ? focus != w : w != window_)
            return false;
        if (event->type() == QEvent::ShortcutOverride)
            return false;
        return handler_(static_cast<QKeyEvent*>(event));
    }

    void watch(QObject* o) {
        o->installEventFilter(this);
        const auto children = o->findChildren<QWidget*>();
        for (QWidget* c : children)
            c->installEventFilter(this);
    }

  private:
    QWidget* window_;
    std::function<bool(QKeyEvent*)> handler_;
    bool releases_;
};

} // namespace

void installKeyPreview(QWidget* window, std::function<bool(QKeyEvent*)> handler, bool releases) {
    auto* filter = new KeyPreviewFilter(window, std::move(handler), releases);
    filter->watch(window);
}

ModalWindow::ModalWindow(QWidget* parent, int clientWidth, int clientHeight) : QDialog(parent) {
    setModal(true);
    setFixedSize(clientWidth, clientHeight);
    setFont(uiFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
}

void ModalWindow::reject() {
    if (closingFromCode_) {
        QDialog::reject();
        return;
    }
    onEscape();
}

void ModalWindow::closeFromCode() {
    closingFromCode_ = true;
    done(QDialog::Accepted);
}

void ModalWindow::closeEvent(QCloseEvent* event) {
    if (closingFromCode_ || !isVisible()) {
        event->accept();
        return;
    }
    if (!onCloseBox()) {
        event->ignore();
        return;
    }
    closingFromCode_ = true;
    done(QDialog::Rejected);
    event->accept();
}

void ModalWindow::showEvent(QShowEvent* event) {
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    QDialog::showEvent(event);
}

} // namespace lm

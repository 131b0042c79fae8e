#include "qt_platform.h"

#include "input_times.h"
#include "paths.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>

namespace lm {

// ---------------------------------------------------------------- dialogs
Answer QtDialogs::message(const QString& prompt, const QString& title, Buttons buttons,
                          Answer defaultButton, Icon icon) {
    QString text = prompt;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon == Icon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, title, text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::chooseSaveFile(const QString& proposedName) {
    // The chooser only names a folder; the default options already ask before an
    // existing file would be replaced, and nothing is ever written to the chosen name.
    const QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(), proposedName);
    if (chosen.isEmpty())
        return std::nullopt;
    return nativePath(chosen);
}

namespace {

class QtProgress : public Progress {
  public:
    explicit QtProgress(const QString& label)
        : label_(label),
          dialog_(label, QStringLiteral("Cancel"), 0, 0, QApplication::activeWindow()) {
        dialog_.setWindowTitle(QStringLiteral("Lapmark"));
        dialog_.setWindowModality(Qt::ApplicationModal); // the other windows wait
        dialog_.setMinimumDuration(0);
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
        dialog_.setMinimumWidth(360);
        dialog_.setValue(0);
    }
    bool update(qint64 done, qint64 total) override {
        const auto kb = [](qint64 n) { return QLocale::system().toString((n + 1023) / 1024); };
        QString text = label_ + QLatin1Char('\n') + kb(done) + QStringLiteral(" KB");
        if (total > 0) {
            text += QStringLiteral(" of ") + kb(total) + QStringLiteral(" KB");
            dialog_.setMaximum(1000);
            dialog_.setValue(static_cast<int>(1000 * std::min(done, total) / total));
        }
        dialog_.setLabelText(text);
        return !dialog_.wasCanceled();
    }

  private:
    QString label_;
    QProgressDialog dialog_;
};

} // namespace

std::unique_ptr<Progress> QtDialogs::progress(const QString& label) {
    return std::make_unique<QtProgress>(label);
}

// ---------------------------------------------------------------- session
void QtSession::processEvents() {
    QCoreApplication::processEvents();
}

void QtSession::setWaitCursor(bool wait) {
    if (wait == waitCursor_)
        return;
    waitCursor_ = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtSession::closeAllWindows() {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close())
            modal->hide();
    }
    QApplication::closeAllWindows();
}

QString QtSession::programFile() {
    return nativePath(QCoreApplication::applicationFilePath());
}

KeyRepeatRules QtSession::keyRepeatRules() {
    return keyRepeatRulesOf(QGuiApplication::platformName());
}

bool QtSession::startDetached(const QString& program) {
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

void QtSession::quit() {
    QCoreApplication::exit(0);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

#ifndef Q_OS_WIN
SystemClock::EventTicks pressTicks() {
    // X11 servers and Wayland compositors stamp input events with the milliseconds of the
    // monotonic clock, which stands still while the computer sleeps; the tick counter goes on
    // counting then, so a stamp is moved by the time slept so far.
    const QString system = QGuiApplication::platformName();
    if (system == QLatin1String("xcb") || system.startsWith(QLatin1String("wayland"))) {
        return [](quint64 stamp) {
#ifdef CLOCK_BOOTTIME
            stamp += quint64(clockMs(CLOCK_BOOTTIME) - clockMs(CLOCK_MONOTONIC));
#endif
            return std::optional<std::uint32_t>(std::uint32_t(stamp));
        };
    }
    return {};
}
#endif

RealPlatform::RealPlatform()
    : clock_(pressTicks()), platform_{dialogs_, clock_, files_, http_, archives_, session_} {
    // The Fusion style draws the button colours of the windows on every system (the
    // native Windows style would drop them).
    QApplication::setStyle(QStringLiteral("Fusion"));
}

} // namespace lm

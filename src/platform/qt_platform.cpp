#include "qt_platform.h"

#include <QApplication>
#include <QDate>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace lm {

QString shortDatePattern(const QLocale& locale) {
    if (locale.language() == QLocale::C || locale.name() == QLatin1String("C"))
        return QStringLiteral("M/d/yyyy");
    return locale.dateFormat(QLocale::ShortFormat);
}

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
    return chosen;
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

// ---------------------------------------------------------------- clocks
std::uint32_t SystemClock::tickCount() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
    return static_cast<std::uint32_t>(ms);
}

double SystemClock::secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

QString SystemClock::shortDateText() {
    return QLocale::system().toString(QDate::currentDate(), shortDatePattern(QLocale::system()));
}

void SystemClock::sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

QString SystemClock::bootId() {
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).trimmed();
}

std::optional<std::uint32_t> SystemClock::eventTick(quint64 timestamp) {
    // X11 servers and Wayland compositors stamp input events with the milliseconds of the
    // monotonic clock, truncated to 32 bits: the very clock of tickCount().
    const QString system = QGuiApplication::platformName();
    if (timestamp == 0 || !(system == QLatin1String("xcb") || system.startsWith("wayland")))
        return std::nullopt;
    return static_cast<std::uint32_t>(timestamp);
}

// ---------------------------------------------------------------- HTTP
QtHttp::QtHttp(int silenceMs) : silenceMs_(silenceMs) {}
QtHttp::~QtHttp() = default;

std::optional<QByteArray> QtHttp::fetch(const QUrl& url, const FetchOptions& options) {
    if (!manager_)
        manager_ = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // Only silence counts: a large package on a slow link may take minutes to arrive.
    request.setTransferTimeout(silenceMs_);
    QPointer<QNetworkReply> reply = manager_->get(request);
    bool refused = false; // too large, or cancelled by the operator
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [&, r = reply.data()](qint64 received, qint64 total) {
                         if (refused)
                             return;
                         if (received > options.maxBytes || total > options.maxBytes ||
                             (options.progress && !options.progress->update(received, total))) {
                             refused = true;
                             r->abort();
                         }
                     });
    if (!reply->isFinished()) {
        // With a progress window the operator may press its Cancel button; the window is
        // modal, so no other window takes input meanwhile.
        loop.exec(options.progress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    }
    std::optional<QByteArray> body;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!refused && reply->error() == QNetworkReply::NoError && status < 400)
        body = reply->readAll();
    reply->deleteLater();
    return body;
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

bool QtSession::startDetached(const QString& program) {
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

void QtSession::quit() {
    QCoreApplication::exit(0);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

RealPlatform::RealPlatform() : platform_{dialogs_, clock_, files_, http_, archives_, session_} {}

} // namespace lm

#include "system.h"

#include <QDate>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTime>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <ctime>
#endif

namespace lm {

QString shortDatePattern(const QLocale& locale) {
    if (locale.language() == QLocale::C || locale.name() == QLatin1String("C"))
        return QStringLiteral("M/d/yyyy");
    return locale.dateFormat(QLocale::ShortFormat);
}

// ---------------------------------------------------------------- clocks
std::uint32_t SystemClock::tickCount() {
#ifdef Q_OS_WIN
    return ::GetTickCount();
#else
    // The tick counter goes on while the computer sleeps, as Windows' does: a lid closed
    // for two minutes must not make every later time two minutes short.
#ifdef CLOCK_BOOTTIME
    return static_cast<std::uint32_t>(clockMs(CLOCK_BOOTTIME));
#else
    return static_cast<std::uint32_t>(clockMs(CLOCK_MONOTONIC));
#endif
#endif
}

#ifndef Q_OS_WIN
std::int64_t clockMs(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}
#endif

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
#ifdef Q_OS_WIN
    // Windows counts its starts: the count stays through sleep, hibernation and a fast
    // start-up (which the tick counter counts on through), and a change of the clock, by
    // hand or by a time sync on joining the venue's network, cannot alter it.
    DWORD boots = 0;
    DWORD size = sizeof boots;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory "
                       L"Management\\PrefetchParameters",
                       L"BootId", RRF_RT_REG_DWORD, nullptr, &boots, &size) == ERROR_SUCCESS)
        return QStringLiteral("boot-") + QString::number(boots);
    // Where it is not kept: the moment the tick counter started, in whole minutes.
    const qint64 startedMs =
        QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(::GetTickCount64());
    return QStringLiteral("started-") + QString::number((startedMs + 30'000) / 60'000);
#else
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).trimmed();
#endif
}

std::optional<std::uint32_t> SystemClock::eventTick(quint64 timestamp) {
    if (timestamp == 0 || !eventTicks_)
        return std::nullopt;
    return eventTicks_(timestamp);
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

} // namespace lm

#include "system.h"

#include <QDate>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSysInfo>
#include <QThread>
#include <QTime>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <ctime>
#endif
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

#include <algorithm>

namespace lm {

QString shortDatePattern(const QLocale& locale) {
    if (locale.language() == QLocale::C || locale.name() == QLatin1String("C"))
        return QStringLiteral("M/d/yyyy");
    return locale.dateFormat(QLocale::ShortFormat);
}

// ---------------------------------------------------------------- clocks
QDateTime Clock::localNow() {
    return QDateTime::currentDateTime();
}

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

QString SystemClock::tickKind() {
#ifdef Q_OS_WIN
    return QStringLiteral("GetTickCount");
#elif defined(CLOCK_BOOTTIME)
    return QStringLiteral("CLOCK_BOOTTIME");
#else
    return QStringLiteral("CLOCK_MONOTONIC");
#endif
}

QString SystemClock::unnamedTickKind() {
#ifdef Q_OS_WIN
    return QStringLiteral("GetTickCount");
#else
    return {}; // earlier versions counted on CLOCK_MONOTONIC, later ones on CLOCK_BOOTTIME
#endif
}

std::int64_t SystemClock::utcMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString SystemClock::computerName() {
    return QSysInfo::machineHostName();
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

namespace {

// The most the network layer holds before the body is read out of it.
constexpr qint64 kReadChunk = 1 << 20;

// A buffer for `size` bytes of body.  On Linux its pages are asked to be large ones: a 50 MB
// package otherwise costs 12,800 page faults, which on a virtual machine take longer than
// the transfer itself.
QByteArray bodyBuffer(qint64 size) {
    QByteArray buffer(size, Qt::Uninitialized);
#ifdef Q_OS_LINUX
    const auto begin = (quintptr(buffer.data()) + 4095) & ~quintptr(4095);
    const auto end = (quintptr(buffer.data()) + quintptr(size)) & ~quintptr(4095);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
    return buffer;
}

} // namespace

std::optional<QByteArray> QtHttp::fetch(const QUrl& url, const FetchOptions& options) {
    if (!manager_)
        manager_ = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // The body as sent, so that the announced length is the length that must arrive.
    request.setRawHeader("Accept-Encoding", "identity");
    // Only silence counts: a large package on a slow link may take minutes to arrive.
    request.setTransferTimeout(silenceMs_);
    QPointer<QNetworkReply> reply = manager_->get(request);
    reply->setReadBufferSize(kReadChunk);

    // The body goes straight into one buffer, sized by the announced length when there is
    // one, so a package costs its own size and one chunk.
    QByteArray body;
    qint64 received = 0;
    qint64 announced = -1;
    bool started = false;
    bool refused = false; // too large, or cancelled by the operator
    const auto refuse = [&] {
        refused = true;
        reply->abort();
    };
    const auto take = [&] {
        if (refused)
            return;
        if (!started) {
            started = true;
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            announced = length.isValid() ? length.toLongLong() : -1;
            if (announced > options.maxBytes)
                return refuse();
            body = bodyBuffer(announced >= 0 ? announced : kReadChunk);
        }
        for (qint64 available; (available = reply->bytesAvailable()) > 0;) {
            if (received + available > options.maxBytes)
                return refuse();
            if (received + available > body.size())
                body.resize(std::max(received + available, 2 * body.size()));
            const qint64 n = reply->read(body.data() + received, available);
            if (n <= 0)
                break;
            received += n;
        }
        if (options.progress && !options.progress->update(received, announced))
            refuse();
    };
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);
    if (!reply->isFinished()) {
        // With a progress window the operator may press its Cancel button; the window is
        // modal, so no other window takes input meanwhile.
        loop.exec(options.progress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = !refused && reply->error() == QNetworkReply::NoError && status < 400;
    if (ok)
        take(); // what arrived with the end; it may still be refused
    reply->deleteLater();
    if (!ok || refused || (announced >= 0 && received != announced))
        return std::nullopt;
    body.truncate(received);
    return body;
}

} // namespace lm

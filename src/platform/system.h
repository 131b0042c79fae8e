#pragma once
// The real clocks, HTTP (Qt Network) and zip archives (libarchive): the parts of the
// platform that need no display.

#include "platform.h"

#include <QLocale>

#ifndef Q_OS_WIN
#include <ctime>
#endif

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace lm {

// Short date pattern of `locale`; a C or POSIX locale has no such setting of its own and
// gets M/d/yyyy.
QString shortDatePattern(const QLocale& locale);

#ifndef Q_OS_WIN
// Milliseconds on one of the system's clocks (CLOCK_MONOTONIC, CLOCK_BOOTTIME).
std::int64_t clockMs(clockid_t clock);
#endif

class SystemClock : public Clock {
  public:
    // Leads an input event's time stamp back to the tick count of the press; empty where
    // the windowing system gives no such stamp.
    using EventTicks = std::function<std::optional<std::uint32_t>(quint64 timestamp)>;
    explicit SystemClock(EventTicks eventTicks = {}) : eventTicks_(std::move(eventTicks)) {}
    std::uint32_t tickCount() override;
    double secondsSinceMidnight() override;
    QString shortDateText() override;
    void sleepMs(int ms) override;
    QString bootId() override;
    std::optional<std::uint32_t> eventTick(quint64 timestamp) override;
    QString tickKind() override;
    QString unnamedTickKind() override;
    std::int64_t utcMs() override;
    QString computerName() override;

  private:
    EventTicks eventTicks_;
};

class QtHttp : public Http {
  public:
    // `silenceMs`: a fetch fails when no byte arrives for that long.
    explicit QtHttp(int silenceMs = 4000);
    ~QtHttp() override;
    using Http::fetch;
    std::optional<QByteArray> fetch(const QUrl& url, const FetchOptions& options) override;

  private:
    int silenceMs_;
    std::unique_ptr<QNetworkAccessManager> manager_;
};

class ZipArchives : public Archives {
  public:
    explicit ZipArchives(FileSystem& files) : files_(files) {}
    int extractFlat(const QByteArray& archive, const QString& folder,
                    const ExtractLimits& limits = {}) override;

  private:
    FileSystem& files_;
};

// Base name of an archive entry, with "/" and "\" both taken as separators; empty when
// the entry must not be written (no name, ".", "..").
QString safeEntryName(const QString& entryPath);

} // namespace lm

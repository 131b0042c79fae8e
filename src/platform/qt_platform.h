#pragma once
// The real Platform: Qt message boxes and file chooser, the system clocks, Qt Network,
// libarchive and the running QApplication.

#include "platform.h"

#include <QLocale>

#include <memory>

class QNetworkAccessManager;

namespace lm {

// Short date pattern of `locale`; a C or POSIX locale has no such setting of its own and
// gets M/d/yyyy.
QString shortDatePattern(const QLocale& locale);

class QtDialogs : public Dialogs {
  public:
    Answer message(const QString& prompt, const QString& title, Buttons buttons,
                   Answer defaultButton, Icon icon) override;
    std::optional<QString> chooseSaveFile(const QString& proposedName) override;
    std::unique_ptr<Progress> progress(const QString& label) override;
};

class SystemClock : public Clock {
  public:
    std::uint32_t tickCount() override;
    double secondsSinceMidnight() override;
    QString shortDateText() override;
    void sleepMs(int ms) override;
    QString bootId() override;
    std::optional<std::uint32_t> eventTick(quint64 timestamp) override;
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
    int extractFlat(const QString& archive, const QString& folder,
                    const ExtractLimits& limits = {}) override;

  private:
    FileSystem& files_;
};

// Base name of an archive entry, with "/" and "\" both taken as separators; empty when
// the entry must not be written (no name, ".", "..").
QString safeEntryName(const QString& entryPath);

class QtSession : public Session {
  public:
    void processEvents() override;
    void setWaitCursor(bool wait) override;
    void closeAllWindows() override;
    bool startDetached(const QString& program) override;
    void quit() override;

  private:
    bool waitCursor_ = false;
};

// Owns one of each real part and hands them out as a Platform.
class RealPlatform {
  public:
    RealPlatform();
    Platform& platform() { return platform_; }

  private:
    QtDialogs dialogs_;
    SystemClock clock_;
    FileSystem files_;
    QtHttp http_;
    ZipArchives archives_{files_};
    QtSession session_;
    Platform platform_;
};

} // namespace lm

#pragma once
// The self-upgrade: compare the version offered by the upgrade server with our own,
// download and unpack the package into the upgrade folder, and hand over to the updater.

#include <QString>
#include <QUrl>

namespace lm {

struct AppState;
struct Platform;

inline const QString kVersionPath = QStringLiteral("/korvel/pdtimerupgrade/pdtimerversion.txt");
inline const QString kPackagePath = QStringLiteral("/korvel/pdtimerupgrade/pdtimerupgrade.zip");
inline const QString kPackageName = QStringLiteral("pdtimerupgrade.zip");
inline const QString kUpdaterName = QStringLiteral("upgradetimer.exe");
inline const QString kNewProgramName = QStringLiteral("LAPMARK.exe");

// True when the server's version text names a higher number than ours (compared as
// numbers: 1.2 is higher than 1.12, 1.120 equals it).
bool isNewerVersion(const QString& ours, const QString& offered);

enum class UpgradeResult { Returned, ProgramEnding };

class Upgrader {
  public:
    // `server` is the scheme, host and port of the upgrade server.
    Upgrader(AppState& state, Platform& platform, QUrl server);

    // Online mode: fetch the version, ask, download, unpack, hand over.  Manual mode:
    // install the package that the operator placed in the upgrade folder.
    UpgradeResult CheckVersion(bool manualUpgrade);
    // Downloads the package into the upgrade folder only, ignoring every error.
    void DownloadPackage();

    const QString& availableVersionText() const { return AvailableVersionText; }

  private:
    QString upgradeFolder() const;
    QString inAppFolder(const QString& name) const;
    QUrl serverUrl(const QString& path) const;
    void emptyUpgradeFolder();
    void fetchVersion();

    AppState& state_;
    Platform& platform_;
    QUrl server_;
    QString AvailableVersionText;
};

} // namespace lm

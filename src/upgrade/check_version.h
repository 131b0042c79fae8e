#pragma once
// The self-upgrade: compare the version offered by the upgrade server with our own,
// download the package and its signature into the upgrade folder, check that the maker
// signed it for that version, unpack it and hand over to the updater.

#include <QString>
#include <QUrl>

#include <optional>

namespace lm {

struct AppState;
struct Platform;

inline const QString kVersionPath = QStringLiteral("/korvel/pdtimerupgrade/pdtimerversion.txt");
inline const QString kPackagePath = QStringLiteral("/korvel/pdtimerupgrade/pdtimerupgrade.zip");
inline const QString kPackageName = QStringLiteral("pdtimerupgrade.zip");
// The minisign signature, beside the package on the server and in the upgrade folder.
inline const QString kSignatureSuffix = QStringLiteral(".minisig");
inline const QString kUpdaterName = QStringLiteral("upgradetimer.exe");
inline const QString kNewProgramName = QStringLiteral("LAPMARK.exe");

// True when the server's version text names a higher number than ours (compared as
// numbers: 1.2 is higher than 1.12, 1.120 equals it).
bool isNewerVersion(const QString& ours, const QString& offered);

enum class UpgradeResult { Returned, ProgramEnding };

class Upgrader {
  public:
    // `server` is the scheme, host and port of the upgrade server; `publicKey` the base64
    // line of the maker's minisign public key (empty: every package is refused).
    Upgrader(AppState& state, Platform& platform, QUrl server, QString publicKey);

    // At start-up, before CheckVersion: tells the operator once of an upgrade that the
    // updater had to take back, and notes whether this program was just put in place.
    void startUp();
    // The main window is shown: the updater waiting for this program may stop waiting.
    void proven();

    // Online mode: fetch the version, ask, download, unpack, hand over.  Manual mode:
    // install the package that the operator placed in the upgrade folder.  A program just
    // put in place by the updater asks nothing (the updater waits for its main window);
    // a version that failed to start here is not offered again.
    UpgradeResult CheckVersion(bool manualUpgrade);
    // Downloads the package and its signature into the upgrade folder only, ignoring
    // every error.
    void DownloadPackage();

    const QString& availableVersionText() const { return AvailableVersionText; }

  private:
    QString upgradeFolder() const;
    QString inAppFolder(const QString& name) const;
    QUrl serverUrl(const QString& path) const;
    void emptyUpgradeFolder();
    void fetchVersion();
    void downloadPackage();
    // The version that the maker's signature of `package` names, when it names the
    // version offered (in the manual mode: any version); nothing when it does not.
    std::optional<QString> signedVersion(const QByteArray& package, const QString& signatureFile,
                                         bool manualUpgrade);
    UpgradeResult failed(const QString& prompt);
    void tidy(const QString& self);
    void log(const QString& line); // to the updater's log

    AppState& state_;
    Platform& platform_;
    QUrl server_;
    QString publicKey_;
    QString AvailableVersionText;
    QString failedVersion_;     // put back by the updater: never offered again
    bool justUpgraded_ = false; // the new version, proving itself
    QByteArray provingText_;    // what the updater wrote to the proving file
};

} // namespace lm

#include "check_version.h"
#include "handover.h"

#include "core/app_state.h"
#include "platform/platform.h"
#include "platform/signature.h"

#include <QDir>
#include <QFileInfo>

namespace lm {

bool isNewerVersion(const QString& ours, const QString& offered) {
    return numericValue(ours) < numericValue(offered);
}

Upgrader::Upgrader(AppState& state, Platform& platform, QUrl server, QString publicKey)
    : state_(state), platform_(platform), server_(std::move(server)),
      publicKey_(std::move(publicKey)) {}

QString Upgrader::upgradeFolder() const {
    return state_.AppPath + QLatin1Char(kPathSeparator) + QStringLiteral("upgrade");
}

QString Upgrader::inAppFolder(const QString& name) const {
    return state_.AppPath + QLatin1Char(kPathSeparator) + name;
}

QUrl Upgrader::serverUrl(const QString& path) const {
    QString base = server_.toString();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + path);
}

void Upgrader::emptyUpgradeFolder() {
    const QString folder = upgradeFolder();
    for (const QString& name : platform_.files.listFiles(folder))
        platform_.files.removeFile(QDir(folder).filePath(name));
}

void Upgrader::fetchVersion() {
    if (const std::optional<QByteArray> body = platform_.http.fetch(serverUrl(kVersionPath)))
        AvailableVersionText = QString::fromLatin1(*body);
}

void Upgrader::downloadPackage() {
    const QString folder = upgradeFolder();
    std::optional<QByteArray> package;
    {
        const std::unique_ptr<Progress> progress =
            platform_.dialogs.progress(QStringLiteral("Downloading the upgrade package..."));
        FetchOptions options;
        options.progress = progress.get();
        package = platform_.http.fetch(serverUrl(kPackagePath), options);
    }
    platform_.session.processEvents();
    platform_.files.writeFilePlain(QDir(folder).filePath(kPackageName),
                                   package.value_or(QByteArray()));
    FetchOptions small;
    small.maxBytes = kMaxSignatureBytes;
    if (const std::optional<QByteArray> signature =
            platform_.http.fetch(serverUrl(kPackagePath + kSignatureSuffix), small))
        platform_.files.writeFilePlain(QDir(folder).filePath(kPackageName + kSignatureSuffix),
                                       *signature);
}

std::optional<QString> Upgrader::signedVersion(const QByteArray& package,
                                               const QString& signatureFile, bool manualUpgrade) {
    if (signatureFile.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> signature =
        platform_.files.readFile(signatureFile, kMaxSignatureBytes);
    if (!signature)
        return std::nullopt;
    const std::optional<QString> comment = verifyMinisign(package, *signature, publicKey_);
    static const QString kVersion = QStringLiteral("version:");
    if (!comment || !comment->startsWith(kVersion))
        return std::nullopt;
    const QString version = comment->mid(kVersion.size());
    // The version offered, as the question named it, without the line break that usually
    // ends a version file; a technician installing by hand may reinstall any version.
    if (manualUpgrade ? version.trimmed().isEmpty() : version != AvailableVersionText.trimmed())
        return std::nullopt;
    return version.trimmed();
}

void Upgrader::startUp() {
    FileSystem& files = platform_.files;
    const QString self = QFileInfo(platform_.session.programFile()).fileName();
    const std::optional<QByteArray> proving = files.readFile(inAppFolder(kProvingFile), 1024);
    const QList<QByteArray> unproven = proving.value_or(QByteArray()).split('\n');
    const QString version = QString::fromLatin1(unproven.value(0).trimmed());
    const QString candidate = QString::fromLatin1(unproven.value(1).trimmed());
    const bool provenThere = unproven.value(2).trimmed() + "\r\n" == kProvenMark;
    const bool ours = proving && numericValue(version) == numericValue(state_.VersionText);
    // An updater of this computer that still runs finishes the hand-over; one named by a lock
    // of another computer (a program folder carried over on a flash drive) does not run.
    const bool updaterRuns = files.lockHeldHere(inAppFolder(kUpdaterLock));
    // Each program acts only on a hand-over that names its own version: the candidate
    // proves itself; the program under the operator's name with that version has already.
    justUpgraded_ = ours && self == candidate && !provenThere;
    if (justUpgraded_)
        provingText_ = *proving;
    if (proving && !updaterRuns && !justUpgraded_) {
        files.removeFile(inAppFolder(kProvingFile));
        if (ours) {
            log(QStringLiteral("Version ") + version +
                QStringLiteral(" is in place; the upgrade is complete."));
        } else if (provenThere) {
            log(QStringLiteral("Version ") + version +
                QStringLiteral(" showed its main window but was not put in place: the upgrade "
                               "will be offered again."));
        } else {
            // Started before it showed its main window, and no updater waits for it any
            // more: the failed version, told once and never offered again.
            files.writeFileAtomic(inAppFolder(kFailedFile), version.toLatin1() + "\r\n");
            log(QStringLiteral("Version ") + state_.VersionText +
                QStringLiteral(" started with no updater running: version ") + version +
                QStringLiteral(" did not prove itself and is taken back."));
        }
    }
    // Not while an updater runs (it has the hand-over in hand), nor while proving.
    if (!updaterRuns && !justUpgraded_)
        tidy(self);
    const std::optional<QByteArray> failed = files.readFile(inAppFolder(kFailedFile), 1024);
    if (!failed)
        return;
    const QList<QByteArray> lines = failed->split('\n');
    failedVersion_ = QString::fromLatin1(lines.value(0)).trimmed();
    if (lines.value(1).trimmed() == "told")
        return;
    platform_.dialogs.message(QStringLiteral("The upgrade to version ") + failedVersion_ +
                                  QStringLiteral(" failed: it did not start on this computer.") +
                                  CR + CR + QStringLiteral("Version ") + state_.VersionText +
                                  QStringLiteral(" was put back, and version ") + failedVersion_ +
                                  QStringLiteral(" will not be offered again."),
                              QStringLiteral("Reminder"));
    files.writeFileAtomic(inAppFolder(kFailedFile), failedVersion_.toLatin1() + "\r\ntold\r\n");
}

void Upgrader::proven() {
    // The updater waiting for this program puts it in place.  A moment's trouble with the
    // file (a virus scanner) must not cost the upgrade, so it is tried again for a second.
    for (int tries = 0; justUpgraded_ && tries < 10; ++tries) {
        if (platform_.files.writeFileAtomic(inAppFolder(kProvingFile), provingText_ + kProvenMark))
            break;
        platform_.clock.sleepMs(100);
    }
    justUpgraded_ = false;
}

void Upgrader::log(const QString& line) {
    platform_.files.appendFile(inAppFolder(kUpdaterLog),
                               upgradeLogLine(platform_.clock.localNow(), line));
}

void Upgrader::tidy(const QString& self) {
    // What an interrupted save or hand-over left, and nothing else: temporary files older
    // than a minute (younger ones may belong to a save under way in another window), the
    // hand-over of an upgrade that ended, and the candidates and previous programs beside
    // the program (one that still runs is removed at a later start).
    FileSystem& files = platform_.files;
    for (const QString& dir : {state_.AppPath, inAppFolder(QStringLiteral("recovery"))})
        files.removeOwnTemporaries(dir, 60'000);
    files.removeFile(inAppFolder(kHandOverFile));
    for (const QString& name : files.listFiles(state_.AppPath)) {
        if (isSideProgramFile(name) && name != self)
            files.removeFile(inAppFolder(name));
    }
}

UpgradeResult Upgrader::failed(const QString& prompt) {
    platform_.session.setWaitCursor(false);
    platform_.dialogs.message(prompt, QStringLiteral("Failed!"), Buttons::Ok, Answer::Ok,
                              Icon::Error);
    return UpgradeResult::Returned;
}

UpgradeResult Upgrader::CheckVersion(bool manualUpgrade) {
    FileSystem& files = platform_.files;
    Session& session = platform_.session;
    const QString folder = upgradeFolder();

    if (!manualUpgrade) {
        files.makeDir(folder);
        emptyUpgradeFolder();
        if (justUpgraded_)
            return UpgradeResult::Returned;
        session.setWaitCursor(true);
        fetchVersion();
        // A server that answers with no usable version is asked again for five seconds,
        // with a short pause so that a refused connection does not spin the processor.
        const std::uint32_t start = platform_.clock.tickCount();
        while (static_cast<std::uint32_t>(platform_.clock.tickCount() - start) < 5000 &&
               !(numericValue(AvailableVersionText) > 0)) {
            for (int i = 0; i < 10; ++i) {
                session.processEvents();
                platform_.clock.sleepMs(10);
            }
            fetchVersion();
        }
        if (!isNewerVersion(state_.VersionText, AvailableVersionText) ||
            (!failedVersion_.isEmpty() &&
             numericValue(failedVersion_) == numericValue(AvailableVersionText))) {
            session.setWaitCursor(false);
            return UpgradeResult::Returned;
        }
        if (platform_.dialogs.message(QStringLiteral("Version ") + AvailableVersionText +
                                          QStringLiteral(" is available.  Apply upgrade?"),
                                      QStringLiteral("Upgrade?"), Buttons::YesNo,
                                      Answer::Yes) != Answer::Yes) {
            session.setWaitCursor(false);
            return UpgradeResult::Returned;
        }
        for (int attempt = 0; attempt < 10 && !files.listFiles(folder).isEmpty(); ++attempt)
            emptyUpgradeFolder();
        downloadPackage();
    }

    session.processEvents();
    const QString downloadFailed =
        QStringLiteral("Error downloading or unzipping your upgrade file. ") + CR + CR +
        QStringLiteral("Download again and repeat this procedure.");
    const QString archive = files.findFileNoCase(folder, kPackageName);
    const QString signature = files.findFileNoCase(folder, kPackageName + kSignatureSuffix);
    const std::optional<QByteArray> package =
        archive.isEmpty() ? std::nullopt : files.readFile(archive);
    if (!package || package->isEmpty())
        return failed(downloadFailed);
    // Nothing runs that the maker did not sign: the check comes before anything is
    // unpacked, and a package that fails it is removed with its signature.
    const std::optional<QString> version = signedVersion(*package, signature, manualUpgrade);
    if (!version) {
        files.removeFile(archive);
        if (!signature.isEmpty())
            files.removeFile(signature);
        return failed(QStringLiteral("The upgrade package could not be verified: it is not "
                                     "signed by the maker of Lapmark for this version.") +
                      CR + CR + QStringLiteral("Nothing was installed."));
    }
    // Only what the package holds may be started: files placed beside it go first.
    for (const QString& name : files.listFiles(folder)) {
        const QString path = QDir(folder).filePath(name);
        if (path != archive && path != signature)
            files.removeFile(path);
    }
    // From the very bytes that were checked: the file may have changed since.
    platform_.archives.extractFlat(*package, folder);

    session.processEvents();
    const QString updater = files.findFileNoCase(folder, kUpdaterName);
    const QString installedUpdater = inAppFolder(kUpdaterName);
    if (!updater.isEmpty()) {
        if (const std::optional<QByteArray> bytes = files.readFile(updater)) {
            files.writeProgramAtomic(installedUpdater, *bytes);
        }
    }

    session.processEvents();
    if (!updater.isEmpty())
        files.removeFile(updater);
    session.processEvents();
    files.removeFile(archive);
    if (!signature.isEmpty())
        files.removeFile(signature);
    session.processEvents();
    session.setWaitCursor(false);

    if (!files.findFileNoCase(folder, kNewProgramName).isEmpty()) {
        if (!manualUpgrade) {
            platform_.dialogs.message(QStringLiteral("Downloaded Upgrade to version ") +
                                          AvailableVersionText + QStringLiteral(".") + CR + CR +
                                          CR +
                                          QStringLiteral("The program will re-start after the "
                                                         "upgrade is applied."),
                                      QStringLiteral("Apply Upgrade"));
        }
        // The updater waits for this program to end, so it is started first: where it does
        // not start (missing, held back by an antivirus program, not executable) the
        // program stays, and the next start offers the upgrade again.
        if (!files.writeFileAtomic(inAppFolder(kHandOverFile), version->toLatin1() + "\r\n" +
                                                                   state_.VersionText.toLatin1() +
                                                                   "\r\n") ||
            !session.startDetached(installedUpdater)) {
            files.removeFile(inAppFolder(kHandOverFile));
            return failed(QStringLiteral("The upgrade was NOT applied: the updater ") +
                          installedUpdater + QStringLiteral(" could not be started.") + CR + CR +
                          QStringLiteral("Check that it is in the program folder and that no "
                                         "antivirus program holds it back, then start Lapmark "
                                         "again: the upgrade is offered again.  Lapmark goes "
                                         "on as it was."));
        }
        session.closeAllWindows();
        session.processEvents();
        session.quit();
        return UpgradeResult::ProgramEnding;
    }

    return failed(downloadFailed);
}

void Upgrader::DownloadPackage() {
    platform_.files.makeDir(upgradeFolder());
    emptyUpgradeFolder();
    downloadPackage();
}

} // namespace lm

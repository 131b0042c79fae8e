#include "check_version.h"

#include "app/app_state.h"
#include "platform/platform.h"

#include <QDir>

namespace lm {

bool isNewerVersion(const QString& ours, const QString& offered) {
    return numericValue(ours) < numericValue(offered);
}

Upgrader::Upgrader(AppState& state, Platform& platform, QUrl server)
    : state_(state), platform_(platform), server_(std::move(server)) {}

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

UpgradeResult Upgrader::CheckVersion(bool manualUpgrade) {
    FileSystem& files = platform_.files;
    Session& session = platform_.session;
    const QString folder = upgradeFolder();

    if (!manualUpgrade) {
        files.makeDir(folder);
        emptyUpgradeFolder();
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
        if (!isNewerVersion(state_.VersionText, AvailableVersionText)) {
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
        const std::optional<QByteArray> package = platform_.http.fetch(serverUrl(kPackagePath));
        session.processEvents();
        files.writeFilePlain(QDir(folder).filePath(kPackageName), package.value_or(QByteArray()));
    }

    session.processEvents();
    const QString archive = files.findFileNoCase(folder, kPackageName);
    if (!archive.isEmpty())
        platform_.archives.extractFlat(archive, folder);

    session.processEvents();
    const QString updater = files.findFileNoCase(folder, kUpdaterName);
    const QString installedUpdater = inAppFolder(kUpdaterName);
    if (!updater.isEmpty()) {
        if (const std::optional<QByteArray> bytes = files.readFile(updater)) {
            if (files.writeFileAtomic(installedUpdater, *bytes))
                files.setExecutable(installedUpdater);
        }
    }

    session.processEvents();
    if (!updater.isEmpty())
        files.removeFile(updater);
    session.processEvents();
    if (!archive.isEmpty())
        files.removeFile(archive);
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
        session.closeAllWindows();
        session.processEvents();
        session.startDetached(installedUpdater);
        session.quit();
        return UpgradeResult::ProgramEnding;
    }

    platform_.dialogs.message(QStringLiteral("Error downloading or unzipping your upgrade file. ") +
                                  CR + CR +
                                  QStringLiteral("Download again and repeat this procedure."),
                              QStringLiteral("Failed!"), Buttons::Ok, Answer::Ok, Icon::Error);
    return UpgradeResult::Returned;
}

void Upgrader::DownloadPackage() {
    const QString folder = upgradeFolder();
    platform_.files.makeDir(folder);
    emptyUpgradeFolder();
    const std::optional<QByteArray> package = platform_.http.fetch(serverUrl(kPackagePath));
    platform_.session.processEvents();
    platform_.files.writeFilePlain(QDir(folder).filePath(kPackageName),
                                   package.value_or(QByteArray()));
}

} // namespace lm

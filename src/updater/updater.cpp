#include "updater.h"

#include "upgrade/handover.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lm {

Updater::Updater(FileSystem& files, UpdaterSystem& system, QString folder, UpdaterBounds bounds)
    : files_(files), system_(system), folder_(std::move(folder)), bounds_(bounds) {}

QString Updater::path(const QString& name) const {
    return QDir(folder_).filePath(name);
}

void Updater::log(const QString& line) {
    QFile file(path(kUpdaterLog));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(upgradeLogLine(QDateTime::currentDateTime(), line));
}

bool Updater::putInPlace(const QByteArray& program) {
    const QString target = path(kProgramFile);
    // A program that has just ended (or was stopped) may hold its file a moment longer.
    for (const qint64 until = system_.nowMs() + bounds_.fileBusyMs;; system_.sleepMs(100)) {
        if (files_.writeFileAtomic(target, program)) {
            files_.setExecutable(target);
            return true;
        }
        if (system_.nowMs() >= until)
            return false;
    }
}

Updater::Outcome Updater::run() {
    const QString program = path(kProgramFile);
    const QString fresh =
        files_.findFileNoCase(path(QStringLiteral("upgrade")), QStringLiteral("LAPMARK.exe"));
    const QList<QByteArray> handOver =
        files_.readFile(path(kHandOverFile), 1024).value_or(QByteArray()).split('\n');
    const QString version = QString::fromLatin1(handOver.value(0).trimmed());
    // The previous program is kept as a program of its own, named by its version, that a
    // volunteer can start should this updater be stopped before the new one is proven.
    const QString from = QString::fromLatin1(handOver.value(1).trimmed());
    keptName_ = previousProgramFile(from.isEmpty() ? QStringLiteral("previous") : from);
    log(QStringLiteral("Updater started for version ") + version + QStringLiteral(" in ") +
        QDir::toNativeSeparators(folder_));
    if (fresh.isEmpty()) {
        log(QStringLiteral("No new program in the upgrade folder: nothing to install."));
        return Outcome::NothingToInstall;
    }

    const qint64 endBy = system_.nowMs() + bounds_.programEndMs;
    while (!system_.programEnded(folder_)) {
        if (system_.nowMs() >= endBy) {
            // Held by a program that hangs, or by another computer (the folder on a flash
            // drive): the upgrade waits for the next start, and the operator is not left
            // without a program.
            log(QStringLiteral("Lapmark was still running after %1 s: nothing was changed.")
                    .arg(bounds_.programEndMs / 1000));
            system_.start(program);
            return Outcome::GaveUp;
        }
        system_.sleepMs(100);
    }
    log(QStringLiteral("Lapmark has ended."));

    const std::optional<QByteArray> previous = files_.readFile(program);
    const std::optional<QByteArray> next = files_.readFile(fresh);
    const QString kept = path(keptName_);
    // Without the proving file nothing could wait for the new program to show its window:
    // no upgrade is tried where it cannot be written.
    if (!files_.writeFileAtomic(path(kProvingFile),
                                version.toLatin1() + "\r\n" + keptName_.toLatin1() + "\r\n")) {
        log(QStringLiteral("The program folder could not be written: nothing was changed."));
        system_.start(program);
        return Outcome::GaveUp;
    }
    if (!previous || !next || !files_.writeFileAtomic(kept, *previous) ||
        !files_.setExecutable(kept) || !putInPlace(*next)) {
        files_.removeFile(kept);
        files_.removeFile(path(kProvingFile));
        log(QStringLiteral("The new program could not be put in place: the previous one "
                           "stays, unchanged."));
        system_.start(program);
        return Outcome::GaveUp;
    }
    log(QStringLiteral("Version ") + version +
        QStringLiteral(" is in place (the previous program is kept as ") +
        QFileInfo(kept).fileName() + QStringLiteral("); starting it."));

    const std::optional<qint64> pid = system_.start(program);
    const qint64 proveBy = system_.nowMs() + bounds_.provingMs;
    while (files_.isFile(path(kProvingFile))) {
        if (!pid || !system_.running(*pid))
            return putBack(*previous, version,
                           QStringLiteral("The new program ended before it showed its main "
                                          "window."));
        if (system_.nowMs() >= proveBy) {
            system_.stop(*pid);
            return putBack(*previous, version,
                           QStringLiteral("The new program did not show its main window "
                                          "within %1 s.")
                               .arg(bounds_.provingMs / 1000));
        }
        system_.sleepMs(100);
    }
    files_.removeFile(kept);
    files_.removeFile(path(kHandOverFile));
    log(QStringLiteral("Version ") + version +
        QStringLiteral(" showed its main window: the upgrade is complete."));
    return Outcome::Upgraded;
}

Updater::Outcome Updater::putBack(const QByteArray& previous, const QString& version,
                                  const QString& why) {
    log(why);
    if (!putInPlace(previous)) {
        log(QStringLiteral("The previous program could not be put back: it stays beside as ") +
            keptName_ + QStringLiteral("."));
        return Outcome::GaveUp;
    }
    files_.writeFileAtomic(path(kFailedFile), version.toLatin1() + "\r\n");
    files_.removeFile(path(kProvingFile));
    files_.removeFile(path(kHandOverFile));
    files_.removeFile(path(keptName_));
    log(QStringLiteral("The previous program is back in place; starting it."));
    system_.start(path(kProgramFile));
    return Outcome::PutBack;
}

} // namespace lm

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

bool Updater::writeProgram(const QString& name, const QByteArray& program) {
    // A program that has just ended (or was stopped) may hold its file a moment longer.
    for (const qint64 until = system_.nowMs() + bounds_.fileBusyMs;; system_.sleepMs(100)) {
        if (files_.writeProgramAtomic(path(name), program))
            return true;
        if (system_.nowMs() >= until)
            return false;
    }
}

void Updater::removeProgram(const QString& name) {
    for (const qint64 until = system_.nowMs() + bounds_.fileBusyMs;
         files_.isFile(path(name)) && !files_.removeFile(path(name)) && system_.nowMs() < until;)
        system_.sleepMs(100);
}

Updater::Outcome Updater::run() {
    const QString program = path(kProgramFile);
    const QString fresh =
        files_.findFileNoCase(path(QStringLiteral("upgrade")), QStringLiteral("LAPMARK.exe"));
    const QString version = QString::fromLatin1(
        files_.readFile(path(kHandOverFile), 1024).value_or(QByteArray()).split('\n')[0].trimmed());
    candidate_ = candidateProgramFile(version);
    log(QStringLiteral("Updater started for version ") + version + QStringLiteral(" in ") +
        QDir::toNativeSeparators(folder_));
    if (fresh.isEmpty() || version.isEmpty()) {
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

    // The new program runs from a file of its own until it has shown its main window; the
    // program the operator starts is not touched before then.
    const std::optional<QByteArray> next = files_.readFile(fresh);
    const QByteArray proving = version.toLatin1() + "\r\n" + candidate_.toLatin1() + "\r\n";
    if (!next || !writeProgram(candidate_, *next) ||
        !files_.writeFileAtomic(path(kProvingFile), proving)) {
        files_.removeFile(path(kProvingFile));
        removeProgram(candidate_);
        log(QStringLiteral("The program folder could not be written: nothing was changed."));
        system_.start(program);
        return Outcome::GaveUp;
    }
    log(QStringLiteral("Version ") + version + QStringLiteral(" is ready as ") + candidate_ +
        QStringLiteral("; starting it."));

    // A program file just written may be refused a moment (a virus scanner reading it).
    std::optional<qint64> pid = system_.start(path(candidate_));
    for (const qint64 until = system_.nowMs() + bounds_.fileBusyMs; !pid && system_.nowMs() < until;
         pid = system_.start(path(candidate_)))
        system_.sleepMs(100);
    const qint64 proveBy = system_.nowMs() + bounds_.provingMs;
    // Proven only by the candidate's own word: a file that is gone was taken back.
    while (files_.readFile(path(kProvingFile), 1024) != proving + kProvenMark) {
        if (!files_.isFile(path(kProvingFile))) {
            if (pid && system_.running(*pid))
                system_.stop(*pid);
            removeProgram(candidate_);
            files_.removeFile(path(kHandOverFile));
            log(QStringLiteral("A program started meanwhile took the upgrade back: nothing was "
                               "changed."));
            return Outcome::TakenBack;
        }
        if (!pid || !system_.running(*pid))
            return takeBack(version, QStringLiteral("The new program ended before it showed its "
                                                    "main window."));
        if (system_.nowMs() >= proveBy) {
            system_.stop(*pid);
            return takeBack(version, QStringLiteral("The new program did not show its main "
                                                    "window within %1 s.")
                                         .arg(bounds_.provingMs / 1000));
        }
        system_.sleepMs(100);
    }
    // Proven: the very bytes that showed the window take the program's name.  The old
    // program has ended, so even a system that keeps running programs' files allows it.
    if (!writeProgram(kProgramFile, *next)) {
        files_.removeFile(path(kProvingFile));
        files_.removeFile(path(kHandOverFile));
        log(QStringLiteral("Version ") + version +
            QStringLiteral(" showed its main window but could not be put in place: the "
                           "program stays as it was, and the upgrade will be offered again."));
        return Outcome::GaveUp;
    }
    files_.removeFile(path(kProvingFile));
    files_.removeFile(path(kHandOverFile));
    files_.removeFile(path(candidate_)); // where it still runs, the next start removes it
    log(QStringLiteral("Version ") + version +
        QStringLiteral(" showed its main window and is in place: the upgrade is complete."));
    return Outcome::Upgraded;
}

Updater::Outcome Updater::takeBack(const QString& version, const QString& why) {
    log(why);
    files_.writeFileAtomic(path(kFailedFile), version.toLatin1() + "\r\n");
    removeProgram(candidate_);
    files_.removeFile(path(kProvingFile));
    files_.removeFile(path(kHandOverFile));
    log(QStringLiteral("The program stays as it was; starting it."));
    system_.start(path(kProgramFile));
    return Outcome::TakenBack;
}

} // namespace lm

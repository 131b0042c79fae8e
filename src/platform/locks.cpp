#include "locks.h"
#include "platform.h"

#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QSysInfo>

namespace lm {

QString LockHolder::text() const {
    return (computer.isEmpty() ? QStringLiteral("a computer whose name cannot be read")
                               : QStringLiteral("the computer ") + computer) +
           QStringLiteral(" since ") +
           QLocale::c().toString(since.toLocalTime(), QStringLiteral("M/d/yyyy h:mm AP"));
}

LockHolder holderOf(const QLockFile& lock, const QString& lockPath) {
    LockHolder holder;
    qint64 pid = 0;
    QString application;
    holder.since = QFileInfo(lockPath).lastModified();
    if (!lock.getLockInfo(&pid, &holder.computer, &application)) {
        holder.computer.clear();
        holder.otherComputer = QFileInfo::exists(lockPath);
        return holder;
    }
    // Qt names this computer by its host name, on Windows by its (upper-case) NetBIOS name.
    const auto is = [&](const QString& name) {
        return !name.isEmpty() && holder.computer.compare(name, Qt::CaseInsensitive) == 0;
    };
    holder.otherComputer = !holder.computer.isEmpty() && !is(QSysInfo::machineHostName()) &&
                           !is(qEnvironmentVariable("COMPUTERNAME"));
    return holder;
}

bool holdRunningLock(QLockFile& lock, const QString& lockPath, Dialogs& dialogs) {
    lock.setStaleLockTime(0);
    if (lock.tryLock(0))
        return true;
    const LockHolder holder = holderOf(lock, lockPath);
    return holder.otherComputer &&
           dialogs.message(QStringLiteral("Lapmark in this folder is held by ") + holder.text() +
                               QStringLiteral(".") + CR + CR +
                               QStringLiteral("If Lapmark no longer runs there, take it over: "
                                              "upgrades can then be applied here.") +
                               CR + CR + QStringLiteral("Take it over?"),
                           QStringLiteral("Take Over?"), Buttons::YesNo,
                           Answer::No) == Answer::Yes &&
           takeOverFromOtherComputer(lock, lockPath);
}

bool takeOverFromOtherComputer(QLockFile& lock, const QString& lockPath) {
    if (!holderOf(lock, lockPath).otherComputer)
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

} // namespace lm

#include "locks.h"

#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QSysInfo>

namespace lm {

QString LockHolder::text() const {
    return computer + QStringLiteral(" since ") +
           QLocale::c().toString(since.toLocalTime(), QStringLiteral("M/d/yyyy h:mm AP"));
}

LockHolder holderOf(const QLockFile& lock, const QString& lockPath) {
    LockHolder holder;
    qint64 pid = 0;
    QString application;
    if (!lock.getLockInfo(&pid, &holder.computer, &application))
        return holder;
    holder.since = QFileInfo(lockPath).lastModified();
    // Qt names this computer by its host name, on Windows by its (upper-case) NetBIOS name.
    const auto is = [&](const QString& name) {
        return !name.isEmpty() && holder.computer.compare(name, Qt::CaseInsensitive) == 0;
    };
    holder.otherComputer = !holder.computer.isEmpty() && !is(QSysInfo::machineHostName()) &&
                           !is(qEnvironmentVariable("COMPUTERNAME"));
    return holder;
}

bool takeOverFromOtherComputer(QLockFile& lock, const QString& lockPath) {
    if (!holderOf(lock, lockPath).otherComputer)
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

} // namespace lm

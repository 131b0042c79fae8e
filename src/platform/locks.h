#pragma once
// Lock files held while a program runs or a race is timed.  QLockFile frees a lock whose
// program no longer runs on this computer, but never one that names another computer: the
// program folder on a flash drive or a share, carried over from a laptop that crashed.
// Only a person can tell that the other program is gone.

#include <QDateTime>
#include <QString>

class QLockFile;

namespace lm {

struct LockHolder {
    QString computer; // as the lock names it; empty where the lock cannot be read
    QDateTime since;  // when it was taken
    // Another computer, or one that cannot be told: a lock left empty or half written (a
    // flash drive pulled just after it was taken) names no program that could free it.
    bool otherComputer = false;

    // "the computer FINISH-2 since 12/7/2026 9:41 AM", for the operator.
    QString text() const;
};

// Who holds `lock` (which this program could not take).
LockHolder holderOf(const QLockFile& lock, const QString& lockPath);

// Removes a lock that another computer left and takes it; false when it names this computer
// (its program still runs) or cannot be taken.
bool takeOverFromOtherComputer(QLockFile& lock, const QString& lockPath);

class Dialogs;

// Takes the lock that the program holds in its folder while it runs.  Where another
// computer holds it, the operator is told which and since when, and may take it over
// (without it the updater could never apply an upgrade in this folder).  True when held.
bool holdRunningLock(QLockFile& lock, const QString& lockPath, Dialogs& dialogs);

} // namespace lm

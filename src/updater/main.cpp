// upgradetimer.exe: finishes an upgrade that the program unpacked (see updater.h).  It
// takes no arguments and works in its own folder, the program folder.

#include "platform/locks.h"
#include "platform/platform.h"
#include "system_updater.h"

#include "upgrade/handover.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Held while the updater runs: a program started meanwhile leaves the hand-over to it.
    QLockFile running(QDir(QCoreApplication::applicationDirPath()).filePath(lm::kUpdaterLock));
    running.setStaleLockTime(0);
    // One that names another computer (the folder carried over mid-upgrade), or that cannot
    // be read, is taken over; while another updater runs here, it does the upgrade.
    if (!running.tryLock(0) && !lm::takeOverFromOtherComputer(running, running.fileName()) &&
        running.error() == QLockFile::LockFailedError)
        return 1;
    lm::FileSystem files;
    lm::RealUpdaterSystem system;
    lm::Updater updater(files, system, QCoreApplication::applicationDirPath());
    const lm::Updater::Outcome outcome = updater.run();
    return outcome == lm::Updater::Outcome::Upgraded ? 0 : 1;
}

// upgradetimer.exe: finishes an upgrade that the program unpacked (see updater.h).  It
// takes no arguments and works in its own folder, the program folder.

#include "platform/platform.h"
#include "system_updater.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    lm::FileSystem files;
    lm::RealUpdaterSystem system;
    lm::Updater updater(files, system, QCoreApplication::applicationDirPath());
    const lm::Updater::Outcome outcome = updater.run();
    return outcome == lm::Updater::Outcome::Upgraded ? 0 : 1;
}

#include "app/form1.h"
#include "core/app_state.h"
#include "platform/locks.h"
#include "platform/qt_platform.h"
#include "upgrade/handover.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lapmark"));
    // The program folder is the working folder: settings, data files and the upgrade
    // folder all live there.
    const QString programFolder = lm::nativePath(QCoreApplication::applicationDirPath());
    QDir::setCurrent(programFolder);

    lm::RealPlatform real;
    // Held while the program runs, so that the updater knows when it has ended; a second
    // copy of the program in the same folder runs without it.
    const QString lockPath = QDir(programFolder).filePath(lm::kRunningLock);
    QLockFile running(lockPath);
    lm::holdRunningLock(running, lockPath, real.platform().dialogs);

    lm::AppState state;
    lm::Form1 mainWindow(state, real.platform(), QUrl(QStringLiteral(LAPMARK_UPGRADE_SERVER)),
                         QStringLiteral(LAPMARK_UPGRADE_PUBKEY));
    if (!mainWindow.load(programFolder))
        return 0;
    if (const QScreen* screen = QApplication::primaryScreen())
        mainWindow.move(screen->availableGeometry().center() - mainWindow.rect().center());
    mainWindow.show();
    return app.exec();
}

#include "system_updater.h"

#include "upgrade/handover.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace lm {

qint64 RealUpdaterSystem::nowMs() {
    return QDeadlineTimer::current().deadline();
}

void RealUpdaterSystem::sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

bool RealUpdaterSystem::programEnded(const QString& folder) {
    // The program holds this lock while it runs; one left by a program that no longer
    // runs is taken over.
    QLockFile lock(QDir(folder).filePath(kRunningLock));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return false;
    lock.unlock();
    return true;
}

std::optional<qint64> RealUpdaterSystem::start(const QString& program) {
    qint64 pid = 0;
    if (!QProcess::startDetached(program, {}, QFileInfo(program).absolutePath(), &pid))
        return std::nullopt;
    return pid;
}

bool RealUpdaterSystem::running(qint64 pid) {
#ifdef Q_OS_WIN
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return false;
    const bool alive = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return alive;
#else
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // An ended program that nobody has reaped yet (where the first process of the system
    // does not reap) still answers; it is not running.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype state = line.lastIndexOf(')') + 2;
    return state <= 1 || line.mid(state, 1) != "Z";
#endif
}

void RealUpdaterSystem::stop(qint64 pid) {
#ifdef Q_OS_WIN
    if (const HANDLE process =
            ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid))) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }
#else
    ::kill(static_cast<pid_t>(pid), SIGKILL);
#endif
}

} // namespace lm

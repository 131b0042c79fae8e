// Real file operations.  Saves never delete the old file first: the new content goes to a
// temporary file beside it, is checked and synced, and then takes the old name in one step.

#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace lm {
namespace {

bool writeAll(int fd, const char* p, qsizetype n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0)
            return false;
        p += w;
        n -= w;
    }
    return true;
}

void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes `data` to a new temporary file in the folder of `path`; returns its name, or an
// empty text when any byte could not be written or synced (the temporary is then gone).
QByteArray writeTemporary(const QString& path, const QByteArray& data) {
    const QFileInfo info(path);
    QByteArray name = QFile::encodeName(info.absolutePath() + QLatin1String("/.~lm-") +
                                        info.fileName().left(60) + QLatin1String(".XXXXXX"));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return {};
    bool ok = ::fchmod(fd, 0644) == 0 || errno == EPERM || errno == ENOTSUP;
    ok = ok && writeAll(fd, data.constData(), data.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(name.constData());
        return {};
    }
    return name;
}

// Renames `from` to `to` only when no file of that name exists yet.
bool renameNoReplace(const QByteArray& from, const QByteArray& to) {
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without the no-replace rename (some network shares): a hard link
        // fails on an existing name just the same.
        rc = ::link(from.constData(), to.constData());
        if (rc == 0)
            ::unlink(from.constData());
    }
    return rc == 0;
}

// The journal: records are written in the caller's thread (into the page cache, a matter
// of microseconds) and a worker thread makes them durable with fdatasync, taking together
// whatever arrived meanwhile, so that a capture never waits for the disk.
class FileJournal : public Journal {
  public:
    explicit FileJournal(const QString& path) : path_(path), lock_(path + QLatin1String(".lock")) {
        lock_.setStaleLockTime(0); // a race may hold it for hours; only a dead owner frees it
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder)) {
            status_ = Status::Failed;
            return;
        }
        if (!lock_.tryLock(0)) {
            status_ = lock_.error() == QLockFile::LockFailedError ? Status::HeldElsewhere
                                                                  : Status::Failed;
            return;
        }
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly))
            content_ = existing.readAll();
        status_ = openFile() ? Status::Held : Status::Failed;
        worker_ = std::thread([this] { syncLoop(); });
    }
    ~FileJournal() override {
        if (worker_.joinable()) {
            {
                std::lock_guard<std::mutex> guard(mutex_);
                stop_ = true;
            }
            wake_.notify_all();
            worker_.join();
        }
        if (fd_ >= 0)
            ::close(fd_);
    }

    Status status() const override { return status_; }
    QByteArray content() const override { return content_; }

    bool append(const QByteArray& records) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (status_ != Status::Held || failed_ || fd_ < 0)
            return false;
        if (!writeAll(fd_, records.constData(), records.size())) {
            failed_ = true;
            return false;
        }
        dirty_ = true;
        wake_.notify_all();
        return true;
    }

    bool setAside() override {
        std::unique_lock<std::mutex> guard(mutex_);
        if (status_ != Status::Held)
            return false;
        // The file descriptor is about to close: let a sync under way finish on it first.
        wake_.wait(guard, [this] { return !syncing_; });
        ::fdatasync(fd_);
        const QByteArray from = QFile::encodeName(path_);
        bool moved = false;
        for (int n = 1; n < 10000 && !moved; ++n)
            moved = renameNoReplace(
                from, QFile::encodeName(path_ + QLatin1Char('.') + QString::number(n)));
        ::close(fd_);
        fd_ = -1;
        if (!openFile())
            failed_ = true;
        return moved && !failed_;
    }

  private:
    bool openFile() {
        const QByteArray name = QFile::encodeName(path_);
        fd_ = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return false;
        ::fsync(fd_);
        syncFolder(QFileInfo(path_).absolutePath());
        return true;
    }

    void syncLoop() {
        std::unique_lock<std::mutex> guard(mutex_);
        for (;;) {
            wake_.wait(guard, [this] { return dirty_ || stop_; });
            if (dirty_ && fd_ >= 0) {
                dirty_ = false;
                syncing_ = true;
                const int fd = fd_;
                guard.unlock();
                const bool ok = ::fdatasync(fd) == 0;
                guard.lock();
                syncing_ = false;
                wake_.notify_all();
                if (!ok)
                    failed_ = true;
            }
            if (stop_)
                return;
        }
    }

    QString path_;
    QLockFile lock_;
    Status status_ = Status::Failed;
    QByteArray content_;
    int fd_ = -1;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false;
    bool stop_ = false;
    bool syncing_ = false; // the worker is in fdatasync, outside the lock
    bool failed_ = false;
    std::thread worker_;
};

} // namespace

bool FileSystem::isFile(const QString& path) {
    return QFileInfo(path).isFile();
}

QString FileSystem::findFileNoCase(const QString& dir, const QString& name) {
    const QDir d(dir);
    if (d.exists(name) && QFileInfo(d.filePath(name)).isFile())
        return d.filePath(name);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(entry);
    }
    return {};
}

std::optional<QByteArray> FileSystem::readFile(const QString& path, qint64 maxBytes) {
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly) ||
        (maxBytes >= 0 && f.size() > maxBytes))
        return std::nullopt;
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

bool FileSystem::writeFileAtomic(const QString& path, const QByteArray& data) {
    const QByteArray temp = writeTemporary(path, data);
    if (temp.isEmpty())
        return false;
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool FileSystem::writeFileNew(const QString& path, const QByteArray& data) {
    if (QFileInfo::exists(path))
        return false;
    const QByteArray temp = writeTemporary(path, data);
    if (temp.isEmpty())
        return false;
    if (!renameNoReplace(temp, QFile::encodeName(path))) {
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool FileSystem::writeFilePlain(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(data) == data.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

bool FileSystem::removeFile(const QString& path) {
    return QFileInfo(path).isFile() && QFile::remove(path);
}

bool FileSystem::makeDir(const QString& path) {
    return QDir().mkpath(path);
}

QStringList FileSystem::listFiles(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool FileSystem::setExecutable(const QString& path) {
    QFile f(path);
    return f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                            QFileDevice::ExeOther);
}

bool FileSystem::sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::unique_ptr<Journal> FileSystem::openJournal(const QString& path) {
    return std::make_unique<FileJournal>(path);
}

} // namespace lm

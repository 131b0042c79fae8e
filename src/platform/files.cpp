// Real file operations.  Saves never delete the old file first: the new content goes to a
// temporary file beside it, is checked and synced, and then takes the old name in one step.

#include "locks.h"
#include "native_files.h"
#include "platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lm {
namespace {

// The journal: records are written in the caller's thread (into the page cache, a matter
// of microseconds) and a worker thread makes them durable (fdatasync, FlushFileBuffers), taking
// together whatever arrived meanwhile, so that a capture never waits for the disk.
class FileJournal : public Journal {
  public:
    explicit FileJournal(const QString& path) : path_(path), lock_(lockPath()) {
        lock_.setStaleLockTime(0); // a race may hold it for hours; only a dead owner frees it
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return;
        if (!lock_.tryLock(0)) {
            if (lock_.error() == QLockFile::LockFailedError)
                status_ = Status::HeldElsewhere;
            return;
        }
        open();
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
    }

    Status status() const override { return status_; }
    QByteArray content() const override { return content_; }
    LockHolder holder() const override { return holderOf(lock_, lockPath()); }

    bool takeOver() override {
        if (status_ != Status::HeldElsewhere || !takeOverFromOtherComputer(lock_, lockPath()))
            return false;
        open();
        return status_ == Status::Held;
    }

    bool append(const QByteArray& records) override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (status_ != Status::Held || failed_ || !file_.isOpen())
            return false;
        if (!file_.write(records)) {
            failed_ = true;
            return false;
        }
        dirty_ = true;
        ++appended_;
        wake_.notify_all();
        return true;
    }

    bool waitDurable(int timeoutMs) override {
        std::unique_lock<std::mutex> guard(mutex_);
        return wake_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] {
            return durable_ == appended_ || failed_;
        }) && !failed_;
    }

    bool setAside() override {
        std::unique_lock<std::mutex> guard(mutex_);
        if (status_ != Status::Held)
            return false;
        // The file is about to close: let a sync under way finish on it first.  It is
        // closed before the rename, which Windows refuses for an open file.
        wake_.wait(guard, [this] { return !syncing_; });
        if (file_.sync())
            durable_ = appended_;
        file_.close();
        bool moved = false;
        for (int n = 1; n < 10000 && !moved; ++n)
            moved = native::renameNoReplace(path_, path_ + QLatin1Char('.') + QString::number(n));
        if (!file_.open(path_))
            failed_ = true;
        return moved && !failed_;
    }

  private:
    QString lockPath() const { return path_ + QLatin1String(".lock"); }

    // With the lock held: what the file holds, and the file open for appending.
    void open() {
        QFile existing(path_);
        if (existing.open(QIODevice::ReadOnly))
            content_ = existing.readAll();
        status_ = file_.open(path_) ? Status::Held : Status::Failed;
        worker_ = std::thread([this] { syncLoop(); });
    }

    void syncLoop() {
        std::unique_lock<std::mutex> guard(mutex_);
        for (;;) {
            wake_.wait(guard, [this] { return dirty_ || stop_; });
            if (dirty_ && file_.isOpen()) {
                dirty_ = false;
                syncing_ = true;
                const quint64 syncing = appended_;
                guard.unlock();
                const bool ok = file_.sync();
                guard.lock();
                syncing_ = false;
                if (ok)
                    durable_ = syncing;
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
    native::AppendFile file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false;
    bool stop_ = false;
    bool syncing_ = false; // the worker is making the file durable, outside the lock
    bool failed_ = false;
    quint64 appended_ = 0; // appends so far, and how many of them are on the disk
    quint64 durable_ = 0;
    std::thread worker_;
};

} // namespace

bool FileSystem::isFile(const QString& path) {
    return QFileInfo(path).isFile();
}

QString FileSystem::findFileNoCase(const QString& dir, const QString& name) {
    // The name as the folder spells it (Windows would open any spelling, but callers
    // compare the names they are given).
    const QDir d(dir);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (entries.contains(name))
        return d.filePath(name);
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
    return native::writeDurably(path, data, true);
}

bool FileSystem::writeProgramAtomic(const QString& path, const QByteArray& data) {
    return native::writeDurably(path, data, true, true);
}

bool FileSystem::writeFileNew(const QString& path, const QByteArray& data) {
    return !QFileInfo::exists(path) && native::writeDurably(path, data, false);
}

namespace {
bool writePlainly(const QString& path, const QByteArray& data, QIODevice::OpenMode mode) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | mode))
        return false;
    const bool ok = f.write(data) == data.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}
} // namespace

bool FileSystem::writeFilePlain(const QString& path, const QByteArray& data) {
    return writePlainly(path, data, QIODevice::Truncate);
}

bool FileSystem::appendFile(const QString& path, const QByteArray& data) {
    return writePlainly(path, data, QIODevice::Append);
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
    return native::sameFile(a, b);
}

std::unique_ptr<Journal> FileSystem::openJournal(const QString& path) {
    return std::make_unique<FileJournal>(path);
}

namespace {

// True while a program, here or on another computer, holds the lock `lock` names; a lock
// that a program here left behind is free.
bool heldByAnother(QLockFile& lock) {
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return lock.error() == QLockFile::LockFailedError;
    lock.unlock();
    return false;
}

} // namespace

bool FileSystem::lockHeld(const QString& path) {
    QLockFile lock(path);
    return heldByAnother(lock);
}

bool FileSystem::lockHeldHere(const QString& path) {
    QLockFile lock(path);
    return heldByAnother(lock) && !holderOf(lock, path).otherComputer;
}

int FileSystem::removeOwnTemporaries(const QString& dir, qint64 olderThanMs) {
    // The temporary files of a save beside its file (see native_files.h), and nothing else.
    int removed = 0;
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-olderThanMs);
    const auto left = QDir(dir).entryInfoList({QStringLiteral(".~lm-*")},
                                              QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : left)
        removed += file.lastModified().toUTC() < before && QFile::remove(file.filePath());
    return removed;
}

} // namespace lm

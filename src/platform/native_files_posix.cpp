// The native file operations on Linux and other POSIX systems.

#include "native_files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lm::native {
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

} // namespace

bool writeDurably(const QString& path, const QByteArray& data, bool replace, bool executable) {
    const QFileInfo info(path);
    QByteArray temp = QFile::encodeName(info.absolutePath() + QLatin1String("/.~lm-") +
                                        info.fileName().left(60) + QLatin1String(".XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, executable ? 0755 : 0644) == 0 || errno == EPERM || errno == ENOTSUP;
    ok = ok && writeAll(fd, data.constData(), data.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    const QByteArray target = QFile::encodeName(path);
    ok = ok && (replace ? ::rename(temp.constData(), target.constData()) == 0
                        : renameNoReplace(temp, target));
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(info.absolutePath());
    return true;
}

bool renameNoReplace(const QString& from, const QString& to) {
    if (!renameNoReplace(QFile::encodeName(from), QFile::encodeName(to)))
        return false;
    syncFolder(QFileInfo(to).absolutePath());
    return true;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool AppendFile::open(const QString& path) {
    close();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    handle_ = fd;
    ::fsync(fd);
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool AppendFile::write(const QByteArray& data) {
    return isOpen() && writeAll(static_cast<int>(handle_), data.constData(), data.size());
}

bool AppendFile::sync() {
    return isOpen() && ::fdatasync(static_cast<int>(handle_)) == 0;
}

void AppendFile::close() {
    if (isOpen())
        ::close(static_cast<int>(handle_));
    handle_ = kClosed;
}

} // namespace lm::native

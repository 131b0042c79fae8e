// Real file operations.  Saves never delete the old file first: the new content goes to a
// temporary file beside it, is checked and synced, and then takes the old name in one step.

#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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

std::optional<QByteArray> FileSystem::readFile(const QString& path) {
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
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
    const QByteArray target = QFile::encodeName(path);
    int rc =
        ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // File systems without the no-replace rename (some network shares): a hard link
        // fails on an existing name just the same.
        rc = ::link(temp.constData(), target.constData());
        ::unlink(temp.constData());
    } else if (rc != 0) {
        ::unlink(temp.constData());
    }
    if (rc != 0)
        return false;
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

} // namespace lm

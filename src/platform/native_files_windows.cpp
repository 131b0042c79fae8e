// The native file operations on Windows.  A save is written to a new file beside the
// target, flushed with FlushFileBuffers and moved over the target by MoveFileExW with
// write-through, so that the old file stays whole until the new one has taken its name.

#include "native_files.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

namespace lm::native {
namespace {

std::wstring wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

bool writeAll(HANDLE h, const char* p, qsizetype n) {
    while (n > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<qsizetype>(n, 1 << 30));
        DWORD written = 0;
        if (!::WriteFile(h, p, chunk, &written, nullptr) || written == 0)
            return false;
        p += written;
        n -= written;
    }
    return true;
}

bool moveFile(const QString& from, const QString& to, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    // While a reader has the old file open (the Main Computer importing it), Windows
    // refuses to replace it: try again for a moment.
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags))
            return true;
        const DWORD error = ::GetLastError();
        if (attempt == 10 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                              error != ERROR_LOCK_VIOLATION))
            return false;
        ::Sleep(20);
    }
}

} // namespace

bool writeDurably(const QString& path, const QByteArray& data, bool replace, bool) {
    const QFileInfo info(path);
    QString temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = info.absolutePath() + QLatin1String("/.~lm-") + info.fileName().left(60) +
               QLatin1Char('.') +
               QString::number(QRandomGenerator::global()->generate() % 1000000u, 36);
        h = ::CreateFileW(wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(h, data.constData(), data.size());
    ok = ok && ::FlushFileBuffers(h);
    ok = ::CloseHandle(h) && ok;
    ok = ok && moveFile(temp, path, replace);
    if (!ok) {
        ::DeleteFileW(wide(temp).c_str());
        return false;
    }
    return true;
}

bool renameNoReplace(const QString& from, const QString& to) {
    return moveFile(from, to, false);
}

bool sameFile(const QString& a, const QString& b) {
    const auto identify = [](const QString& path, BY_HANDLE_FILE_INFORMATION& id) {
        const HANDLE h = ::CreateFileW(wide(path).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = ::GetFileInformationByHandle(h, &id) != 0;
        ::CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    return identify(a, ia) && identify(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool AppendFile::open(const QString& path) {
    close();
    // Readers may look at the journal meanwhile; nobody else writes to it.
    const HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = reinterpret_cast<std::intptr_t>(h);
    ::FlushFileBuffers(h);
    return true;
}

bool AppendFile::write(const QByteArray& data) {
    return isOpen() && writeAll(asHandle(handle_), data.constData(), data.size());
}

bool AppendFile::sync() {
    return isOpen() && ::FlushFileBuffers(asHandle(handle_)) != 0;
}

void AppendFile::close() {
    if (isOpen())
        ::CloseHandle(asHandle(handle_));
    handle_ = kClosed;
}

} // namespace lm::native

#pragma once
// How this system writes the paths that the operator reads.

#include <QDir>
#include <QString>

namespace lm {

#ifdef Q_OS_WIN
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// `path` with this system's separators.
inline QString nativePath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace lm

// Unpacks an upgrade package flat into one folder with libarchive's read interface.
// Only regular files are written, each under its base name, so no entry can reach
// outside the folder or leave a link behind.

#include "system.h"

#include <QDir>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace lm {

QString safeEntryName(const QString& entryPath) {
    const qsizetype cut =
        std::max(entryPath.lastIndexOf(QLatin1Char('/')), entryPath.lastIndexOf(QLatin1Char('\\')));
    const QString base = entryPath.mid(cut + 1);
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String(".."))
        return {};
    if (base.contains(QChar(0)))
        return {};
    return base;
}

int ZipArchives::extractFlat(const QByteArray& archiveBytes, const QString& folder,
                             const ExtractLimits& limits) {
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(),
                                                             &archive_read_free);
    if (!a)
        return -1;
    archive_read_support_format_zip(a.get());
    if (archiveBytes.isEmpty() ||
        archive_read_open_memory(a.get(), archiveBytes.constData(),
                                 static_cast<size_t>(archiveBytes.size())) != ARCHIVE_OK)
        return -1;

    int written = 0;
    int entries = 0;
    qint64 inflated = 0;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
        if (++entries > limits.maxEntries)
            break;
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const char* raw = archive_entry_pathname(entry);
        if (!raw)
            continue;
        const QString name = safeEntryName(QString::fromUtf8(raw));
        if (name.isEmpty())
            continue;

        QByteArray data;
        char buffer[64 * 1024];
        bool ok = true;
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof buffer);
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            inflated += n;
            if (inflated > limits.maxBytes)
                return written; // stop: the package is larger than any real one
            data.append(buffer, n);
        }
        if (!ok)
            break;
        if (files_.writeFileAtomic(QDir(folder).filePath(name), data))
            ++written;
    }
    return written;
}

} // namespace lm

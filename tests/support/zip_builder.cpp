#include "zip_builder.h"

#include <archive.h>
#include <archive_entry.h>

#include <vector>

namespace lm::test {

QByteArray buildZip(const QList<ZipEntry>& entries) {
    std::vector<char> buffer(64 * 1024 * 1024);
    size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_memory(a, buffer.data(), buffer.size(), &used);
    for (const ZipEntry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.toUtf8().constData());
        if (!e.linkTarget.isEmpty()) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.linkTarget.toUtf8().constData());
            archive_entry_set_perm(entry, 0777);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, e.data.size());
        }
        archive_write_header(a, entry);
        if (e.linkTarget.isEmpty() && !e.data.isEmpty())
            archive_write_data(a, e.data.constData(), static_cast<size_t>(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return QByteArray(buffer.data(), static_cast<qsizetype>(used));
}

} // namespace lm::test

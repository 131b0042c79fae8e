// The archive entry-name check: what it lets through is a plain name in the folder.

#include "platform/system.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString entry =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString name = lm::safeEntryName(entry);
    if (name.isEmpty())
        return 0;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0)))
        std::abort();
    return 0;
}

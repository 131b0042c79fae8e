// The version comparison: a number is never newer than itself, and the order is strict.

#include "app/core/app_state.h"
#include "upgrade/check_version.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lm;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QString a = QString::fromLatin1(cut < 0 ? bytes : bytes.left(cut));
    const QString b = QString::fromLatin1(cut < 0 ? QByteArray("1.12") : bytes.mid(cut + 1));
    if (isNewerVersion(a, a))
        std::abort();
    if (isNewerVersion(a, b) && isNewerVersion(b, a))
        std::abort();
    return 0;
}

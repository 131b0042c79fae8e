// The times-file loader: any bytes load without failing, and what loads saves and loads
// back to the same list.

#include "timing/times_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lm;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = timesFromContent(bytes);
    const QStringList again = timesFromContent(timesFileContent(lines));
    // A time text never holds a comma, a quote or a line break; anything else must survive
    // the round trip unchanged.
    bool plain = true;
    for (const QString& line : lines) {
        const QString time = timeOfLine(line);
        if (time.contains(QLatin1Char(',')) || time.contains(QLatin1Char('"')) ||
            time.contains(QLatin1Char('\r')) || time.contains(QLatin1Char('\n')) ||
            time.startsWith(QLatin1Char('\t')) || time.endsWith(QLatin1Char('\t')))
            plain = false;
    }
    if (plain && again != lines)
        std::abort();
    return 0;
}

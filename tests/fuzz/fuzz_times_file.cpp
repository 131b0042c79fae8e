// The times-file loader: any bytes load without failing, and what loads saves and loads
// back to the same list.

#include "timing/data_file.h"
#include "timing/times_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lm;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList lines;
    for (const QString& field : readFields(bytes)) {
        if (!field.isEmpty())
            lines.append(timeLine(static_cast<int>(lines.size()) + 1, field));
    }
    const QByteArray saved = timesFileContent(lines);
    QStringList again;
    for (const QString& field : readFields(saved)) {
        if (!field.isEmpty())
            again.append(timeLine(static_cast<int>(again.size()) + 1, field));
    }
    // A time text never holds a comma, a quote or a line break; anything else must survive
    // the round trip unchanged.
    bool plain = true;
    for (const QString& line : lines) {
        const QString time = timeOfLine(line);
        if (time.contains(QLatin1Char(',')) || time.contains(QLatin1Char('"')) ||
            time.contains(QLatin1Char('\r')) || time.contains(QLatin1Char('\n')) ||
            time.startsWith(QLatin1Char(' ')) || time.startsWith(QLatin1Char('\t')))
            plain = false;
    }
    if (plain && again != lines)
        std::abort();
    return 0;
}

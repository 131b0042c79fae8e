// The fuzz targets, one per build (LAPMARK_FUZZ_TARGET): any input is handled without a
// crash, and what is kept obeys the rules of the files.  Without libFuzzer, main() replays
// every file of the corpus folders given on the command line.

#include "core/app_state.h"
#include "core/data_file.h"
#include "finishorder/finish_order_list.h"
#include "platform/system.h"
#include "timing/times_file.h"
#include "upgrade/check_version.h"

#include <QDirIterator>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace lm;

#define FUZZ_ASSERT(condition) ((condition) ? void() : std::abort())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromLatin1(bytes);
#if LAPMARK_FUZZ_TARGET == 1 // times file: what loads saves and loads back the same
    const QStringList lines = timesFromContent(bytes);
    bool plain = true; // a time never holds a comma, quote, line break or edge tab
    for (const QString& line : lines) {
        const QString time = timeOfLine(line);
        for (const char* odd : {",", "\"", "\r", "\n"})
            plain = plain && !time.contains(QLatin1String(odd));
        plain = plain && !time.startsWith('\t') && !time.endsWith('\t');
    }
    FUZZ_ASSERT(!plain || timesFromContent(timesFileContent(lines)) == lines);
#elif LAPMARK_FUZZ_TARGET == 2 // bibs file: header, 2000 places of 20, lines of ten at most
    static FinishOrderList list(2000);
    list.build();
    const int next = list.loadFields(readFields(bytes));
    FUZZ_ASSERT(next >= 1 && next <= 2001 && list.count() == 2001 &&
                list.line(0) == "PLACE     BIB       ");
    for (int place = 1; place <= 2000; ++place)
        FUZZ_ASSERT(list.line(place).size() == 20 && list.placeValue(place) == place);
    for (const QByteArray& line : list.fileContent(list.lastUsedPlace()).split('\n'))
        FUZZ_ASSERT(line.size() <= 11);
    list.nextFreePlace(next);
    list.insertPlace(1);
    list.deletePlace(1);
#elif LAPMARK_FUZZ_TARGET == 3 // numeric value, and the event number read from it
    const double value = numericValue(text);
    const auto number = eventNumberFrom(text);
    FUZZ_ASSERT(!std::isnan(value) && (!number || std::fabs(*number - value) <= 0.5 + 1e-9));
    numberText(value);
#elif LAPMARK_FUZZ_TARGET == 4 // versions: never newer than itself, a strict order
    const QString a = text.section(QChar(0), 0, 0);
    const QString b = text.contains(QChar(0)) ? text.section(QChar(0), 1) : "1.12";
    FUZZ_ASSERT(!isNewerVersion(a, a) && !(isNewerVersion(a, b) && isNewerVersion(b, a)));
#elif LAPMARK_FUZZ_TARGET == 5 // archive entry names: what passes is a plain name
    const QString name = safeEntryName(QString::fromUtf8(bytes));
    FUZZ_ASSERT(name.isEmpty() || !(name.contains('/') || name.contains('\\') ||
                                    name.contains(QChar(0)) || name == "." || name == ".."));
#endif
    return 0;
}

#ifndef LAPMARK_LIBFUZZER
int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        for (QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files); it.hasNext();
             ++inputs) {
            QFile f(it.next());
            const QByteArray data = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()),
                                   static_cast<size_t>(data.size()));
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
#endif

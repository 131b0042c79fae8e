// The numeric value of a text, and the event number read from it.

#include "app/core/app_state.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lm;
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double value = numericValue(text);
    if (std::isnan(value))
        std::abort();
    if (const auto number = eventNumberFrom(text)) {
        if (std::fabs(*number - value) > 0.5 + 1e-9)
            std::abort();
    }
    numberText(value);
    return 0;
}

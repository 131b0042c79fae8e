#include "race_clock.h"

#include "platform/platform.h"

namespace lm {

namespace {

QString twoDigits(std::int64_t n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

} // namespace

std::uint32_t tickOfPress(std::optional<std::uint32_t> eventTick, std::uint32_t now,
                          std::uint32_t notBefore) {
    if (!eventTick)
        return now;
    // Unsigned differences: a stamp from the future looks billions of milliseconds old.
    const std::uint32_t age = now - *eventTick;
    if (age > 5000 || age > now - notBefore)
        return now;
    return *eventTick;
}

QString secondsText(std::int64_t ms) {
    const std::int64_t hundredths = (ms + 5) / 10;
    const std::int64_t whole = hundredths / 100;
    return (whole ? QString::number(whole) : QString()) + QLatin1Char('.') +
           twoDigits(hundredths % 100);
}

QString FormatTime(std::int64_t t) {
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    std::int64_t s = t;
    if (t >= 3'600'000) {
        hours = t / 3'600'000;
        const std::int64_t r = t - hours * 3'600'000;
        minutes = r / 60'000;
        s = r - minutes * 60'000;
    } else if (t >= 60'000) {
        minutes = t / 60'000;
        s = t - minutes * 60'000;
    }
    // The seconds whose shortest decimal text ends in a digit other than 0 get 10 ms more.
    const std::int64_t corrected = (s % 10'000 == 0) ? s : s + 10;
    const std::int64_t hundredths = (corrected + 5) / 10;
    const QString fraction = QLatin1Char('.') + twoDigits(hundredths % 100);

    if (t < 60'000) {
        const std::int64_t whole = hundredths / 100;
        return (whole ? QString::number(whole) : QString()) + fraction;
    }
    const QString seconds = twoDigits(hundredths / 100) + fraction;
    if (t < 3'600'000)
        return QString::number(minutes) + QLatin1Char(':') + seconds;
    return QString::number(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':') +
           seconds;
}

void StartDisplay(Clock& clock, const std::function<void(const QString&)>& show) {
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        const std::int64_t e = elapsedMs(start, clock.tickCount());
        if (e >= 10'000)
            return;
        show(secondsText(e));
        clock.sleepMs(100);
    }
}

} // namespace lm

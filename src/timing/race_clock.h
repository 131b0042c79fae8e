#pragma once
// The race clock and the one time text of the program, which the results program on the
// Main Computer imports character for character.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace lm {

class Clock;

// Elapsed milliseconds between two tick counts, modulo 2^32, so that a wrap of the tick
// counter between start and reading still gives the right value.
inline std::int64_t elapsedMs(std::uint32_t startTick, std::uint32_t nowTick) {
    return static_cast<std::uint32_t>(nowTick - startTick);
}

// The tick at which the operator pressed: the input event's own tick when there is one
// that is plausible (not in the future, at most five seconds old and not before
// `notBefore`, the end of the start display), otherwise the tick now.
std::uint32_t tickOfPress(std::optional<std::uint32_t> eventTick, std::uint32_t now,
                          std::uint32_t notBefore);

// Time text of an elapsed time: ".51", "12.36", "1:05.44", "1:02:03.46".  The seconds get
// the 10 ms correction unless they are a whole multiple of ten, and never carry into the
// minutes ("59:60.01").
QString FormatTime(std::int64_t elapsedMs);

// Seconds with hundredths, halves rounded up, in the "##.00" pattern (".10", "3.47").
QString secondsText(std::int64_t elapsedMs);

// The ten-second start display: shows the running seconds about ten times a second,
// handling no input, and returns once ten seconds have passed on the tick counter.
void StartDisplay(Clock& clock, const std::function<void(const QString&)>& show);

} // namespace lm

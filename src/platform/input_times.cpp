#include "input_times.h"

#include <QString>

namespace lm {

KeyRepeatRules keyRepeatRulesOf(const QString& windowingSystem) {
    return windowingSystem == QLatin1String("xcb") ? KeyRepeatRules::X11 : KeyRepeatRules::Marked;
}

bool KeyRepeats::isNewPress(bool marked, quint64 stamp) {
    if (rules_ == KeyRepeatRules::Marked)
        return !marked;
    // X sends a repeat as a release and a press with one stamp, and Qt can miss marking it;
    // a repeat may also come with the key still down (within a second of the last press, as
    // a release may be lost to a box).  Presses without a stamp are never taken for repeats.
    const bool repeat =
        marked || (stamp != 0 && (stamp == released_ || (down_ && stamp - pressed_ < 1000)));
    down_ = true;
    pressed_ = stamp;
    return !repeat;
}

void KeyRepeats::released(bool marked, quint64 stamp) {
    if (marked)
        return;
    down_ = false;
    released_ = stamp;
}

void PressLog::note(qint64 takenUp, std::uint32_t pressTick) {
    ++noted_;
    presses_[noted_ % presses_.size()] = {takenUp, pressTick, noted_};
}

std::optional<std::uint32_t> PressLog::take(qint64 takenUp, quint64 stamp) {
    // The events come in the order of their presses, each stamped at the moment its press
    // was taken up or a millisecond later: the earliest press not yet used that was taken up
    // just then is the event's own, even when a later one was taken up nearer to the stamp.
    Press* own = nullptr;
    for (Press& p : presses_) {
        const qint64 off = takenUp - p.takenUp;
        if (p.order != 0 && off >= -1 && off <= 3 && (!own || p.order < own->order))
            own = &p;
    }
    if (!own && stamp != 0) { // stamped with the press's own tick
        for (Press& p : presses_) {
            if (p.order != 0 && p.tick == std::uint32_t(stamp) && (!own || p.order < own->order))
                own = &p;
        }
    }
    if (!own)
        return std::nullopt;
    own->order = 0;
    return own->tick;
}

} // namespace lm

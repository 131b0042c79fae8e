#pragma once
// Where the windowing system tells when a press happened.

#include "system.h"

#include <array>

class QString;

namespace lm {

// Leads the time stamps of the running application's input events back to the tick count
// of each press; empty where the windowing system gives no such stamps.
SystemClock::EventTicks pressTicks();

// The rules of the windowing system that Qt names so ("xcb", "windows", "wayland", ...).
KeyRepeatRules keyRepeatRulesOf(const QString& windowingSystem);

// Tells a new press of a key from the repeats of the key held down: a held space bar, or a
// foot switch that sticks, is one press, however long it is held.
class KeyRepeats {
  public:
    explicit KeyRepeats(KeyRepeatRules rules) : rules_(rules) {}
    // `marked`: the event's own repeat mark; `stamp`: its time stamp (0: none).
    bool isNewPress(bool marked, quint64 stamp);
    void released(bool marked, quint64 stamp);

  private:
    KeyRepeatRules rules_;
    // Under X: down since the stamp of the last press or repeat, or released at that of
    // the last release.
    bool down_ = false;
    quint64 pressed_ = 0;
    quint64 released_ = 0;
};

// The presses that the windowing system handed over lately, each with the moment Qt took it
// up (on Qt's event clock) and the tick of the press itself.  An event made of a press finds
// its own among those taken up within -1..+3 ms of the event's stamp, each used once, so
// that presses queued while the window was busy and taken up in one millisecond keep their
// own moments, in their order.
class PressLog {
  public:
    void note(qint64 takenUp, std::uint32_t pressTick);
    // `takenUp`: the event's stamp as a moment on Qt's event clock; `stamp`: the stamp itself,
    // which is the press's own tick where Qt stamps events with the message time.
    std::optional<std::uint32_t> take(qint64 takenUp, quint64 stamp);

  private:
    struct Press {
        qint64 takenUp = 0;
        std::uint32_t tick = 0;
        std::uint64_t order = 0; // 0: free or used
    };
    std::array<Press, 64> presses_{};
    std::uint64_t noted_ = 0;
};

} // namespace lm

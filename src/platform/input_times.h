#pragma once
// Where the windowing system tells when a press happened.

#include "system.h"

#include <array>

namespace lm {

// Leads the time stamps of the running application's input events back to the tick count
// of each press; empty where the windowing system gives no such stamps.
SystemClock::EventTicks pressTicks();

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

#pragma once
// Where the windowing system tells when a press happened.

#include "system.h"

namespace lm {

// Leads the time stamps of the running application's input events back to the tick count
// of each press; empty where the windowing system gives no such stamps.
SystemClock::EventTicks pressTicks();

} // namespace lm

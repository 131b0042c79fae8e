#include "keep_awake.h"

#include <windows.h>

namespace lm {

// The state belongs to the thread that sets it, the one of the windows.
struct KeepAwake::Impl {
    bool awake = false;
};

KeepAwake::KeepAwake() : impl_(std::make_unique<Impl>()) {}

KeepAwake::~KeepAwake() {
    set(false);
}

void KeepAwake::set(bool awake) {
    if (awake == impl_->awake)
        return;
    impl_->awake = awake;
    ::SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED
                                    : ES_CONTINUOUS);
}

} // namespace lm

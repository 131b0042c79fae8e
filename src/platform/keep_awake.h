#pragma once
// Keeps the computer from going to sleep for idleness, and its screen from blanking, while
// a race clock runs: a laptop on battery between two packs of finishers would otherwise
// miss the next runners.

#include <memory>

namespace lm {

class KeepAwake {
  public:
    KeepAwake();
    ~KeepAwake(); // lets the computer sleep again
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    // Where the system offers no way, nothing happens.
    void set(bool awake);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lm

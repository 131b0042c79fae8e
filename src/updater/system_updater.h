#pragma once
// The real time and processes of the updater, on Windows and on Linux.

#include "updater.h"

namespace lm {

class RealUpdaterSystem : public UpdaterSystem {
  public:
    qint64 nowMs() override;
    void sleepMs(int ms) override;
    bool programEnded(const QString& folder) override;
    std::optional<qint64> start(const QString& program) override;
    bool running(qint64 pid) override;
    void stop(qint64 pid) override;
};

} // namespace lm

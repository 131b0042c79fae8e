#pragma once
// Runs a step many times and prints one line per figure: name, median, p99, unit.

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace lm::bench {

struct Figures {
    double median;
    double p99;
};

inline Figures summarize(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        return values[std::min(values.size() - 1,
                               static_cast<size_t>(q * static_cast<double>(values.size())))];
    };
    return {at(0.5), at(0.99)};
}

// `step` is timed `runs` times; `prepare` (untimed) runs before each step.
inline Figures measure(int runs, const std::function<void()>& step,
                       const std::function<void()>& prepare = {}) {
    std::vector<double> ns;
    ns.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        step();
        ns.push_back(static_cast<double>(t.nsecsElapsed()));
    }
    return summarize(std::move(ns));
}

inline void report(const char* name, Figures f, double perUnitNs, const char* unit) {
    std::printf("%-44s median %10.3f  p99 %10.3f  %s\n", name, f.median / perUnitNs,
                f.p99 / perUnitNs, unit);
    std::fflush(stdout);
}

} // namespace lm::bench

#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <functional>

namespace sentrel {

// Hands control to the event loop during long work, at most once per
// interval of work. Turning the loop costs more than copying a small file,
// and a screen shows no more than a few dozen frames a second, so a walk
// that yielded after every entry would spend most of its time redrawing.
// Whatever the yield handles (a Stop Schedule, a timer tick) is still seen
// by the work right after the yield returns.
class ThrottledYield final {
public:
    // Well under a frame, so the window never falls a frame behind.
    static constexpr std::int64_t kDefaultIntervalMs = 10;

    ThrottledYield(const Clock& clock, std::function<void()> yield, std::int64_t intervalMs = kDefaultIntervalMs);

    // Yields when this is the first call or when the interval has passed
    // since the previous yield returned.
    void operator()();

private:
    const Clock* clock_;
    std::function<void()> yield_;
    std::int64_t intervalMs_;
    std::int64_t lastMs_;
};

} // namespace sentrel

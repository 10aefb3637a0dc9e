#pragma once

#include <functional>
#include <memory>
#include <string>

namespace sentrel {

// Held while a run copies; dropping it lets the machine sleep.
class SleepLock {
public:
    virtual ~SleepLock() = default;
};

// The machine going to sleep and waking up, and a way to delay the sleep
// (logind on Linux).
class PowerEvents {
public:
    virtual ~PowerEvents() = default;
    // Nothing when the system offers no delay.
    virtual std::unique_ptr<SleepLock> delaySleep(const std::string& why) = 0;

    std::function<void()> beforeSleep; // the delay should be released soon after
    std::function<void()> afterWake;
};

} // namespace sentrel

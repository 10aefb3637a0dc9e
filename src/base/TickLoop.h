#pragma once

#include "platform/EventLoop.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace sentrel {

// An event loop of ticks alone, for a program without a window (--run) and
// for tests: whoever owns it turns it.
class TickLoop final : public EventLoop {
public:
    void every(std::chrono::milliseconds interval, std::function<bool()> tick) override;
    void post(std::function<void()> fn) override;

    // Runs the ticks that are due, then `afterTurn`, until `done` holds or
    // no tick is left. True when `done` holds.
    bool runUntil(const std::function<bool()>& done, const std::function<void()>& afterTurn = {});
    // One turn: waits for the next tick that is due, or for something
    // posted, and runs what is due.
    void turn();
    bool idle() const;

private:
    struct Tick {
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
        std::function<bool()> fn;
    };
    std::vector<Tick> ticks_;
    std::vector<Tick> added_; // during a turn, joined after it
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<std::function<void()>> mail_; // posted, under the mutex
};

} // namespace sentrel

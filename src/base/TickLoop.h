#pragma once

#include "platform/EventLoop.h"

#include <chrono>
#include <functional>
#include <vector>

namespace sentrel {

// An event loop of ticks alone, for a program without a window (--run) and
// for tests: whoever owns it turns it.
class TickLoop final : public EventLoop {
public:
    void every(std::chrono::milliseconds interval, std::function<bool()> tick) override;

    // Runs the ticks that are due, then `afterTurn`, until `done` holds or
    // no tick is left. True when `done` holds.
    bool runUntil(const std::function<bool()>& done, const std::function<void()>& afterTurn = {});
    // One turn: waits for the next tick that is due and runs those due.
    void turn();
    bool idle() const { return ticks_.empty() && added_.empty(); }

private:
    struct Tick {
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
        std::function<bool()> fn;
    };
    std::vector<Tick> ticks_;
    std::vector<Tick> added_; // during a turn, joined after it
};

} // namespace sentrel

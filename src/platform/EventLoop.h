#pragma once

#include <chrono>
#include <functional>

namespace sentrel {

// The window's thread's one event loop. Work done elsewhere comes back to
// it by being polled from here, never by a loop turned inside another.
class EventLoop {
public:
    virtual ~EventLoop() = default;
    // Calls `tick` on this loop's thread about every `interval`, until it
    // returns false. Returns at once.
    virtual void every(std::chrono::milliseconds interval, std::function<bool()> tick) = 0;
    // Calls `fn` on this loop's thread soon; may be called from any thread,
    // so that a job's end need not wait for the next tick.
    virtual void post(std::function<void()> fn) = 0;
};

} // namespace sentrel

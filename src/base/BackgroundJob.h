#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace sentrel {

// Work done on a thread of its own while the thread that started it polls
// it from its event loop, so that no slow system call can freeze a window.
// A job stuck in the kernel (a hung network share) can be given up: its
// thread then goes on alone, so the work must own everything it touches.
class BackgroundJob final {
public:
    // Starts the work; when no thread is to be had, it is done here and now.
    explicit BackgroundJob(std::function<void()> work);
    // Waits for the work, unless it was given up.
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Waits for the work at most `limit`; 0 polls it. False when the work
    // goes on. Throws what the work threw, the first time.
    bool waitFor(std::chrono::milliseconds limit);

    // Stops waiting for the work for good.
    void giveUp() { givenUp_ = true; }
    bool givenUp() const { return givenUp_; }

private:
    struct State;
    bool ready(std::chrono::milliseconds limit);
    void rethrow();

    std::shared_ptr<State> state_;
    bool givenUp_ = false;
};

} // namespace sentrel

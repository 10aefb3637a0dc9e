#pragma once

#include <chrono>
#include <functional>
#include <future>

namespace sentrel {

// Work done on a thread of its own while the thread that started it keeps
// turning its event loop, so that no slow system call can freeze a window.
class BackgroundJob final {
public:
    // Starts the work; when no thread is to be had, it is done here and now.
    // Ending waits for the work.
    explicit BackgroundJob(const std::function<void()>& work);

    // Calls `turn` every `interval` until the work is done, and once more
    // after that, so a turn always sees the work's end.
    void waitTurning(const std::function<void()>& turn, std::chrono::milliseconds interval);

    // Waits for the work without turning, at most `limit`; also from inside
    // a turn. False when the work goes on. Either wait throws what the work
    // threw, the first time.
    bool waitFor(std::chrono::milliseconds limit);

private:
    void finish();

    std::future<void> done_; // not valid once the work's end was seen
};

} // namespace sentrel

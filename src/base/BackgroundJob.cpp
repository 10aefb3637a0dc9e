#include "base/BackgroundJob.h"

#include "base/ProcessSignalsBlocked.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace sentrel {

struct BackgroundJob::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr error; // handed over once
};

BackgroundJob::BackgroundJob(std::function<void()> work)
    : state_(std::make_shared<State>())
{
    const auto run = [](State& state, const std::function<void()>& work) {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(state.mutex);
        state.error = error;
        state.done = true;
        state.ended.notify_all();
    };
    try {
        // Detached: a thread stuck in the kernel must not hold up the one
        // that gave it up, nor the end of the process.
        const ProcessSignalsBlocked quiet;
        std::thread([state = state_, work, run] { run(*state, work); }).detach();
    } catch (const std::system_error&) {
        run(*state_, work);
    }
}

BackgroundJob::~BackgroundJob()
{
    if (givenUp_)
        return;
    std::unique_lock lock(state_->mutex);
    state_->ended.wait(lock, [this] { return state_->done; });
}

bool BackgroundJob::ready(std::chrono::milliseconds limit)
{
    std::unique_lock lock(state_->mutex);
    return state_->ended.wait_for(lock, limit, [this] { return state_->done; });
}

void BackgroundJob::rethrow()
{
    std::exception_ptr error;
    {
        const std::lock_guard lock(state_->mutex);
        error = std::exchange(state_->error, nullptr);
    }
    // What the work threw is thrown here, where it would have been had the
    // work been done on this thread.
    if (error)
        std::rethrow_exception(error);
}

bool BackgroundJob::waitFor(std::chrono::milliseconds limit)
{
    if (givenUp_ || !ready(limit))
        return false;
    rethrow();
    return true;
}

} // namespace sentrel

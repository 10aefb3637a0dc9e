#include "base/BackgroundJob.h"

#include <memory>
#include <system_error>

namespace sentrel {

BackgroundJob::BackgroundJob(std::function<void()> work)
{
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(work));
    done_ = task->get_future();
    try {
        thread_ = std::thread([task] { (*task)(); });
    } catch (const std::system_error&) {
        (*task)();
    }
}

BackgroundJob::~BackgroundJob()
{
    if (thread_.joinable())
        thread_.join();
}

void BackgroundJob::waitTurning(const std::function<void()>& turn, std::chrono::milliseconds interval)
{
    bool done = false;
    do {
        // Not valid: a turn waited for the work's end already.
        done = !done_.valid() || done_.wait_for(interval) == std::future_status::ready;
        if (turn)
            turn();
    } while (!done);
    finish();
}

bool BackgroundJob::waitFor(std::chrono::milliseconds limit)
{
    if (done_.valid() && done_.wait_for(limit) != std::future_status::ready)
        return false;
    finish();
    return true;
}

void BackgroundJob::finish()
{
    // What the work threw is thrown here, where it would have been had the
    // work been done on this thread.
    if (done_.valid())
        done_.get();
}

} // namespace sentrel

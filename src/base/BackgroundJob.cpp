#include "base/BackgroundJob.h"

#include <system_error>

namespace sentrel {

BackgroundJob::BackgroundJob(const std::function<void()>& work)
{
    try {
        done_ = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        work();
    }
}

void BackgroundJob::waitTurning(const std::function<void()>& turn, std::chrono::milliseconds interval)
{
    bool done = false;
    do {
        // Not valid: the work was done here, or a turn waited for its end.
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

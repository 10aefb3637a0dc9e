#include "base/WorkerPool.h"

#include "base/ProcessSignalsBlocked.h"

#include <system_error>
#include <utility>

namespace sentrel {

WorkerPool::WorkerPool(unsigned helpers)
{
    const ProcessSignalsBlocked quiet;
    for (unsigned i = 1; i <= helpers; ++i) {
        try {
            helpers_.emplace_back([this, i] { help(i); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

void WorkerPool::run(std::size_t count, const Step& step)
{
    if (helpers_.empty() || count < 2) {
        for (std::size_t i = 0; i < count; ++i)
            step(i, 0);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        step_ = &step;
        count_ = count;
        next_ = 0;
        failed_ = false;
        failure_ = nullptr;
        busy_ = unsigned(helpers_.size());
        ++round_;
    }
    wake_.notify_all();
    take(0);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return busy_ == 0; });
    step_ = nullptr;
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WorkerPool::take(unsigned worker)
{
    try {
        for (std::size_t i; !failed_.load(std::memory_order_relaxed) && (i = next_.fetch_add(1)) < count_;)
            (*step_)(i, worker);
    } catch (...) {
        // The caller's frame holds what the steps use: it must outlive
        // every helper's step, so the throw waits for them in run.
        failed_ = true;
        const std::lock_guard lock(mutex_);
        if (!failure_)
            failure_ = std::current_exception();
    }
}

void WorkerPool::help(unsigned worker)
{
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || round_ != seen; });
            if (quit_)
                return;
            seen = round_;
        }
        take(worker);
        const std::lock_guard lock(mutex_);
        if (--busy_ == 0)
            finished_.notify_one();
    }
}

} // namespace sentrel

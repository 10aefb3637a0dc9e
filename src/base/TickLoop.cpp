#include "base/TickLoop.h"

#include <algorithm>

namespace sentrel {

void TickLoop::every(std::chrono::milliseconds interval, std::function<bool()> tick)
{
    added_.push_back({ interval, std::chrono::steady_clock::now() + interval, std::move(tick) });
}

void TickLoop::post(std::function<void()> fn)
{
    {
        const std::lock_guard lock(mutex_);
        mail_.push_back(std::move(fn));
    }
    posted_.notify_one();
}

bool TickLoop::idle() const
{
    const std::lock_guard lock(mutex_);
    return ticks_.empty() && added_.empty() && mail_.empty();
}

void TickLoop::turn()
{
    ticks_.insert(ticks_.end(), std::make_move_iterator(added_.begin()), std::make_move_iterator(added_.end()));
    added_.clear();
    std::vector<std::function<void()>> mail;
    {
        std::unique_lock lock(mutex_);
        if (!ticks_.empty() && mail_.empty()) {
            const auto next = std::min_element(ticks_.begin(), ticks_.end(), [](const Tick& a, const Tick& b) {
                                  return a.due < b.due;
                              })->due;
            posted_.wait_until(lock, next, [this] { return !mail_.empty(); });
        }
        mail.swap(mail_);
    }
    for (auto& fn : mail)
        fn();
    const auto now = std::chrono::steady_clock::now();
    // By index: a tick may add others, which wait in added_.
    for (std::size_t i = 0; i < ticks_.size(); ++i) {
        Tick& tick = ticks_[i];
        if (tick.due > now || !tick.fn)
            continue;
        tick.due = now + tick.interval;
        if (!tick.fn())
            tick.fn = nullptr;
    }
    std::erase_if(ticks_, [](const Tick& tick) { return !tick.fn; });
}

bool TickLoop::runUntil(const std::function<bool()>& done, const std::function<void()>& afterTurn)
{
    while (!done()) {
        if (idle())
            return false;
        turn();
        if (afterTurn)
            afterTurn();
    }
    return true;
}

} // namespace sentrel

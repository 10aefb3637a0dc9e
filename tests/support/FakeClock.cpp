#include "support/FakeClock.h"

#include "base/DateTime.h"

#include <algorithm>
#include <new>
#include <thread>

namespace sentrel::test {

FakeClock::FakeClock(LocalDateTime start)
{
    set(start);
}

LocalDateTime FakeClock::now() const
{
    return FromLocalSeconds(seconds_);
}

std::int64_t FakeClock::tickMs() const
{
    // In short steps, so a long delay that is taken back ends early.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < tickReadDelay_.load())
        std::this_thread::sleep_for(
            std::min<std::chrono::microseconds>(tickReadDelay_.load(), std::chrono::milliseconds(1)));
    if (tickReadThrows_)
        throw std::bad_alloc();
    return tickMs_;
}

void FakeClock::set(LocalDateTime t)
{
    seconds_ = ToLocalSeconds(t);
    subsecondMs_ = 0;
}

void FakeClock::advanceSeconds(std::int64_t seconds)
{
    advanceMs(seconds * 1000);
}

void FakeClock::advanceMs(std::int64_t ms)
{
    tickMs_ += ms;
    subsecondMs_ += ms;
    seconds_ += subsecondMs_ / 1000;
    subsecondMs_ %= 1000;
}

} // namespace sentrel::test

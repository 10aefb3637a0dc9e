#include "support/FakeClock.h"

#include "base/DateTime.h"

#include <algorithm>
#include <new>
#include <thread>

namespace sentrel::test {

namespace {
LocalDateTime FromSeconds(std::int64_t seconds)
{
    // Howard Hinnant's civil_from_days.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2));
    return { year, month, day, int(rest / 3600), int(rest / 60 % 60), int(rest % 60) };
}
} // namespace

FakeClock::FakeClock(LocalDateTime start)
{
    set(start);
}

LocalDateTime FakeClock::now() const
{
    return FromSeconds(seconds_);
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
    seconds_ = std::int64_t(DaysFromCivil(t.year, t.month, t.day)) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
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

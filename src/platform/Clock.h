#pragma once

#include <cstdint>

namespace sentrel {

// A local calendar date-time, to the second, as the user's clock shows it.
struct LocalDateTime {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1; // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
    // Milliseconds from an arbitrary start; never goes back.
    virtual std::int64_t tickMs() const = 0;
};

} // namespace sentrel

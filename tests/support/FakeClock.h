#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sentrel::test {

// A clock that only moves when told to. Ticks follow the seconds.
class FakeClock final : public Clock {
public:
    explicit FakeClock(LocalDateTime start = { 2026, 12, 7, 10, 0, 0 });

    LocalDateTime now() const override;
    std::int64_t tickMs() const override;

    void set(LocalDateTime t);
    void advanceSeconds(std::int64_t seconds);
    void advanceMs(std::int64_t ms);
    // Each reading of the tick takes this long: a backup, which reads it
    // once per file, then goes at a known pace.
    void setTickReadDelay(std::chrono::microseconds delay) { tickReadDelay_ = delay; }
    // Reading the tick throws, as a copy thread out of memory would.
    void setTickReadThrows(bool throws) { tickReadThrows_ = throws; }

private:
    std::int64_t seconds_ = 0; // local seconds since 1970-01-01 00:00:00
    std::int64_t subsecondMs_ = 0;
    std::atomic<std::chrono::microseconds> tickReadDelay_ { {} };
    std::atomic<bool> tickReadThrows_ = false;
    std::atomic<std::int64_t> tickMs_ { 1'000'000 }; // also read by a run's worker thread
};

} // namespace sentrel::test

#include "base/BackgroundJob.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

namespace sentrel {
namespace {

using namespace std::chrono_literals;

TEST(BackgroundJob, TurnsWhileTheWorkRunsAndOnceAfterItsEnd)
{
    std::atomic<bool> release = false, ended = false;
    int turns = 0;
    bool lastTurnSawTheEnd = false;
    BackgroundJob job([&] {
        while (!release)
            std::this_thread::yield();
        ended = true;
    });
    job.waitTurning(
        [&] {
            // The work waits for the third turn: turns go on while it runs.
            if (++turns == 3)
                release = true;
            lastTurnSawTheEnd = ended;
        },
        1ms);
    EXPECT_GE(turns, 4);
    EXPECT_TRUE(lastTurnSawTheEnd);
}

TEST(BackgroundJob, AWaitInsideATurnEndsTheTurningAndWhatTheWorkThrewReachesTheWaiter)
{
    std::atomic<bool> release = false;
    BackgroundJob job([&] {
        while (!release)
            std::this_thread::yield();
    });
    int turns = 0;
    job.waitTurning(
        [&] {
            if (++turns == 1) {
                EXPECT_FALSE(job.waitFor(0ms));
                release = true;
                EXPECT_TRUE(job.waitFor(10s));
            }
        },
        1ms);
    EXPECT_EQ(turns, 2);

    BackgroundJob failing([] { throw std::runtime_error("out of memory"); });
    EXPECT_THROW(failing.waitTurning({}, 1ms), std::runtime_error);
}

} // namespace
} // namespace sentrel

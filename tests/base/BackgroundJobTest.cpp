#include "base/BackgroundJob.h"

#include "base/WorkerPool.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>

namespace sentrel {
namespace {

using namespace std::chrono_literals;

TEST(BackgroundJob, TurnsWhileTheWorkRunsAndOnceAfterItsEndUnlessATurnWaitsForIt)
{
    std::atomic<bool> release = false, ended = false;
    const auto work = [&] {
        while (!release)
            std::this_thread::yield();
        ended = true;
    };
    int turns = 0;
    bool lastTurnSawTheEnd = false;
    BackgroundJob job(work);
    job.waitTurning(
        [&] {
            // The work waits for the third turn: turns go on while it runs.
            if (++turns == 3)
                release = true;
            lastTurnSawTheEnd = ended;
            return true;
        },
        1ms);
    EXPECT_GE(turns, 4);
    EXPECT_TRUE(lastTurnSawTheEnd);

    release = false;
    turns = 0;
    BackgroundJob waited(work);
    waited.waitTurning(
        [&] {
            if (++turns == 1) {
                EXPECT_FALSE(waited.waitFor(0ms));
                release = true;
                EXPECT_TRUE(waited.waitFor(10s));
            }
            return true;
        },
        1ms);
    EXPECT_EQ(turns, 2);

    // What the work threw reaches the waiter.
    BackgroundJob failing([] { throw std::runtime_error("out of memory"); });
    EXPECT_THROW(failing.waitTurning({}, 1ms), std::runtime_error);
}

TEST(BackgroundJob, AJobGivenUpGoesOnAloneWithWhatItOwns)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        BackgroundJob job([release, ended] {
            while (!*release)
                std::this_thread::sleep_for(1ms);
            *ended = true;
        });
        int turns = 0;
        EXPECT_FALSE(job.waitTurning([&] { return ++turns < 3; }, 1ms));
        EXPECT_EQ(turns, 3);
        EXPECT_FALSE(job.waitFor(0ms));
    } // no wait here
    EXPECT_FALSE(*ended);
    *release = true;
    for (int i = 0; i < 5000 && !*ended; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(*ended);
}

bool Blocked(int signal)
{
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, signal) == 1;
}

// A termination must reach the thread that handles it, never a thread stuck
// on a hung disk that would hold it for good.
TEST(BackgroundJob, ThreadsThatTouchTheDisksLeaveTerminationSignalsToTheStarter)
{
    std::atomic<bool> jobBlocks = false;
    BackgroundJob job([&] { jobBlocks = Blocked(SIGTERM) && Blocked(SIGHUP) && Blocked(SIGINT); });
    ASSERT_TRUE(job.waitFor(5s));
    EXPECT_TRUE(jobBlocks);

    WorkerPool pool(2);
    std::atomic<int> helperSteps = 0, unblockedHelperSteps = 0;
    pool.run(1000, [&](std::size_t, unsigned worker) {
        if (worker == 0)
            return;
        ++helperSteps;
        if (!Blocked(SIGTERM))
            ++unblockedHelperSteps;
    });
    EXPECT_EQ(unblockedHelperSteps, 0) << "of " << helperSteps;
    EXPECT_FALSE(Blocked(SIGTERM));
}

} // namespace
} // namespace sentrel

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

// Polled from an event loop's ticks: never done before the work is, and
// what the work threw comes once.
TEST(BackgroundJob, IsPolledUntilItsWorkIsDoneAndHandsOverWhatItThrew)
{
    std::atomic<bool> release = false;
    BackgroundJob job([&] {
        while (!release)
            std::this_thread::yield();
    });
    EXPECT_FALSE(job.waitFor(0ms));
    EXPECT_FALSE(job.waitFor(5ms));
    release = true;
    EXPECT_TRUE(job.waitFor(10s));
    EXPECT_TRUE(job.waitFor(0ms));

    BackgroundJob failing([] { throw std::runtime_error("out of memory"); });
    EXPECT_THROW(failing.waitFor(10s), std::runtime_error);
    EXPECT_TRUE(failing.waitFor(0ms));
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
        EXPECT_FALSE(job.waitFor(3ms));
        job.giveUp();
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

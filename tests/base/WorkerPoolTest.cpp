#include "base/WorkerPool.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace sentrel {
namespace {

using namespace std::chrono_literals;

TEST(WorkerPool, EveryStepRunsOnceAndTheRoundsFollowEachOther)
{
    WorkerPool pool(3);
    ASSERT_EQ(pool.workers(), 4u);
    for (std::size_t count : { 0, 1, 2, 1000 }) {
        std::vector<std::atomic<int>> runs(count);
        pool.run(count, [&](std::size_t i, unsigned worker) {
            EXPECT_LT(worker, 4u);
            ++runs[i];
        });
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(runs[i], 1) << i;
    }
}

// A throwing step: no later step starts, the throw reaches the caller only
// once the steps in hand have ended, and the pool serves the next round.
TEST(WorkerPool, AThrowOnAnyWorkerStopsTheRoundWaitsForTheOthersAndReachesTheCaller)
{
    WorkerPool pool(2);
    for (const bool onCaller : { false, true }) {
        std::atomic<int> started = 0;
        std::atomic<bool> thrown = false, slowIn = false, slowEnded = false;
        const auto round = [&] {
            pool.run(10000, [&](std::size_t, unsigned worker) {
                ++started;
                if (worker == 2 && !slowIn) {
                    slowIn = true;
                    std::this_thread::sleep_for(50ms);
                    slowEnded = true;
                    return;
                }
                const bool thrower = onCaller ? worker == 0 : worker == 1;
                if (thrower && !thrown.exchange(true)) {
                    for (int i = 0; i < 1000 && !slowIn; ++i)
                        std::this_thread::sleep_for(1ms);
                    throw std::runtime_error(onCaller ? "worker 0" : "helper");
                }
                std::this_thread::sleep_for(100us);
            });
        };
        try {
            round();
            ADD_FAILURE() << "no throw";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), onCaller ? "worker 0" : "helper");
        }
        EXPECT_TRUE(slowIn);
        EXPECT_TRUE(slowEnded);
        EXPECT_LT(started, 1000);

        std::atomic<int> steps = 0;
        pool.run(100, [&](std::size_t, unsigned) { ++steps; });
        EXPECT_EQ(steps, 100);
    }
}

} // namespace
} // namespace sentrel

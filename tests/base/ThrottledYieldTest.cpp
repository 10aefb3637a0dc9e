#include "base/ThrottledYield.h"

#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/Rows.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace test;

TEST(ThrottledYield, YieldsOncePerIntervalOfWorkWhateverTheYieldCosts)
{
    FakeClock clock;
    std::vector<std::int64_t> yieldedAt;
    std::int64_t eventsMs = 0; // how long handling the events takes
    ThrottledYield yield(
        clock,
        [&] {
            yieldedAt.push_back(clock.tickMs());
            clock.advanceMs(eventsMs);
        },
        10);

    yield(); // the first call always yields
    yield();
    clock.advanceMs(9);
    yield();
    EXPECT_EQ(yieldedAt.size(), 1u);
    clock.advanceMs(1);
    yield();
    EXPECT_EQ(yieldedAt.size(), 2u);

    // Entries of 3 ms each: a turn of the loop after every fourth, never
    // later, and a long turn (a question asked meanwhile) is not counted as work.
    eventsMs = 40;
    for (int entry = 0; entry < 100; ++entry) {
        clock.advanceMs(3);
        yield();
    }
    ASSERT_GT(yieldedAt.size(), 3u);
    EXPECT_EQ(yieldedAt[2] - yieldedAt[1], 12);
    for (std::size_t i = 3; i < yieldedAt.size(); ++i)
        EXPECT_EQ(yieldedAt[i] - yieldedAt[i - 1], 40 + 12) << i;
}

// The program's run of a task with its yield throttled: every entry takes
// 4 ms of the clock, and the events handled in a yield may stop the schedule.
class ThrottledRunTest : public ::testing::Test {
protected:
    ThrottledRunTest()
    {
        MakeDirs(source);
        MakeDirs(destination);
        for (int i = 0; i < 40; ++i)
            WriteFile(source + "/file" + std::to_string(i), "content");
        projects.append({ { "Docs", "Manually", source, destination, "Yes", "", "Old", "", "" } });
    }

    std::size_t Copied() const
    {
        const auto entries = std::filesystem::directory_iterator(destination);
        return std::size_t(std::distance(begin(entries), end(entries)));
    }

    const TodayTask& Run()
    {
        const TaskId id = tasks.appendTask(Task("Docs", {}, "Backing up...", "Backing up..."));
        run.RunBackupTask(id, "Docs");
        return tasks.at(*tasks.indexOf(id));
    }

    TempDir dir;
    std::string source = dir / "source", destination = dir / "backup";
    FakeClock clock;
    FakeTray tray;
    FakeSound sound;
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    Balloons balloons { tray, options };
    IgnoreList ignoreList;
    std::function<void()> events = [] {};
    ThrottledYield throttled { clock, [this] { events(); }, 10 };
    BackupRun run { BackupRun::Context { projects, tasks, log, balloons, sound, options, state, ignoreList, clock,
                                         [this] {
                                             clock.advanceMs(4);
                                             throttled();
                                         },
                                         "." } };
};

TEST_F(ThrottledRunTest, AStopHandledInAYieldEndsTheCopyAtThatEntry)
{
    std::size_t copiedAtStop = 0;
    int turns = 0;
    events = [&] {
        ++turns;
        tasks.update(0, [](TodayTask& row) { row.CurrentFile = row.Tag; });
        if (state.ScheduleRunning && Copied() >= 5) {
            state.ScheduleRunning = false;
            copiedAtStop = Copied();
        }
    };
    const TodayTask& row = Run();
    EXPECT_EQ(row.Status, "Backup canceled.");
    EXPECT_EQ(row.Tag, "Finished");
    EXPECT_EQ(row.CurrentFile, "");
    ASSERT_GE(copiedAtStop, 5u);
    EXPECT_LT(copiedAtStop, 40u);
    EXPECT_EQ(Copied(), copiedAtStop); // nothing after the yield that stopped it
    // Fewer turns than entries, but turns all the same.
    EXPECT_GT(turns, 2);
    EXPECT_LT(turns, 40);
}

} // namespace
} // namespace sentrel

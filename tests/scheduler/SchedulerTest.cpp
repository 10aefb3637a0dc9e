#include "scheduler/Scheduler.h"

#include "support/Rows.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"

#include <functional>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using Strings = std::vector<std::string>;

class FakeRunner final : public TaskRunner {
public:
    void RunBackupTask(TaskId row, const std::string& projectName) override
    {
        runs.push_back(projectName);
        if (during && runs.size() == 1)
            during(row);
    }
    Strings runs;
    std::function<void(TaskId)> during; // only inside the first run
};

class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() { state.TodayDayOfMonth = 7; }

    TodayTask& row(std::size_t i) { return tasks.quietAt(i); }
    void addProject(ProjectRecord p) { projects.append({ std::move(p) }); }

    test::FakeClock clock { { 2026, 12, 7, 10, 15, 29 } };
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    test::FakeTray tray;
    Options options;
    Balloons balloons { tray, options };
    AppState state;
    FakeRunner runner;
    Scheduler scheduler { tasks, projects, log, balloons, state, clock, runner };
};

TEST_F(SchedulerTest, RowIsQueuedOnlyInItsOwnSecondAndRunsOnce)
{
    tasks.appendTask(test::Task("Due", "2026-12-07 10:15:30"));
    tasks.appendTask(test::Task("Missed", "2026-12-07 10:15:31"));
    tasks.appendTask(test::Task("Ran", "2026-12-07 10:15:30", "Finished", "Backup finished."));
    tasks.appendTask(test::Task("RanAtStartup", " Startup", "Finished", "Backup canceled."));

    scheduler.TimerMain();
    clock.advanceMs(600);
    scheduler.TimerMain();
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, Strings {});
    clock.advanceMs(500);
    scheduler.TimerMain();
    EXPECT_EQ(row(0).Tag, "Need start");
    clock.advanceSeconds(2); // the thread was busy through 10:15:31
    scheduler.TimerMain();
    scheduler.CheckStartup();
    scheduler.TimerBackup();
    scheduler.TimerBackup();

    EXPECT_EQ(runner.runs, Strings { "Due" });
    EXPECT_EQ(row(0).Status + "|" + row(0).Tag, "Backing up...|Backing up...");
    EXPECT_EQ(row(0).Image, TaskImage::Running);
    EXPECT_TRUE(row(1).Tag.empty() && row(1).Status.empty());
    EXPECT_EQ(row(2).Tag + row(3).Tag, "FinishedFinished");
}

TEST_F(SchedulerTest, RowsDueInOneSecondRunTopFirstInOneTick)
{
    for (const char* name : { "A", "B" })
        tasks.appendTask(test::Task(name, "2026-12-07 10:15:29"));
    tasks.appendTask(test::Task("Later", "2026-12-07 11:00:00"));
    scheduler.TimerMain();
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, (Strings { "A", "B" }));
}

TEST_F(SchedulerTest, NewDateRebuildsAndQueuesOnlyStartupRows)
{
    addProject(test::Project("Midnight", "Daily", "00:00"));
    addProject(test::Project("Boot", "Daily", "Startup"));
    addProject(test::Project("Hourly", "Hourly", "", "1"));
    tasks.appendTask(test::Task("Yesterday", "2026-12-07 10:15:29"));
    clock.set({ 2026, 12, 8, 0, 0, 0 });

    scheduler.TimerMain();
    EXPECT_EQ(state.TodayDayOfMonth, 8);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log.at(0).projectName + "|" + log.at(0).detail, "  |New date. Re-create today's task.");
    ASSERT_EQ(tray.balloons.size(), 1u);
    EXPECT_EQ(tray.balloons[0].text + "|" + tray.balloons[0].title, "New date. Re-create today's task.|Sentrel");
    EXPECT_EQ(tray.balloons[0].icon, BalloonIcon::Information);
    ASSERT_EQ(tasks.size(), 25u);
    EXPECT_EQ(row(0).ProjectName + row(0).Tag, "Midnight"); // due now, but this tick checks nothing
    EXPECT_EQ(row(1).Tag, "Need start");

    tasks.appendTask(test::Task("NoSpace", "Startup"));
    scheduler.CheckStartup();
    EXPECT_EQ(row(25).Tag, "");
    scheduler.TimerMain();
    EXPECT_EQ(row(0).Tag, "Need start");
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(SchedulerTest, CurrentFileFollowsOnlyPathTags)
{
    for (const char* tag : { "/src/a.txt", "Need start", "Backing up...", "Finished", "" })
        tasks.appendTask(test::Task("P", "", tag));
    scheduler.TimerCurrent();
    EXPECT_EQ(row(0).CurrentFile, "/src/a.txt");
    for (std::size_t i = 1; i < tasks.size(); ++i)
        EXPECT_EQ(row(i).CurrentFile, "") << i;
}

TEST_F(SchedulerTest, TicksDuringARunStartNothingButMayQueueRowsTheLoopReaches)
{
    tasks.appendTask(test::Task("A", "", "Need start"));
    tasks.appendTask(test::Task("B", "2026-12-07 10:15:30"));
    runner.during = [&](TaskId) {
        scheduler.TimerBackup();
        EXPECT_TRUE(scheduler.runInProgress());
        EXPECT_EQ(runner.runs.size(), 1u);
        clock.advanceSeconds(1);
        scheduler.TimerMain();
        tasks.appendTask(test::Task("Appended", "", "Need start"));
    };
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, (Strings { "A", "B" }));
    EXPECT_FALSE(scheduler.runInProgress());
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, (Strings { "A", "B", "Appended" }));
}

TEST_F(SchedulerTest, RunningRowIsFollowedWhileRowsMove)
{
    for (const char* name : { "Before", "Runs", "Gone" })
        tasks.appendTask(test::Task(name));
    row(1).Tag = "Need start";
    runner.during = [&](TaskId id) {
        tasks.removeAt(2);
        tasks.removeAt(0);
        tasks.appendTask(test::Task("After"));
        tasks.setTag(id, "/src/deep/file");
        scheduler.TimerCurrent();
        tasks.setStatus(id, "Backup finished.");
        tasks.setImage(id, TaskImage::Finished);
    };
    scheduler.TimerBackup();
    EXPECT_EQ(test::Names(tasks), (Strings { "Runs", "After" }));
    EXPECT_EQ(row(0).Status + "|" + row(0).CurrentFile, "Backup finished.|/src/deep/file");
    EXPECT_EQ(row(0).Image, TaskImage::Finished);
    EXPECT_TRUE(row(1).Status.empty() && row(1).CurrentFile.empty());
}

TEST_F(SchedulerTest, RebuildDuringARunDropsItsOutcomeAndTheLoopGoesOnInTheNewList)
{
    addProject(test::Project("Boot1", "Daily", "Startup"));
    addProject(test::Project("Boot2", "Daily", "Startup"));
    tasks.appendTask(test::Task("Now", "", "Need start"));
    tasks.appendTask(test::Task("Waiting"));
    runner.during = [&](TaskId id) {
        clock.set({ 2026, 12, 8, 0, 0, 1 });
        scheduler.TimerMain();
        tasks.setStatus(id, "Backup finished.");
    };
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, (Strings { "Now", "Boot2" }));
    EXPECT_EQ(test::Names(tasks), (Strings { "Boot1", "Boot2" }));
    EXPECT_EQ(row(0).Status + "|" + row(0).Tag, "|Need start");
    scheduler.TimerBackup();
    EXPECT_EQ(runner.runs, (Strings { "Now", "Boot2", "Boot1" }));
}

} // namespace
} // namespace sentrel

#include "scheduler/Scheduler.h"

#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/Rows.h"

#include <functional>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

// The fixture runs the backups itself: it notes each and can act inside the first.
class SchedulerTest : public ::testing::Test, public TaskRunner {
protected:
    SchedulerTest() { state.TodayDayOfMonth = 7; }
    // Each run is over before it returns, as far as the ticks can tell.
    void StartBackupTask(TaskId id, const std::string& projectName, RunDone done) override
    {
        runs.push_back(projectName);
        if (during && runs.size() == 1)
            during(id);
        RunOutcome finished;
        finished.end = RunEnd::Finished;
        done(finished);
    }

    std::vector<std::string> runs;
    std::function<void(TaskId)> during;
    test::FakeClock clock { { 2026, 12, 7, 10, 15, 30 } };
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    test::FakeTray tray;
    Options options;
    Balloons balloons { tray, options };
    AppState state;
    Scheduler scheduler { tasks, projects, log, balloons, state, clock, *this };
};

TEST_F(SchedulerTest, RowsAreQueuedInTheirOwnSecondAndRunOnceTopFirstWhileTheRunningRowIsFollowed)
{
    const std::string due = "2026-12-07 10:15:32";
    for (const TodayTask& t :
         { test::Task("Gone"), test::Task("A", "", "Need start"),
           test::Task("Ran", due, "Finished", "Backup canceled."), test::Task("Missed", "2026-12-07 10:15:31"),
           test::Task("B", due), test::Task("C", due) })
        tasks.appendTask(t);
    during = [&](TaskId id) {
        clock.advanceSeconds(2); // the thread was busy through 10:15:31
        scheduler.TimerMain();
        scheduler.TimerBackup();
        EXPECT_EQ(runs.size(), 1u) << "a tick during a run started another";
        tasks.removeAt(0);
        tasks.setTag(id, "/src/deep/file");
        scheduler.TimerCurrent();
        tasks.setStatus(id, "Backup finished.");
    };
    scheduler.TimerBackup();
    scheduler.TimerBackup();
    EXPECT_EQ(runs, (std::vector<std::string> { "A", "B", "C" }));
    EXPECT_EQ(tasks.at(0).Status + "|" + tasks.at(0).CurrentFile, "Backup finished.|/src/deep/file");
    EXPECT_EQ(tasks.at(1).Status + "|" + tasks.at(1).CurrentFile, "Backup canceled.|");
    EXPECT_EQ(tasks.at(2).Tag + "|" + tasks.at(3).Status + "|" + tasks.at(3).Tag, "|Backing up...|Backing up...");
    EXPECT_EQ(tasks.at(3).Image, TaskImage::Running);
}

TEST_F(SchedulerTest, NewDateRebuildsQueuesOnlyStartupRowsAndDropsTheOutcomeOfTheRunningRow)
{
    projects.append({ test::Project("Midnight", "Daily", "00:00") });
    for (const char* name : { "Boot1", "Boot2" })
        projects.append({ test::Project(name, "Daily", "Startup") });
    tasks.appendTask(test::Task("Now", "", "Need start"));
    tasks.appendTask(test::Task("Waiting"));
    during = [&](TaskId id) {
        clock.set({ 2026, 12, 8, 0, 0, 0 });
        scheduler.TimerMain();
        tasks.setStatus(id, "Backup finished.");
    };
    scheduler.TimerBackup();
    EXPECT_EQ(log.at(0).projectName + "|" + log.at(0).detail, "  |New date. Re-create today's task.");
    EXPECT_EQ(tray.balloons.at(0).text + "|" + tray.balloons.at(0).title, "New date. Re-create today's task.|Sentrel");
    EXPECT_EQ(tray.balloons.at(0).icon, BalloonIcon::Information);
    // The loop went on in the new list; the midnight row is due, but this tick checked no times.
    EXPECT_EQ(tasks.at(0).Status + "|" + tasks.at(0).Tag + "|" + tasks.at(1).Tag + "|" + tasks.at(2).Tag,
              "||Backing up...|Need start");

    scheduler.TimerMain(); // the same day now
    scheduler.TimerBackup();
    EXPECT_EQ(runs, (std::vector<std::string> { "Now", "Boot1", "Midnight", "Boot2" }));
}

TEST_F(SchedulerTest, ARunThatThrowsEndsItsRowFailedAndTheNextRowRuns)
{
    tasks.appendTask(test::Task("A", "", "Need start"));
    tasks.appendTask(test::Task("B", "", "Need start"));
    during = [](TaskId) { throw std::bad_alloc(); };
    scheduler.TimerBackup();
    EXPECT_EQ(runs, (std::vector<std::string> { "A", "B" }));
    EXPECT_EQ(tasks.at(0).Status, "Backup failed: unknown error.");
    EXPECT_EQ(tasks.at(0).Tag, "Finished");
    EXPECT_EQ(tasks.at(0).Image, TaskImage::Failed);
}

TEST_F(SchedulerTest, WithMissedRunsCaughtUpASecondLostBetweenTicksIsQueuedAtTheNextOne)
{
    scheduler.setOptions(&options);
    const auto rowsAfterAJump = [&](bool runMissed, bool stopInBetween) {
        options.runMissed = runMissed;
        tasks.clear();
        runs.clear();
        clock.set({ 2026, 12, 7, 11, 59, 59 });
        for (const TodayTask& t :
             { test::Task("Lost", "2026-12-07 12:00:00"), test::Task("Next", "2026-12-07 12:00:01"),
               test::Task("Later", "2026-12-07 12:00:02"), test::Task("Boot", " Startup") })
            tasks.appendTask(t);
        scheduler.TimerMain();
        if (stopInBetween) {
            state.ScheduleRunning = false;
            scheduler.TimerCurrent();
            state.ScheduleRunning = true;
        }
        clock.advanceSeconds(2); // the process was stopped across 12:00:00
        scheduler.TimerMain();
        scheduler.TimerBackup();
        return runs;
    };
    const std::size_t logged = log.rows().size();
    EXPECT_EQ(rowsAfterAJump(true, false), (std::vector<std::string> { "Lost", "Next" }));
    ASSERT_EQ(log.rows().size(), logged + 1);
    EXPECT_EQ(log.rows().back().projectName + "|" + log.rows().back().detail,
              "Lost|Missed backup of 2026-12-07 12:00 is run now");
    EXPECT_EQ(rowsAfterAJump(false, false), (std::vector<std::string> { "Next" }));
    // Seconds that passed while the schedule was stopped are not missed.
    EXPECT_EQ(rowsAfterAJump(true, true), (std::vector<std::string> { "Next" }));
    EXPECT_EQ(log.rows().size(), logged + 1);

    // A wake-up leaves the seconds it jumped over to the missed runs.
    options.runMissed = true;
    tasks.clear();
    runs.clear();
    clock.set({ 2026, 12, 7, 11, 50, 0 });
    tasks.appendTask(test::Task("Lost", "2026-12-07 12:00:00"));
    int wakes = 0;
    scheduler.setOnWake([&] { ++wakes; });
    scheduler.TimerMain();
    clock.set({ 2026, 12, 7, 12, 10, 0 });
    scheduler.TimerMain();
    scheduler.TimerBackup();
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(runs.empty());
}

} // namespace
} // namespace sentrel

#include "scheduler/ProjectHealth.h"

#include "base/DateTime.h"
#include "scheduler/DriveArrival.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/RunHistory.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::Project;

LocalDateTime At(int day, int hour, int minute = 0, int second = 0, int month = 12)
{
    return { 2026, month, day, hour, minute, second };
}

RunOutcome Ended(RunEnd end, RunFailure failure = RunFailure::None)
{
    RunOutcome outcome;
    outcome.end = end;
    outcome.failure = failure;
    return outcome;
}

RunHistory GoodAt(const LocalDateTime& t)
{
    RunHistory history;
    history.lastGood = t;
    return history;
}

TEST(ProjectHealthTest, OverdueWhenADueTimeADayPastHadNoGoodRunAfterIt)
{
    const ProjectRecord daily = Project("D", "Daily", "12:00");
    // Good at yesterday's 12:05: today's 12:00 is not a day past until tomorrow.
    EXPECT_FALSE(IsOverdue(daily, GoodAt(At(10, 12, 5)), At(11, 23, 59)));
    EXPECT_FALSE(IsOverdue(daily, GoodAt(At(10, 12, 5)), At(12, 11, 59, 59)));
    EXPECT_TRUE(IsOverdue(daily, GoodAt(At(10, 12, 5)), At(12, 12, 0)));
    // The last good run came before yesterday's due time.
    EXPECT_FALSE(IsOverdue(daily, GoodAt(At(10, 11, 0)), At(11, 11, 59)));
    EXPECT_TRUE(IsOverdue(daily, GoodAt(At(10, 11, 0)), At(11, 12, 0)));

    const ProjectRecord hourly = Project("H", "Hourly", "-", "1");
    EXPECT_FALSE(IsOverdue(hourly, GoodAt(At(10, 9, 30)), At(11, 10, 29)));
    EXPECT_TRUE(IsOverdue(hourly, GoodAt(At(10, 9, 30)), At(11, 10, 30)));

    const ProjectRecord monthly = Project("M", "Monthly", "10:00", "01");
    EXPECT_FALSE(IsOverdue(monthly, GoodAt(At(30, 9, 0, 0, 11)), At(2, 9, 59)));
    EXPECT_TRUE(IsOverdue(monthly, GoodAt(At(30, 9, 0, 0, 11)), At(2, 10, 0)));
    EXPECT_FALSE(IsOverdue(monthly, GoodAt(At(1, 10, 3)), At(28, 10, 0)));

    // Weekly on Mondays (the 7th): the week in between is not overdue.
    const ProjectRecord weekly = Project("W", "Weekly", "08:00", "1");
    EXPECT_FALSE(IsOverdue(weekly, GoodAt(At(7, 8, 1)), At(15, 7, 0)));
    EXPECT_TRUE(IsOverdue(weekly, GoodAt(At(7, 8, 1)), At(15, 8, 0)));

    // A day kind that runs after start-up is due from the start of its days.
    EXPECT_TRUE(IsOverdue(Project("S", "Daily", "Startup"), GoodAt(At(9, 23, 0)), At(11, 0, 0)));
    EXPECT_FALSE(IsOverdue(Project("S", "Daily", "Startup"), GoodAt(At(10, 0, 1)), At(11, 0, 0)));

    EXPECT_FALSE(IsOverdue(Project("By hand", "Manually", ""), GoodAt(At(1, 0, 0, 0, 1)), At(11, 12, 0)));
    // Never backed up: counted from when the program first knew it.
    RunHistory never;
    EXPECT_FALSE(IsOverdue(daily, never, At(11, 12, 0)));
    never.firstSeen = At(9, 13, 0);
    EXPECT_FALSE(IsOverdue(daily, never, At(11, 11, 0)));
    EXPECT_TRUE(IsOverdue(daily, never, At(11, 12, 0)));
}

TEST(ProjectHealthTest, RunEndsKeepTheStreakOfFailuresUntilAGoodRunAndCancelsChangeNothing)
{
    ProjectState state;
    NoteRunEnd(state, "P", Ended(RunEnd::Finished), At(9, 12, 1));
    NoteRunEnd(state, "P", Ended(RunEnd::Failed, RunFailure::TargetMissing), At(10, 12, 0));
    NoteRunEnd(state, "P", Ended(RunEnd::Canceled), At(10, 13, 0));
    NoteRunEnd(state, "P", Ended(RunEnd::Failed, RunFailure::SourceUnreadable), At(11, 12, 0));
    RunHistory history = ReadRunHistory(state, "P");
    EXPECT_EQ(FormatDateTime(*history.lastGood), "2026-12-09 12:01:00");
    EXPECT_EQ(FormatDateTime(*history.failedSince), "2026-12-10 12:00:00");
    EXPECT_EQ(FormatDateTime(*history.lastFailed), "2026-12-11 12:00:00");
    EXPECT_EQ(history.failure, RunFailure::SourceUnreadable);

    const ProjectHealth failed = HealthOf(Project("P", "Daily", "12:00"), history, At(11, 12, 5));
    EXPECT_EQ(failed.state, HealthState::Failed);
    EXPECT_EQ(HealthLine(failed), "P\t2026-12-09 12:01:00\tfailed");
    EXPECT_EQ(HealthWarning(failed), "P: no backup since 2026-12-09 (source can not be read)");

    // Finished with errors is a good run.
    NoteRunEnd(state, "P", Ended(RunEnd::FinishedWithErrors), At(11, 12, 30));
    history = ReadRunHistory(state, "P");
    EXPECT_EQ(history.failure, RunFailure::None);
    EXPECT_FALSE(history.failedSince);
    EXPECT_EQ(HealthLine(HealthOf(Project("P", "Daily", "12:00"), history, At(11, 13, 0))),
              "P\t2026-12-11 12:30:00\tok");

    RunHistory never;
    never.firstSeen = At(1, 9, 0);
    const ProjectHealth overdue = HealthOf(Project("Q", "Hourly", "-", "2"), never, At(11, 9, 0));
    EXPECT_EQ(HealthLine(overdue), "Q\tnever\toverdue");
    EXPECT_EQ(HealthWarning(overdue), "Q: no backup yet (overdue)");
}

TEST(ProjectHealthTest, ArrivalIsDueAfterADiskNotFoundTodayOrAMissedDueTime)
{
    const ProjectRecord daily = Project("D", "Daily", "12:00");
    ProjectState state;
    NoteRunEnd(state, "D", Ended(RunEnd::Finished), At(10, 12, 2));
    // Caught up or not, today's 12:00 has not come yet.
    EXPECT_FALSE(DueOnArrival(daily, state, true, At(11, 11, 0)));
    EXPECT_TRUE(DueOnArrival(daily, state, true, At(11, 15, 0)));
    EXPECT_FALSE(DueOnArrival(daily, state, false, At(11, 15, 0)));

    NoteRunEnd(state, "D", Ended(RunEnd::Failed, RunFailure::TargetMissing), At(11, 12, 0));
    EXPECT_TRUE(DueOnArrival(daily, state, false, At(11, 15, 0)));
    EXPECT_FALSE(DueOnArrival(daily, state, false, At(12, 9, 0))) << "yesterday's failure";
    NoteRunEnd(state, "D", Ended(RunEnd::Finished), At(11, 15, 5));
    EXPECT_FALSE(DueOnArrival(daily, state, true, At(11, 16, 0)));

    // The option's own start: due times before it are not missed.
    ProjectState fresh;
    fresh.set("D", std::string(kStateSince), "2026-12-11 13:00:00");
    EXPECT_FALSE(DueOnArrival(daily, fresh, true, At(11, 15, 0)));

    ProjectState manual;
    NoteRunEnd(manual, "M", Ended(RunEnd::Failed, RunFailure::TargetMissing), At(11, 12, 0));
    EXPECT_FALSE(DueOnArrival(Project("M", "Manually", ""), manual, true, At(11, 15, 0)));
}

TEST(ProjectHealthTest, TheFileSystemOfADestinationIsItsKnownMountElseTheDeepestAboveIt)
{
    const std::vector<std::string> mounts { "/", "/media", "/media/u/USB", "/media/u/USB2" };
    EXPECT_TRUE(HoldsDestination("/media/u/USB", mounts, "/media/u/USB/Backup/", ""));
    EXPECT_TRUE(HoldsDestination("/media/u/USB", mounts, "/media/u/USB", ""));
    EXPECT_FALSE(HoldsDestination("/media/u/USB", mounts, "/media/u/USB2/Backup", ""));
    EXPECT_FALSE(HoldsDestination("/media", mounts, "/media/u/USB/Backup", ""));
    // Through a link the path does not show the mount; the last good run saw it.
    EXPECT_TRUE(HoldsDestination("/media/u/USB", mounts, "/home/u/usb-link/Backup", "/media/u/USB"));
    EXPECT_FALSE(HoldsDestination("/media/u/USB2", mounts, "/media/u/USB2/Backup", "/media/u/USB"));
}

} // namespace
} // namespace sentrel

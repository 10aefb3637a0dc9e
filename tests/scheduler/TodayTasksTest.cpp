#include "scheduler/TodayTasks.h"

#include "support/Rows.h"
#include "shell/ActivityLog.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using Times = std::vector<std::string>;

Times StartTimes(const TaskList& tasks)
{
    Times times;
    for (const TodayTask& row : tasks.rows())
        times.push_back(row.StartTime);
    return times;
}

Times Add(LocalDateTime at, std::string_view kind, std::string_view start, std::string_view tag)
{
    const test::FakeClock clock(at);
    TaskList tasks;
    AddProjectTasks(tasks, clock, NowText(clock), "P", start, kind, tag);
    return StartTimes(tasks);
}

// "count first..last", times of day only.
std::string Series(LocalDateTime at, std::string_view kind, std::string_view tag)
{
    const Times t = Add(at, kind, "", tag);
    return t.empty() ? "0" : std::to_string(t.size()) + " " + t.front().substr(11) + ".." + t.back().substr(11);
}

TEST(TodayTasks, IntervalSeriesStartOneStepAfterNowAndEndWithinTheDay)
{
    const LocalDateTime morning { 2026, 12, 7, 10, 20, 15 };
    EXPECT_EQ(Series({ 2026, 12, 7, 10, 0, 30 }, "Minutely", "15"), "55 10:15:30..23:45:30");
    EXPECT_EQ(Series({ 2026, 12, 7, 23, 59, 10 }, "Minutely", "1"), "0");
    EXPECT_EQ(Series(morning, "Hourly", "5"), "2 15:20:15..20:20:15");
    EXPECT_EQ(Series(morning, "Hourly", "24"), "0");
    EXPECT_EQ(Series(morning, "Hourly", "1"), "13 11:20:15..23:20:15");
    EXPECT_EQ(Series({ 2026, 12, 8, 0, 0, 0 }, "Hourly", "1"), "23 01:00:00..23:00:00");

    // The series follows the reference time given, not the clock.
    const test::FakeClock clock(morning);
    TaskList tasks;
    AddProjectTasks(tasks, clock, "2026-12-08 22:40:05", "P", "12:00", "Minutely", "30");
    EXPECT_EQ(StartTimes(tasks), (Times { "2026-12-08 23:10:05", "2026-12-08 23:40:05" }));
}

TEST(TodayTasks, IntervalTagIsRoundedHalfToEvenAndBadTagsAddNothing)
{
    const LocalDateTime midnight { 2026, 12, 7, 0, 0, 0 };
    for (const char* tag : { "2.5", "1.5", "+2", " 2 " })
        EXPECT_EQ(Series(midnight, "Hourly", tag), "11 02:00:00..22:00:00") << tag;
    EXPECT_EQ(Series(midnight, "Hourly", "3.5"), "5 04:00:00..20:00:00");
    EXPECT_EQ(Series(midnight, "Hourly", "2.51"), "7 03:00:00..21:00:00");
    for (const char* tag : { "", "abc", "40000", "0", "-3", "0.5", "2x", "." })
        EXPECT_EQ(Series(midnight, "Minutely", tag), "0") << tag;
}

TEST(TodayTasks, DayKindsRunOnMatchingDaysAtTheirStartTime)
{
    const LocalDateTime wednesday { 2026, 12, 9, 9, 0, 0 };
    EXPECT_EQ(Add(wednesday, "Weekly", "12:00", "1 3 5"), Times { "2026-12-09 12:00:00" });
    EXPECT_EQ(Add({ 2026, 12, 13, 9, 0, 0 }, "Weekly", "12:00", "1 3 5"), Times {});
    EXPECT_EQ(Add({ 2026, 12, 1, 9, 0, 0 }, "Monthly", "12:00", "09 10"), Times {});
    EXPECT_EQ(Add({ 2026, 12, 1, 9, 0, 0 }, "Monthly", "12:00", "1"), Times {});
    EXPECT_EQ(Add({ 2026, 12, 10, 9, 0, 0 }, "Monthly", "12:00", "09 10"), Times { "2026-12-10 12:00:00" });

    EXPECT_EQ(Add(wednesday, "Daily", "9:5", ""), Times { "2026-12-09 09:05:00" });
    EXPECT_EQ(Add(wednesday, "Daily", "08:00", ""), Times { "2026-12-09 08:00:00" });
    EXPECT_EQ(Add(wednesday, "Daily", "Startup", ""), Times { " Startup" });
    for (const char* start : { "", "-", "startup", "25:00", "12:00:30" })
        EXPECT_EQ(Add(wednesday, "Daily", start, ""), Times {}) << start;
    for (const char* kind : { "daily", "Manually", "" })
        EXPECT_EQ(Add(wednesday, kind, "12:00", "1"), Times {}) << kind;
}

TEST(TodayTasks, BuildReplacesTheListProjectByProject)
{
    const test::FakeClock clock({ 2026, 12, 7, 10, 0, 0 });
    ProjectTable projects;
    for (const ProjectRecord& p : { test::Project("A", "Daily", "12:00"), test::Project("Broken", "Daily", "xx"),
                                    test::Project("B", "Hourly", "", "10") })
        projects.append({ p });
    TaskList tasks;
    tasks.appendTask(test::Task("Old"));
    BuildTodayTasks(tasks, projects, clock);

    ASSERT_EQ(StartTimes(tasks), (Times { "2026-12-07 12:00:00", "2026-12-07 20:00:00" }));
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "A", "B" }));
    const TodayTask& row = tasks.at(0);
    EXPECT_EQ(row.Image, TaskImage::Waiting);
    EXPECT_TRUE(row.Status.empty() && row.CurrentFile.empty() && row.Tag.empty());
}

TEST(TodayTasks, RemoveDeletesEveryRowOfTheSelectedProjectByExactName)
{
    ProjectTable projects;
    projects.append({ test::Project("A", "Daily", "12:00") });
    projects.append({ test::Project("B", "Daily", "12:00") });
    TaskList tasks;
    for (const char* name : { "A", "a", "B", "A" })
        tasks.appendTask(test::Task(name, "", "Backing up...", "Backing up..."));

    RemoveProjectTasks(tasks, projects);
    EXPECT_EQ(tasks.size(), 4u); // nothing selected

    projects.setSelected(0, true);
    RemoveProjectTasks(tasks, projects);
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "a", "B" }));
}

} // namespace
} // namespace sentrel

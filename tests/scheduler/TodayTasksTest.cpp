#include "scheduler/TodayTasks.h"

#include "support/FakeClock.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

// The runs one project gets at the given moment: "first..last xN", the first alone for one, "" for none.
std::string Add(LocalDateTime at, std::string kind, std::string start, std::string tag)
{
    ProjectTable projects;
    projects.append({ test::Project("P", std::move(kind), std::move(start), std::move(tag)) });
    TaskList tasks;
    BuildTodayTasks(tasks, projects, test::FakeClock(at));
    if (tasks.size() < 2)
        return tasks.empty() ? "" : tasks.at(0).StartTime;
    const std::string& last = tasks.at(tasks.size() - 1).StartTime;
    return tasks.at(0).StartTime + ".." + last.substr(11) + " x" + std::to_string(tasks.size());
}

TEST(TodayTasks, EachKindAddsItsRunsForTheRestOfTheDay)
{
    const LocalDateTime morning { 2026, 12, 7, 10, 20, 15 }, midnight { 2026, 12, 8, 0, 0, 0 };
    EXPECT_EQ(Add({ 2026, 12, 7, 10, 0, 30 }, "Minutely", "", "15"), "2026-12-07 10:15:30..23:45:30 x55");
    EXPECT_EQ(Add({ 2026, 12, 7, 23, 59, 10 }, "Minutely", "", "1"), "");
    EXPECT_EQ(Add(morning, "Hourly", "", "5"), "2026-12-07 15:20:15..20:20:15 x2");
    EXPECT_EQ(Add(morning, "Hourly", "", "24"), "");
    EXPECT_EQ(Add(morning, "Hourly", "", "1"), "2026-12-07 11:20:15..23:20:15 x13");
    EXPECT_EQ(Add(midnight, "Hourly", "", "1"), "2026-12-08 01:00:00..23:00:00 x23");

    // The tag is rounded half to even; what is not then a whole number from 1 up adds nothing.
    for (const char* tag : { "2.5", "1.5", " +2 " })
        EXPECT_EQ(Add(midnight, "Hourly", "", tag), "2026-12-08 02:00:00..22:00:00 x11") << tag;
    EXPECT_EQ(Add(midnight, "Hourly", "", "3.5"), "2026-12-08 04:00:00..20:00:00 x5");
    for (const char* tag : { "", "abc", "40000", "0", "-3", "0.5", "2x" })
        EXPECT_EQ(Add(midnight, "Minutely", "", tag), "") << tag;

    const LocalDateTime wednesday { 2026, 12, 9, 10, 0, 0 };
    EXPECT_EQ(Add(wednesday, "Weekly", "12:00", "1 3 5"), "2026-12-09 12:00:00");
    EXPECT_EQ(Add({ 2026, 12, 13, 9, 0, 0 }, "Weekly", "12:00", "1 3 5"), "");
    EXPECT_EQ(Add({ 2026, 12, 13, 9, 0, 0 }, "Weekly", "12:00", "7"), "2026-12-13 12:00:00"); // Sunday
    EXPECT_EQ(Add({ 2026, 12, 12, 9, 0, 0 }, "Weekly", "12:00", "7"), "");
    EXPECT_EQ(Add({ 2026, 12, 1, 9, 0, 0 }, "Monthly", "12:00", "09 10"), "");
    EXPECT_EQ(Add({ 2026, 12, 10, 9, 0, 0 }, "Monthly", "12:00", "09 10"), "2026-12-10 12:00:00");
    EXPECT_EQ(Add(wednesday, "Daily", "9:5", ""), "2026-12-09 09:05:00"); // already past
    EXPECT_EQ(Add(wednesday, "Daily", "Startup", ""), " Startup");
    for (const char* start : { "", "startup", "25:00", "12:00:30" })
        EXPECT_EQ(Add(wednesday, "Daily", start, ""), "") << start;
    for (const char* kind : { "daily", "Manually" })
        EXPECT_EQ(Add(wednesday, kind, "12:00", "1"), "") << kind;
}

TEST(TodayTasks, BuildMakesTheListProjectByProjectAndRemoveTakesTheSelectedProjectsRows)
{
    ProjectTable projects;
    for (const char* name : { "B", "a", "A" })
        projects.append({ test::Project(name, "Hourly", "", "5") });
    TaskList tasks;
    BuildTodayTasks(tasks, projects, test::FakeClock({ 2026, 12, 7, 10, 0, 0 }));
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "B", "B", "a", "a", "A", "A" }));
    EXPECT_EQ(tasks.at(5).Image, TaskImage::Waiting);

    projects.setSelected(2, true);
    RemoveProjectTasks(tasks, projects);
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "B", "B", "a", "a" }));
}

} // namespace
} // namespace sentrel

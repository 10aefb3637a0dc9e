#include "scheduler/MissedRuns.h"

#include "base/DateTime.h"
#include "support/AppFixture.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::AppFixture;
using test::Project;

LocalDateTime At(int day, int hour, int minute = 0, int second = 0, int month = 12)
{
    return { 2026, month, day, hour, minute, second };
}

std::optional<std::string> Due(const ProjectRecord& p, LocalDateTime now, LocalDateTime from = At(1, 0))
{
    const std::optional<LocalDateTime> due = LastDueTime(p, now, from);
    return due ? std::optional(FormatDateTime(*due)) : std::nullopt;
}

TEST(LastDueTime, DayKindsLookBackToTheirLastDayAndIntervalsStepFromTheReference)
{
    // 2026-12-09 is a Wednesday.
    EXPECT_EQ(Due(Project("P", "Daily", "12:00"), At(9, 14)), "2026-12-09 12:00:00");
    EXPECT_EQ(Due(Project("P", "Daily", "12:00"), At(9, 12)), "2026-12-09 12:00:00"); // at the second itself
    EXPECT_EQ(Due(Project("P", "Daily", "12:00"), At(9, 11, 59, 59)), "2026-12-08 12:00:00");
    EXPECT_EQ(Due(Project("P", "Weekly", "8:30", "1 5"), At(9, 9)), "2026-12-07 08:30:00");
    EXPECT_EQ(Due(Project("P", "Weekly", "8:30", "3"), At(9, 8)), "2026-12-02 08:30:00");
    // The 31st is not in November: the last one was in October.
    EXPECT_EQ(Due(Project("P", "Monthly", "10:00", "31"), At(30, 23, 0, 0, 11)), "2026-10-31 10:00:00");
    // Days that never come give nothing.
    EXPECT_EQ(Due(Project("P", "Monthly", "10:00", "32"), At(1, 9, 0, 0, 3)), std::nullopt);
    EXPECT_EQ(Due(Project("P", "Weekly", "10:00", ""), At(9, 9)), std::nullopt);

    EXPECT_EQ(Due(Project("P", "Hourly", "-", "5"), At(9, 14, 30), At(9, 3, 10, 7)), "2026-12-09 13:10:07");
    EXPECT_EQ(Due(Project("P", "Hourly", "-", "5"), At(9, 8, 10), At(9, 3, 10, 7)), std::nullopt);
    EXPECT_EQ(Due(Project("P", "Minutely", "-", "15"), At(10, 0, 5), At(9, 23, 50)), "2026-12-10 00:05:00");

    EXPECT_EQ(Due(Project("P", "Manually", ""), At(9, 14)), std::nullopt);
    EXPECT_EQ(Due(Project("P", "Daily", "Startup"), At(9, 14)), std::nullopt);
    EXPECT_EQ(Due(Project("P", "Hourly", "-", "x"), At(9, 14)), std::nullopt);
    EXPECT_EQ(Due(Project("P", "daily", "12:00"), At(9, 14)), std::nullopt);
}

// A program with two daily projects that last ran on 8 December: "Docs" at
// 12:00 and "Mail" at 18:00, and one run by hand.
struct Scheduled : AppFixture {
    explicit Scheduled(bool runMissed = true)
    {
        test::MakeDirs(dataDir / "src");
        test::MakeDirs(dataDir / "dst");
        test::WriteFile(dataDir / "src/a.txt", "a");
        const std::string dirs = "|" + (dataDir / "src") + "|" + (dataDir / "dst") + "|Yes|";
        test::WriteFile(dataDir / "Sentrel.prj",
                        "Docs|Daily" + dirs + "12:00|Old|Every day|\r\n" + "Mail|Daily" + dirs
                            + "18:00|Old|Every day|\r\n" + "Hand|Manually" + dirs + "|Old|Manually backup|\r\n");
        test::WriteFile(dataDir / "Sentrel.state",
                        "Docs|LastRun|2026-12-08 12:00:02\r\nMail|LastRun|2026-12-08 18:00:01\r\n"
                        "Hand|LastRun|2026-11-01 10:00:00\r\n");
        settings.values["RunMissed"] = runMissed ? "Yes" : "No";
    }

    void start(LocalDateTime at)
    {
        clock.set(at);
        restart();
        app->Startup("");
    }
    // The machine sleeps until `at`: the wall clock moves, the tick does not.
    void sleepUntil(LocalDateTime at)
    {
        clock.set(at);
        clock.advanceMs(500);
        app->scheduler().TimerMain();
    }
    std::vector<std::string> queued() const
    {
        std::vector<std::string> names;
        for (const TodayTask& row : app->tasks().rows())
            if (row.Tag == kTagNeedStart)
                names.push_back(row.ProjectName + " " + row.StartTime);
        return names;
    }
    std::vector<std::string> missedLog() const
    {
        std::vector<std::string> rows;
        for (const LogRow& row : app->log().rows())
            if (row.detail.starts_with("Missed"))
                rows.push_back(row.projectName + ": " + row.detail);
        return rows;
    }
    std::string state() const { return test::ReadFile(dataDir / "Sentrel.state"); }
    // Saves the project of `row` through the editor, renamed if a name is given.
    void save(std::size_t row, const std::string& name = {})
    {
        struct NoView final : EditorView {
            void showState(const EditorState&) override { }
            void focusField(EditorField) override { }
            void closeEditor() override { }
        } view;
        app->projects().setSelected(row, true);
        app->state().EditMode = "edit";
        app->editor().Open(view);
        if (!name.empty())
            app->editor().state().name = name;
        app->editor().Save();
        settle();
        app->editor().Close();
        app->projects().setSelected(row, false);
    }
};

using Names = std::vector<std::string>;

TEST(MissedRuns, AfterAPowerOffEachProjectRunsOnceForAllItsMissedTimes)
{
    Scheduled f;
    f.start(At(11, 13, 0, 5)); // off from the 8th in the evening to the 11th
    EXPECT_EQ(f.queued(), (Names { "Docs 2026-12-11 13:00:05", "Mail 2026-12-11 13:00:05" }));
    EXPECT_EQ(f.missedLog(),
              (Names { "Docs: Missed backup of 2026-12-11 12:00 is run now",
                       "Mail: Missed backup of 2026-12-10 18:00 is run now" }));

    // Run: the start of each is noted, and nothing is missed any more.
    f.clock.advanceSeconds(1);
    f.runBackups();
    EXPECT_EQ(f.app->tasks().rows().back().Status, "Backup finished.");
    EXPECT_NE(f.state().find("Docs|LastRun|2026-12-11 13:00:06\r\n"), std::string::npos);
    EXPECT_NE(f.state().find("Mail|LastRun|2026-12-11 13:00:06\r\n"), std::string::npos);
    f.start(At(11, 17, 0));
    EXPECT_EQ(f.queued(), Names {});
    // The schedule goes on as before: the day's rows are still there.
    EXPECT_EQ(test::Names(f.app->tasks()), (Names { "Docs", "Mail" }));
}

TEST(MissedRuns, WithTheOptionOffNothingIsCaughtUp)
{
    Scheduled f(false);
    f.start(At(11, 13));
    EXPECT_EQ(f.queued(), Names {});
    f.sleepUntil(At(12, 20));
    EXPECT_EQ(f.queued(), Names {});
    EXPECT_EQ(f.missedLog(), Names {});
}

TEST(MissedRuns, AWakeUpCatchesUpOnceAndAShortStallIsNoWakeUp)
{
    Scheduled f;
    f.start(At(9, 11, 0)); // 8 December 18:00 was the last due time: nothing missed
    EXPECT_EQ(f.queued(), Names {});
    // A second when the window's thread was busy and a small clock change
    // are not sleep: the next tick queues the 12:00 row it passed over.
    f.clock.set(At(9, 11, 59, 59));
    f.app->scheduler().TimerMain();
    f.clock.advanceSeconds(2);
    f.app->scheduler().TimerMain();
    f.clock.set(At(9, 12, 1, 30));
    f.app->scheduler().TimerMain();
    EXPECT_EQ(f.queued(), Names { "Docs 2026-12-09 12:00:00" });
    EXPECT_EQ(f.missedLog(), Names { "Docs: Missed backup of 2026-12-09 12:00 is run now" });
    f.app->tasks().update(0, [](TodayTask& row) {
        row.Tag = kTagFinished;
        row.Status = "Backup canceled.";
    });

    f.sleepUntil(At(9, 12, 30));
    EXPECT_EQ(f.queued(), Names { "Docs 2026-12-09 12:30:00" });
    // logind's word after the clock's: nothing twice.
    f.app->WakeUp();
    f.sleepUntil(At(9, 12, 45));
    EXPECT_EQ(f.queued(), Names { "Docs 2026-12-09 12:30:00" });
    EXPECT_EQ(f.missedLog(),
              (Names { "Docs: Missed backup of 2026-12-09 12:00 is run now",
                       "Docs: Missed backup of 2026-12-09 12:00 is run now" }));
}

TEST(MissedRuns, ASleepOverMidnightRebuildsTheDayFirstAndKeepsTheCatchUp)
{
    Scheduled f;
    f.start(At(9, 23, 0));
    f.clock.advanceSeconds(1);
    f.runBackups(); // the catch-up of 9 December 12:00 and 18:00
    f.sleepUntil(At(10, 19, 0));
    const Names log = f.missedLog();
    EXPECT_EQ(Names(log.end() - 2, log.end()),
              (Names { "Docs: Missed backup of 2026-12-10 12:00 is run now",
                       "Mail: Missed backup of 2026-12-10 18:00 is run now" }));
    EXPECT_EQ(f.queued(), (Names { "Docs 2026-12-10 19:00:00", "Mail 2026-12-10 19:00:00" }));
    EXPECT_EQ(f.app->tasks().size(), 4u); // today's two rows, then the two runs
}

TEST(MissedRuns, AProjectQueuedOrRunningOrStoppedGetsNoSecondRun)
{
    Scheduled f;
    f.start(At(9, 11, 0));
    // Backup Now already queued Docs.
    f.app->projects().setSelected(0, true);
    f.dialogs.answers = { true };
    f.app->commands().BackupNow();
    f.sleepUntil(At(9, 12, 30));
    EXPECT_EQ(f.queued(), Names { "Docs 2026-12-09 11:00:00" });

    // While the schedule is stopped nothing is queued.
    f.app->commands().StartStopSchedule();
    f.app->WakeUp();
    f.app->tasks().clear();
    f.app->WakeUp();
    EXPECT_EQ(f.queued(), Names {});
}

TEST(MissedRuns, CountFromTheLastSaveOrFromTurningTheOptionOn)
{
    Scheduled f(false);
    test::WriteFile(f.dataDir / "Sentrel.state", "");
    f.start(At(9, 12, 30));
    // Turned on after 12:00: the 12:00 of today was not missed.
    f.app->setRunMissed(true);
    EXPECT_NE(f.state().find("Docs|Since|2026-12-09 12:30:00\r\n"), std::string::npos);
    f.app->setRunMissed(true); // still on: the moment stays
    f.sleepUntil(At(9, 17, 0));
    EXPECT_EQ(f.queued(), Names {});
    f.sleepUntil(At(9, 18, 30));
    EXPECT_EQ(f.queued(), Names { "Mail 2026-12-09 18:30:00" });

    // A save restarts the count of that project.
    f.clock.set(At(10, 12, 30));
    f.save(0);
    f.app->tasks().clear();
    f.app->WakeUp();
    EXPECT_EQ(f.queued(), Names { "Mail 2026-12-10 12:30:00" });
}

TEST(ProjectStateFile, ARenamedProjectKeepsItsHistoryAndARemovedOneLosesIt)
{
    Scheduled f;
    f.start(At(9, 11, 0));
    f.save(1, "Post");
    EXPECT_EQ(f.state(),
              "Docs|FirstSeen|2026-12-09 11:00:00\r\nDocs|LastRun|2026-12-08 12:00:02\r\n"
              "Hand|LastRun|2026-11-01 10:00:00\r\nPost|FirstSeen|2026-12-09 11:00:00\r\n"
              "Post|LastRun|2026-12-08 18:00:01\r\nPost|Since|2026-12-09 11:00:00\r\n");

    f.app->projects().setSelected(0, true);
    f.dialogs.answers = { true };
    f.app->commands().RemoveProject();
    EXPECT_EQ(f.state(),
              "Hand|LastRun|2026-11-01 10:00:00\r\nPost|FirstSeen|2026-12-09 11:00:00\r\n"
              "Post|LastRun|2026-12-08 18:00:01\r\nPost|Since|2026-12-09 11:00:00\r\n");
    // The project list keeps its nine fields.
    EXPECT_EQ(test::ReadFile(f.dataDir / "Sentrel.prj").find("LastRun"), std::string::npos);
}

} // namespace
} // namespace sentrel

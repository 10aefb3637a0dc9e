#include "projects/ProjectListFile.h"
#include "support/AppFixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::AppFixture;

std::vector<std::string> Without(std::vector<std::string> journal, std::string_view prefix)
{
    std::erase_if(journal, [&](const std::string& call) { return call.starts_with(prefix); });
    return journal;
}

TEST(AppLifecycle, StartupRunsItsStepsInOrder)
{
    AppFixture f;
    f.settings.values.clear();
    test::WriteFile(f.dataDir / "Sentrel.prj", "Docs|Manually|/a|/b|Yes||Old|Manually backup|\r\n");
    f.app->Startup("");

    EXPECT_EQ(f.journal,
              (std::vector<std::string> {
                  "settings.read AutoRun",
                  "settings.read PlaySound",
                  "settings.read ShowBalloon",
                  "settings.read SaveLog",
                  "view.options",
                  "view.show",
                  "tray.add",
                  "view.schedule running",
                  "settings.read LastCheckUpdate",
                  "dialogs.ask Do you want to visit our website to check if there is a new version released?",
              }));
    EXPECT_TRUE(f.view.visible);
    EXPECT_TRUE(test::Exists(f.dataDir / "Log"));
    ASSERT_EQ(f.app->projects().size(), 1u);
    EXPECT_EQ(f.app->projects().at(0).record.ProjectName, "Docs");
    ASSERT_EQ(f.app->log().size(), 1u);
    EXPECT_EQ(f.app->log().at(0).projectName, " ");
    EXPECT_EQ(f.app->log().at(0).detail, "Sentrel started");
    EXPECT_EQ(f.app->state().TodayDayOfMonth, 7);
    EXPECT_TRUE(f.app->state().ScheduleRunning);
}

TEST(AppLifecycle, FirstStartCreatesNoProjectFile)
{
    AppFixture f;
    f.app->Startup("");
    EXPECT_TRUE(f.app->projects().empty());
    EXPECT_FALSE(test::Exists(f.dataDir / "Sentrel.prj"));
}

TEST(AppLifecycle, FirstExitStoresEveryOptionAndTheSessionEntry)
{
    AppFixture f;
    f.settings.values.clear();
    f.app->Startup("");
    f.journal.clear();
    f.app->Shutdown();

    EXPECT_EQ(Without(f.journal, "nothing"),
              (std::vector<std::string> {
                  "autostart.add",
                  "settings.write AutoRun=Yes",
                  "settings.write PlaySound=Yes",
                  "settings.write ShowBalloon=Yes",
                  "settings.write SaveLog=Yes",
                  "settings.write LastCheckUpdate=2026-12-07",
                  "tray.delete",
                  "process.end 0",
              }));
    EXPECT_TRUE(f.autostart.present);
}

TEST(AppLifecycle, AnExitDuringTheReminderKeepsTheStoredDate)
{
    AppFixture f;
    f.settings.values["LastCheckUpdate"] = "2026-10-01";
    f.dialogs.whileAsking = [&] { f.app->Shutdown(); };
    f.app->Startup("");
    EXPECT_EQ(f.process.exitStatus, 0);
    EXPECT_EQ(f.settings.values["LastCheckUpdate"], "2026-10-01");
}

TEST(AppLifecycle, OnlyNoClearsAnOption)
{
    AppFixture f;
    f.settings.values["AutoRun"] = "No";
    f.settings.values["PlaySound"] = "yes";
    f.settings.values["ShowBalloon"] = "No";
    f.settings.values["SaveLog"] = "1";
    f.autostart.present = true;
    f.app->Startup("");
    EXPECT_FALSE(f.app->options().startWithSession);
    EXPECT_TRUE(f.app->options().playSound);
    EXPECT_FALSE(f.app->options().showBalloon);
    EXPECT_TRUE(f.app->options().saveLog);

    f.app->Shutdown();
    EXPECT_FALSE(f.autostart.present);
    EXPECT_EQ(f.settings.values["AutoRun"], "No");
    EXPECT_EQ(f.settings.values["PlaySound"], "Yes");
    EXPECT_EQ(f.settings.values["ShowBalloon"], "No");
    EXPECT_EQ(f.settings.values["SaveLog"], "Yes");
}

TEST(AppLifecycle, StartingHiddenWithoutATrayMinimizesInstead)
{
    AppFixture f;
    f.tray.available = false;
    f.app->Startup(" /1");
    EXPECT_TRUE(f.view.visible);
    EXPECT_TRUE(f.view.minimized);
}

TEST(AppLifecycle, AnyArgumentWithAOneStartsHidden)
{
    for (const char* line : { " /1", " 1", " --x=10", " a b21" }) {
        AppFixture f;
        f.app->Startup(line);
        EXPECT_FALSE(f.view.visible) << line;
    }
    for (const char* line : { "", " /2", " --hidden" }) {
        AppFixture f;
        f.app->Startup(line);
        EXPECT_TRUE(f.view.visible) << line;
    }
}

TEST(AppLifecycle, AFailingStepIsSkippedAndTheRestRuns)
{
    AppFixture f;
    f.settings.failReads = true;
    f.app->Startup("");
    EXPECT_TRUE(f.app->options().saveLog);
    EXPECT_TRUE(f.view.visible);
    EXPECT_TRUE(f.tray.iconShown);
    ASSERT_EQ(f.app->log().size(), 1u);
}

TEST(AppLifecycle, ShutdownLogsTheExitWritesTheLogFileAndEnds)
{
    AppFixture f;
    f.app->Startup("");
    f.journal.clear();
    f.app->Shutdown();
    f.app->Shutdown(); // a second request (a signal during the exit) changes nothing

    EXPECT_EQ(f.journal.back(), "process.end 0");
    EXPECT_EQ(std::count(f.journal.begin(), f.journal.end(), "process.end 0"), 1);
    EXPECT_FALSE(f.tray.iconShown);
    ASSERT_EQ(f.app->log().size(), 2u);
    EXPECT_EQ(f.app->log().at(1).projectName, "  ");
    EXPECT_EQ(f.app->log().at(1).detail, "Sentrel exited");
    const std::string file = test::ReadFile(f.dataDir / "Log/2026-12-07.txt");
    EXPECT_TRUE(file.ends_with("      Sentrel exited\r\n")) << file;
}

TEST(AppLifecycle, NoLogFileWhenLogToFileIsCleared)
{
    AppFixture f;
    f.app->Startup("");
    f.app->options().saveLog = false;
    f.app->Shutdown();
    EXPECT_EQ(f.app->log().rows().back().detail, "Sentrel exited");
    EXPECT_FALSE(test::Exists(f.dataDir / "Log/2026-12-07.txt"));
}

TEST(AppLifecycle, ExitAsksFirst)
{
    AppFixture f;
    f.app->Startup("");
    f.dialogs.answers = { false };
    f.app->Exit();
    EXPECT_FALSE(f.process.exitStatus);
    ASSERT_EQ(f.dialogs.shown.size(), 1u);
    EXPECT_EQ(f.dialogs.shown[0].text, "Do you want to exit?");
    EXPECT_EQ(f.dialogs.shown[0].title, "Sentrel");

    f.dialogs.answers = { true };
    f.app->Exit();
    EXPECT_EQ(f.process.exitStatus, 0);
}

} // namespace
} // namespace sentrel

#include "support/AppFixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {
namespace {

using test::AppFixture;
using Calls = std::vector<std::string>;

TEST(AppLifecycle, FirstStartAndExitRunTheirStepsInOrder)
{
    AppFixture f;
    f.settings.values.clear();
    f.app->Startup("");
    EXPECT_EQ(f.journal,
              (Calls { "settings.read AutoRun", "settings.read PlaySound", "settings.read ShowBalloon",
                       "settings.read SaveLog", "settings.read KeepVersions", "settings.read KeepVersionsDays",
                       "settings.read RunMissed", "settings.read DotFolders", "view.options", "view.show", "tray.add",
                       "view.running", "settings.read LastCheckUpdate",
                       "dialogs.ask Do you want to visit our website to check if there is a new version "
                       "released?" }));
    EXPECT_TRUE(test::Exists(f.dataDir / "Log"));
    EXPECT_FALSE(test::Exists(f.dataDir / "Sentrel.prj"));
    ASSERT_EQ(f.app->log().size(), 1u);
    EXPECT_EQ(f.app->log().at(0).projectName, " ");
    EXPECT_EQ(f.app->log().at(0).detail, "Sentrel started");

    f.journal.clear();
    f.app->Shutdown();
    f.app->Shutdown(); // a second request (a signal during the exit) changes nothing
    EXPECT_EQ(
        f.journal,
        (Calls { "autostart.add", "settings.write AutoRun=Yes", "settings.write PlaySound=Yes",
                 "settings.write ShowBalloon=Yes", "settings.write SaveLog=Yes", "settings.write RunMissed=No",
                 "settings.write DotFolders=No", "settings.write KeepVersions=No", "settings.write KeepVersionsDays=30",
                 "settings.write LastCheckUpdate=2026-12-07", "tray.delete", "process.end 0" }));
    EXPECT_EQ(f.app->log().at(1).projectName, "  ");
    EXPECT_EQ(f.app->log().at(1).detail, "Sentrel exited");
    EXPECT_TRUE(test::ReadFile(f.dataDir / "Log/2026-12-07.txt").ends_with("      Sentrel exited\r\n"));
}

TEST(AppLifecycle, AFailingStepIsSkippedAndTheRestRuns)
{
    AppFixture f;
    f.settings.failReads = true;
    test::WriteFile(f.dataDir / "Sentrel.prj", "Docs|Manually|/a|/b|Yes||Old|Manually backup|\r\n");
    f.app->Startup("");
    EXPECT_TRUE(f.app->options().saveLog);
    EXPECT_TRUE(f.view.visible);
    EXPECT_TRUE(f.tray.iconShown);
    EXPECT_EQ(f.app->projects().size(), 1u);
    EXPECT_EQ(f.app->log().size(), 1u);
}

// A pipe would block the start and a device never end: neither is read.
TEST(AppLifecycle, DataFilesThatAreNotRegularFilesAreLoggedAndPassedOver)
{
    AppFixture f;
    ::mkfifo((f.dataDir / "Sentrel.prj").c_str(), 0600);
    ::symlink("/dev/zero", (f.dataDir / "Ignore.ini").c_str());
    f.app->Startup("");
    ASSERT_EQ(f.app->log().size(), 3u);
    EXPECT_EQ(f.app->log().at(0).detail, "Can not read " + f.app->paths().ProjectFile + ", Not a regular file");
    EXPECT_EQ(f.app->log().at(1).detail, "Can not read " + f.app->paths().IgnoreFile + ", Not a regular file");
    EXPECT_EQ(f.app->log().at(2).detail, "Sentrel started");
}

TEST(AppLifecycle, OptionsAreReadStrictlyAndWrittenBackAtExit)
{
    // Keeping versions is on only for "Yes", and its days stay in 1..3650.
    const struct {
        const char *keep, *days;
        bool kept;
        int keptDays;
    } stored[] = { { "Yes", "7", true, 7 },     { "yes", "7", false, 7 },   { "Yes", "0", true, 30 },
                   { "Yes", "3651", true, 30 }, { "Yes", "12x", true, 30 }, { "Yes", "3650", true, 3650 } };
    for (const auto& c : stored) {
        AppFixture f;
        f.settings.values.insert({ { "KeepVersions", c.keep }, { "KeepVersionsDays", c.days } });
        f.app->Startup("");
        EXPECT_EQ(f.app->options().keepVersions, c.kept) << c.keep << " " << c.days;
        EXPECT_EQ(f.app->options().keepVersionsDays, c.keptDays) << c.keep << " " << c.days;
    }

    // Only "No" clears an option that is on by default.
    AppFixture f;
    f.settings.values.insert({ { "AutoRun", "No" }, { "PlaySound", "yes" }, { "ShowBalloon", "No" } });
    f.autostart.present = true;
    f.app->Startup("");
    EXPECT_FALSE(f.app->options().startWithSession);
    EXPECT_TRUE(f.app->options().playSound);
    EXPECT_FALSE(f.app->options().showBalloon);
    EXPECT_FALSE(f.app->options().keepVersions);
    f.app->options().saveLog = false;
    f.app->options().keepVersions = true;
    f.app->options().keepVersionsDays = 90;

    f.app->Shutdown();
    EXPECT_FALSE(f.autostart.present);
    EXPECT_EQ(f.settings.values["AutoRun"], "No");
    EXPECT_EQ(f.settings.values["PlaySound"], "Yes");
    EXPECT_EQ(f.settings.values["SaveLog"], "No");
    EXPECT_EQ(f.settings.values["KeepVersions"], "Yes");
    EXPECT_EQ(f.settings.values["KeepVersionsDays"], "90");
    EXPECT_FALSE(test::Exists(f.dataDir / "Log/2026-12-07.txt"));
}

TEST(AppLifecycle, DotFoldersAreBackedUpOnlyWhenTheSettingSaysYesAndItIsWrittenBack)
{
    for (const char* stored : { "Yes", "yes", "No", "" }) {
        AppFixture f;
        if (*stored)
            f.settings.values["DotFolders"] = stored;
        f.app->Startup("");
        const bool on = f.app->options().backUpDotFolders;
        EXPECT_EQ(on, std::string_view(stored) == "Yes") << stored;
        f.app->options().backUpDotFolders = !on;
        f.app->Shutdown();
        EXPECT_EQ(f.settings.values["DotFolders"], on ? "No" : "Yes") << stored;
    }
}

TEST(AppLifecycle, AnArgumentWithAOneStartsHiddenOrMinimizedWithoutATray)
{
    for (const char* line : { " /1", " --x=10", "", " /2" }) {
        AppFixture f;
        f.app->Startup(line);
        EXPECT_EQ(f.view.visible, std::string_view(line).find('1') == std::string_view::npos) << line;
    }
    AppFixture f;
    f.tray.available = false;
    f.app->Startup(" /1");
    EXPECT_TRUE(f.view.visible && f.view.minimized);
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

} // namespace
} // namespace sentrel

#include "support/AppFixture.h"

#include <gtest/gtest.h>

namespace sentrel::test {
namespace {

// A day whose 12:00 backup did not find its disk, and the disk that is
// plugged in at 15:00, with missed runs caught up.
class DriveArrivalTest : public ::testing::Test {
protected:
    DriveArrivalTest()
    {
        MakeDirs(f.dataDir / "src");
        WriteFile(f.dataDir / "src/a.txt", "a");
        const std::string src = f.dataDir / "src";
        WriteFile(f.dataDir / "Sentrel.prj",
                  "Docs|Daily|" + src + "|" + usb + "/Docs|Yes|12:00|Old|Every day|\r\n" + "Done|Daily|" + src + "|"
                      + usb + "/Done|Yes|12:00|Old|Every day|\r\n" + "ByHand|Manually|" + src + "|" + usb
                      + "/Hand|Yes||Old|Manually backup|\r\n");
        WriteFile(f.dataDir / "Sentrel.state",
                  "Docs|LastRun|2026-12-10 12:00:00\r\nDocs|LastGood|2026-12-10 12:00:41\r\n"
                  "Done|LastRun|2026-12-11 12:00:00\r\nDone|LastGood|2026-12-11 12:00:12\r\n"
                  "ByHand|Failure|TargetMissing\r\nByHand|LastFailed|2026-12-11 11:00:00\r\n");
        f.settings.values["RunMissed"] = "Yes";
        f.clock.set({ 2026, 12, 11, 15, 0, 0 });
        f.restart().Startup("");
        // The missed 12:00 run, before the disk is there.
        f.runBackups();
    }

    // The rows queued after the disk came back and `settle` seconds passed.
    std::vector<std::string> queuedAfter(int settle)
    {
        for (int second = 0; second < settle; ++second) {
            f.clock.advanceSeconds(1);
            f.app->TimerWatch();
        }
        std::vector<std::string> queued;
        for (const TodayTask& row : f.app->tasks().rows())
            if (row.Tag == kTagNeedStart)
                queued.push_back(row.ProjectName);
        return queued;
    }

    AppFixture f;
    std::string usb = f.dataDir / "media/USB";
};

TEST_F(DriveArrivalTest, ADueProjectRunsOnceWhenItsDiskIsMountedAndNotAgainOnTheNextMount)
{
    ASSERT_EQ(f.app->tasks().rows().back().Status, "Backup failed: target backup directory or disk not found.");
    MakeDirs(usb);
    f.fakeMounts.mount(usb);
    EXPECT_TRUE(queuedAfter(4).empty()) << "the disk has not settled";
    EXPECT_EQ(queuedAfter(1), (std::vector<std::string> { "Docs" }));
    const LogRow& why = f.app->log().rows().back();
    EXPECT_EQ(why.projectName + "|" + why.detail, "Docs|Destination disk mounted at " + usb + ", backup is run now");
    f.runBackups();
    EXPECT_EQ(f.app->tasks().rows().back().Status, "Backup finished.");
    EXPECT_EQ(ReadFile(usb + "/Docs/a.txt"), "a");

    f.fakeMounts.unmount(usb);
    f.fakeMounts.mount(usb);
    EXPECT_TRUE(queuedAfter(10).empty());
}

TEST_F(DriveArrivalTest, AStoppedScheduleOrADiskThatGoesBeforeItSettlesQueuesNothing)
{
    MakeDirs(usb);
    f.fakeMounts.mount(usb);
    EXPECT_TRUE(queuedAfter(2).empty());
    f.fakeMounts.unmount(usb);
    EXPECT_TRUE(queuedAfter(10).empty());

    f.app->commands().StartStopSchedule();
    f.fakeMounts.mount(usb);
    EXPECT_TRUE(queuedAfter(10).empty());
    f.fakeMounts.unmount(usb);

    f.app->commands().StartStopSchedule();
    f.fakeMounts.mount(usb);
    f.fakeMounts.mount(f.dataDir / "media/Other");
    EXPECT_EQ(queuedAfter(5), (std::vector<std::string> { "Docs" })) << "queued once, whatever else is mounted";
}

// The tray says which backups do not happen, until they do again.
TEST(HealthInTrayTest, OverdueAndFailedProjectsWarnUntilAGoodRunAndBalloonOnceADay)
{
    AppFixture f;
    MakeDirs(f.dataDir / "src");
    WriteFile(f.dataDir / "src/a.txt", "a");
    WriteFile(f.dataDir / "Sentrel.prj",
              "Docs|Daily|" + (f.dataDir / "src") + "|" + (f.dataDir / "dst") + "|Yes|12:00|Old|Every day|\r\n"
                  + "Fine|Hourly|" + (f.dataDir / "src") + "|" + (f.dataDir / "dst2") + "|Yes|-|Old|Every 1 hours|1\r\n"
                  + "Lost|Daily|" + (f.dataDir / "gone") + "|" + (f.dataDir / "dst3")
                  + "|Yes|Startup|Old|Every day|\r\n");
    WriteFile(f.dataDir / "Sentrel.state",
              "Docs|LastGood|2026-12-01 12:00:30\r\nFine|LastGood|2026-12-11 14:30:00\r\n"
              "Lost|LastGood|2026-12-10 09:00:00\r\n");
    f.clock.set({ 2026, 12, 11, 15, 0, 0 });
    f.restart().Startup("");
    EXPECT_EQ(f.tray.look, TrayLook::Warning);
    EXPECT_EQ(f.tray.tip, "Sentrel\nDocs: no backup since 2026-12-01 (overdue)");
    ASSERT_EQ(f.tray.balloons.size(), 1u);
    EXPECT_EQ(f.tray.balloons[0].text, "Docs: no backup since 2026-12-01 (overdue)");
    EXPECT_EQ(f.tray.balloons[0].icon, BalloonIcon::Warning);

    // The start-up run of Lost fails: its own balloon says so, the tip adds it.
    f.runBackups();
    f.app->TimerWatch();
    EXPECT_EQ(
        f.tray.tip,
        "Sentrel\nDocs: no backup since 2026-12-01 (overdue)\nLost: no backup since 2026-12-10 (source not found)");
    ASSERT_EQ(f.tray.balloons.size(), 2u);
    EXPECT_EQ(f.tray.balloons[1].icon, BalloonIcon::Error);

    f.clock.advanceSeconds(3600);
    f.app->TimerWatch();
    EXPECT_EQ(f.tray.balloons.size(), 2u) << "not at every tick";
    f.clock.set({ 2026, 12, 12, 9, 0, 0 });
    f.app->TimerWatch();
    EXPECT_EQ(f.tray.balloons.size(), 4u) << "once a day for each";

    f.app->commands().QueueBackup("Docs");
    f.runBackups();
    f.app->TimerWatch();
    EXPECT_EQ(f.tray.tip, "Sentrel\nLost: no backup since 2026-12-10 (source not found)");
    f.app->projects().removeAt(2);
    f.app->TimerWatch();
    EXPECT_EQ(f.tray.look, TrayLook::Normal);
    EXPECT_EQ(f.tray.tip, "Sentrel");
}

TEST(HealthInTrayTest, AStateFileThatCanNotBeReadIsSaidAndTheProgramRuns)
{
    AppFixture f;
    MakeDirs(f.dataDir / "Sentrel.state");
    f.app->Startup("");
    bool said = false;
    for (const LogRow& row : f.app->log().rows())
        said = said || row.detail.starts_with("Can not read " + (f.dataDir / "Sentrel.state") + ", ");
    EXPECT_TRUE(said);
    EXPECT_EQ(f.tray.look, TrayLook::Normal);
}

} // namespace
} // namespace sentrel::test

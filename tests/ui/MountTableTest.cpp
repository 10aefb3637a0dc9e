#include "platform/LinuxMountTable.h"
#include "support/AppFixture.h"
#include "support/LoopMount.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace sentrel::test {
namespace {

using namespace std::chrono_literals;

bool Has(const std::vector<std::string>& points, const std::string& point)
{
    return std::find(points.begin(), points.end(), point) != points.end();
}

// Turns `loop` until `done` holds, for at most `limit` of real time: the
// table's thread posts when the kernel says the table changed.
bool TurnUntil(TickLoop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        loop.turn();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(MountTableTest, ReadsTheProcessMountTableAndIsToldOfAMountAndAnUnmount)
{
    TickLoop loop;
    LinuxMountTable table(loop);
    const std::vector<std::string> points = table.mountPoints();
    EXPECT_TRUE(Has(points, "/"));
    EXPECT_TRUE(Has(points, "/proc"));

    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "following a mount needs a loop ext4: " << why;
    TempDir dir;
    const std::string point = dir / "usb with space";
    std::vector<std::string> told;
    table.follow([&](std::vector<std::string> now) { told = std::move(now); });
    LoopMount drive(dir / "usb.img", point);
    ASSERT_EQ(drive.error(), "");
    EXPECT_TRUE(TurnUntil(loop, [&] { return Has(told, point); }));
    ASSERT_TRUE(drive.unplug());
    EXPECT_TRUE(TurnUntil(loop, [&] { return !told.empty() && !Has(told, point); }));
}

// The real program's path from a plugged-in drive to its backup.
TEST(MountTableTest, ADueProjectIsBackedUpOnceWhenItsLoopDriveIsPluggedInAndNotWhileTheScheduleIsStopped)
{
    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "loop ext4: " << why;
    AppFixture f;
    const std::string point = f.dataDir / "media/USB";
    MakeDirs(point);
    LoopMount drive(f.dataDir / "usb.img", point);
    ASSERT_EQ(drive.error(), "");
    ASSERT_TRUE(drive.unplug());
    MakeDirs(f.dataDir / "src");
    WriteFile(f.dataDir / "src/a.txt", "a");
    const std::string src = f.dataDir / "src";
    WriteFile(f.dataDir / "Sentrel.prj",
              "Docs|Daily|" + src + "|" + point + "/Docs|Yes|12:00|Old|Every day|\r\n" + "Done|Daily|" + src + "|"
                  + point + "/Done|Yes|12:00|Old|Every day|\r\n" + "ByHand|Manually|" + src + "|" + point
                  + "/Hand|Yes||Old|Manually backup|\r\n");
    // Docs did not find its disk at 12:00; Done was backed up after it.
    WriteFile(f.dataDir / "Sentrel.state",
              "Docs|Failure|TargetMissing\r\nDocs|LastFailed|2026-12-11 12:00:01\r\n"
              "Done|LastGood|2026-12-11 12:00:09\r\n"
              "ByHand|Failure|TargetMissing\r\nByHand|LastFailed|2026-12-11 12:00:01\r\n");
    f.clock.set({ 2026, 12, 11, 15, 0, 0 });
    LinuxMountTable table(f.loop);
    f.mounts = &table;
    f.restart().Startup("");

    const auto queued = [&] {
        std::vector<std::string> names;
        for (const TodayTask& row : f.app->tasks().rows())
            if (row.Tag == kTagNeedStart)
                names.push_back(row.ProjectName);
        return names;
    };
    const auto settle = [&](std::chrono::milliseconds limit) {
        return TurnUntil(
            f.loop,
            [&] {
                f.clock.advanceMs(250);
                f.app->TimerWatch();
                return !queued().empty();
            },
            limit);
    };
    // Plugged in while the schedule is stopped, then twice while it runs.
    f.app->commands().StartStopSchedule();
    for (int plug = 0; plug < 3; ++plug) {
        ASSERT_TRUE(drive.plugIn()) << drive.error();
        if (plug == 1) {
            ASSERT_TRUE(settle(10s));
            EXPECT_EQ(queued(), (std::vector<std::string> { "Docs" }));
            f.runBackups();
            EXPECT_EQ(f.app->tasks().rows().back().Status, "Backup finished.");
            EXPECT_EQ(ReadFile(point + "/Docs/a.txt"), "a");
        } else {
            EXPECT_FALSE(settle(3s)) << (plug == 0 ? "the schedule is stopped" : "backed up already");
        }
        ASSERT_TRUE(drive.unplug());
        if (plug == 0)
            f.app->commands().StartStopSchedule();
    }
}

} // namespace
} // namespace sentrel::test

#include "engine/BackupRun.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/FuseMount.h"
#include "support/LoopMount.h"
#include "support/Rows.h"
#include "support/RunServices.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace sentrel {
namespace {

using namespace test;
using namespace std::chrono_literals;

// Runs onto a real share that stops answering, or a drive that is not
// mounted. Every call on a frozen share waits until it thaws, so the test
// itself never touches it while frozen.
class UnansweringDriveTest : public ::testing::Test, public RunServices {
protected:
    void SetUp() override
    {
        projectState.Load(dir / "Sentrel.state");
        MakeDirs(source);
        for (int i = 0; i < 40; ++i)
            WriteFile(source + "/file" + std::to_string(i), std::string(64 << 10, char('a' + i % 26)));
    }

    // The row's status, then the log details; and how long the window's
    // thread went at most without a turn of its event loop.
    std::string Run(const std::string& destination, std::chrono::milliseconds* longestGap = nullptr)
    {
        projects.clear();
        log.clear();
        projects.append({ { "Mail", "Daily", source, destination, "Yes", "10:00", "All", "", "" } });
        auto last = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration gap {};
        const std::function<void()> test = onYield;
        onYield = [&] {
            const auto now = std::chrono::steady_clock::now();
            gap = std::max(gap, now - last);
            last = now;
            test();
        };
        run.RunBackupTask(tasks.appendTask(Task("Mail", {}, "Backing up...", "Backing up...")), "Mail");
        onYield = test;
        if (longestGap)
            *longestGap = std::chrono::duration_cast<std::chrono::milliseconds>(gap);
        std::string text = tasks.rows().back().Status;
        for (const LogRow& entry : log.rows())
            text += "|" + entry.detail;
        return text;
    }

    TempDir dir;
    std::string source = dir / "source";
};

TEST_F(UnansweringDriveTest, AShareThatDoesNotAnswerItsCheckFailsTheRunWhileTheWindowTurns)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    FuseMount share(FuseMount::Kind::Sshfs, dir / "share");
    ASSERT_EQ(share.error(), "");
    run.setPatience(2s, 1s);
    share.freeze();
    std::chrono::milliseconds gap {};
    EXPECT_EQ(Run(share.path() + "/backup", &gap),
              "Backup failed: target backup directory or disk not found.|Backup failed: target backup directory or "
              "disk not found.");
    EXPECT_LT(gap, 100ms);
    share.thaw();
}

TEST_F(UnansweringDriveTest, AStopEndsARunHungOnAShareAndTheNextRunGoesOn)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    FuseMount share(FuseMount::Kind::Sshfs, dir / "share");
    ASSERT_EQ(share.error(), "");
    // The share stalls once the copy is under way; the user presses Stop.
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    onYield = [&] {
        if (!stoppedAt && tasks.rows().back().Status.starts_with("Backing up [")) {
            share.freeze();
            state.ScheduleRunning = false;
            stoppedAt = std::chrono::steady_clock::now();
        }
    };
    std::chrono::milliseconds gap {};
    EXPECT_EQ(Run(share.path() + "/backup", &gap), "Backup canceled.|Start backup|Backup canceled");
    ASSERT_TRUE(stoppedAt);
    EXPECT_LT(std::chrono::steady_clock::now() - *stoppedAt, 3s);
    EXPECT_LT(gap, 100ms);

    onYield = [] {};
    state.ScheduleRunning = true;
    EXPECT_EQ(Run(dir / "local"), "Backup finished.|Start backup|Backup finished");
    EXPECT_EQ(ReadFile(dir / "local/file39"), ReadFile(source + "/file39"));
    share.thaw();
}

TEST_F(UnansweringDriveTest, ADriveThatIsNotMountedIsNotBackedUpOntoTheDiskBelowIt)
{
    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "loop ext4: " << why;
    const std::string mountPoint = dir / "usb";
    LoopMount drive(dir / "usb.img", mountPoint);
    ASSERT_EQ(drive.error(), "");
    MakeDirs(mountPoint + "/Backups");
    // The drive's own folder, then a folder below it.
    for (const std::string& destination : { mountPoint, mountPoint + "/Backups/Mail" }) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(Run(destination), "Backup finished.|Start backup|Backup finished");
        ASSERT_TRUE(drive.unplug());
        ASSERT_TRUE(Exists(mountPoint)); // the mount folder stays, empty
        EXPECT_EQ(Run(destination),
                  "Backup failed: target backup directory or disk not found.|Backup failed: target "
                  "backup directory or disk not found.");
        EXPECT_FALSE(Exists(mountPoint + "/file0"));
        EXPECT_FALSE(Exists(mountPoint + "/Backups"));
        // Back, perhaps under another device number.
        ASSERT_TRUE(drive.plugIn()) << drive.error();
        EXPECT_EQ(Run(destination), "Backup finished.|Start backup|Backup finished");
    }
    // The mount folder removed as well.
    ASSERT_TRUE(drive.unplug());
    ::rmdir(mountPoint.c_str());
    EXPECT_EQ(Run(mountPoint + "/Backups/Mail"),
              "Backup failed: target backup directory or disk not found.|Backup "
              "failed: target backup directory or disk not found.");
    ::mkdir(mountPoint.c_str(), 0755);
    ASSERT_TRUE(drive.plugIn()) << drive.error();
}

} // namespace
} // namespace sentrel

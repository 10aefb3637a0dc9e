#include "engine/BackupRun.h"

#include "base/FileSystem.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/FuseMount.h"
#include "support/Rows.h"
#include "support/RunServices.h"
#include "support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sentrel {
namespace {

using namespace test;

class BackupRunTest : public ::testing::Test, public RunServices {
protected:
    BackupRunTest()
    {
        projectState.Load(dir / "Sentrel.state");
        clock.setTickReadDelay(std::chrono::microseconds(0));
        clock.setTickReadThrows(false);
    }

    // Runs the project from a row as the backup timer hands it over. Gives the row's status, image, tag
    // and current file, then the log details and balloons of the run.
    std::string Run(const std::string& destination, const std::string& name = "Mail")
    {
        projects.clear();
        log.clear();
        tray.balloons.clear();
        // Name, schedule, source, destination, subdirectories, start, overwrite, remark, tag.
        projects.append({ { "Mail", "Daily", source, destination, "Yes", "10:00", "Old", "", "" } });
        run.RunBackupTask(tasks.appendTask(Task(name, {}, "Backing up...", "Backing up...")), name);
        const TodayTask& row = tasks.rows().back();
        std::string text = row.Status + "|" + std::to_string(int(row.Image)) + "|" + row.Tag + "|" + row.CurrentFile;
        for (const LogRow& entry : log.rows())
            text += "|" + entry.detail;
        for (const auto& balloon : tray.balloons)
            text += "|" + balloon.text + "|" + balloon.title + "|" + std::to_string(int(balloon.icon));
        return text;
    }

    // `files` small files, each taking every worker two milliseconds: the
    // copy lasts many turns of the event loop.
    void SlowSource(int files)
    {
        MakeDirs(source);
        for (int i = 0; i < files; ++i)
            WriteFile(source + "/file" + std::to_string(i), "content");
        MakeDirs(backup);
        clock.setTickReadDelay(std::chrono::milliseconds(2));
    }

    std::size_t Copied() const
    {
        const auto entries = std::filesystem::directory_iterator(backup);
        return std::size_t(std::distance(begin(entries), end(entries)));
    }

    TempDir dir;
    std::string source = dir / "source", backup = dir / "backup";
};

TEST_F(BackupRunTest, AFinishedOrCanceledRunReportsInTheRowLogAndBalloon)
{
    MakeDirs(source);
    WriteFile(source + "/file.txt", "content");
    // What the current-file timer does meanwhile.
    onYield = [&] { tasks.update(0, [](TodayTask& task) { task.CurrentFile = task.Tag; }); };
    EXPECT_EQ(Run(backup),
              "Backup finished.|3|Finished||Start backup|Backup finished|Mail - Backup finished|Sentrel|1");
    EXPECT_EQ(ReadFile(backup + "/file.txt"), "content");
    EXPECT_EQ(sound.played, 1);

    options.playSound = false;
    onYield = [&] { state.ScheduleRunning = false; };
    EXPECT_EQ(Run(backup),
              "Backup canceled.|4|Finished||Start backup|Backup canceled|Mail - Backup canceled|Sentrel|1");
    EXPECT_EQ(sound.played, 1);
}

TEST_F(BackupRunTest, AStopHandledInATurnEndsTheCopyWithinOneFile)
{
    SlowSource(200);
    std::size_t copiedAtStop = 0;
    onYield = [&] {
        if (state.ScheduleRunning && Copied() >= 5) {
            state.ScheduleRunning = false;
            copiedAtStop = Copied();
        }
    };
    EXPECT_TRUE(Run(backup).starts_with("Backup canceled.|4|Finished||Start backup|Backup canceled|"));
    ASSERT_GE(copiedAtStop, 5u);
    EXPECT_LT(copiedAtStop, 200u);
    // The files in hand, and those begun while the turn reached the stop.
    EXPECT_LE(Copied(), copiedAtStop + 2 * BackupRun::CopyThreads());
    // What was copied is written out and counts as copied: no later run
    // copies it again.
    for (const auto& entry : std::filesystem::directory_iterator(backup))
        EXPECT_EQ(std::filesystem::last_write_time(entry.path()),
                  std::filesystem::last_write_time(source + "/" + entry.path().filename().string()));
}

TEST_F(BackupRunTest, AnExitInTheMiddleOfARunReturnsOnlyOnceTheCopyingHasStopped)
{
    SlowSource(100);
    std::size_t copiedAtExit = 0;
    onYield = [&] {
        if (copiedAtExit == 0 && Copied() > 0) {
            run.abandon();
            copiedAtExit = Copied();
        }
    };
    EXPECT_TRUE(Run(backup).starts_with("Backup canceled.|4|Finished||Start backup|Backup canceled|"));
    ASSERT_GT(copiedAtExit, 0u);
    EXPECT_LT(copiedAtExit, 100u);
    EXPECT_EQ(Copied(), copiedAtExit);
}

TEST_F(BackupRunTest, FailuresAlwaysSoundAndLeaveTheRowBackingUp)
{
    // The row keeps its tag; the log and an error balloon tell what is missing.
    const auto failed = [](const std::string& name, const std::string& what, const std::string& path) {
        return "Backup failed: " + what + ".|4|Backing up...||Backup failed: " + what + ".|" + name
            + " - Backup failed\r\nWarning: " + what + ":\r\n" + path + "|Sentrel|3";
    };
    const std::string deep = dir / "missing/backup", created = dir / "created";
    options.playSound = false;
    EXPECT_EQ(Run(deep), failed("Mail", "target backup directory or disk not found", deep));
    EXPECT_FALSE(Exists(deep));
    source = dir / "gone";
    EXPECT_EQ(Run(created), failed("Mail", "source directory not found", source));
    EXPECT_TRUE(Exists(created));
    // The project renamed or deleted since the row was planned: no paths.
    EXPECT_EQ(Run(created, "Renamed"), failed("Renamed", "target backup directory or disk not found", ""));
    EXPECT_EQ(sound.played, 3);
}

TEST_F(BackupRunTest, ANewDestinationIsAsPrivateAsItsSource)
{
    MakeDirs(source);
    ::chmod(source.c_str(), 0750);
    const mode_t umask = ::umask(0);
    Run(backup);
    ::umask(umask);
    EXPECT_EQ(Mode(backup), 0750u);
}

TEST_F(BackupRunTest, ADestinationThatIsPulledDuringTheRunEndsItFailed)
{
    SlowSource(200);
    // The disk is pulled once a file is copied; another folder takes its place.
    onYield = [&] {
        if (Exists(backup + "/file0")) {
            ::rename(backup.c_str(), (dir / "pulled").c_str());
            MakeDirs(backup);
        }
    };
    EXPECT_EQ(
        Run(backup),
        "Backup failed: target backup directory or disk not found.|4|Finished||Start backup|Backup failed: target "
        "backup directory or disk not found.|Mail - Backup failed\r\nWarning: target backup directory or disk "
        "not found:\r\n"
            + backup + "|Sentrel|3");
}

TEST_F(BackupRunTest, AStickPulledDuringTheRunEndsItFailedWithOneRow)
{
    if (const std::string reason = FuseMount::Unavailable(FuseMount::Kind::Exfat); !reason.empty())
        GTEST_SKIP() << reason;
    TempDir mountDir;
    FuseMount stick(FuseMount::Kind::Exfat, mountDir.path());
    ASSERT_TRUE(stick.error().empty()) << stick.error();
    backup = stick.path() + "/backup";
    SlowSource(200);
    bool pulled = false;
    onYield = [&] {
        if (!pulled && Exists(backup + "/file0")) {
            stick.pull();
            pulled = true;
        }
    };
    const std::string text = Run(backup);
    const std::size_t rows = log.rows().size();
    ASSERT_EQ(rows, 3u) << text;
    EXPECT_TRUE(log.rows()[1].detail.starts_with("Can not write " + backup + ", ")) << text;
    EXPECT_TRUE(text.starts_with("Backup failed: target backup directory or disk can not be written, ")) << text;
}

TEST_F(BackupRunTest, ADestinationKeepingNoPermissionsIsNotedButFinishesWithoutErrors)
{
    if (const std::string reason = FuseMount::Unavailable(FuseMount::Kind::ChmodDenied); !reason.empty())
        GTEST_SKIP() << reason;
    TempDir mountDir;
    FuseMount share(FuseMount::Kind::ChmodDenied, mountDir.path());
    ASSERT_TRUE(share.error().empty()) << share.error();
    MakeDirs(source);
    WriteFile(source + "/file.txt", "content");
    ::chmod((source + "/file.txt").c_str(), 0644);
    EXPECT_EQ(Run(share.path()),
              "Backup finished.|3|Finished||Start backup|The destination does not keep permissions: " + share.path()
                  + "|Backup finished|Mail - Backup finished|Sentrel|1");
    EXPECT_EQ(ReadFile(share.path() + "/file.txt"), "content");
}

TEST_F(BackupRunTest, FilesThatFailAreCountedInTheRowTheLogAndAWarningBalloon)
{
    MakeDirs(source);
    WriteFile(source + "/file.txt", "content");
    ASSERT_EQ(::mkfifo((source + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((source + "/pipe2").c_str(), 0600), 0);
    EXPECT_EQ(Run(backup),
              "Backup finished with 2 errors.|3|Finished||Start backup|Can not create " + backup
                  + "/pipe, Not a regular file (named pipe)|Can not create " + backup
                  + "/pipe2, Not a regular file (named pipe)|Backup finished with 2 errors|Mail - Backup finished with "
                    "2 errors|Sentrel|2");
    ::unlink((source + "/pipe2").c_str());
    EXPECT_TRUE(Run(backup).starts_with("Backup finished with 1 error.|3|Finished|"));
}

TEST_F(BackupRunTest, AStartPressedWhileAStoppedRunWindsDownLeavesItCanceled)
{
    SlowSource(200);
    int turnsSinceStop = -1;
    onYield = [&] {
        if (turnsSinceStop < 0 && Copied() >= 5) {
            state.ScheduleRunning = false;
            turnsSinceStop = 0;
        } else if (turnsSinceStop >= 0 && ++turnsSinceStop == 1) {
            state.ScheduleRunning = true; // Stop, then Start at once
        }
    };
    EXPECT_TRUE(Run(backup).starts_with("Backup canceled.|4|Finished||Start backup|Backup canceled|"));
    EXPECT_LT(Copied(), 200u);
}

TEST_F(BackupRunTest, AThrowOnACopyThreadEndsTheRunFailedAndTheNextRunWorks)
{
    MakeDirs(source);
    for (int i = 0; i < 50; ++i)
        WriteFile(source + "/file" + std::to_string(i), "content");
    clock.setTickReadThrows(true);
    EXPECT_EQ(Run(backup),
              "Backup failed: out of memory.|4|Finished||Start backup|Backup failed: out of memory.|Mail - Backup "
              "failed\r\nWarning: the backup stopped on an error:\r\nout of memory|Sentrel|3");
    clock.setTickReadThrows(false);
    EXPECT_TRUE(Run(backup).starts_with("Backup finished.|3|Finished|"));
    EXPECT_EQ(Copied(), 50u);
}

TEST_F(BackupRunTest, AStopEndsARunStuckInTheKernelAndTheNextRunGoesOn)
{
    SlowSource(20);
    run.setPatience(std::chrono::milliseconds(100), std::chrono::seconds(20));
    // Each file now takes a minute, as on a share that stopped answering.
    onYield = [&] {
        if (Copied() >= 1 && state.ScheduleRunning) {
            clock.setTickReadDelay(std::chrono::minutes(1));
            state.ScheduleRunning = false;
        }
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Run(backup).starts_with("Backup canceled.|4|Finished||Start backup|Backup canceled|"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

    // The given-up copy still waits in its call; a new run copies beside it.
    onYield = [] {};
    state.ScheduleRunning = true;
    clock.setTickReadDelay(std::chrono::microseconds(0));
    EXPECT_TRUE(Run(backup).starts_with("Backup finished.|3|Finished|"));
    EXPECT_EQ(Copied(), 20u);
}

TEST_F(BackupRunTest, ADestinationNowOnAnotherFileSystemThanAtItsLastGoodRunIsNotFilled)
{
    MakeDirs(source);
    WriteFile(source + "/file.txt", "content");
    MakeDirs(backup);
    const std::string inside = backup + "/Mail";
    EXPECT_TRUE(Run(inside).starts_with("Backup finished.|"));
    EXPECT_EQ(projectState.get("Mail", "DestinationMount"), MountPointOf(backup));
    EXPECT_EQ(ReadFile(dir / "Sentrel.state"),
              "Mail|Destination|" + inside + "\r\nMail|DestinationMount|" + MountPointOf(backup) + "\r\n");

    // As if it had lived on a drive mounted at the backup folder, which is
    // now missing: neither the folder nor anything in it is made.
    projectState.set("Mail", "DestinationMount", backup);
    std::filesystem::remove_all(inside);
    EXPECT_EQ(Run(inside),
              "Backup failed: target backup directory or disk not found.|4|Backing up...||Backup failed: target "
              "backup directory or disk not found.|Mail - Backup failed\r\nWarning: target backup directory or disk "
              "not found:\r\n"
                  + inside + "|Sentrel|3");
    EXPECT_FALSE(Exists(inside));

    // A new destination is trusted wherever it is.
    EXPECT_TRUE(Run(dir / "elsewhere").starts_with("Backup finished.|"));
}

TEST_F(BackupRunTest, WithVersionsKeptARunKeepsWhatItReplacesThenPrunesAndSaysHowMany)
{
    MakeDirs(source);
    WriteFile(source + "/file.txt", "one");
    SetMtime(source + "/file.txt", 1000);
    options.keepVersions = true;
    options.keepVersionsDays = 10;
    clock.set({ 2026, 5, 1, 8, 0, 0 });
    EXPECT_EQ(Run(backup),
              "Backup finished.|3|Finished||Start backup|Backup finished|Mail - Backup finished|Sentrel|1");

    const std::string versions = backup + "/.sentrel-versions/";
    MakeDirs(versions + "2026-04-01 08.00.00/sub");
    WriteFile(versions + "2026-04-01 08.00.00/sub/old", "x");
    WriteFile(source + "/file.txt", "two");
    SetMtime(source + "/file.txt", 2000);
    clock.set({ 2026, 5, 2, 8, 30, 0 });
    EXPECT_EQ(Run(backup),
              "Backup finished.|3|Finished||Start backup|Removed 1 old version|Backup finished|Mail - "
              "Backup finished|Sentrel|1");
    EXPECT_EQ(ReadFile(versions + "2026-05-02 08.30.00/file.txt"), "one");
    EXPECT_FALSE(Exists(versions + "2026-04-01 08.00.00"));

    // A prune that fails is told and the backup still finishes.
    if (::geteuid() != 0) {
        clock.set({ 2026, 6, 2, 8, 30, 0 });
        ::chmod(versions.c_str(), 0500);
        const std::string text = Run(backup);
        ::chmod(versions.c_str(), 0700);
        EXPECT_TRUE(text.starts_with("Backup finished.|3|Finished||Start backup|Can not remove ")) << text;
    }
}

} // namespace
} // namespace sentrel

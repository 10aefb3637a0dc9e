#include "engine/BackupRun.h"

#include "base/FileSystem.h"
#include "base/UniqueFd.h"
#include "support/FuseMount.h"
#include "support/LoopMount.h"
#include "support/Rows.h"
#include "support/RunServices.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sentrel {
namespace {

using namespace test;
using namespace std::chrono_literals;

const std::string kNotFound = "target backup directory or disk not found";
const std::string kCanceled
    = "Backup canceled.|4|Finished||Start backup|Backup canceled|Mail - Backup canceled|Sentrel|1";

// What a run that finished shows, with `rows` logged on the way.
std::string Finished(const std::string& rows = "")
{
    return "Backup finished.|3|Finished||Start backup|" + rows + "Backup finished|Mail - Backup finished|Sentrel|1";
}

// What a run that failed on `what` shows; one that began copying has its row finished.
std::string Failed(const std::string& what, const std::string& path, bool started = false,
                   const std::string& name = "Mail")
{
    return "Backup failed: " + what + ".|4|" + (started ? "Finished||Start backup|" : "Backing up...||")
        + "Backup failed: " + what + ".|" + name + " - Backup failed\r\nWarning: " + what + ":\r\n" + path
        + "|Sentrel|3";
}

// Runs onto folders and onto real drives that are pulled, freeze or are
// not mounted. Every call on a frozen share waits until it thaws, so the
// test itself never touches one while frozen.
class BackupRunTest : public ::testing::Test, public RunServices {
protected:
    BackupRunTest()
    {
        projectState.Load(dir / "Sentrel.state");
        clock.setTickReadDelay(0us);
        clock.setTickReadThrows(false);
        MakeDirs(source);
    }

    // Runs the project from a row as the backup timer hands it over. Gives
    // the row's status, image, tag and current file, then the log details
    // and balloons of the run; longestGap is how long the window's thread
    // went at most without a turn of its event loop.
    std::string Run(const std::string& destination, const std::string& name = "Mail")
    {
        projects.clear();
        log.clear();
        tray.balloons.clear();
        // Name, schedule, source, destination, subdirectories, start, overwrite, remark, tag.
        projects.append({ { "Mail", "Daily", source, destination, "Yes", "10:00", "Old", "", "" } });
        auto last = std::chrono::steady_clock::now();
        longestGap = {};
        const std::function<void()> test = onYield;
        onYield = [&] {
            const auto now = std::chrono::steady_clock::now();
            longestGap = std::max(longestGap, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
            last = now;
            test();
        };
        RunTask(tasks.appendTask(Task(name, {}, "Backing up...", "Backing up...")), name);
        onYield = test;
        const TodayTask& row = tasks.rows().back();
        std::string text = row.Status + "|" + std::to_string(int(row.Image)) + "|" + row.Tag + "|" + row.CurrentFile;
        for (const LogRow& entry : log.rows())
            text += "|" + entry.detail;
        for (const auto& balloon : tray.balloons)
            text += "|" + balloon.text + "|" + balloon.title + "|" + std::to_string(int(balloon.icon));
        return text;
    }

    // `files` files of `bytes` each, each taking every worker `perFile`
    // besides: the copy lasts many turns of the event loop.
    void SlowSource(int files, std::size_t bytes = 7, std::chrono::microseconds perFile = 2ms)
    {
        for (int i = 0; i < files; ++i)
            WriteFile(source + "/file" + std::to_string(i), std::string(bytes, char('a' + i % 26)));
        MakeDirs(backup);
        clock.setTickReadDelay(perFile);
    }

    std::size_t Copied() const
    {
        if (!Exists(backup))
            return 0;
        const auto entries = std::filesystem::directory_iterator(backup);
        return std::size_t(std::distance(begin(entries), end(entries)));
    }

    TempDir dir;
    std::string source = dir / "source", backup = dir / "backup";
    std::chrono::milliseconds longestGap {};
};

TEST_F(BackupRunTest, EachOutcomeIsReportedInTheRowLogBalloonAndSound)
{
    WriteFile(source + "/file.txt", "content");
    ASSERT_EQ(::mkfifo((source + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((source + "/pipe2").c_str(), 0600), 0);
    // A new destination keeps its source's permission bits, whatever the umask.
    ::chmod(source.c_str(), 0770);
    const mode_t umask = ::umask(077);
    // What the current-file timer does meanwhile.
    onYield = [&] { tasks.update(0, [](TodayTask& task) { task.CurrentFile = task.Tag; }); };
    EXPECT_EQ(Run(backup),
              "Backup finished with 2 errors.|3|Finished||Start backup|Can not create " + backup
                  + "/pipe, Not a regular file (named pipe)|Can not create " + backup
                  + "/pipe2, Not a regular file (named pipe)|Backup finished with 2 errors|Mail - Backup finished with "
                    "2 errors|Sentrel|2");
    ::umask(umask);
    EXPECT_EQ(Mode(backup), 0770u);
    EXPECT_EQ(ReadFile(backup + "/file.txt"), "content");
    ::unlink((source + "/pipe2").c_str());
    EXPECT_TRUE(Run(backup).starts_with("Backup finished with 1 error.|3|Finished|"));
    ::unlink((source + "/pipe").c_str());
    EXPECT_EQ(Run(backup), Finished());
    EXPECT_EQ(sound.played, 3);

    // A stop that comes once the copy is whole changes nothing; one that
    // comes before does.
    options.playSound = false;
    onYield = [&] { state.ScheduleRunning = false; };
    EXPECT_EQ(Run(backup), Finished());
    state.ScheduleRunning = true;
    SlowSource(20);
    EXPECT_EQ(Run(backup), kCanceled);
    EXPECT_EQ(sound.played, 3);
    clock.setTickReadDelay(0us);

    // Failures sound all the same and leave the row backing up.
    onYield = [] {};
    state.ScheduleRunning = true;
    const std::string deep = dir / "missing/backup", created = dir / "created";
    EXPECT_EQ(Run(deep), Failed(kNotFound, deep));
    EXPECT_FALSE(Exists(deep));
    source = dir / "gone";
    EXPECT_EQ(Run(created), Failed("source directory not found", source));
    EXPECT_TRUE(Exists(created));
    // The project renamed or deleted since the row was planned: no paths.
    EXPECT_EQ(Run(created, "Renamed"), Failed(kNotFound, "", false, "Renamed"));
    EXPECT_EQ(sound.played, 6);
}

TEST_F(BackupRunTest, AStopEndsTheCopyWithinOneFileAndAStartPressedAsItWindsDownChangesNothing)
{
    SlowSource(200);
    std::size_t copiedAtStop = 0;
    int turnsSinceStop = -1;
    onYield = [&] {
        if (turnsSinceStop < 0 && Copied() >= 5) {
            state.ScheduleRunning = false;
            copiedAtStop = Copied();
            turnsSinceStop = 0;
        } else if (turnsSinceStop >= 0 && ++turnsSinceStop == 1) {
            state.ScheduleRunning = true;
        }
    };
    EXPECT_EQ(Run(backup), kCanceled);
    ASSERT_GE(copiedAtStop, 5u);
    EXPECT_LT(copiedAtStop, 200u);
    // The files in hand, and those begun before the next turn (10 ms, five
    // files a worker) took the stop to the run.
    EXPECT_LE(Copied(), copiedAtStop + 7 * BackupRun::CopyThreads());
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
    EXPECT_EQ(Run(backup), kCanceled);
    ASSERT_GT(copiedAtExit, 0u);
    EXPECT_LT(copiedAtExit, 100u);
    EXPECT_EQ(Copied(), copiedAtExit);
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
    EXPECT_EQ(Run(backup), Failed(kNotFound, backup, true));
}

TEST_F(BackupRunTest, AStickPulledDuringTheRunEndsItFailedWithOneRow)
{
    if (const std::string reason = FuseMount::Unavailable(FuseMount::Kind::Exfat); !reason.empty())
        GTEST_SKIP() << reason;
    FuseMount stick(FuseMount::Kind::Exfat, dir / "stick");
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
    ASSERT_EQ(log.rows().size(), 3u) << text;
    EXPECT_TRUE(log.rows()[1].detail.starts_with("Can not write " + backup + ", ")) << text;
    EXPECT_TRUE(text.starts_with("Backup failed: target backup directory or disk can not be written, ")) << text;
}

// Several workers meet the refusal; the log says it once and the data and
// times arrive.
TEST_F(BackupRunTest, ADestinationKeepingNoPermissionsIsNotedOnceButFinishesWithoutErrors)
{
    if (const std::string reason = FuseMount::Unavailable(FuseMount::Kind::ChmodDenied); !reason.empty())
        GTEST_SKIP() << reason;
    FuseMount share(FuseMount::Kind::ChmodDenied, dir / "share");
    ASSERT_TRUE(share.error().empty()) << share.error();
    for (int i = 0; i < 30; ++i) {
        MakeDirs(source + "/d" + std::to_string(i % 3));
        WriteFile(source + "/d" + std::to_string(i % 3) + "/f" + std::to_string(i), "data " + std::to_string(i));
    }
    EXPECT_EQ(Run(share.path()), Finished("The destination does not keep permissions: " + share.path() + "|"));
    for (int i = 0; i < 30; ++i) {
        const std::string name = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
        EXPECT_EQ(ReadFile(share.path() + name), "data " + std::to_string(i)) << name;
        EXPECT_EQ(Mtime(share.path() + name), Mtime(source + name)) << name;
    }
}

TEST_F(BackupRunTest, AThrowOnACopyThreadEndsTheRunFailedAndTheNextRunWorks)
{
    SlowSource(50, 7, 0us);
    clock.setTickReadThrows(true);
    EXPECT_EQ(Run(backup),
              "Backup failed: out of memory.|4|Finished||Start backup|Backup failed: out of memory.|Mail - Backup "
              "failed\r\nWarning: the backup stopped on an error:\r\nout of memory|Sentrel|3");
    clock.setTickReadThrows(false);
    EXPECT_EQ(Run(backup), Finished());
    EXPECT_EQ(Copied(), 50u);
}

TEST_F(BackupRunTest, AStopEndsARunStuckInTheKernelAndTheNextRunGoesOn)
{
    SlowSource(20);
    run.setPatience(100ms, 20s);
    // Each file now takes a minute, as on a share that stopped answering.
    onYield = [&] {
        if (Copied() >= 1 && state.ScheduleRunning) {
            clock.setTickReadDelay(1min);
            state.ScheduleRunning = false;
        }
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(backup), kCanceled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);

    // The given-up copy still waits in its call; a new run copies beside it.
    onYield = [] {};
    state.ScheduleRunning = true;
    clock.setTickReadDelay(0us);
    EXPECT_EQ(Run(backup), Finished());
    EXPECT_EQ(Copied(), 20u);
}

TEST_F(BackupRunTest, AShareThatStopsAnsweringEndsTheRunWhileTheWindowTurnsAndTheNextRunGoesOn)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    FuseMount share(FuseMount::Kind::Sshfs, dir / "share");
    ASSERT_EQ(share.error(), "");
    const std::string destination = share.path() + "/backup";
    // Frozen once the copy is under way; the user presses Stop.
    SlowSource(40, 64 << 10, 0us);
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    onYield = [&] {
        if (!stoppedAt && tasks.rows().back().Status.starts_with("Backing up [")) {
            share.freeze();
            state.ScheduleRunning = false;
            stoppedAt = std::chrono::steady_clock::now();
        }
    };
    EXPECT_EQ(Run(destination), kCanceled);
    ASSERT_TRUE(stoppedAt);
    EXPECT_LT(std::chrono::steady_clock::now() - *stoppedAt, 3s);
    EXPECT_LT(longestGap, 100ms);

    onYield = [] {};
    state.ScheduleRunning = true;
    EXPECT_EQ(Run(dir / "local"), Finished());
    EXPECT_EQ(ReadFile(dir / "local/file39"), ReadFile(source + "/file39"));
    share.thaw();

    // Frozen before its check.
    run.setPatience(2s, 1s);
    share.freeze();
    EXPECT_EQ(Run(destination), Failed(kNotFound, destination));
    EXPECT_LT(longestGap, 100ms);
    share.thaw();

    // A source on it, frozen before its check: the source is the one not found.
    share.freeze();
    source = share.path();
    EXPECT_EQ(Run(dir / "local"), Failed("source directory not found", source));
    share.thaw();
}

TEST_F(BackupRunTest, ADestinationNowOnAnotherFileSystemThanAtItsLastGoodRunIsNotFilled)
{
    WriteFile(source + "/file.txt", "content");
    MakeDirs(backup);
    const std::string inside = backup + "/Mail";
    EXPECT_EQ(Run(inside), Finished());
    EXPECT_EQ(ReadFile(dir / "Sentrel.state"),
              "Mail|Destination|" + inside + "\r\nMail|DestinationMount|" + MountPointOf(backup) + "\r\nMail|Source|"
                  + source + "\r\nMail|SourceMount|" + MountPointOf(source) + "\r\n");

    // As if it had lived on a drive mounted at the backup folder, which is
    // now missing: neither the folder nor anything in it is made.
    projectState.set("Mail", "DestinationMount", backup);
    std::filesystem::remove_all(inside);
    EXPECT_EQ(Run(inside), Failed(kNotFound, inside));
    EXPECT_FALSE(Exists(inside));

    // A new destination is trusted wherever it is.
    EXPECT_EQ(Run(dir / "elsewhere"), Finished());
}

TEST_F(BackupRunTest, NoBackupGoesOntoADriveThatIsNotMountedOrIsReadOnly)
{
    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "loop ext4: " << why;
    const std::string mountPoint = dir / "usb";
    LoopMount drive(dir / "usb.img", mountPoint);
    ASSERT_EQ(drive.error(), "");
    MakeDirs(mountPoint + "/Backups");
    WriteFile(source + "/file0", "content");
    // The drive's own folder, then a folder below it.
    for (const std::string& destination : { mountPoint, mountPoint + "/Backups/Mail" }) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(Run(destination), Finished());
        ASSERT_TRUE(drive.unplug());
        ASSERT_TRUE(Exists(mountPoint)); // the mount folder stays, empty
        EXPECT_EQ(Run(destination), Failed(kNotFound, destination));
        EXPECT_FALSE(Exists(mountPoint + "/file0"));
        EXPECT_FALSE(Exists(mountPoint + "/Backups"));
        // Back, perhaps under another device number.
        ASSERT_TRUE(drive.plugIn()) << drive.error();
        EXPECT_EQ(Run(destination), Finished());
    }
    // Its mount folder removed too: not made again on the disk below and filled.
    EXPECT_EQ(Run(mountPoint), Finished());
    ASSERT_TRUE(drive.unplug());
    ASSERT_EQ(::rmdir(mountPoint.c_str()), 0);
    EXPECT_EQ(Run(mountPoint), Failed(kNotFound, mountPoint));
    EXPECT_FALSE(Exists(mountPoint + "/file0"));
    ::mkdir(mountPoint.c_str(), 0755);
    ASSERT_TRUE(drive.plugIn()) << drive.error();

    // Read-only: one row for the disk, and the next run starts afresh.
    const std::string destination = mountPoint + "/Backups/Mail";
    ASSERT_TRUE(RunCommand("mount -o remount,ro " + mountPoint));
    const std::string text = Run(destination);
    EXPECT_TRUE(text.starts_with("Backup failed: target backup directory or disk can not be written, Read-only file "
                                 "system.|4|Finished||Start backup|Can not write "
                                 + destination + ", Read-only file system|Backup failed:"))
        << text;
    ASSERT_TRUE(RunCommand("mount -o remount,rw " + mountPoint));
    EXPECT_EQ(Run(destination), Finished());
}

TEST_F(BackupRunTest, WithVersionsKeptARunKeepsWhatItReplacesThenPrunesAndSaysHowMany)
{
    WriteFile(source + "/file.txt", "one");
    SetMtime(source + "/file.txt", 1000);
    options.keepVersions = true;
    options.keepVersionsDays = 10;
    clock.set({ 2026, 5, 1, 8, 0, 0 });
    EXPECT_EQ(Run(backup), Finished());

    const std::string versions = backup + "/.sentrel-versions/";
    MakeDirs(versions + "2026-04-01 08.00.00/sub");
    WriteFile(versions + "2026-04-01 08.00.00/sub/old", "x");
    WriteFile(source + "/file.txt", "two");
    SetMtime(source + "/file.txt", 2000);
    clock.set({ 2026, 5, 2, 8, 30, 0 });
    EXPECT_EQ(Run(backup), Finished("Removed 1 old version|"));
    EXPECT_EQ(ReadFile(versions + "2026-05-02 08.30.00/file.txt"), "one");
    EXPECT_FALSE(Exists(versions + "2026-04-01 08.00.00"));

    // A prune that fails is told and counted.
    if (::geteuid() != 0) {
        clock.set({ 2026, 6, 2, 8, 30, 0 });
        ::chmod(versions.c_str(), 0500);
        const std::string text = Run(backup);
        ::chmod(versions.c_str(), 0700);
        EXPECT_TRUE(text.starts_with("Backup finished with 1 error.|3|Finished||Start backup|Can not remove ")) << text;
    }
}

// The source is held to the destination's standard: not mounted, gone in
// the middle, or not to be listed, the run fails and says so once.
TEST_F(BackupRunTest, ASourceDriveUnpluggedOrDyingOrUnlistableEndsTheRunFailed)
{
    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "loop ext4: " << why;
    source = dir / "usb";
    LoopMount drive(dir / "usb.img", source);
    ASSERT_EQ(drive.error(), "");
    SlowSource(300);
    clock.setTickReadDelay(0us);
    EXPECT_EQ(Run(backup), Finished());

    // Unplugged: its empty mount folder is no source, and nothing is touched.
    ASSERT_TRUE(drive.unplug());
    const auto before = std::filesystem::last_write_time(backup + "/file0");
    EXPECT_EQ(Run(backup), Failed("source directory not found", source));
    EXPECT_EQ(std::filesystem::last_write_time(backup + "/file0"), before);
    ASSERT_TRUE(drive.plugIn()) << drive.error();
    std::filesystem::remove_all(backup);

    // Dying once the copy is under way: one row for the source, not one a file.
    clock.setTickReadDelay(2ms);
    bool cut = false;
    onYield = [&] {
        if (!cut && Copied() >= 20)
            cut = drive.cutPower();
    };
    const std::string text = Run(backup);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(text.starts_with("Backup failed: source directory can not be read, Input/output error.|4|Finished||"
                                 "Start backup|Can not read "
                                 + source + ", Input/output error|Backup failed: source directory can not be read"))
        << text;
    EXPECT_EQ(log.rows().size(), 3u) << text;

    // Not to be listed at all (the dead disk's root): failed, not "finished with 1 error".
    onYield = [] {};
    const std::string unlisted = Run(dir / "other");
    EXPECT_TRUE(unlisted.starts_with("Backup failed: source directory ")) << unlisted;
}

TEST_F(BackupRunTest, CopiesWhoseTimesCannotBeSetAreCountedAsErrors)
{
    SlowSource(100);
    // The first copy goes before its final time is set.
    onYield = [&] {
        if (Exists(backup + "/file0"))
            ::unlink((backup + "/file0").c_str());
    };
    EXPECT_EQ(Run(backup),
              "Backup finished with 1 error.|3|Finished||Start backup|Can not set the time of " + backup
                  + "/file0, No such file or directory|Backup finished with 1 error|Mail - Backup finished with 1 "
                    "error|Sentrel|2");
}

TEST_F(BackupRunTest, APruneThatPartlyFailsSaysWhatItRemovedAndCountsTheFailure)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a folder kept busy by a bind mount needs root";
    WriteFile(source + "/file.txt", "one");
    options.keepVersions = true;
    options.keepVersionsDays = 10;
    const std::string versions = backup + "/.sentrel-versions/";
    for (const char* run : { "2026-04-01 08.00.00", "2026-04-02 08.00.00" }) {
        MakeDirs(versions + run);
        WriteFile(versions + run + "/old", "x");
    }
    // A mount point inside one of them: even root can not remove it.
    MakeDirs(versions + "2026-04-02 08.00.00/busy");
    MakeDirs(dir / "elsewhere");
    ASSERT_TRUE(RunCommand("mount --bind " + (dir / "elsewhere") + " '" + versions + "2026-04-02 08.00.00/busy'"));
    clock.set({ 2026, 5, 2, 8, 30, 0 });
    const std::string text = Run(backup);
    RunCommand("umount '" + versions + "2026-04-02 08.00.00/busy'");
    EXPECT_TRUE(text.starts_with("Backup finished with 1 error.|3|Finished||Start backup|")) << text;
    EXPECT_NE(text.find("|Removed 2 old versions|"), std::string::npos) << text;
    EXPECT_NE(text.find("Device or resource busy"), std::string::npos) << text;
    EXPECT_FALSE(Exists(versions + "2026-04-01 08.00.00"));
}

// A destination unmounted lazily still takes copies into a file system no
// one sees again: the run notices within a hundred files.
TEST_F(BackupRunTest, ADestinationUnmountedLazilyStopsTheRunWithinAHundredFiles)
{
    if (const std::string why = LoopMount::Unavailable("ext4"); !why.empty())
        GTEST_SKIP() << "loop ext4: " << why;
    LoopMount drive(dir / "usb.img", backup);
    ASSERT_EQ(drive.error(), "");
    SlowSource(1000, 7, 1ms);
    // The detached file system stays reachable through a handle of its root.
    const UniqueFd detached(::open(backup.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::string inside = "/proc/self/fd/" + std::to_string(detached.get());
    std::size_t copiedAtUnmount = 0;
    onYield = [&] {
        if (copiedAtUnmount == 0 && Copied() >= 10) {
            copiedAtUnmount = Copied();
            RunCommand("umount -l " + backup);
        }
    };
    const std::string text = Run(backup);
    ASSERT_GT(copiedAtUnmount, 0u);
    EXPECT_EQ(text, Failed(kNotFound, backup, true)) << text;
    const auto entries = std::filesystem::directory_iterator(inside);
    EXPECT_LT(std::size_t(std::distance(begin(entries), end(entries))),
              copiedAtUnmount + 100 + 10 * BackupRun::CopyThreads());
}

} // namespace
} // namespace sentrel

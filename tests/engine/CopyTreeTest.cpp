#include "EngineTest.h"
#include "support/LoopMount.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;
using CopyTreeTest = EngineTest;

// Runs `body` in a child process under an ordinary user's uid when this
// process is root, in this process otherwise. Gives its exit status: 2
// where no such uid can be taken on.
int AsOrdinaryUser(const std::function<void()>& body)
{
    if (::geteuid() != 0) {
        body();
        return 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CopyTreeTest, WalksDepthFirstUntilStoppedLeavingOutDotDirectoriesIgnoredFilesAndTheDestination)
{
    ignoreList.AddEntry("*.bak");
    ignoreList.AddEntry("one");
    for (const char* file : { "/a.txt", "/X.BAK", "/.profile", "/.cache/x", "/one/b.txt", "/one/deep/c", "/two/d" })
        Put(file, file);
    dst = src + "/backup";
    MakeDirs(dst);

    // Only the exact text "Yes" descends: else first-level directories are made empty, only top files counted.
    for (const char* include : { "No", "yes", "" }) {
        EXPECT_EQ(Run("Old", include), std::pair(3., 3.)) << include;
        EXPECT_EQ(Listing(dst), (Names { ".profile", "a.txt", "one", "two" })) << include;
    }

    EXPECT_EQ(Run(), std::pair(6., 6.));
    for (const char* file : { "/a.txt", "/.profile", "/one/b.txt", "/one/deep/c", "/two/d" })
        EXPECT_EQ(ReadFile(dst + file), file);
    // Each level once, its files before its subdirectories, a subtree whole before the next.
    Names levels;
    for (const std::string& tag : tags)
        levels.push_back(tag.substr(src.size(), tag.rfind('/') + 1 - src.size()));
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    EXPECT_TRUE(levels == (Names { "/", "/one/", "/one/deep/", "/two/" })
                || levels == (Names { "/", "/two/", "/one/", "/one/deep/" }))
        << testing::PrintToString(levels);

    // Stopped after the first file: the level ends there and nothing below is walked.
    tags.clear();
    onYield = [&] { scheduleRunning = tags.empty() || tags.back() == src + "/"; };
    EXPECT_EQ(Run().second, 1);
    EXPECT_EQ(tags.back().rfind('/'), src.size());
}

// A source as a home folder holds it, with another backup's kept versions
// and what another run's copy in hand leaves.
TEST_F(CopyTreeTest, DotFoldersAreNamedOnceUnlessBackedUpAndTheProgramsOwnStayOutEitherWay)
{
    for (const char* file : { "/.profile", "/.git/HEAD", "/.git/refs/heads/main", "/.config/app.conf", "/proj/a.txt",
                              "/proj/.git/HEAD", "/.sentrel-versions/2026-01-01 00.00.00/x" })
        Put(file, file);
    WriteFile(src + "/proj/.sentrel-77-1.tmp", "partial");
    MakeDirs(src + "/proj/.sentrel-77-2.tmp");

    EXPECT_EQ(Run(), std::pair(3., 3.));
    EXPECT_EQ(Listing(dst), (Names { ".profile", "proj", "proj/a.txt" }));
    // In the order met: a level's own before those below it.
    const std::string row = "Note: Folders whose names begin with a dot are not backed up: ";
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(logs[0] == row + ".git, .config and proj/.git" || logs[0] == row + ".config, .git and proj/.git")
        << logs[0];

    engine.setBackUpDotFolders(true);
    EXPECT_EQ(Run(), std::pair(7., 7.));
    EXPECT_EQ(Listing(dst),
              (Names { ".config", ".config/app.conf", ".git", ".git/HEAD", ".git/refs", ".git/refs/heads",
                       ".git/refs/heads/main", ".profile", "proj", "proj/.git", "proj/.git/HEAD", "proj/a.txt" }));
    EXPECT_EQ(ReadFile(dst + "/.git/refs/heads/main"), "/.git/refs/heads/main");
    EXPECT_TRUE(logs.empty());
}

TEST(LeftOutDotFoldersText, NamesTwoOrThreeAndCountsTheRest)
{
    const std::string head = "Folders whose names begin with a dot are not backed up: ";
    LeftOutDotFolders folders;
    Names rows;
    for (const char* name : { ".git", ".config", ".ssh", "proj/.git", ".cache" }) {
        folders.add(name);
        rows.push_back(LeftOutDotFoldersText(folders));
    }
    EXPECT_EQ(rows,
              (Names { head + ".git", head + ".git and .config", head + ".git, .config and .ssh",
                       head + ".git, .config and 2 more", head + ".git, .config and 3 more" }));
}

TEST_F(CopyTreeTest, OverwritesByOptionAndCopiesKeepLinksModesTimesAndByteNames)
{
    // The source at 01:00:00.9 EST as clocks fell back; "older" a second before, yet 01:59:59 EDT.
    const std::int64_t t = 1'699'164'000;
    for (const auto& [name, seconds, ns] :
         { std::tuple { "/same", t, 0L }, { "/older", t - 1, 999'999'999L }, { "/newer", t + 1, 0L } }) {
        Put(name, "new");
        SetMtime(src + name, t, 900'000'000);
        WriteFile(dst + name, "old");
        SetMtime(dst + name, seconds, ns);
    }
    ::chmod((dst + "/newer").c_str(), 0444);
    const char* const files[]
        = { "/secret", "/tool", "/open", "/private/f", "/readonly/f", "/shared/f", "/caf\xe9/\xff" };
    for (const char* file : files)
        Put(file, file);
    // A directory gains owner rwx so that the backup can fill it; no other bit changes.
    const std::pair<const char*, unsigned> modes[]
        = { { "/secret", 0600 },  { "/tool", 0751 },     { "/open", 0666 },
            { "/private", 0750 }, { "/readonly", 0555 }, { "/shared", 0777 } };
    for (const auto& [name, mode] : modes)
        ::chmod((src + name).c_str(), mode);
    ::symlink("tool", (src + "/link").c_str());
    ::symlink(".", (src + "/loop").c_str());
    ::symlink("/nowhere", (src + "/dangling").c_str());
    SetMtime(src + "/link", 1234, 5678);

    ::setenv("TZ", "America/New_York", 1);
    // The umask takes nothing from a copy.
    const mode_t umask = ::umask(022);
    EXPECT_EQ(Run(), std::pair(13., 13.));
    ::umask(umask);
    ::unsetenv("TZ");
    EXPECT_TRUE(logs.empty());
    // Same second, an earlier one, a later one; only the exact text "All" overwrites them all.
    EXPECT_EQ(ReadFile(dst + "/same") + ReadFile(dst + "/older") + ReadFile(dst + "/newer"), "oldnewold");
    Run("all");
    EXPECT_EQ(ReadFile(dst + "/newer"), "old");
    Run("All");
    EXPECT_EQ(ReadFile(dst + "/same") + ReadFile(dst + "/newer"), "newnew");
    EXPECT_TRUE(logs.empty());

    EXPECT_EQ(std::filesystem::last_write_time(dst + "/older"), std::filesystem::last_write_time(src + "/older"));
    EXPECT_EQ(Mtime(dst + "/link"), 1234);
    for (const char* file : files)
        EXPECT_EQ(ReadFile(dst + file), file);
    for (const auto& [name, mode] : modes)
        EXPECT_EQ(Mode(dst + name), name == std::string_view("/readonly") ? 0755u : mode) << name;
    for (const auto& [name, target] : { std::pair { "/link", "tool" }, { "/loop", "." }, { "/dangling", "/nowhere" } })
        EXPECT_EQ(std::filesystem::read_symlink(dst + name).string(), target);

    // Modes changed later reach copies that are up to date; the root only
    // loses what the source keeps from others.
    for (const std::string name : { "", "/shared", "/open" })
        ::chmod((src + name).c_str(), 0700);
    ::chmod(dst.c_str(), 0775);
    Run();
    for (const std::string name : { "", "/shared", "/open" })
        EXPECT_EQ(Mode(dst + name), 0700u) << name;
    ::chmod(src.c_str(), 0755);
    ::chmod((src + "/shared").c_str(), 0750);
    Run();
    EXPECT_EQ(Mode(dst), 0700u);
    EXPECT_EQ(Mode(dst + "/shared"), 0750u);
}

TEST_F(CopyTreeTest, ProgressShowsTheShareDoneAfterMoreThan100Ms)
{
    // Rounded half up to two decimals; never 100% before the last file.
    EXPECT_EQ(ProgressText(1, 8, ","), "Backing up [12,5%]");
    EXPECT_EQ(ProgressText(1, 2, "."), "Backing up [50%]");
    EXPECT_EQ(ProgressText(1, 3, "."), "Backing up [33.33%]");
    EXPECT_EQ(ProgressText(2, 3, "."), "Backing up [66.67%]");
    EXPECT_EQ(ProgressText(99999, 100000, ","), "Backing up [99,99%]");
    EXPECT_EQ(ProgressText(7, 7, "."), "Backing up [100%]");
    EXPECT_EQ(ProgressText(21, 20, "."), "Backing up [105%]");

    Put("/f");
    // Nothing counted at the last: no share to show.
    for (const auto& [ms, total] : { std::pair { 0, 4 }, { 100, 4 }, { 1, 4 }, { 200, 0 } }) {
        clock.advanceMs(ms);
        engine.FilesTotal = total;
        engine.CopyTree(src, dst, "Yes", "All", src, *this);
    }
    EXPECT_EQ(statuses, (Names { "Backing up [25%]", "Backing up [75%]" }));
}

TEST_F(CopyTreeTest, FailuresAreLoggedAndTheWalkGoesOn)
{
    // A directory where a file goes, a file where a directory goes, a pipe.
    MakeDirs(dst + "/blocked");
    SetMtime(dst + "/blocked", 1);
    Put("/blocked");
    WriteFile(dst + "/sub", "a file where a directory belongs");
    Put("/sub/f");
    ::mkfifo((src + "/pipe").c_str(), 0600);
    Put("/z", "z");
    // Paths are joined as given, a trailing "/" included.
    dst += "/";
    Run();

    std::sort(logs.begin(), logs.end());
    const std::string failed = "Can not create " + dst + "/";
    EXPECT_EQ(logs,
              (Names { failed + "blocked, Is a directory", failed + "pipe, Not a regular file (named pipe)",
                       failed + "sub, File exists", failed + "sub/f, Not a directory" }));
    EXPECT_EQ(ReadFile(dst + "z"), "z");
}

TEST_F(CopyTreeTest, SeveralWorkersCopyEveryFileAndReportInTheListingsOrder)
{
    // More entries than one batch, every seventh blocked by a directory.
    for (int i = 0; i < 600; ++i) {
        const std::string name = "/f" + std::to_string(i);
        Put(name, name);
        if (i % 7 == 0) {
            MakeDirs(dst + name);
            SetMtime(dst + name, 1);
        }
    }
    Put("/sub/deep", "deep");
    Names listed;
    DIR* listing = ::opendir(src.c_str());
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = std::string("/") + entry->d_name;
        if (entry->d_name[0] == 'f' && ::access((dst + name).c_str(), F_OK) == 0)
            listed.push_back("Can not create " + dst + name + ", Is a directory");
    }
    ::closedir(listing);

    engine.setCopyThreads(3);
    EXPECT_EQ(Run(), std::pair(601., 601.));
    EXPECT_EQ(logs, listed);
    for (int i = 1; i < 600; i += 7)
        EXPECT_EQ(ReadFile(dst + "/f" + std::to_string(i)), "/f" + std::to_string(i));
    EXPECT_EQ(ReadFile(dst + "/sub/deep"), "deep");
}

TEST_F(CopyTreeTest, AnInterruptedCopyKeepsThePreviousOneAndLeavesNoTemporaryFile)
{
    Put("/big.bin", std::string(32 << 20, 'n'));
    WriteFile(dst + "/big.bin", "old");
    SetMtime(dst + "/big.bin", 1);

    // A write that fails: the file size limit is reached.
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 1 << 20;
    const auto handler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, handler);
    EXPECT_EQ(logs, Names { "Can not create " + dst + "/big.bin, File too large" });
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Stopped in the middle of the file.
    onYield = [&] { scheduleRunning = tags.back() != src + "/big.bin"; };
    Run();
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Abandoned, as at an exit.
    scheduleRunning = true;
    onYield = [&] { engine.abandon(); };
    Run();
    EXPECT_EQ(ReadFile(dst + "/big.bin"), "old");
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Killed in the middle of the file; the temporary file of an older kind
    // it would have left goes with a later copy into the folder.
    const pid_t child = ::fork();
    if (child == 0) {
        tags.clear();
        onYield = [&] {
            if (!tags.empty() && tags.back() == src + "/big.bin")
                ::raise(SIGKILL);
        };
        Run();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Listing(dst), Names { "big.bin" });
    WriteFile(dst + "/.sentrel-" + std::to_string(child) + "-1.tmp", "partial");
    onYield = [] {};
    Run();
    EXPECT_EQ(ReadFile(dst + "/big.bin"), std::string(32 << 20, 'n'));
    EXPECT_EQ(Listing(dst), Names { "big.bin" });
}

TEST_F(CopyTreeTest, SparseFilesKeepTheirHoles)
{
    const long long size = 64LL << 20;
    Put("/disk.img", "head");
    std::filesystem::resize_file(src + "/disk.img", size);
    const int fd = ::open((src + "/disk.img").c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "middle", 6, size / 2), 6);
    ::close(fd);
    struct stat st { };
    ::stat((src + "/disk.img").c_str(), &st);
    if (st.st_blocks * 512 >= size)
        GTEST_SKIP() << "the file system of " << src << " keeps no holes";

    Run("All");
    ::stat((dst + "/disk.img").c_str(), &st);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks * 512, 4 << 20);
    const std::string copy = ReadFile(dst + "/disk.img");
    EXPECT_EQ(copy.substr(0, 4) + copy.substr(size / 2, 6), "headmiddle");
    EXPECT_EQ(std::count(copy.begin(), copy.end(), '\0'), size - 10);
}

// Deeper than a path can name and than handles can be held open at once;
// a second folder at every level sends the walk back up through each.
TEST_F(CopyTreeTest, DepthHasNoLimitButTheFileSystems)
{
    const std::string level(30, 'd'); // 140 levels: 4,340 bytes of path
    MakeDirs(src);
    ASSERT_TRUE(RunCommand("bash -c 'cd " + src + " && for i in {1..140}; do mkdir side " + level
                           + " && : >side/f && cd " + level + " || exit 1; done && : >bottom'"));
    EXPECT_EQ(Run(), std::pair(141., 141.));
    EXPECT_TRUE(logs.empty()) << logs.front();
    std::string original, copied;
    ASSERT_TRUE(RunCommand("cd " + src + " && find . | sort", &original));
    ASSERT_TRUE(RunCommand("cd " + dst + " && find . | sort", &copied));
    EXPECT_EQ(copied, original);
    // Too deep for the temporary folder's own cleanup.
    EXPECT_TRUE(RunCommand("rm -rf " + src + " " + dst));
}

// Folders the user cannot list; root can list any, so a child process
// takes an ordinary user's uid.
TEST_F(CopyTreeTest, AFolderThatCannotBeListedOrMadeIsLoggedWithItsReason)
{
    Put("/open/a", "a");
    Put("/locked/b", "b");
    // Its copy can not be made in a folder of the backup the user may not write to.
    Put("/shut/new/c", "c");
    MakeDirs(dst + "/shut");
    ::chmod(dir.path().c_str(), 0777);
    std::filesystem::permissions(src, std::filesystem::perms::all);
    std::filesystem::permissions(dst, std::filesystem::perms::all);
    ::chmod((src + "/locked").c_str(), 0);
    ::chmod((dst + "/shut").c_str(), 0555);
    const int status = AsOrdinaryUser([&] {
        Run();
        std::sort(logs.begin(), logs.end());
        std::string text;
        for (const std::string& line : logs)
            text += line + "\n";
        WriteFile(dir / "result", text + ReadFile(dst + "/open/a"));
    });
    if (status == 2)
        GTEST_SKIP() << "no ordinary user to run as";
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadFile(dir / "result"),
              "Can not create " + dst + "/shut/new, Permission denied\nCan not create " + dst
                  + "/shut/new/c, Permission denied\nCan not read " + src + "/locked, Permission denied\na");
}

// Until the run knows the data is on the disk, "Old" must see a copy as out
// of date, whatever the source's time, even at or before 1970.
TEST_F(CopyTreeTest, CopiesLookOutOfDateUntilTheirFinalTimesAreApplied)
{
    const std::pair<const char*, std::int64_t> times[] = { { "/a", 1'000'000 }, { "/zero", 0 }, { "/old", -5000 } };
    for (const auto& [name, mtime] : times)
        Put(name, name, mtime);
    ::symlink("a", (src + "/link").c_str());
    SetMtime(src + "/link", 1234);
    for (int pass = 0; pass < 2; ++pass) {
        engine.CopyTree(src, dst, "Yes", "Old", src, *this);
        for (const auto& [name, mtime] : times)
            EXPECT_LE(Mtime(dst + name), mtime - 86400) << name;
        // A link's times are its own metadata: they are set at once.
        EXPECT_EQ(Mtime(dst + "/link"), 1234);
        const std::int64_t provisional = Mtime(dst + "/a");
        WriteFile(dst + "/a", "lost in a power cut");
        SetMtime(dst + "/a", provisional);
        engine.DiscardFinalTimes();
    }
    engine.CopyTree(src, dst, "Yes", "Old", src, *this);
    ::unlink((dst + "/old").c_str());
    const std::vector<TimesFailure> failed = engine.ApplyFinalTimes();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(TimesFailureText(failed[0]), "Can not set the time of " + dst + "/old, No such file or directory");
    EXPECT_EQ(ReadFile(dst + "/a"), "/a");
    EXPECT_EQ(Mtime(dst + "/a"), 1'000'000);
    EXPECT_EQ(Mtime(dst + "/zero"), 0);
    EXPECT_TRUE(engine.ApplyFinalTimes().empty());
    EXPECT_TRUE(logs.empty());
}

TEST_F(CopyTreeTest, TemporaryFilesOfEndedProcessesAreSweptFromTheJournalsFoldersOnly)
{
    const std::string journal = dir / "journal";
    engine.setTempJournal(journal);
    Put("/sub/f", "new");
    MakeDirs(dst + "/sub");
    WriteFile(dst + "/sub/f", "old");
    // Replacing a file takes a named temporary file, listed before it is made.
    Run("All");
    EXPECT_EQ(ReadFile(dst + "/sub/f"), "new");
    EXPECT_EQ(ReadFile(journal), dst + "/sub/" + '\0');

    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = ".sentrel-" + std::to_string(child) + "-3.tmp";
    const std::string alive = ".sentrel-" + std::to_string(::getppid()) + "-1.tmp";
    MakeDirs(dst + "/other");
    MakeDirs(dst + "/unlisted");
    for (const std::string folder : { "/sub/", "/other/", "/unlisted/" }) {
        for (const std::string& name : Names { dead, ".sentrel-x-1.tmp", "keep.tmp" })
            WriteFile(dst + folder + name, "partial");
    }
    WriteFile(dst + "/other/" + alive, "in hand");
    // Several copiers may list a folder; the last record may be cut short.
    const std::string listed = dst + "/sub/" + '\0' + dst + "/other" + '\0' + dir / "gone" + '\0' + dst + "/sub/";
    WriteFile(journal, listed);

    SweepTempJournal(journal);
    EXPECT_EQ(Listing(dst + "/sub"), (Names { ".sentrel-x-1.tmp", "f", "keep.tmp" }));
    EXPECT_EQ(Listing(dst + "/other"), (Names { alive, ".sentrel-x-1.tmp", "keep.tmp" }));
    EXPECT_EQ(Listing(dst + "/unlisted"), (Names { dead, ".sentrel-x-1.tmp", "keep.tmp" }));
    // Kept: a folder a live process still has a file in, one not to be opened now.
    EXPECT_EQ(ReadFile(journal), dst + "/other" + '\0' + dir / "gone" + '\0');

    ::unlink((dst + "/other/" + alive).c_str());
    MakeDirs(dir / "gone");
    SweepTempJournal(journal);
    EXPECT_EQ(ReadFile(journal), "");
    SweepTempJournal(dir / "no journal");
}

} // namespace
} // namespace sentrel

#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;
using Names = std::vector<std::string>;

Names Listing(const std::string& path)
{
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Removes a chain of `depth` folders named `level` below root, deepest first.
void RemoveDeep(const std::string& root, const std::string& level, int depth)
{
    std::vector<int> fds { ::open(root.c_str(), O_RDONLY | O_DIRECTORY) };
    for (int i = 0; i < depth && fds.back() >= 0; ++i)
        fds.push_back(::openat(fds.back(), level.c_str(), O_RDONLY | O_DIRECTORY));
    for (std::size_t i = fds.size() - 1; i > 0; --i) {
        for (const char* name : { "side/f", "side", "bottom" })
            ::unlinkat(fds[i], name, std::string_view(name) == "side" ? AT_REMOVEDIR : 0);
        ::close(fds[i]);
        ::unlinkat(fds[i - 1], level.c_str(), AT_REMOVEDIR);
    }
    ::close(fds[0]);
}

constexpr std::string_view kNoOrdinaryUser = "(no ordinary user)";

// Runs `body` in a child process under an ordinary user's uid when this
// process is root, in this process otherwise; gives what it returns.
std::string AsOrdinaryUser(const std::function<std::string()>& body)
{
    if (::geteuid() != 0)
        return body();
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::string(kNoOrdinaryUser);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string text(kNoOrdinaryUser);
        if (::setgid(65534) == 0 && ::setuid(65534) == 0)
            text = body();
        ::write(pipeFds[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

// Also where the engine reports; onYield may stop the schedule.
class CopyTreeTest : public ::testing::Test, public BackupProgress {
protected:
    CopyTreeTest() { MakeDirs(dst); }

    // Several workers may report at once.
    void setTag(std::string_view path) override
    {
        const std::lock_guard lock(reports);
        tags.emplace_back(path);
    }
    void setStatus(std::string_view text) override
    {
        const std::lock_guard lock(reports);
        statuses.emplace_back(text);
    }
    void log(std::string_view detail) override
    {
        const std::lock_guard lock(reports);
        logs.emplace_back(detail);
    }
    void yield() override { onYield(); }
    bool running() const override { return scheduleRunning; }

    // Counts and copies, and gives the copies their final times as a run
    // does once they are on the disk; gives the files counted and done.
    std::pair<double, double> Run(std::string_view overwrite = "Old", std::string_view include = "Yes")
    {
        engine.FilesTotal = engine.FilesDone = 0;
        engine.CountFiles(src, include, dst, *this);
        engine.CopyTree(src, dst, include, overwrite, src, *this);
        EXPECT_EQ(engine.ApplyFinalTimes(), 0);
        return { engine.FilesTotal, engine.FilesDone };
    }

    // A source file, its directories made.
    void Put(const std::string& name, std::string_view content = "x")
    {
        MakeDirs(std::filesystem::path(src + name).parent_path());
        WriteFile(src + name, content);
    }

    TempDir dir;
    std::string src = dir / "src", dst = dir / "dst";
    FakeClock clock;
    IgnoreList ignoreList;
    BackupEngine engine { clock, ignoreList, "." };
    std::mutex reports;
    Names tags, statuses, logs;
    std::function<void()> onYield = [] {};
    bool scheduleRunning = true;
};

TEST_F(CopyTreeTest, WalksDepthFirstUntilStoppedLeavingOutDotDirectoriesIgnoredFilesAndTheDestination)
{
    ignoreList.AddEntry("*.bak");
    ignoreList.AddEntry("one");
    for (const char* file : { "/a.txt", "/X.BAK", "/.profile", "/.cache/x", "/one/b.txt", "/one/deep/c", "/two/d" })
        Put(file, file);
    dst = src + "/backup";
    MakeDirs(dst);

    // Without subdirectories: first-level directories made empty, only top files counted.
    EXPECT_EQ(Run("Old", "No"), std::pair(3., 3.));
    EXPECT_EQ(Listing(dst), (Names { ".profile", "a.txt", "one", "two" }));
    EXPECT_TRUE(Listing(dst + "/one").empty());

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
    // Same second, an earlier one, a later one.
    EXPECT_EQ(ReadFile(dst + "/same") + ReadFile(dst + "/older") + ReadFile(dst + "/newer"), "oldnewold");
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
}

TEST_F(CopyTreeTest, ProgressShowsTheShareDoneAfterMoreThan100Ms)
{
    EXPECT_EQ(ProgressText(1, 8, ","), "Backing up [12,5%]");
    EXPECT_EQ(ProgressText(1, 2, "."), "Backing up [50%]");
    EXPECT_EQ(ProgressText(1, 3, "."), "Backing up [33.33%]");
    EXPECT_EQ(ProgressText(2, 3, "."), "Backing up [66.67%]");
    EXPECT_EQ(ProgressText(99999, 100000, "."), "Backing up [99.99%]");
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
    Names blocked;
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
    EXPECT_EQ(logs.size(), 1u);
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Abandoned, as at an exit.
    scheduleRunning = true;
    onYield = [&] { engine.abandon(); };
    Run();
    EXPECT_EQ(ReadFile(dst + "/big.bin"), "old");
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Killed in the middle of the file, then its temporary file of an
    // older kind beside it: a later copy into the folder removes only that.
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
    const std::string dead = ".sentrel-" + std::to_string(child) + "-1.tmp";
    const std::string alive = ".sentrel-" + std::to_string(::getppid()) + "-1.tmp";
    for (const std::string& name : { dead, alive, std::string(".sentrel-x-1.tmp") })
        WriteFile(dst + "/" + name, "partial");
    onYield = [] {};
    Run();
    EXPECT_EQ(ReadFile(dst + "/big.bin"), std::string(32 << 20, 'n'));
    EXPECT_EQ(Listing(dst),
              (Names { ".sentrel-" + std::to_string(::getppid()) + "-1.tmp", ".sentrel-x-1.tmp", "big.bin" }));
}

TEST_F(CopyTreeTest, OnlyTheExactTextsYesAndAllDescendAndOverwrite)
{
    Put("/top", "new");
    Put("/sub/deep", "deep");
    WriteFile(dst + "/top", "old");
    SetMtime(src + "/top", 1000);
    SetMtime(dst + "/top", 2000);
    for (const char* text : { "yes", "all", "" }) {
        Run(text, text);
        EXPECT_EQ(ReadFile(dst + "/top"), "old") << text;
        EXPECT_TRUE(Listing(dst + "/sub").empty()) << text;
    }
    Run("All", "Yes");
    EXPECT_EQ(ReadFile(dst + "/top") + ReadFile(dst + "/sub/deep"), "newdeep");
}

TEST_F(CopyTreeTest, SparseFilesKeepTheirHoles)
{
    const long long size = 64LL << 20;
    Put("/disk.img", "");
    {
        const int fd = ::open((src + "/disk.img").c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "middle", 6, size / 2), 6);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
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

TEST_F(CopyTreeTest, PermissionsTightenedLaterReachTheBackup)
{
    Put("/docs/letter", "x");
    Run();
    ::chmod(src.c_str(), 0700);
    ::chmod((src + "/docs").c_str(), 0700);
    ::chmod((src + "/docs/letter").c_str(), 0600);
    ::chmod(dst.c_str(), 0775);
    Run();
    // The root only loses what the source keeps from others.
    EXPECT_EQ(Mode(dst), 0700u);
    EXPECT_EQ(Mode(dst + "/docs"), 0700u);
    EXPECT_EQ(Mode(dst + "/docs/letter"), 0600u);
    ::chmod(src.c_str(), 0755);
    ::chmod((src + "/docs").c_str(), 0750);
    Run();
    EXPECT_EQ(Mode(dst), 0700u);
    EXPECT_EQ(Mode(dst + "/docs"), 0750u);
}

// Deeper than a path can name and than handles can be held open at once;
// a second folder at every level sends the walk back up through each.
TEST_F(CopyTreeTest, DepthHasNoLimitButTheFileSystems)
{
    constexpr int kDepth = 140; // 4,340 bytes of path
    const std::string level(30, 'd');
    MakeDirs(src);
    int fd = ::open(src.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, level.c_str(), 0755), 0);
        ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
        const int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY);
        ::close(::openat(side, "f", O_WRONLY | O_CREAT, 0644));
        ::close(side);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644));
    ::close(fd);

    EXPECT_EQ(Run(), std::pair(double(kDepth + 1), double(kDepth + 1)));
    EXPECT_TRUE(logs.empty()) << logs.front();
    fd = ::open(dst.c_str(), O_RDONLY | O_DIRECTORY);
    int found = 0;
    for (int i = 0; i < kDepth && fd >= 0; ++i) {
        found += ::faccessat(fd, "side/f", F_OK, 0) == 0;
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    EXPECT_EQ(found, kDepth);
    EXPECT_EQ(::faccessat(fd, "bottom", F_OK, 0), 0);
    ::close(fd);
    // The chain is removed from the bottom up: the paths are too long for the temporary folder's cleanup.
    for (const std::string& root : { src, dst })
        RemoveDeep(root, level, kDepth);
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
    const std::string result = AsOrdinaryUser([&] {
        Run();
        std::string text;
        std::sort(logs.begin(), logs.end());
        for (const std::string& line : logs)
            text += line + "\n";
        return text + ReadFile(dst + "/open/a");
    });
    if (result == kNoOrdinaryUser)
        GTEST_SKIP() << "no ordinary user to run as";
    EXPECT_EQ(result,
              "Can not create " + dst + "/shut/new, Permission denied\nCan not create " + dst
                  + "/shut/new/c, Permission denied\nCan not read " + src + "/locked, Permission denied\na");
}

} // namespace
} // namespace sentrel

namespace sentrel {
namespace {

using namespace test;

// Until the run knows the data is on the disk, "Old" must see a copy as out
// of date, whatever the source's time, even at or before 1970.
TEST_F(CopyTreeTest, CopiesLookOutOfDateUntilTheirFinalTimesAreApplied)
{
    const std::pair<const char*, std::int64_t> times[] = { { "/a", 1'000'000 }, { "/zero", 0 }, { "/old", -5000 } };
    for (const auto& [name, mtime] : times) {
        Put(name, name);
        SetMtime(src + name, mtime);
    }
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
    EXPECT_EQ(engine.ApplyFinalTimes(), 1);
    EXPECT_EQ(ReadFile(dst + "/a"), "/a");
    EXPECT_EQ(Mtime(dst + "/a"), 1'000'000);
    EXPECT_EQ(Mtime(dst + "/zero"), 0);
    EXPECT_EQ(engine.ApplyFinalTimes(), 0);
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

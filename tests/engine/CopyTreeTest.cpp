#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/RecordingProgress.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {
namespace {

using test::Exists;
using test::MakeDirs;
using test::Mode;
using test::ReadFile;
using test::SetMtime;
using test::WriteFile;

std::vector<std::string> Listing(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat Lstat(const std::string& path)
{
    struct stat st { };
    ::lstat(path.c_str(), &st);
    return st;
}

class CopyTreeTest : public ::testing::Test {
protected:
    CopyTreeTest() { MakeDirs(dst); }

    void Run(std::string_view overwrite = "Old", std::string_view include = "Yes")
    {
        engine.FilesTotal = 0;
        engine.FilesDone = 0;
        engine.CountFiles(src, include, dst, progress);
        engine.CopyTree(src, dst, include, overwrite, src, progress);
    }

    void Ignore(std::string_view lines)
    {
        WriteFile(dir / "Ignore.ini", lines);
        ignoreList.LoadIgnoreList(dir / "Ignore.ini");
    }

    void MakeTree()
    {
        MakeDirs(src + "/one/deep");
        MakeDirs(src + "/two");
        MakeDirs(src + "/.cache");
        for (const char* file : { "/a.txt", "/.profile", "/.cache/x", "/one/b.txt", "/one/deep/c.txt", "/two/d.txt" })
            WriteFile(src + file, file);
    }

    test::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    test::FakeClock clock;
    IgnoreList ignoreList;
    BackupEngine engine { clock, ignoreList, "." };
    test::RecordingProgress progress;
};

TEST_F(CopyTreeTest, WalksDepthFirstAndLeavesDotDirectoriesOut)
{
    MakeTree();
    Run();

    for (const char* file : { "/a.txt", "/.profile", "/one/b.txt", "/one/deep/c.txt", "/two/d.txt" })
        EXPECT_EQ(ReadFile(dst + file), file);
    EXPECT_FALSE(Exists(dst + "/.cache"));
    EXPECT_EQ(engine.FilesTotal, 5);
    EXPECT_EQ(engine.FilesDone, 5);

    // Levels in the order their entries were met: each level once, its
    // files before its subdirectories, a subtree whole before the next.
    std::vector<std::string> levels;
    for (const std::string& tag : progress.tags) {
        const std::string level = tag.substr(src.size(), tag.rfind('/') + 1 - src.size());
        if (levels.empty() || levels.back() != level)
            levels.push_back(level);
    }
    const std::vector<std::string> oneFirst { "/", "/one/", "/one/deep/", "/two/" };
    const std::vector<std::string> twoFirst { "/", "/two/", "/one/", "/one/deep/" };
    EXPECT_TRUE(levels == oneFirst || levels == twoFirst) << testing::PrintToString(levels);
}

TEST_F(CopyTreeTest, WithoutSubdirectoriesFirstLevelDirectoriesAreCreatedEmpty)
{
    MakeTree();
    Run("Old", "No");
    EXPECT_EQ(Listing(dst), (std::vector<std::string> { ".profile", "a.txt", "one", "two" }));
    EXPECT_TRUE(Listing(dst + "/one").empty());
    EXPECT_EQ(engine.FilesTotal, 2);
    EXPECT_EQ(engine.FilesDone, 2);
}

TEST_F(CopyTreeTest, IgnoredFilesCountButStayBehindAndDirectoriesNeverMatch)
{
    Ignore("*.bak\r\none\r\n");
    MakeDirs(src + "/one");
    WriteFile(src + "/X.BAK", "x");
    WriteFile(src + "/keep.txt", "k");
    WriteFile(src + "/one/f.txt", "f");
    progress.onYield = [&] { clock.advanceMs(200); };
    Run();

    EXPECT_EQ(Listing(dst), (std::vector<std::string> { "keep.txt", "one" }));
    EXPECT_EQ(ReadFile(dst + "/one/f.txt"), "f");
    EXPECT_EQ(engine.FilesDone, 3);
    EXPECT_EQ(progress.statuses.back(), "Backing up [100%]");
}

TEST_F(CopyTreeTest, OldCopiesOnlyOverADestinationASecondOlderAndAllAlwaysCopies)
{
    MakeDirs(src);
    for (const char* name : { "same", "older", "newer", "missing", "readonly" }) {
        WriteFile(src + "/" + name, "new");
        SetMtime(src + "/" + name, 1'000'000, 900'000'000);
        if (std::string_view(name) != "missing")
            WriteFile(dst + "/" + name, "old");
    }
    SetMtime(dst + "/same", 1'000'000, 0);
    SetMtime(dst + "/older", 999'999, 999'999'999);
    SetMtime(dst + "/newer", 1'000'001);
    SetMtime(dst + "/readonly", 1'000'001);
    ::chmod((dst + "/readonly").c_str(), 0444);

    // 01:50 EDT, then 01:10 EST twenty minutes later: earlier by the wall clock, yet later.
    WriteFile(src + "/fallback", "new");
    WriteFile(dst + "/fallback", "old");
    SetMtime(src + "/fallback", 1'699'164'600, 900'000'000);
    SetMtime(dst + "/fallback", 1'699'163'400);
    ::setenv("TZ", "America/New_York", 1);

    Run("Old");
    ::unsetenv("TZ");
    for (const char* name : { "same", "newer", "readonly" })
        EXPECT_EQ(ReadFile(dst + "/" + name), "old") << name;
    for (const char* name : { "older", "missing", "fallback" }) {
        EXPECT_EQ(ReadFile(dst + "/" + name), "new") << name;
        EXPECT_EQ(Lstat(dst + "/" + name).st_mtim.tv_nsec, 900'000'000) << name;
    }

    Run("All");
    for (const char* name : { "same", "newer", "readonly" })
        EXPECT_EQ(ReadFile(dst + "/" + name), "new") << name;
    EXPECT_TRUE(progress.logs.empty());
}

TEST(ProgressText, RoundsToTwoDecimalsWithTheUsersSeparator)
{
    EXPECT_EQ(ProgressText(1, 8, ","), "Backing up [12,5%]");
    EXPECT_EQ(ProgressText(1, 2, "."), "Backing up [50%]");
    EXPECT_EQ(ProgressText(1, 3, "."), "Backing up [33.33%]");
    EXPECT_EQ(ProgressText(2, 3, "."), "Backing up [66.67%]");
    EXPECT_EQ(ProgressText(99999, 100000, "."), "Backing up [99.99%]");
    EXPECT_EQ(ProgressText(99999, 100000, ","), "Backing up [99,99%]");
    EXPECT_EQ(ProgressText(7, 7, "."), "Backing up [100%]");
    EXPECT_EQ(ProgressText(21, 20, "."), "Backing up [105%]");
}

TEST_F(CopyTreeTest, ProgressIsRewrittenOnlyAfterMoreThan100Ms)
{
    MakeDirs(src);
    WriteFile(src + "/f", "f");
    const auto copyOnce = [&] { engine.CopyTree(src, dst, "Yes", "All", src, progress); };
    engine.FilesTotal = 4;
    copyOnce();
    EXPECT_EQ(progress.statuses, std::vector<std::string> { "Backing up [25%]" });
    clock.advanceMs(100);
    copyOnce();
    EXPECT_EQ(progress.statuses.size(), 1u);
    clock.advanceMs(1);
    copyOnce();
    EXPECT_EQ(progress.statuses.back(), "Backing up [75%]");

    engine.FilesTotal = 0;
    clock.advanceMs(200);
    copyOnce();
    EXPECT_EQ(progress.statuses.size(), 2u);
    EXPECT_EQ(engine.LastProgressTick, clock.tickMs());
}

TEST_F(CopyTreeTest, FailuresAreLoggedAndTheWalkGoesOn)
{
    MakeDirs(src + "/sub");
    MakeDirs(dst + "/blocked");
    SetMtime(dst + "/blocked", 1);
    WriteFile(src + "/blocked", "b");
    WriteFile(dst + "/sub", "a file where a directory belongs");
    WriteFile(src + "/sub/f", "f");
    ::mkfifo((src + "/pipe").c_str(), 0600);
    WriteFile(src + "/z", "z");
    dst += "/";
    Run();

    std::sort(progress.logs.begin(), progress.logs.end());
    EXPECT_EQ(progress.logs,
              (std::vector<std::string> {
                  "Can not create " + dst + "/blocked, Is a directory",
                  "Can not create " + dst + "/pipe, Not a regular file (named pipe)",
                  "Can not create " + dst + "/sub, File exists",
                  "Can not create " + dst + "/sub/f, Not a directory",
              }));
    EXPECT_EQ(ReadFile(dst + "z"), "z");
}

TEST_F(CopyTreeTest, StopEndsTheLevelAfterTheEntryInHandAndDescendsNoFurther)
{
    MakeDirs(src + "/one");
    WriteFile(src + "/a", "a");
    WriteFile(src + "/b", "b");
    WriteFile(src + "/one/c", "c");
    engine.CountFiles(src, "Yes", dst, progress);
    progress.onYield = [&] {
        if (progress.tags.back() != src + "/")
            progress.scheduleRunning = false;
    };
    engine.CopyTree(src, dst, "Yes", "Old", src, progress);
    EXPECT_EQ(engine.FilesDone, 1);
    EXPECT_EQ(std::count(progress.tags.begin(), progress.tags.end(), src + "/one/"), 0);
}

// The copy goes to a temporary file that replaces the destination only when
// complete.
class LongCopyTest : public CopyTreeTest {
protected:
    LongCopyTest()
    {
        MakeDirs(src);
        WriteFile(src + "/big.bin", std::string(32 << 20, 'n'));
        WriteFile(dst + "/big.bin", "old");
        SetMtime(dst + "/big.bin", 1);
    }

    bool CopyingBig() const { return !progress.tags.empty() && progress.tags.back() == src + "/big.bin"; }
    bool TemporaryPresent() const { return Listing(dst).size() > 1; }
    void ExpectPreviousCopyKept() const
    {
        EXPECT_EQ(ReadFile(dst + "/big.bin"), "old");
        EXPECT_EQ(Listing(dst), std::vector<std::string> { "big.bin" });
    }
};

TEST_F(LongCopyTest, StopInTheMiddleKeepsThePreviousCopy)
{
    bool sawTemporary = false;
    progress.onYield = [&] {
        if (CopyingBig()) {
            sawTemporary = sawTemporary || TemporaryPresent();
            progress.scheduleRunning = false;
        }
    };
    Run();
    EXPECT_TRUE(sawTemporary);
    ExpectPreviousCopyKept();
    EXPECT_TRUE(progress.logs.empty());
}

TEST_F(LongCopyTest, AbandonRemovesTheTemporaryFile)
{
    progress.onYield = [&] {
        if (CopyingBig() && TemporaryPresent())
            engine.abandon();
    };
    Run();
    ExpectPreviousCopyKept();
}

TEST_F(LongCopyTest, AFailingWriteKeepsThePreviousCopy)
{
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 1 << 20;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(progress.logs, std::vector<std::string> { "Can not create " + dst + "/big.bin, File too large" });
    ExpectPreviousCopyKept();
}

TEST_F(CopyTreeTest, ADestinationInsideTheSourceIsNotWalkedInto)
{
    dst = src + "/backup";
    MakeDirs(dst);
    MakeDirs(src + "/sub");
    WriteFile(src + "/a", "a");
    WriteFile(src + "/sub/b", "b");
    Run();
    EXPECT_EQ(Listing(dst), (std::vector<std::string> { "a", "sub" }));
    EXPECT_EQ(engine.FilesTotal, 2);
    EXPECT_EQ(engine.FilesDone, 2);
}

TEST_F(CopyTreeTest, LinksAreCopiedAsLinksAndNeverFollowed)
{
    MakeDirs(src);
    WriteFile(src + "/a.txt", "a");
    ::symlink("a.txt", (src + "/link.txt").c_str());
    ::symlink(".", (src + "/loop").c_str());
    ::symlink("/nowhere/at/all", (src + "/dangling").c_str());
    SetMtime(src + "/link.txt", 1234, 5678);
    Run();
    Run();

    EXPECT_TRUE(progress.logs.empty());
    EXPECT_EQ(engine.FilesTotal, 4);
    for (const auto& [name, target] :
         { std::pair { "/link.txt", "a.txt" }, { "/loop", "." }, { "/dangling", "/nowhere/at/all" } }) {
        char buffer[64] {};
        ASSERT_TRUE(S_ISLNK(Lstat(dst + name).st_mode)) << name;
        ::readlink((dst + name).c_str(), buffer, sizeof buffer - 1);
        EXPECT_STREQ(buffer, target);
    }
    EXPECT_EQ(Lstat(dst + "/link.txt").st_mtim.tv_nsec, 5678);
}

TEST_F(CopyTreeTest, CopiesKeepPermissionsTimesAndNamesThatAreNotUtf8)
{
    MakeDirs(src + "/caf\xe9 \xff");
    WriteFile(src + "/caf\xe9 \xff/\xfe.txt", "bytes");
    WriteFile(src + "/secret", "s");
    WriteFile(src + "/tool", "t");
    SetMtime(src + "/secret", 1'700'000'000, 123'456'789);
    for (const char* name : { "/private", "/readonly", "/shared" })
        MakeDirs(src + name);
    // A directory gains owner rwx so that the backup can fill it; no other bit changes.
    const std::pair<const char*, unsigned> modes[]
        = { { "/secret", 0600 }, { "/tool", 0751 }, { "/private", 0750 }, { "/readonly", 0555 }, { "/shared", 0777 } };
    for (const auto& [name, mode] : modes)
        ::chmod((src + name).c_str(), mode);
    Run();

    for (const auto& [name, mode] : modes)
        EXPECT_EQ(Mode(dst + name), std::string_view(name) == "/readonly" ? 0755u : mode) << name;
    EXPECT_EQ(Lstat(dst + "/secret").st_mtim.tv_sec, 1'700'000'000);
    EXPECT_EQ(Lstat(dst + "/secret").st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(ReadFile(dst + "/caf\xe9 \xff/\xfe.txt"), "bytes");
}

} // namespace
} // namespace sentrel

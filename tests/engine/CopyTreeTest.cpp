#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Also where the engine reports; onYield may stop the schedule.
class CopyTreeTest : public ::testing::Test, public BackupProgress {
protected:
    CopyTreeTest() { MakeDirs(dst); }

    void setTag(std::string_view path) override { tags.emplace_back(path); }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void log(std::string_view detail) override { logs.emplace_back(detail); }
    void yield() override { onYield(); }
    bool running() const override { return scheduleRunning; }

    // Counts and copies; gives the files counted and done.
    std::pair<double, double> Run(std::string_view overwrite = "Old", std::string_view include = "Yes")
    {
        engine.FilesTotal = engine.FilesDone = 0;
        engine.CountFiles(src, include, dst, *this);
        engine.CopyTree(src, dst, include, overwrite, src, *this);
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
    const char* const files[] = { "/secret", "/tool", "/private/f", "/readonly/f", "/shared/f", "/caf\xe9/\xff" };
    for (const char* file : files)
        Put(file, file);
    // A directory gains owner rwx so that the backup can fill it; no other bit changes.
    const std::pair<const char*, unsigned> modes[]
        = { { "/secret", 0600 }, { "/tool", 0751 }, { "/private", 0750 }, { "/readonly", 0555 }, { "/shared", 0777 } };
    for (const auto& [name, mode] : modes)
        ::chmod((src + name).c_str(), mode);
    ::symlink("tool", (src + "/link").c_str());
    ::symlink(".", (src + "/loop").c_str());
    ::symlink("/nowhere", (src + "/dangling").c_str());
    SetMtime(src + "/link", 1234, 5678);

    ::setenv("TZ", "America/New_York", 1);
    EXPECT_EQ(Run(), std::pair(12., 12.));
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

    // Stopped while the temporary file is beside the destination.
    onYield = [&] { scheduleRunning = Listing(dst).size() == 1; };
    Run();
    EXPECT_EQ(logs.size(), 1u);
    EXPECT_EQ(Listing(dst), Names { "big.bin" });

    // Abandoned, as at an exit.
    onYield = [&] { engine.abandon(); };
    Run();
    EXPECT_EQ(ReadFile(dst + "/big.bin"), "old");
}

} // namespace
} // namespace sentrel

#include "engine/Versions.h"

#include "EngineTest.h"
#include "support/DeepTree.h"
#include "support/FuseMount.h"

#include <climits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;

class VersionsTest : public EngineTest {
protected:
    // One run starting at `start`, keeping what it replaces unless `keep` is off.
    void Run(const LocalDateTime& start, bool keep = true, const std::function<void()>& afterKeep = {})
    {
        std::optional<VersionKeeper> keeper;
        if (keep) {
            keeper.emplace(dst, start);
            keeper->afterKeep = afterKeep;
        }
        engine.setVersions(keeper ? &*keeper : nullptr);
        EngineTest::Run(overwrite);
        engine.setVersions(nullptr);
    }

    std::string Kept(const std::string& run, const std::string& name) const
    {
        return dst + "/.sentrel-versions/" + run + name;
    }

    std::string overwrite = "Old";
    const LocalDateTime first { 2026, 3, 1, 9, 0, 0 }, second { 2026, 3, 2, 9, 0, 5 }, third { 2026, 3, 3, 9, 0, 0 };
};

// A copy that dies right after keeping, as a crash or a power cut would.
void CrashAfterKeep(const std::function<void(const std::function<void()>&)>& run)
{
    const pid_t child = ::fork();
    if (child == 0) {
        run([] { ::_exit(0); });
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the keep step was never reached";
}

TEST_F(VersionsTest, EachReplacedFileIsKeptWithItsTimesAndPermissionsOnlyWhenOnAndSurvivesACrash)
{
    Put("/top.txt", "top 1", 1000);
    Put("/sub/deep/a.txt", "a 1", 1000);
    Put("/same.txt", "same", 1000);
    Run(first);
    EXPECT_FALSE(Exists(dst + "/.sentrel-versions")) << "nothing replaced, nothing kept";

    Put("/top.txt", "top 2", 2000);
    Put("/sub/deep/a.txt", "a 2", 2000);
    ::chmod((dst + "/sub/deep/a.txt").c_str(), 0640);
    Run(second);
    EXPECT_EQ(ReadFile(dst + "/top.txt"), "top 2");
    EXPECT_EQ(Listing(dst + "/.sentrel-versions"),
              (Names { "2026-03-02 09.00.05", "2026-03-02 09.00.05/sub", "2026-03-02 09.00.05/sub/deep",
                       "2026-03-02 09.00.05/sub/deep/a.txt", "2026-03-02 09.00.05/top.txt" }));
    const std::string kept = Kept("2026-03-02 09.00.05", "/sub/deep/a.txt");
    EXPECT_EQ(ReadFile(kept), "a 1");
    EXPECT_EQ(Mtime(kept), 1000);
    EXPECT_EQ(Mode(kept), 0640u);
    EXPECT_TRUE(logs.empty()) << logs.front();

    // The next run neither copies nor walks the versions folder; another
    // run in the same second keeps in a folder of its own.
    Put("/top.txt", "top 3", 3000);
    Run(third);
    Put("/top.txt", "top 4", 4000);
    Run(third);
    EXPECT_EQ(ReadFile(Kept("2026-03-03 09.00.00", "/top.txt")), "top 2");
    EXPECT_EQ(ReadFile(Kept("2026-03-03 09.00.00-2", "/top.txt")), "top 3");
    EXPECT_EQ(Listing(dst + "/.sentrel-versions").size(), 9u);

    // Off: replaced as before, nothing kept.
    Put("/top.txt", "top 5", 5000);
    Run({ 2026, 3, 4, 9, 0, 0 }, false);
    EXPECT_EQ(ReadFile(dst + "/top.txt"), "top 5");
    EXPECT_EQ(Listing(dst + "/.sentrel-versions").size(), 9u);

    // A crash between keeping and replacing leaves both copies.
    Put("/top.txt", "top 6", 6000);
    CrashAfterKeep([&](const std::function<void()>& stop) { Run({ 2026, 3, 5, 9, 0, 0 }, true, stop); });
    EXPECT_EQ(ReadFile(dst + "/top.txt"), "top 5");
    EXPECT_EQ(ReadFile(Kept("2026-03-05 09.00.00", "/top.txt")), "top 5");
}

// "All" copies every file again; only the ones that changed leave a version.
TEST_F(VersionsTest, WithAllOnlyChangedFilesAreKept)
{
    overwrite = "All";
    Put("/a.txt", "a 1", 1000);
    Put("/sub/b.txt", "b", 1000);
    Put("/c.txt", "c 1", 1000);
    Run(first);
    Run(second);
    EXPECT_FALSE(Exists(dst + "/.sentrel-versions")) << "the same files again";

    Put("/a.txt", "a 2", 2000); // a newer time
    Put("/c.txt", "c 22", 1000); // another size
    Run(third);
    EXPECT_EQ(Listing(dst + "/.sentrel-versions"),
              (Names { "2026-03-03 09.00.00", "2026-03-03 09.00.00/a.txt", "2026-03-03 09.00.00/c.txt" }));
    EXPECT_EQ(ReadFile(Kept("2026-03-03 09.00.00", "/a.txt")), "a 1");
    EXPECT_EQ(ReadFile(dst + "/sub/b.txt"), "b");
}

TEST_F(VersionsTest, AVersionsFolderAtTheSourceRootIsLoggedAndSkipped)
{
    Put("/.sentrel-versions/2026-01-01 00.00.00/x", "x", 1000);
    Put("/a/.sentrel-versions/y", "y", 1000);
    Put("/f", "f", 1000);
    Run(first);
    EXPECT_EQ(Listing(dst), (Names { "a", "f" }));
    const std::string nested = "Note: Folders whose names begin with a dot are not backed up: a/.sentrel-versions";
    EXPECT_EQ(logs, (Names { "Skipped " + src + "/.sentrel-versions, a folder of kept versions", nested }));

    // Off: passed over without a word; the one below the top is a dot folder like any other.
    Run(second, false);
    EXPECT_EQ(logs, Names { nested });
}

TEST_F(VersionsTest, WithoutHardLinksTheOldFileMovesAndACrashLeavesItKept)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Exfat); !why.empty())
        GTEST_SKIP() << why;
    FuseMount stick(FuseMount::Kind::Exfat, dir / "stick");
    ASSERT_TRUE(stick.error().empty()) << stick.error();
    dst = stick.path() + "/backup";
    MakeDirs(dst);

    Put("/sub/f", "one", 1000000000);
    Run(first);
    Put("/sub/f", "two", 1000000100);
    Run(second);
    EXPECT_EQ(ReadFile(dst + "/sub/f"), "two");
    EXPECT_EQ(ReadFile(Kept("2026-03-02 09.00.05", "/sub/f")), "one");
    EXPECT_EQ(Mtime(Kept("2026-03-02 09.00.05", "/sub/f")), 1000000000);

    Put("/sub/f", "three", 1000000200);
    CrashAfterKeep([&](const std::function<void()>& stop) { Run(third, true, stop); });
    EXPECT_EQ(ReadFile(Kept("2026-03-03 09.00.00", "/sub/f")), "two");
    // The next run copies it again.
    Run({ 2026, 3, 4, 9, 0, 0 });
    EXPECT_EQ(ReadFile(dst + "/sub/f"), "three");
    EXPECT_TRUE(logs.empty()) << logs.front();
}

TEST_F(VersionsTest, PruningRemovesRunFoldersOlderThanTheDaysByTheirNames)
{
    const std::string root = dst + "/.sentrel-versions", versions = root + "/";
    for (const char* run : { "2026-02-01 10.00.00", "2026-02-01 10.00.00-2", "2026-02-20 09.59.59",
                             "2026-02-20 10.00.00", "2026-02-25 00.00.00" }) {
        MakeDirs(versions + run + "/sub");
        WriteFile(versions + run + "/sub/f", "x");
    }
    WriteFile(versions + "2026-02-01 10.00.00/g", "x");
    // Not a run's folder, however old it looks: the user's.
    const Names mine { "mine",
                       "2025-02-29 10.00.00",
                       "2026-01-01 24.00.00",
                       "2026-01-01 10:00:00",
                       "2026-01-01 10.00",
                       "2026-01-01 10.00.00x" };
    for (const std::string& name : mine)
        MakeDirs(versions + name);

    clock.set({ 2026, 3, 2, 10, 0, 0 });
    // Ten days to the second before now stays.
    EXPECT_EQ(PruneLogRows(PruneVersions(dst, clock.now(), 10)), Names { "Removed 4 old versions" });
    EXPECT_EQ(Listing(root).size(), 6u + mine.size());
    EXPECT_TRUE(Exists(versions + "2026-02-20 10.00.00/sub/f"));
    for (const std::string& name : mine)
        EXPECT_TRUE(Exists(versions + name)) << name;

    EXPECT_EQ(PruneLogRows(PruneVersions(dst, clock.now(), 10)), Names {});
    clock.advanceSeconds(3 * 86400);
    EXPECT_EQ(PruneLogRows(PruneVersions(dst, clock.now(), 10)), Names { "Removed 1 old version" });
    EXPECT_EQ(PruneLogRows(PruneVersions(dir / "nowhere", clock.now(), 10)), Names {});

    if (::geteuid() != 0) {
        ::chmod((versions + "2026-02-25 00.00.00/sub").c_str(), 0500);
        clock.advanceSeconds(30 * 86400);
        const Names rows = PruneLogRows(PruneVersions(dst, clock.now(), 10));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back().rfind("Can not remove " + versions, 0), 0u);
        ::chmod((versions + "2026-02-25 00.00.00/sub").c_str(), 0700);
    }
}

TEST_F(VersionsTest, PruningRemovesARunFolderDeeperThanAPathCanBe)
{
    const std::string versions = dst + "/.sentrel-versions/";
    MakeDirs(versions + "2026-02-01 10.00.00");
    WriteFile(versions + "2026-02-01 10.00.00/top.txt", "x");
    MakeDeepTree(versions + "2026-02-01 10.00.00", 250, "folder-of-twenty-ch", "bottom.txt", "deep");
    ASSERT_GT(DeepPath(250, "folder-of-twenty-ch", "bottom.txt").size(), std::size_t(PATH_MAX));

    clock.set({ 2026, 3, 2, 10, 0, 0 });
    const int before = OpenDescriptors();
    const PruneResult result = PruneVersions(dst, clock.now(), 10);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(result.failed, 0) << result.error;
    EXPECT_EQ(PruneLogRows(result), Names { "Removed 2 old versions" });
    EXPECT_EQ(Listing(versions), Names {});
}

// Folders not even root may remove, unmarked again at the end.
class Immutable {
public:
    ~Immutable()
    {
        for (const std::string& path : paths_)
            SetImmutable(path, false);
    }
    std::string mark(const std::string& path)
    {
        std::string why = SetImmutable(path, true);
        if (why.empty())
            paths_.push_back(path);
        return why;
    }

private:
    std::vector<std::string> paths_;
};

TEST_F(VersionsTest, APartialPruneTellsWhatItRemovedAndWhyTheRestStayed)
{
    const std::string versions = dst + "/.sentrel-versions/";
    const std::string stuck = versions + "2026-02-01 10.00.00", clean = versions + "2026-02-02 10.00.00";
    MakeDirs(stuck + "/sub/kept");
    MakeDirs(stuck + "/sub/also kept");
    MakeDirs(stuck + "/other");
    WriteFile(stuck + "/a", "x");
    WriteFile(stuck + "/sub/b", "x");
    WriteFile(stuck + "/other/c", "x");
    MakeDirs(clean + "/deeper");
    WriteFile(clean + "/deeper/d", "x");
    Immutable immutable;
    for (const char* folder : { "/sub/kept", "/sub/also kept" }) {
        if (const std::string why = immutable.mark(stuck + folder); !why.empty())
            GTEST_SKIP() << "a folder can not be made immutable here: " << why;
    }

    clock.set({ 2026, 3, 2, 10, 0, 0 });
    const PruneResult result = PruneVersions(dst, clock.now(), 10);
    EXPECT_EQ(result.removed, 4);
    // The folders above the kept ones stay for what they hold: no failures of their own.
    EXPECT_EQ(result.failed, 2);
    const Names rows = PruneLogRows(result);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "Removed 4 old versions");
    EXPECT_TRUE(rows[1] == "Can not remove " + stuck + "/sub/also kept, Operation not permitted (and 1 more)"
                || rows[1] == "Can not remove " + stuck + "/sub/kept, Operation not permitted (and 1 more)")
        << rows[1];
    EXPECT_EQ(Listing(dst + "/.sentrel-versions"),
              (Names { "2026-02-01 10.00.00", "2026-02-01 10.00.00/sub", "2026-02-01 10.00.00/sub/also kept",
                       "2026-02-01 10.00.00/sub/kept" }));
}

} // namespace
} // namespace sentrel

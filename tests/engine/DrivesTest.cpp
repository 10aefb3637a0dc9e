#include "base/TextFile.h"
#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/FuseMount.h"
#include "support/LoopMount.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;
using Names = std::vector<std::string>;
using Kind = FuseMount::Kind;

// Copies onto the file systems of real drives, each mounted fresh.
class DrivesTest : public ::testing::Test, public BackupProgress {
protected:
    void setTag(std::string_view) override { }
    void setStatus(std::string_view) override { }
    void log(std::string_view detail) override
    {
        const std::lock_guard lock(reports);
        logs.emplace_back(detail);
    }
    void note(std::string_view detail) override
    {
        const std::lock_guard lock(reports);
        notes.emplace_back(detail);
    }
    void yield() override { onYield(); }
    bool running() const override { return true; }

    // Null where this machine can not mount it.
    std::unique_ptr<FuseMount> Mount(Kind kind)
    {
        if (const std::string reason = FuseMount::Unavailable(kind); !reason.empty())
            return nullptr;
        auto mount = std::make_unique<FuseMount>(kind, mountDir.path());
        EXPECT_TRUE(mount->error().empty()) << mount->error();
        return mount->error().empty() ? std::move(mount) : nullptr;
    }

    // A run by "Old"; the final times are set as after a good write-out,
    // or left provisional as after a failed one.
    void Run(const std::string& dst, bool writtenOut = true)
    {
        logs.clear();
        notes.clear();
        engine.FilesTotal = engine.FilesDone = 0;
        engine.CountFiles(src, "Yes", dst, *this);
        copying = true;
        engine.CopyTree(src, dst, "Yes", "Old", src, *this);
        if (writtenOut)
            EXPECT_EQ(engine.ApplyFinalTimes(), 0);
        else
            engine.DiscardFinalTimes();
        copying = false;
    }

    void Put(const std::string& name, std::string_view content, std::int64_t mtime)
    {
        MakeDirs(src + name.substr(0, name.rfind('/')));
        WriteFile(src + name, content);
        SetMtime(src + name, mtime);
    }

    // Other bytes of the same size and the same time in a copy: only a
    // copy made again brings the source's back.
    static void Mark(const std::string& path)
    {
        const std::int64_t mtime = Mtime(path);
        // In place: fusefat hangs in a later rename over a file truncated here.
        const std::string marks(ReadFile(path).size(), '#');
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(::pwrite(fd, marks.data(), marks.size(), 0), ssize_t(marks.size()));
        ::close(fd);
        SetMtime(path, mtime);
    }
    static bool Marked(const std::string& path) { return ReadFile(path).find_first_not_of('#') == std::string::npos; }

    TempDir dir, mountDir;
    std::string src = dir / "src";
    FakeClock clock;
    IgnoreList ignoreList;
    BackupEngine engine { clock, ignoreList, "." };
    std::mutex reports;
    Names logs, notes;
    std::function<void()> onYield = [] {};
    bool copying = false; // not counting
};

// Odd and even seconds, after 1980 as FAT needs.
constexpr std::int64_t kTime = 1'600'000'001;

TEST_F(DrivesTest, ExfatRefusesNamesThatDifferOnlyInCaseAndARerunCopiesNothing)
{
    const auto stick = Mount(Kind::Exfat);
    if (!stick)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Exfat);
    const std::string dst = stick->path();
    Put("/a.txt", "lower", kTime);
    Put("/A.txt", "UPPER", kTime + 2);
    Put("/Docs/x", "x", kTime);
    Put("/docs/y", "y", kTime);
    Put("/other", "other", kTime + 1);
    // Ignored in either spelling: no row for the second.
    ignoreList.AddEntry("B.TXT");
    Put("/B.TXT", "ignored", kTime);
    Put("/b.txt", "ignored", kTime);
    Run(dst);

    // Whichever the listing gives first is copied, the other one is reported.
    const bool lowerFirst = ReadFile(dst + "/a.txt") == "lower";
    const bool docsFirst = Exists(dst + "/Docs/x");
    std::sort(logs.begin(), logs.end());
    Names expected { "Can not create " + dst + "/" + (lowerFirst ? "A.txt" : "a.txt")
                         + ", the name differs only in case from " + (lowerFirst ? "a.txt" : "A.txt"),
                     "Can not create " + dst + "/" + (docsFirst ? "docs" : "Docs")
                         + ", the name differs only in case from " + (docsFirst ? "Docs" : "docs") };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logs, expected);
    // Not merged.
    EXPECT_NE(Exists(dst + "/Docs/x"), Exists(dst + "/Docs/y"));
    EXPECT_FALSE(Exists(dst + "/b.txt"));

    for (const char* name : { "/a.txt", "/Docs/x", "/Docs/y", "/other" }) {
        if (Exists(dst + name))
            Mark(dst + name);
    }
    Run(dst);
    EXPECT_EQ(logs.size(), 2u);
    for (const char* name : { "/a.txt", "/other" })
        EXPECT_TRUE(Marked(dst + name)) << name;
}

// NTFS through ntfs-3g: the data and times arrive, and a re-run copies
// nothing.
TEST_F(DrivesTest, NtfsKeepsDataAndTimesAndARerunCopiesNothing)
{
    const auto disk = Mount(Kind::Ntfs);
    if (!disk)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Ntfs);
    const std::string dst = disk->path();
    Put("/a.txt", "one", kTime);
    Put("/Docs/b.txt", "two", kTime + 1);
    Run(dst);
    EXPECT_EQ(logs, Names {});
    EXPECT_EQ(ReadFile(dst + "/Docs/b.txt"), "two");
    EXPECT_EQ(Mtime(dst + "/Docs/b.txt"), kTime + 1);
    Mark(dst + "/a.txt");
    Run(dst);
    EXPECT_TRUE(Marked(dst + "/a.txt"));
    EXPECT_EQ(logs, Names {});
}

// FAT keeps times to two seconds and has no permission bits; fusefat is
// slow, so few small files.
TEST_F(DrivesTest, FatCopiesOnlyChangedFilesWhateverTheSecond)
{
    const auto stick = Mount(Kind::Fat);
    if (!stick)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Fat);
    const std::string dst = stick->path();
    Put("/odd", "odd", kTime);
    Put("/even", "even", kTime + 1);
    Put("/sub/odd", "sub", kTime + 2);

    // Not written out: the provisional times must look older still.
    Run(dst, false);
    EXPECT_TRUE(logs.empty()) << logs.front();
    EXPECT_EQ(notes, Names { "The destination does not keep permissions: " + dst });
    Mark(dst + "/odd");
    Run(dst);
    EXPECT_EQ(ReadFile(dst + "/odd"), "odd");

    for (const char* name : { "/odd", "/even", "/sub/odd" })
        Mark(dst + name);
    Run(dst);
    for (const char* name : { "/odd", "/even", "/sub/odd" })
        EXPECT_TRUE(Marked(dst + name)) << name;

    // Changed within the copy's two seconds, and later on.
    Put("/odd", "changed", kTime);
    Put("/even", "EVEN", kTime + 5);
    Run(dst);
    EXPECT_EQ(ReadFile(dst + "/odd"), "changed");
    EXPECT_EQ(ReadFile(dst + "/even"), "EVEN");
    EXPECT_TRUE(Marked(dst + "/sub/odd"));
}

TEST_F(DrivesTest, AFolderRefusingPermissionChangesKeepsEveryFilesDataWithOneNote)
{
    const auto share = Mount(Kind::ChmodDenied);
    if (!share)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::ChmodDenied);
    const std::string dst = share->path();
    for (int i = 0; i < 30; ++i)
        Put("/d" + std::to_string(i % 3) + "/f" + std::to_string(i), "data " + std::to_string(i), kTime + i);
    engine.setCopyThreads(3);
    Run(dst);
    EXPECT_TRUE(logs.empty()) << logs.front();
    EXPECT_EQ(notes, Names { "The destination does not keep permissions: " + dst });
    for (int i = 0; i < 30; ++i) {
        const std::string name = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
        EXPECT_EQ(ReadFile(dst + name), "data " + std::to_string(i)) << name;
        Mark(dst + name);
    }
    // Kept with their times: nothing to copy again.
    Run(dst);
    EXPECT_TRUE(logs.empty()) << logs.front();
    EXPECT_TRUE(Marked(dst + "/d2/f29"));
}

TEST_F(DrivesTest, AStickPulledMidRunEndsTheWalkWithOneRow)
{
    const auto stick = Mount(Kind::Exfat);
    if (!stick)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Exfat);
    const std::string dst = stick->path();
    for (int i = 0; i < 300; ++i)
        Put("/d" + std::to_string(i % 4) + "/f" + std::to_string(i), "data", kTime);
    std::atomic<int> entries = 0; // the workers yield at once
    onYield = [&] {
        if (copying && ++entries == 20)
            stick->pull();
    };
    engine.setCopyThreads(2);
    Run(dst, false);
    // A request in hand when the daemon died is aborted; later ones find no connection.
    const int lost = engine.DestinationLost();
    EXPECT_TRUE(lost == ENOTCONN || lost == ECONNABORTED) << lost;
    EXPECT_EQ(logs, Names { "Can not write " + dst + ", " + SystemErrorText(lost) });
    EXPECT_LT(entries.load(), 40);
}

TEST_F(DrivesTest, AReadOnlyDiskIsOneRow)
{
    if (const std::string reason = LoopMount::Unavailable(); !reason.empty())
        GTEST_SKIP() << reason;
    LoopMount disk(mountDir / "image", mountDir / "mnt");
    ASSERT_TRUE(disk.error().empty()) << disk.error();
    MakeDirs(disk.path() + "/backup");
    ASSERT_TRUE(RunCommand("mount -o remount,ro " + disk.path()));
    const std::string dst = disk.path() + "/backup";
    for (const char* name : { "/a", "/sub/b", "/sub/deep/c" })
        Put(name, name, kTime);
    Run(dst, false);
    EXPECT_EQ(logs, Names { "Can not write " + dst + ", Read-only file system" });
    EXPECT_EQ(engine.DestinationLost(), EROFS);

    // Each run starts afresh.
    ASSERT_TRUE(RunCommand("mount -o remount,rw " + disk.path()));
    Run(dst);
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(engine.DestinationLost(), 0);
    EXPECT_EQ(ReadFile(dst + "/sub/deep/c"), "/sub/deep/c");
}

} // namespace
} // namespace sentrel

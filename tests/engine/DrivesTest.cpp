#include "EngineTest.h"
#include "base/TextFile.h"
#include "engine/WriteBehind.h"
#include "support/FuseMount.h"
#include "support/LoopMount.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;
using Kind = FuseMount::Kind;
using namespace std::chrono_literals;

// Odd and even seconds, after 1980 as FAT needs.
constexpr std::int64_t kTime = 1'600'000'001;

// Copies onto the file systems of real drives, each mounted fresh, and
// real disks that lose their power or fail their write-back.
class DrivesTest : public EngineTest {
protected:
    // The destination's root; null where this machine can not mount it.
    std::unique_ptr<FuseMount> Mount(Kind kind)
    {
        if (!FuseMount::Unavailable(kind).empty())
            return nullptr;
        auto mount = std::make_unique<FuseMount>(kind, dir / ("drive" + std::to_string(int(kind))));
        EXPECT_TRUE(mount->error().empty()) << mount->error();
        dst = mount->path();
        return mount->error().empty() ? std::move(mount) : nullptr;
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

    // Version `v` of a source tree in a few folders, two files at and
    // before 1970: the second changes every other file to a later time and
    // adds some. Gives the files it wrote with their times.
    std::map<std::string, std::int64_t> Source(int v)
    {
        std::map<std::string, std::int64_t> files;
        for (int i = 0; i < 60; ++i) {
            if ((v == 2 && i % 2 == 1 && i < 40) || (v == 1 && i >= 40))
                continue;
            const std::string name = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
            files[name] = i == 0 ? (v - 2) * 1000 : i == 1 ? -100'000 * (3 - v) : 1'600'000'000 + i * 1000 + v * 100;
            Put(name, name + " v" + std::to_string(v) + std::string(std::size_t(i) * 100, 'z'), files[name]);
        }
        return files;
    }
};

enum class Cut { AfterCopy, AfterWriteOut, AfterFinalTimes };

TEST_F(DrivesTest, ExfatRefusesNamesThatDifferOnlyInCaseAndARerunCopiesNothing)
{
    const auto stick = Mount(Kind::Exfat);
    if (!stick)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Exfat);
    Put("/a.txt", "lower", kTime);
    Put("/A.txt", "UPPER", kTime + 2);
    Put("/Docs/x", "x", kTime);
    Put("/docs/y", "y", kTime);
    Put("/other", "other", kTime + 1);
    // Ignored in either spelling: no row for the second.
    ignoreList.AddEntry("B.TXT");
    Put("/B.TXT", "ignored", kTime);
    Put("/b.txt", "ignored", kTime);
    Run();

    // Whichever the listing gives first is copied, the other one is reported.
    const bool lowerFirst = ReadFile(dst + "/a.txt") == "lower";
    const bool docsFirst = Exists(dst + "/Docs/x");
    Names expected { "Can not create " + dst + "/" + (lowerFirst ? "A.txt" : "a.txt")
                         + ", the name differs only in case from " + (lowerFirst ? "a.txt" : "A.txt"),
                     "Can not create " + dst + "/" + (docsFirst ? "docs" : "Docs")
                         + ", the name differs only in case from " + (docsFirst ? "Docs" : "docs") };
    std::sort(logs.begin(), logs.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logs, expected);
    // Not merged.
    EXPECT_NE(Exists(dst + "/Docs/x"), Exists(dst + "/Docs/y"));
    EXPECT_FALSE(Exists(dst + "/b.txt"));

    for (const char* name : { "/a.txt", "/Docs/x", "/Docs/y", "/other" }) {
        if (Exists(dst + name))
            Mark(dst + name);
    }
    Run();
    EXPECT_EQ(logs.size(), 2u);
    for (const char* name : { "/a.txt", "/other" })
        EXPECT_TRUE(Marked(dst + name)) << name;
}

// Copies not written out look older than their sources, whatever the
// drive keeps of times; once written out, a re-run copies only what
// changed. FAT keeps times to two seconds and no permission bits; fusefat
// is slow, so few small files.
TEST_F(DrivesTest, NtfsAndFatKeepDataAndTimesAndARerunCopiesOnlyWhatChanged)
{
    std::string skipped;
    for (const Kind kind : { Kind::Ntfs, Kind::Fat }) {
        const bool fat = kind == Kind::Fat;
        SCOPED_TRACE(fat ? "FAT" : "NTFS");
        const auto drive = Mount(kind);
        if (!drive) {
            skipped += FuseMount::Unavailable(kind) + "; ";
            continue;
        }
        // A run that copies notes once what FAT does not keep, and logs nothing else.
        const Names quiet = fat ? Names { "Note: The destination does not keep permissions: " + dst } : Names {};
        std::filesystem::remove_all(src);
        Put("/odd", "odd", kTime);
        Put("/even", "even", kTime + 1);
        Put("/sub/odd", "sub", kTime + 2);

        Run("Old", "Yes", false);
        EXPECT_EQ(logs, quiet);
        Mark(dst + "/odd");
        Run();
        EXPECT_EQ(ReadFile(dst + "/odd"), "odd");
        EXPECT_EQ(Mtime(dst + "/even"), kTime + 1);

        for (const char* name : { "/odd", "/even", "/sub/odd" })
            Mark(dst + name);
        Run();
        for (const char* name : { "/odd", "/even", "/sub/odd" })
            EXPECT_TRUE(Marked(dst + name)) << name;

        // Changed later on, and on FAT within the copy's two seconds.
        Put("/even", "EVEN", kTime + 5);
        if (fat)
            Put("/odd", "changed", kTime);
        Run();
        EXPECT_EQ(logs, quiet);
        EXPECT_EQ(ReadFile(dst + "/even"), "EVEN");
        EXPECT_TRUE(fat ? ReadFile(dst + "/odd") == "changed" : Marked(dst + "/odd"));
        EXPECT_TRUE(Marked(dst + "/sub/odd"));
    }
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(DrivesTest, AStickPulledMidRunEndsTheWalkWithOneRow)
{
    const auto stick = Mount(Kind::Exfat);
    if (!stick)
        GTEST_SKIP() << FuseMount::Unavailable(Kind::Exfat);
    for (int i = 0; i < 300; ++i)
        Put("/d" + std::to_string(i % 4) + "/f" + std::to_string(i), "data", kTime);
    // Entries the copy met; the workers yield at once.
    std::atomic<int> entries = 0;
    onYield = [&] {
        if (engine.FilesDone > 0 && ++entries == 20)
            stick->pull();
    };
    engine.setCopyThreads(2);
    Run("Old", "Yes", false);
    // A request in hand when the daemon died is aborted; later ones find no connection.
    const int lost = engine.DestinationLost();
    EXPECT_TRUE(lost == ENOTCONN || lost == ECONNABORTED) << lost;
    EXPECT_EQ(logs, Names { "Can not write " + dst + ", " + SystemErrorText(lost) });
    EXPECT_LT(entries.load(), 40);
}

// A write-out tells what keeps the data from the disk: a folder that can
// not be opened, or a write-back error. The loop device's backing file lies
// on a tmpfs too small for it, so write-back fails once that fills. The
// repeated write-outs meet the error first; a descriptor opened after them
// would never hear of it.
TEST_F(DrivesTest, AWriteOutTellsAFolderThatCannotBeOpenedOrAWriteBackErrorMetWhileCopying)
{
    EXPECT_EQ(WriteBehind(dir / "missing").finish(), ENOENT);
    if (const std::string reason = LoopMount::Unavailable(); !reason.empty())
        GTEST_SKIP() << reason;
    const std::string tiny = dir / "tiny";
    MakeDirs(tiny);
    ASSERT_EQ(::mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=12m"), 0);
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        tiny.c_str(), [](const char* path) { ::umount2(path, MNT_DETACH); });
    {
        LoopMount disk(tiny + "/image", dir / "mnt", "ext4", 64, { "-b", "4096", "-E", "nodiscard" });
        ASSERT_TRUE(disk.error().empty()) << disk.error();
        WriteBehind writeBehind(disk.path());
        const std::string block(1 << 20, 'x');
        // A slow machine may meet the error already while writing.
        try {
            for (int i = 0; i < 24; ++i)
                WriteFile(disk.path() + "/f" + std::to_string(i), block);
        } catch (const std::exception&) {
        }
        std::this_thread::sleep_for(200ms);
        const int late = ::open(disk.path().c_str(), O_RDONLY | O_DIRECTORY);
        const int lateError = ::syncfs(late) == 0 ? 0 : errno;
        ::close(late);
        const int error = writeBehind.finish();
        EXPECT_NE(error, 0) << "the late descriptor saw " << lateError;
    }
}

// A power cut at any point of a run leaves no copy that looks up to date
// without its data, and the next run, even by "Old", repairs every one.
TEST_F(DrivesTest, APowerCutAnywhereInARunIsRepairedByTheNextOne)
{
    if (const std::string reason = LoopMount::Unavailable(); !reason.empty())
        GTEST_SKIP() << reason;
    engine.setCopyThreads(2);
    const auto copy = [&](std::string_view overwrite) { engine.CopyTree(src, dst, "Yes", overwrite, src, *this); };
    for (const Cut cut : { Cut::AfterCopy, Cut::AfterWriteOut, Cut::AfterFinalTimes }) {
        SCOPED_TRACE(int(cut));
        const std::string n = std::to_string(int(cut));
        // Journal commits every second, while the data waits for write-back;
        // no flush on a rename over a file, as most file systems.
        LoopMount disk(dir / ("image" + n), dir / ("mnt" + n), "ext4", 64, {}, "commit=1,noauto_da_alloc");
        ASSERT_TRUE(disk.error().empty()) << disk.error();
        dst = disk.path() + "/backup";
        MakeDirs(dst);
        std::filesystem::remove_all(src);

        Source(1);
        {
            WriteBehind writeBehind(dst);
            copy("Old");
            ASSERT_EQ(writeBehind.finish(), 0);
            EXPECT_TRUE(engine.ApplyFinalTimes().empty());
            EXPECT_EQ(writeBehind.finish(), 0);
        }
        const auto files = Source(2);
        {
            // Cut before the repeated write-outs have written anything.
            std::optional<WriteBehind> writeBehind;
            if (cut != Cut::AfterCopy)
                writeBehind.emplace(dst);
            copy("Old");
            if (writeBehind) {
                ASSERT_EQ(writeBehind->finish(), 0);
                if (cut == Cut::AfterFinalTimes) {
                    EXPECT_TRUE(engine.ApplyFinalTimes().empty());
                }
            }
            std::this_thread::sleep_for(1500ms);
            ASSERT_TRUE(disk.cutPower()) << disk.error();
        }
        engine.DiscardFinalTimes();
        ASSERT_TRUE(disk.remount()) << disk.error();

        for (const auto& [name, mtime] : files) {
            if (Exists(dst + name) && Mtime(dst + name) == mtime) {
                EXPECT_TRUE(ReadFile(dst + name) == ReadFile(src + name))
                    << name << " looks up to date without its data";
            }
        }
        for (const std::string overwrite : { "Old", "All" }) {
            WriteBehind writeBehind(dst);
            copy(overwrite);
            ASSERT_EQ(writeBehind.finish(), 0);
            EXPECT_TRUE(engine.ApplyFinalTimes().empty());
            for (const auto& [name, mtime] : files) {
                EXPECT_TRUE(ReadFile(dst + name) == ReadFile(src + name)) << overwrite << name;
                EXPECT_EQ(Mtime(dst + name), mtime) << overwrite << name;
            }
        }
        EXPECT_TRUE(logs.empty()) << logs.front();
    }
}

} // namespace
} // namespace sentrel

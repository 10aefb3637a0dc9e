#include "EngineTest.h"
#include "engine/WriteBehind.h"
#include "support/LoopMount.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace sentrel {
namespace {

using namespace test;
using namespace std::chrono_literals;

using WriteOut = EngineTest;

TEST(WriteBehind, ADirectoryThatCannotBeOpenedIsReportedByFinish)
{
    TempDir dir;
    WriteBehind missing(dir / "missing");
    EXPECT_EQ(missing.finish(), ENOENT);
    WriteBehind there(dir.path());
    EXPECT_EQ(there.finish(), 0);
    EXPECT_EQ(there.finish(), 0);
}

// The loop device's backing file lies on a tmpfs too small for it, so
// write-back fails once that fills. The repeated write-outs meet the error
// first; a descriptor opened after them would never hear of it.
TEST(WriteBehind, AWriteBackErrorMetWhileCopyingIsReportedByFinish)
{
    if (const std::string reason = LoopMount::Unavailable(); !reason.empty())
        GTEST_SKIP() << reason;
    TempDir dir;
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

enum class Cut { AfterCopy, AfterWriteOut, AfterFinalTimes };

// Version `v` of a source tree: files with their own content and times,
// some before 1970, in a few folders.
std::map<std::string, std::int64_t> MakeSource(const std::string& src, int v)
{
    std::map<std::string, std::int64_t> files;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "/d" + std::to_string(i % 3) + "/f" + std::to_string(i);
        // The second version changes every other file and adds some.
        if ((v == 2 && i % 2 == 1 && i < 40) || (v == 1 && i >= 40))
            continue;
        // Times at and before 1970 too; each version newer than the last.
        const std::int64_t mtime = i == 0 ? (v - 2) * 1000
            : i == 1                      ? -100'000 * (3 - v)
                                          : 1'600'000'000 + i * 1000 + v * 100;
        MakeDirs(src + "/d" + std::to_string(i % 3));
        WriteFile(src + name, name + " v" + std::to_string(v) + std::string(std::size_t(i) * 100, 'z'));
        SetMtime(src + name, mtime);
        files[name] = mtime;
    }
    return files;
}

// A power cut at any point of a run leaves no copy that looks up to date
// without its data, and the next run, even by "Old", repairs every one.
TEST_F(WriteOut, APowerCutAnywhereInARunIsRepairedByTheNextOne)
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

        MakeSource(src, 1);
        {
            WriteBehind writeBehind(dst);
            copy("Old");
            ASSERT_EQ(writeBehind.finish(), 0);
            EXPECT_EQ(engine.ApplyFinalTimes(), 0);
            EXPECT_EQ(writeBehind.finish(), 0);
        }
        const auto files = MakeSource(src, 2);
        {
            // Cut before the repeated write-outs have written anything.
            std::optional<WriteBehind> writeBehind;
            if (cut != Cut::AfterCopy)
                writeBehind.emplace(dst);
            copy("Old");
            if (writeBehind) {
                ASSERT_EQ(writeBehind->finish(), 0);
                if (cut == Cut::AfterFinalTimes) {
                    EXPECT_EQ(engine.ApplyFinalTimes(), 0);
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
            EXPECT_EQ(engine.ApplyFinalTimes(), 0);
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

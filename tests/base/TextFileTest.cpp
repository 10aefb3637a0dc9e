#include "base/TextFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {
namespace {

using Lines = std::vector<std::string>;

TEST(TextFile, CrLfLfAndALoneCrEachEndALine)
{
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines { "a", "b", "c", "d" }));
    EXPECT_EQ(SplitLines("a\r\r\n\n\rb\r"), (Lines { "a", "", "", "", "b" }));
    EXPECT_EQ(SplitLines("\n"), (Lines { "" }));
    EXPECT_TRUE(SplitLines("").empty());
}

// Pipes would block the start and devices never end: only regular files
// of a sane size are read, and the reason for a refusal is given.
TEST(TextFile, DataFilesAreReadOnlyWhenRegularAndOfASaneSize)
{
    test::TempDir dir;
    const auto read = [](const std::string& path) {
        std::string error = "(none)";
        const auto lines = ReadTextLines(path, &error);
        return lines ? std::to_string(lines->size()) + " lines" : error;
    };
    test::WriteFile(dir / "plain", "one\rtwo\r\n");
    ::symlink((dir / "plain").c_str(), (dir / "link").c_str());
    ::mkfifo((dir / "fifo").c_str(), 0600);
    ::symlink("/dev/zero", (dir / "zero").c_str());
    test::WriteFile(dir / "huge", "");
    ::truncate((dir / "huge").c_str(), kMaxDataFileBytes + 1);

    ::alarm(60); // should the pipe block after all
    EXPECT_EQ(read(dir / "plain"), "2 lines");
    EXPECT_EQ(read(dir / "link"), "2 lines");
    EXPECT_EQ(read(dir / "missing"), "(none)");
    EXPECT_EQ(read(dir / "fifo"), "Not a regular file");
    EXPECT_EQ(read(dir / "zero"), "Not a regular file");
    EXPECT_EQ(read(dir.path()), "Not a regular file");
    EXPECT_EQ(read(dir / "huge"), "File too large");
    ::alarm(0);
}

} // namespace
} // namespace sentrel

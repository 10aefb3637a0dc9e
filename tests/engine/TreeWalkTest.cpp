#include "engine/TreeWalk.h"

#include "base/DirStream.h"
#include "base/UniqueFd.h"
#include "engine/DirChain.h"
#include "support/DeepTree.h"
#include "support/TempDir.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

namespace sentrel {
namespace {

using namespace test;
using Names = std::vector<std::string>;

int OpenTop(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Descends into every subdirectory, sorted, but those `skip` names, with the
// parent's depth as data; notes what it sees.
class Recorder : public TreeVisitor {
public:
    void visit(TreeLevel& level) override
    {
        seen.push_back("visit " + level.path() + " " + std::string(level.name()) + " " + std::to_string(level.data()));
        Names subdirectories;
        DirStream dir = DirStream::Duplicate(level.fd());
        while (const dirent* entry = dir.next()) {
            struct stat st { };
            if (::fstatat(level.fd(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
                && entry->d_name != skip)
                subdirectories.emplace_back(entry->d_name);
        }
        std::sort(subdirectories.begin(), subdirectories.end());
        for (std::string& name : subdirectories)
            level.descend(std::move(name), int(level.depth()) * 10 + 7);
        if (onVisit)
            onVisit(level);
    }
    void left(TreeLevel& parent, const std::string& name, int data) override
    {
        seen.push_back("left " + parent.path() + " " + name + " " + std::to_string(data));
    }
    bool going() override { return goingOn; }

    Names seen;
    std::string skip;
    bool goingOn = true;
    std::function<void(TreeLevel&)> onVisit;
};

class TreeWalkTest : public ::testing::Test {
protected:
    TreeWalkTest()
    {
        for (const char* path : { "/a/b/c", "/a/d", "/e", "/skipped/below" })
            MakeDirs(top + path);
        WriteFile(top + "/a/file", "x");
        ::symlink(".", (top + "/link").c_str());
    }

    TempDir dir;
    std::string top = dir / "top";
};

TEST_F(TreeWalkTest, VisitsDepthFirstWithPathsAndDataAndLeavesEachLevelOnItsParent)
{
    Recorder visitor;
    visitor.skip = "skipped";
    DirChain chain(OpenTop(top), 0);
    EXPECT_TRUE(WalkTree(chain, visitor));
    EXPECT_EQ(visitor.seen,
              (Names { "visit   0", "visit a a 7", "visit a/b b 17", "visit a/b/c c 27", "left a/b c 27", "left a b 17",
                       "visit a/d d 17", "left a d 17", "left  a 7", "visit e e 7", "left  e 7" }));
}

TEST_F(TreeWalkTest, AStopEntersNothingMoreButLeavesWhatWasEntered)
{
    Recorder visitor;
    visitor.skip = "skipped";
    visitor.onVisit = [](TreeLevel& level) {
        if (level.path() == "a/b")
            level.stop();
    };
    DirChain chain(OpenTop(top), 0);
    EXPECT_FALSE(WalkTree(chain, visitor));
    EXPECT_EQ(visitor.seen, (Names { "visit   0", "visit a a 7", "visit a/b b 17", "left a b 17", "left  a 7" }));

    // Said by going(), before a level is entered.
    Recorder refusing;
    refusing.goingOn = false;
    DirChain again(OpenTop(top), 0);
    EXPECT_FALSE(WalkTree(again, refusing));
    EXPECT_EQ(refusing.seen, (Names { "visit   0" }));
}

constexpr int kDeepLevels = 250;
const std::string kDeepName = "folder-of-twenty-ch";

TEST_F(TreeWalkTest, GoesBelowWhereAPathCanReachWithFewDescriptorsOpenAndLeaksNoneOnAThrow)
{
    MakeDeepTree(top + "/e", kDeepLevels, kDeepName, "bottom.txt", "deep");
    const int before = OpenDescriptors();
    int most = 0;
    std::size_t deepest = 0, longest = 0;
    Recorder visitor;
    visitor.skip = "skipped";
    visitor.onVisit = [&](TreeLevel& level) {
        most = std::max(most, OpenDescriptors());
        deepest = std::max(deepest, level.depth());
        longest = std::max(longest, level.path().size());
    };
    {
        DirChain chain(OpenTop(top), 0);
        EXPECT_TRUE(WalkTree(chain, visitor));
        struct stat topStat {
        }, now {};
        ASSERT_EQ(::fstat(chain.fd(), &topStat), 0);

        visitor.onVisit = [](TreeLevel& level) {
            const DirStream listing = DirStream::Duplicate(level.fd());
            if (level.depth() == 200)
                throw std::runtime_error("out of luck");
        };
        EXPECT_THROW(WalkTree(chain, visitor), std::runtime_error);
        ASSERT_EQ(::fstat(chain.fd(), &now), 0);
        EXPECT_EQ(now.st_ino, topStat.st_ino) << "the chain is back at its top";
    }
    EXPECT_EQ(deepest, std::size_t(kDeepLevels + 1));
    EXPECT_GT(longest, std::size_t(PATH_MAX));
    EXPECT_LE(most - before, int(DirChain::kOpenLimit) + 3);
    EXPECT_EQ(OpenDescriptors(), before);

    const UniqueFd topFd(OpenTop(top));
    const RemoveOutcome removed = RemoveTree(topFd.get(), "e");
    EXPECT_EQ(removed.failed, 0);
    EXPECT_EQ(removed.files, 1);
    EXPECT_FALSE(Exists(top + "/e"));
}

TEST(DirStream, ListsWithoutDotsFromTheStartAndKeepsOrClosesTheHandleAsTold)
{
    TempDir dir;
    WriteFile(dir / "one", "1");
    WriteFile(dir / "two", "2");
    const int before = OpenDescriptors();
    const int fd = OpenTop(dir.path());
    const auto names = [](DirStream& stream) {
        Names listed;
        while (const dirent* entry = stream.next())
            listed.emplace_back(entry->d_name);
        EXPECT_EQ(errno, 0);
        std::sort(listed.begin(), listed.end());
        return listed;
    };
    {
        DirStream first = DirStream::Duplicate(fd);
        EXPECT_EQ(names(first), (Names { "one", "two" }));
        // A second listing of the same handle starts again.
        DirStream second = DirStream::Duplicate(fd);
        EXPECT_EQ(names(second), (Names { "one", "two" }));
    }
    EXPECT_EQ(OpenDescriptors(), before + 1) << "the duplicated handle stays the caller's";
    {
        DirStream adopted = DirStream::Adopt(fd);
        EXPECT_EQ(adopted.fd(), fd);
    }
    EXPECT_EQ(OpenDescriptors(), before);

    DirStream missing = DirStream::Adopt(::open((dir / "none").c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_EQ(missing.next(), nullptr);
}

} // namespace
} // namespace sentrel

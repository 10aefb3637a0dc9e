#include "engine/Restore.h"

#include "base/TickLoop.h"
#include "base/UniqueFd.h"
#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "engine/TreeWalk.h"
#include "engine/Versions.h"
#include "support/DeepTree.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <climits>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sentrel {
namespace {

using namespace test;
using Names = std::vector<std::string>;

class RestoreTest : public ::testing::Test, public BackupProgress {
protected:
    RestoreTest() { MakeDirs(dst); }

    void setTag(std::string_view) override { }
    void setStatus(std::string_view) override { }
    void log(std::string_view detail) override { FAIL() << detail; }
    void yield() override { }
    bool running() const override { return true; }

    // A run that keeps what it replaces, as the backup run does with the option on.
    void Backup(const LocalDateTime& start)
    {
        VersionKeeper versions(dst, start);
        engine.setVersions(&versions);
        engine.CopyTree(src, dst, "Yes", "Old", src, *this);
        engine.ApplyFinalTimes();
        engine.setVersions(nullptr);
    }

    void Put(const std::string& name, std::string_view content, std::int64_t mtime)
    {
        MakeDirs(std::filesystem::path(src + name).parent_path());
        WriteFile(src + name, content);
        SetMtime(src + name, mtime);
    }

    Names Labels(const std::string& relative) const
    {
        Names labels;
        for (const BackupCopy& copy : index.files.at(relative))
            labels.push_back(CopyLabel(copy) + " " + SizeText(copy.size));
        return labels;
    }

    TempDir dir;
    std::string src = dir / "src", dst = dir / "dst";
    std::shared_ptr<FakeClock> clockOwner = std::make_shared<FakeClock>();
    std::shared_ptr<IgnoreList> ignoreOwner = std::make_shared<IgnoreList>();
    FakeClock& clock = *clockOwner;
    BackupEngine engine { clockOwner, ignoreOwner, "." };
    // Runs a restore to its end, answering the questions as scripted.
    RestoreOutcome Restore(std::vector<RestoreItem> items)
    {
        std::optional<RestoreOutcome> outcome;
        RestoreJob job(loop, std::move(items), ask(), [&](RestoreOutcome o) { outcome = std::move(o); });
        EXPECT_FALSE(outcome) << "ended before the loop turned";
        EXPECT_TRUE(loop.runUntil([&] { return outcome.has_value(); }));
        EXPECT_TRUE(job.finished());
        return outcome.value_or(RestoreOutcome {});
    }

    AskReplace ask()
    {
        return [this](std::string text, std::function<void(bool)> answered) {
            asked.push_back(std::move(text));
            const bool yes = !answers.empty() && answers.front();
            if (!answers.empty())
                answers.pop_front();
            answered(yes);
        };
    }

    TickLoop loop;
    std::deque<bool> answers; // No when out of them
    Names asked;
    BackupIndex index;
};

TEST_F(RestoreTest, ASavedOverFileComesBackByteForByteAfterTwoLaterRuns)
{
    std::string first(100000, '\0');
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = char(i * 7919 % 251);
    Put("/docs/report.bin", first, 1000);
    ::chmod((src + "/docs/report.bin").c_str(), 0604);
    Backup({ 2026, 3, 1, 9, 0, 0 });
    Put("/docs/report.bin", "second", 2000);
    Backup({ 2026, 3, 2, 9, 0, 0 });
    Put("/docs/report.bin", "third!", 3000);
    Backup({ 2026, 3, 3, 9, 0, 0 });

    std::atomic<std::size_t> listed = 0;
    index = IndexBackup(dst, &listed);
    EXPECT_EQ(listed, 3u);
    EXPECT_EQ(index.folders, (Names { "docs" }));
    EXPECT_EQ(Labels("docs/report.bin"),
              (Names { "Backup copy 6 bytes", "2026-03-03 09:00:00 6 bytes", "2026-03-02 09:00:00 97.7 KB" }));

    const BackupCopy& oldest = index.files.at("docs/report.bin").back();
    const std::string target = RestoreTarget("docs/report.bin", src);
    EXPECT_EQ(target, src + "/docs/report.bin");
    // The source's file is newer than the copy: asked, and Yes.
    answers = { true };
    const RestoreOutcome outcome = Restore(RestoreFileItems(oldest, target));
    EXPECT_EQ(outcome.restored, 1);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(ReadFile(target), first);
    EXPECT_EQ(Mtime(target), 1000);
    EXPECT_EQ(Mode(target), 0604u);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(src + "/docs"), {}), 1) << "no temporary file left";
}

TEST_F(RestoreTest, ANewerFileIsReplacedOnlyWhenTheUserSaysSo)
{
    Put("/a.txt", "backed up", 1000);
    Put("/b.txt", "backed up", 1000);
    Backup({ 2026, 3, 1, 9, 0, 0 });
    Put("/a.txt", "edited since", 5000);
    Put("/b.txt", "older", 500);
    index = IndexBackup(dst);

    const RestoreOutcome outcome = Restore(RestoreFolderItems(index, "", src));
    EXPECT_EQ(outcome.declined, 1);
    EXPECT_EQ(outcome.restored, 1);
    EXPECT_EQ(asked, Names { "The file " + src + "/a.txt is newer than the copy in the backup.\r\nReplace it?" });
    EXPECT_EQ(ReadFile(src + "/a.txt"), "edited since");
    EXPECT_EQ(ReadFile(src + "/b.txt"), "backed up");
}

TEST_F(RestoreTest, AFolderRestoresWholeIntoAPickedFolderWithoutVersionsOrTemporaryFiles)
{
    Put("/mail/in/1.eml", "one", 1000);
    Put("/mail/in/2.eml", "two", 1000);
    Put("/mail/out.eml", "out", 1000);
    Put("/other.txt", "other", 1000);
    ::symlink("in/1.eml", (src + "/mail/latest").c_str());
    Backup({ 2026, 3, 1, 9, 0, 0 });
    Put("/mail/out.eml", "out 2", 2000);
    Backup({ 2026, 3, 2, 9, 0, 0 });
    WriteFile(dst + "/mail/.sentrel-77-1.tmp", "partial");
    index = IndexBackup(dst);
    EXPECT_EQ(index.folders, (Names { "mail", "mail/in" }));
    EXPECT_FALSE(index.files.contains("mail/.sentrel-77-1.tmp"));
    EXPECT_TRUE(index.files.contains("mail/latest"));

    const std::string picked = dir / "picked";
    const std::string target = RestoreTarget("mail", src, picked);
    EXPECT_EQ(target, picked + "/mail");
    const RestoreOutcome outcome = Restore(RestoreFolderItems(index, "mail", target));
    EXPECT_EQ(outcome.restored, 4);
    Names tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(picked))
        tree.push_back(entry.path().string().substr(picked.size()));
    std::sort(tree.begin(), tree.end());
    EXPECT_EQ(tree,
              (Names { "/mail", "/mail/in", "/mail/in/1.eml", "/mail/in/2.eml", "/mail/latest", "/mail/out.eml" }));
    EXPECT_EQ(ReadFile(picked + "/mail/out.eml"), "out 2");
    EXPECT_EQ(std::filesystem::read_symlink(picked + "/mail/latest"), "in/1.eml");
    EXPECT_TRUE(asked.empty());

    // A place that can not be written: told, nothing half written.
    WriteFile(dir / "blocked", "a file where a folder should be");
    const RestoreOutcome failed = Restore(RestoreFolderItems(index, "mail/in", dir / "blocked/in"));
    ASSERT_EQ(failed.failures.size(), 2u);
    EXPECT_EQ(failed.failures[0].rfind("Can not create " + dir / "blocked/in/", 0), 0u) << failed.failures[0];
}

TEST_F(RestoreTest, DotFoldersBackedUpAreListedOnlyThenAndComeBackWithTheirVersions)
{
    Put("/.profile", "profile", 1000);
    Put("/.git/HEAD", "ref 1", 1000);
    Put("/.git/refs/heads/main", "abc", 1000);
    engine.setBackUpDotFolders(true);
    Backup({ 2026, 3, 1, 9, 0, 0 });
    Put("/.git/HEAD", "ref 2", 2000);
    Backup({ 2026, 3, 2, 9, 0, 0 });

    EXPECT_EQ(IndexBackup(dst).folders, Names {});
    index = IndexBackup(dst, nullptr, nullptr, true);
    // The destination's kept versions are listed as versions, not as a folder.
    EXPECT_EQ(index.folders, (Names { ".git", ".git/refs", ".git/refs/heads" }));
    EXPECT_EQ(index.files.size(), 3u);
    EXPECT_EQ(Labels(".git/HEAD"), (Names { "Backup copy 5 bytes", "2026-03-02 09:00:00 5 bytes" }));

    const std::string picked = dir / "picked";
    EXPECT_EQ(Restore(RestoreFolderItems(index, ".git", RestoreTarget(".git", src, picked))).restored, 2);
    EXPECT_EQ(ReadFile(picked + "/.git/refs/heads/main"), "abc");
    answers = { true };
    EXPECT_EQ(Restore(RestoreFileItems(index.files.at(".git/HEAD").back(), src + "/.git/HEAD")).restored, 1);
    EXPECT_EQ(ReadFile(src + "/.git/HEAD"), "ref 1");
}

TEST_F(RestoreTest, QuestionsWaitForTheirAnswersOneAtATimeWhileTheLoopTurns)
{
    Put("/a.txt", "backed up a", 1000);
    Put("/b.txt", "backed up b", 1000);
    Put("/c.txt", "backed up c", 1000);
    Backup({ 2026, 3, 1, 9, 0, 0 });
    for (const char* name : { "/a.txt", "/b.txt" })
        Put(name, "edited", 5000);
    Put("/c.txt", "older", 500);
    index = IndexBackup(dst);

    std::vector<std::function<void(bool)>> pending;
    std::optional<RestoreOutcome> outcome;
    RestoreJob job(
        loop, RestoreFolderItems(index, "", src),
        [&](std::string text, std::function<void(bool)> answered) {
            asked.push_back(std::move(text));
            pending.push_back(std::move(answered));
        },
        [&](RestoreOutcome o) { outcome = std::move(o); });
    EXPECT_TRUE(loop.runUntil([&] { return !pending.empty(); }));
    EXPECT_EQ(asked.size(), 1u);
    // Nothing is written while a question is open, not even the file no one asked about.
    EXPECT_EQ(ReadFile(src + "/c.txt"), "older");
    pending[0](true);
    pending[0](false); // a second answer to the same question counts for nothing
    EXPECT_TRUE(loop.runUntil([&] { return pending.size() == 2; }));
    EXPECT_EQ(asked.back(), "The file " + src + "/b.txt is newer than the copy in the backup.\r\nReplace it?");
    pending[1](false);
    EXPECT_TRUE(loop.runUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->restored, 2);
    EXPECT_EQ(outcome->declined, 1);
    EXPECT_EQ(ReadFile(src + "/a.txt"), "backed up a");
    EXPECT_EQ(ReadFile(src + "/b.txt"), "edited");
    EXPECT_EQ(ReadFile(src + "/c.txt"), "backed up c");
}

TEST_F(RestoreTest, AJobGivenUpAsksNoMoreAndNeverEnds)
{
    Put("/a.txt", "backed up", 1000);
    Backup({ 2026, 3, 1, 9, 0, 0 });
    Put("/a.txt", "edited", 5000);
    index = IndexBackup(dst);

    std::function<void(bool)> pending;
    bool ended = false;
    {
        RestoreJob job(
            loop, RestoreFolderItems(index, "", src),
            [&](std::string, std::function<void(bool)> answered) { pending = std::move(answered); },
            [&](RestoreOutcome) { ended = true; });
        EXPECT_TRUE(loop.runUntil([&] { return bool(pending); }));
    }
    pending(true);
    loop.runUntil([] { return false; });
    EXPECT_FALSE(ended);
    EXPECT_EQ(ReadFile(src + "/a.txt"), "edited");
}

TEST_F(RestoreTest, AFolderDeeperThanAPathCanBeIsListedAndRestored)
{
    const std::string name = "folder-of-twenty-ch";
    constexpr int levels = 250;
    MakeDeepTree(dst, levels, name, "bottom.txt", "deep down");
    SetDeepMtime(dst, levels, name, "bottom.txt", 1000);
    const std::string relative = DeepPath(levels, name, "bottom.txt");
    ASSERT_GT(relative.size(), std::size_t(PATH_MAX));
    index = IndexBackup(dst);
    ASSERT_TRUE(index.files.contains(relative));
    EXPECT_EQ(index.folders.size(), std::size_t(levels));

    const std::string picked = dir / "picked";
    MakeDirs(picked);
    const RestoreOutcome outcome = Restore(RestoreFolderItems(index, name, RestoreTarget(name, src, picked)));
    EXPECT_TRUE(outcome.failures.empty()) << outcome.failures.front().substr(0, 200);
    EXPECT_EQ(outcome.restored, 1);
    EXPECT_EQ(ReadDeepFile(picked, levels, name, "bottom.txt"), "deep down");

    // Changed since, at its place: the newer check reaches it too.
    SetDeepMtime(picked, levels, name, "bottom.txt", 5000);
    EXPECT_EQ(Restore(RestoreFolderItems(index, name, RestoreTarget(name, src, picked))).declined, 1);
    EXPECT_EQ(asked.size(), 1u);

    for (const std::string& top : { dst, picked }) {
        const UniqueFd fd(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        EXPECT_EQ(RemoveTree(fd.get(), name).failed, 0);
    }
}

TEST(RestoreText, SizesReadAsTheListShowsThem)
{
    EXPECT_EQ(SizeText(0), "0 bytes");
    EXPECT_EQ(SizeText(1), "1 byte");
    EXPECT_EQ(SizeText(1023), "1023 bytes");
    EXPECT_EQ(SizeText(1024), "1 KB");
    EXPECT_EQ(SizeText(1536), "1.5 KB");
    EXPECT_EQ(SizeText(5LL << 30), "5 GB");
}

} // namespace
} // namespace sentrel

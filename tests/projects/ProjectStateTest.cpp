#include "projects/ProjectState.h"

#include "base/FileSystem.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace test;

TEST(ProjectState, KeepsValuesAcrossASaveFollowsRenamesAndRemovalsAndPassesOverMalformedLines)
{
    TempDir dir;
    const std::string file = dir / "Sentrel.state";
    ProjectState state;
    state.Load(file);
    EXPECT_FALSE(state.get("Mail", "DestinationMount"));
    state.set("Mail", "DestinationMount", "/media/me/USB|2"); // a value may hold the separator
    state.set("Photos", "Destination", "/mnt/backup");
    ASSERT_FALSE(state.Save());
    EXPECT_EQ(ReadFile(file), "Mail|DestinationMount|/media/me/USB|2\r\nPhotos|Destination|/mnt/backup\r\n");

    ProjectState again;
    again.Load(file);
    EXPECT_EQ(again.get("Mail", "DestinationMount"), "/media/me/USB|2");
    again.rename("Mail", "Post");
    again.rename("Photos", "Photos");
    EXPECT_FALSE(again.get("Mail", "DestinationMount"));
    EXPECT_EQ(again.get("Post", "DestinationMount"), "/media/me/USB|2");
    EXPECT_EQ(again.get("Photos", "Destination"), "/mnt/backup");
    again.remove("Post");
    EXPECT_FALSE(again.get("Post", "DestinationMount"));

    // Malformed lines are passed over; a missing file loads empty.
    WriteFile(file, "no separator\r\nonly|one\nMail|Key|value\n");
    again.Load(file);
    EXPECT_EQ(again.get("Mail", "Key"), "value");
    again.Load(dir / "missing/Sentrel.state");
    EXPECT_FALSE(again.get("Mail", "Key"));
}

// The tray program and a headless run each keep the file open in memory:
// neither save may take back what the other wrote.
TEST(ProjectState, TwoProgramsSavingInTurnKeepEachOthersValues)
{
    TempDir dir;
    MakeDirs(dir / "data");
    const std::string file = dir / "data/Sentrel.state";
    WriteFile(file, "Mail|LastRun|2026-03-01 09:00:00\r\nOld|LastRun|2026-01-01 09:00:00\r\n");
    ProjectState tray, headless;
    tray.Load(file);
    headless.Load(file);

    headless.set("Mail", "LastRun", "2026-03-02 09:00:00");
    ASSERT_FALSE(headless.Save());
    tray.set("Photos", "LastRun", "2026-03-02 10:00:00");
    tray.rename("Old", "Older");
    ASSERT_FALSE(tray.Save());
    EXPECT_EQ(ReadFile(file),
              "Mail|LastRun|2026-03-02 09:00:00\r\nOlder|LastRun|2026-01-01 09:00:00\r\n"
              "Photos|LastRun|2026-03-02 10:00:00\r\n");
    EXPECT_EQ(tray.get("Mail", "LastRun"), "2026-03-02 09:00:00");

    // A save that fails keeps its change for the next one.
    std::filesystem::rename(dir / "data", dir / "away");
    tray.set("Photos", "LastRun", "2026-03-03 10:00:00");
    EXPECT_TRUE(tray.Save().has_value());
    std::filesystem::rename(dir / "away", dir / "data");
    headless.remove("Mail");
    ASSERT_FALSE(headless.Save());
    ASSERT_FALSE(tray.Save());
    EXPECT_EQ(ReadFile(file), "Older|LastRun|2026-01-01 09:00:00\r\nPhotos|LastRun|2026-03-03 10:00:00\r\n");

    // The tray program sees a headless run's end without saving itself,
    // and keeps what it has not saved yet.
    std::filesystem::rename(dir / "data", dir / "away");
    tray.set("Photos", "LastGood", "2026-03-04 10:00:00");
    EXPECT_TRUE(tray.Save().has_value());
    std::filesystem::rename(dir / "away", dir / "data");
    headless.set("Older", "LastGood", "2026-03-04 11:00:00");
    ASSERT_FALSE(headless.Save());
    tray.Refresh();
    EXPECT_EQ(tray.get("Older", "LastGood"), "2026-03-04 11:00:00");
    EXPECT_EQ(tray.get("Photos", "LastGood"), "2026-03-04 10:00:00");
}

TEST(MountPointOf, FindsTheMountOfAPathOrOfItsNearestExistingParent)
{
    EXPECT_EQ(MountPointOf("/"), "/");
    EXPECT_EQ(MountPointOf("/proc/self/"), "/proc");
    // Not there: a drive that is not mounted shows as the disk below it.
    EXPECT_EQ(MountPointOf("/proc/no/such/folder"), "/proc");
    TempDir dir;
    EXPECT_EQ(MountPointOf(dir / "missing/deeper"), MountPointOf(dir.path()));
}

} // namespace
} // namespace sentrel

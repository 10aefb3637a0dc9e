#include "engine/BackupRun.h"

#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::Exists;
using test::ReadFile;

class BackupRunTest : public ::testing::Test {
protected:
    BackupRunTest()
    {
        test::MakeDirs(source);
        test::WriteFile(source + "/file.txt", "content");
    }

    TaskId AddProjectAndRow(const std::string& destination)
    {
        ProjectRecord project;
        project.ProjectName = "Mail";
        project.Source = source;
        project.Destination = destination;
        project.IncludeSubdir = "Yes";
        project.OverwriteOption = "Old";
        projects.append(ProjectRow { project });
        return AddRow("Mail");
    }

    // As the backup timer hands it over.
    TaskId AddRow(const std::string& name)
    {
        TodayTask task;
        task.ProjectName = name;
        task.Status = task.Tag = std::string(kTagBackingUp);
        task.Image = TaskImage::Running;
        return tasks.appendTask(task);
    }

    std::vector<std::string> LogDetails() const
    {
        std::vector<std::string> details;
        for (const LogRow& row : log.rows())
            details.push_back(row.detail);
        return details;
    }

    test::TempDir dir;
    std::string source = dir / "source";
    test::FakeClock clock;
    test::FakeTray tray;
    test::FakeSound sound;
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    Balloons balloons { tray, options };
    IgnoreList ignoreList;
    std::function<void()> onYield = [] {};
    BackupRun run { BackupRun::Context { projects, tasks, log, balloons, sound, options, state, ignoreList, clock,
                                         [this] { onYield(); }, "." } };
};

TEST_F(BackupRunTest, AFinishedRunCreatesTheDestinationAndReportsEverywhere)
{
    const std::string destination = dir / "backup";
    // What the current-file timer does meanwhile.
    onYield = [&] { tasks.update(0, [](TodayTask& task) { task.CurrentFile = task.Tag; }); };
    run.RunBackupTask(AddProjectAndRow(destination), "Mail");

    EXPECT_EQ(ReadFile(destination + "/file.txt"), "content");
    const TodayTask& row = tasks.at(0);
    EXPECT_EQ(row.Status, "Backup finished.");
    EXPECT_EQ(row.CurrentFile, "");
    EXPECT_EQ(row.Image, TaskImage::Finished);
    EXPECT_EQ(row.Tag, kTagFinished);
    EXPECT_EQ(LogDetails(), (std::vector<std::string> { "Start backup", "Backup finished" }));
    ASSERT_EQ(tray.balloons.size(), 1u);
    EXPECT_EQ(tray.balloons[0].text, "Mail - Backup finished");
    EXPECT_EQ(tray.balloons[0].title, "Sentrel");
    EXPECT_EQ(tray.balloons[0].icon, BalloonIcon::Information);
    EXPECT_EQ(sound.played, 1);

    options.playSound = false;
    run.RunBackupTask(AddRow("Mail"), "Mail");
    EXPECT_EQ(sound.played, 1);
}

TEST_F(BackupRunTest, StopDuringTheCopyCancels)
{
    onYield = [&] { state.ScheduleRunning = false; };
    run.RunBackupTask(AddProjectAndRow(dir / "backup"), "Mail");

    EXPECT_EQ(tasks.at(0).Status, "Backup canceled.");
    EXPECT_EQ(tasks.at(0).Image, TaskImage::Failed);
    EXPECT_EQ(tasks.at(0).Tag, kTagFinished);
    EXPECT_EQ(LogDetails().back(), "Backup canceled");
    EXPECT_EQ(tray.balloons.back().text, "Mail - Backup canceled");
    EXPECT_EQ(tray.balloons.back().icon, BalloonIcon::Information);
}

TEST_F(BackupRunTest, FailuresAlwaysSoundAndLeaveTheRowRunning)
{
    options.playSound = false;
    const std::string deep = dir / "missing/backup";
    run.RunBackupTask(AddProjectAndRow(deep), "Mail");
    EXPECT_FALSE(Exists(deep));
    EXPECT_EQ(LogDetails(), std::vector<std::string> { "Backup failed: target backup directory or disk not found." });
    EXPECT_EQ(tasks.at(0).Status, "Backup failed: target backup directory or disk not found.");
    EXPECT_EQ(tasks.at(0).Image, TaskImage::Failed);
    EXPECT_EQ(tasks.at(0).Tag, kTagBackingUp);
    EXPECT_EQ(tray.balloons.back().text,
              "Mail - Backup failed\r\nWarning: target backup directory or disk not found:\r\n" + deep);
    EXPECT_EQ(tray.balloons.back().icon, BalloonIcon::Error);

    const std::string created = dir / "created";
    source = dir / "gone";
    projects.clear();
    run.RunBackupTask(AddProjectAndRow(created), "Mail");
    EXPECT_TRUE(Exists(created));
    EXPECT_EQ(tasks.at(1).Status, "Backup failed: source directory not found.");
    EXPECT_EQ(tray.balloons.back().text, "Mail - Backup failed\r\nWarning: source directory not found:\r\n" + source);

    run.RunBackupTask(AddRow("Renamed"), "Renamed");
    EXPECT_EQ(tray.balloons.back().text,
              "Renamed - Backup failed\r\nWarning: target backup directory or disk not found:\r\n");
    EXPECT_EQ(sound.played, 3);
}

} // namespace
} // namespace sentrel

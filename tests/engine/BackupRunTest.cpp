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
using test::WriteFile;

// Tells of appended and changed rows.
class Recorder final : public TableObserver {
public:
    Recorder(std::function<void()> appended, std::function<void()> changed)
        : appended_(std::move(appended))
        , changed_(std::move(changed))
    {
    }
    void beginInsert(std::size_t, std::size_t) override { }
    void endInsert() override { appended_(); }
    void beginRemove(std::size_t, std::size_t) override { }
    void endRemove() override { }
    void rowChanged(std::size_t) override { changed_(); }
    void beginReset() override { }
    void endReset() override { }

private:
    std::function<void()> appended_;
    std::function<void()> changed_;
};

class BackupRunTest : public ::testing::Test {
protected:
    BackupRunTest()
    {
        tasks.setObserver(&rowRecorder);
        log.setObserver(&logRecorder);
        test::MakeDirs(source);
        WriteFile(source + "/file.txt", "content");
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

    TaskId AddRow(const std::string& name)
    {
        TodayTask task;
        task.ProjectName = name;
        task.Status = task.Tag = std::string(kTagBackingUp);
        task.Image = TaskImage::Running;
        return tasks.appendTask(task);
    }

    void NoteRow()
    {
        const TodayTask& now = tasks.at(0);
        if (now.Status != seen.Status)
            journal.push_back("status " + now.Status);
        if (now.CurrentFile != seen.CurrentFile)
            journal.push_back("current " + now.CurrentFile);
        if (now.Image != seen.Image)
            journal.push_back("image " + std::to_string(int(now.Image)));
        seen = now;
    }

    // The journal from the first entry that starts with `from`.
    std::vector<std::string> JournalFrom(std::string_view from) const
    {
        auto it
            = std::find_if(journal.begin(), journal.end(), [&](const std::string& e) { return e.starts_with(from); });
        return { it, journal.end() };
    }

    test::TempDir dir;
    std::string source = dir / "source";
    test::Journal journal;
    test::FakeClock clock;
    test::FakeTray tray { &journal };
    test::FakeSound sound { &journal };
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    Balloons balloons { tray, options };
    IgnoreList ignoreList;
    TodayTask seen;
    // Row and log changes go into the journal the tray and the sound share.
    Recorder rowRecorder { [this] { seen = tasks.at(0); }, [this] { NoteRow(); } };
    Recorder logRecorder { [this] { journal.push_back("log " + log.rows().back().detail); }, [] {} };
    std::function<void()> onYield;
    BackupRun run { BackupRun::Context { projects, tasks, log, balloons, sound, options, state, ignoreList, clock,
                                         [this] {
                                             if (onYield)
                                                 onYield();
                                         },
                                         "." } };
};

TEST_F(BackupRunTest, AFinishedRunCreatesTheDestinationAndReportsInOrder)
{
    const std::string destination = dir / "backup";
    const TaskId row = AddProjectAndRow(destination);
    // What the current-file timer does meanwhile.
    onYield = [&] { tasks.update(0, [](TodayTask& task) { task.CurrentFile = task.Tag; }); };
    run.RunBackupTask(row, "Mail");

    EXPECT_EQ(ReadFile(destination + "/file.txt"), "content");
    EXPECT_EQ(JournalFrom("log Start backup").front(), "log Start backup");
    EXPECT_EQ(JournalFrom("status Backup"),
              (test::Journal { "status Backup finished.", "current ", "image 3", "log Backup finished",
                               "tray.balloon Mail - Backup finished", "sound.play" }));
    EXPECT_EQ(tasks.at(0).Tag, kTagFinished);
    EXPECT_EQ(tasks.at(0).CurrentFile, "");
    EXPECT_EQ(tray.balloons.back().title, "Sentrel");
    EXPECT_EQ(tray.balloons.back().icon, BalloonIcon::Information);

    options.playSound = false;
    tasks.clear();
    run.RunBackupTask(AddRow("Mail"), "Mail");
    EXPECT_EQ(sound.played, 1);
    EXPECT_EQ(run.engine().FilesTotal, 1);
}

TEST_F(BackupRunTest, StopDuringTheCopyCancels)
{
    const TaskId row = AddProjectAndRow(dir / "backup");
    onYield = [&] { state.ScheduleRunning = false; };
    run.RunBackupTask(row, "Mail");

    EXPECT_EQ(JournalFrom("status Backup"),
              (test::Journal { "status Backup canceled.", "image 4", "log Backup canceled",
                               "tray.balloon Mail - Backup canceled", "sound.play" }));
    EXPECT_EQ(tasks.at(0).Tag, kTagFinished);
}

TEST_F(BackupRunTest, ARowRemovedDuringTheRunLetsTheRunFinish)
{
    const TaskId row = AddProjectAndRow(dir / "backup");
    onYield = [&] { tasks.clear(); };
    run.RunBackupTask(row, "Mail");
    EXPECT_EQ(log.rows().back().detail, "Backup finished");
    EXPECT_EQ(ReadFile(dir / "backup/file.txt"), "content");
}

TEST_F(BackupRunTest, FailuresAlwaysSoundAndLeaveTheRowRunning)
{
    options.playSound = false;
    const std::string deep = dir / "missing/backup";
    run.RunBackupTask(AddProjectAndRow(deep), "Mail");
    EXPECT_EQ(journal,
              (test::Journal { "log Backup failed: target backup directory or disk not found.",
                               "tray.balloon Mail - Backup failed\r\nWarning: target backup directory or disk "
                               "not found:\r\n"
                                   + deep,
                               "status Backup failed: target backup directory or disk not found.", "image 4",
                               "sound.play" }));
    EXPECT_EQ(tray.balloons.back().icon, BalloonIcon::Error);
    EXPECT_EQ(tasks.at(0).Tag, kTagBackingUp);
    EXPECT_FALSE(Exists(deep));

    tasks.clear();
    journal.clear();
    const std::string destination = dir / "created";
    source = dir / "gone";
    projects.clear();
    run.RunBackupTask(AddProjectAndRow(destination), "Mail");
    EXPECT_TRUE(Exists(destination));
    EXPECT_EQ(tray.balloons.back().text, "Mail - Backup failed\r\nWarning: source directory not found:\r\n" + source);
    EXPECT_EQ(tasks.at(0).Status, "Backup failed: source directory not found.");

    run.RunBackupTask(AddRow("Renamed"), "Renamed");
    EXPECT_EQ(tray.balloons.back().text,
              "Renamed - Backup failed\r\nWarning: target backup directory or disk not found:\r\n");
    EXPECT_EQ(sound.played, 3);
}

} // namespace
} // namespace sentrel

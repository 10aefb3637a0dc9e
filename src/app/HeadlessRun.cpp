#include "app/HeadlessRun.h"

#include "app/RunBookkeeping.h"
#include "base/FileSystem.h"
#include "engine/BackupRun.h"
#include "platform/NullServices.h"
#include "projects/ProjectListFile.h"
#include "shell/LogFile.h"

#include <sys/stat.h>

namespace sentrel {

namespace {
// Prints each log row as it is added.
class LogPrinter final : public TableObserver {
public:
    LogPrinter(const ActivityLog& log, const HeadlessIo& io, bool& progressShown)
        : log_(log)
        , io_(io)
        , progressShown_(progressShown)
    {
    }
    void beginInsert(std::size_t, std::size_t) override { }
    void endInsert() override
    {
        for (; printed_ < log_.size(); ++printed_) {
            std::string text = FormatLogLine(log_.at(printed_));
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (io_.line)
                io_.line(text);
            progressShown_ = false;
        }
    }
    void beginRemove(std::size_t, std::size_t) override { }
    void endRemove() override { }
    void rowChanged(std::size_t) override { }
    void beginReset() override { }
    void endReset() override { printed_ = log_.size(); }

private:
    const ActivityLog& log_;
    const HeadlessIo& io_;
    bool& progressShown_;
    std::size_t printed_ = 0;
};
} // namespace

RunExit ExitForOutcome(std::string_view status)
{
    if (status == "Backup finished.")
        return RunExit::Clean;
    if (status.starts_with("Backup finished with "))
        return RunExit::WithErrors;
    if (status == "Backup canceled.")
        return RunExit::Canceled;
    return RunExit::Failed;
}

RunExit HeadlessRun(const AppPaths& paths, const std::string& projectName, const Clock& clock, const HeadlessIo& io)
{
    ProjectTable projects;
    LoadProjectList(paths.ProjectFile, projects);
    if (!projects.findByName(projectName))
        return RunExit::UnknownProject;

    IgnoreList ignoreList;
    ignoreList.LoadIgnoreList(paths.IgnoreFile);
    ProjectState projectState;
    projectState.Load(paths.StateFile);
    Options options;
    options.playSound = false;
    options.showBalloon = false;
    AppState state;
    TaskList tasks;
    ActivityLog log(clock);
    bool progressShown = false;
    LogPrinter printer(log, io, progressShown);
    log.setObserver(&printer);
    NullTray tray;
    NullSound sound;
    Balloons balloons(tray, options);
    RunBookkeeping bookkeeping(projectState, log, clock);

    TaskId row = 0;
    std::string shown;
    const auto yield = [&] {
        if (io.interrupted && io.interrupted())
            state.ScheduleRunning = false; // how a stop reaches a run
        const auto at = tasks.indexOf(row);
        if (!io.progress || !at)
            return;
        const std::string& status = tasks.at(*at).Status;
        if (status != shown || !progressShown) {
            shown = status;
            io.progress(status);
            progressShown = true;
        }
    };
    // The sweep at the start takes only files of processes that are gone,
    // never those of a run the tray program has in hand.
    BackupRun run(BackupRun::Context { projects, tasks, log, balloons, sound, options, state, ignoreList, clock, yield,
                                       ".", paths.TempJournal, &projectState });

    TodayTask task;
    task.ProjectName = projectName;
    task.StartTime = NowText(clock);
    task.Status = kTagBackingUp;
    task.Tag = kTagBackingUp;
    task.Image = TaskImage::Running;
    row = tasks.appendTask(std::move(task));
    bookkeeping.runStarting(row, projectName);
    run.RunBackupTask(row, projectName);
    if (io.interrupted && io.interrupted())
        state.ScheduleRunning = false;

    ::mkdir(paths.LogDir.c_str(), 0777);
    WriteLogFile(log, paths.LogDir, clock.now());
    return ExitForOutcome(tasks.at(*tasks.indexOf(row)).Status);
}

} // namespace sentrel

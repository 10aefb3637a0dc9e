#include "app/HeadlessRun.h"

#include "app/RunBookkeeping.h"
#include "app/RunReport.h"
#include "base/FileSystem.h"
#include "base/TickLoop.h"
#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "platform/NullServices.h"
#include "projects/ProjectListFile.h"
#include "shell/LogFile.h"

#include <optional>
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

RunExit ExitForOutcome(const RunOutcome& outcome)
{
    switch (outcome.end) {
    case RunEnd::Finished:
        return RunExit::Clean;
    case RunEnd::FinishedWithErrors:
        return RunExit::WithErrors;
    case RunEnd::Canceled:
        return RunExit::Canceled;
    case RunEnd::Failed:
        break;
    }
    return RunExit::Failed;
}

RunExit HeadlessRun(const AppPaths& paths, const std::string& projectName, std::shared_ptr<const Clock> clock,
                    const Options& runOptions, const HeadlessIo& io)
{
    ProjectTable projects;
    LoadProjectList(paths.ProjectFile, projects);
    if (!projects.findByName(projectName))
        return RunExit::UnknownProject;

    auto ignoreList = std::make_shared<IgnoreList>();
    ignoreList->LoadIgnoreList(paths.IgnoreFile);
    ProjectState projectState;
    projectState.Load(paths.StateFile);
    Options options = runOptions;
    options.playSound = false;
    options.showBalloon = false;
    AppState state;
    TaskList tasks;
    ActivityLog log(*clock);
    bool progressShown = false;
    LogPrinter printer(log, io, progressShown);
    log.setObserver(&printer);
    NullTray tray;
    NullSound sound;
    Balloons balloons(tray, options);
    RunReport report(tasks, log, balloons, sound, options);
    RunBookkeeping bookkeeping(projectState, log, *clock, report);
    TickLoop loop;
    // The sweep at the start takes only files of processes that are gone,
    // never those of a run the tray program has in hand.
    BackupRun run(BackupRun::Context { projects, tasks, log, options, state, ignoreList, clock, loop, ".",
                                       paths.TempJournal, &projectState });

    TodayTask task;
    task.ProjectName = projectName;
    task.StartTime = NowText(*clock);
    task.Status = kTagBackingUp;
    task.Tag = kTagBackingUp;
    task.Image = TaskImage::Running;
    const TaskId row = tasks.appendTask(std::move(task));
    std::optional<RunOutcome> outcome;
    bookkeeping.runStarting(row, projectName);
    run.StartBackupTask(row, projectName, [&](const RunOutcome& ended) {
        bookkeeping.runEnded(row, projectName, ended);
        outcome = ended;
    });
    std::string shown;
    loop.runUntil([&] { return outcome.has_value(); },
                  [&] {
                      if (io.interrupted && io.interrupted())
                          state.ScheduleRunning = false; // how a stop reaches a run
                      const auto at = tasks.indexOf(row);
                      if (!io.progress || !at || outcome)
                          return;
                      const std::string& status = tasks.at(*at).Status;
                      if (status != shown || !progressShown) {
                          shown = status;
                          io.progress(status);
                          progressShown = true;
                      }
                  });

    ::mkdir(paths.LogDir.c_str(), 0777);
    WriteLogFile(log, paths.LogDir, clock->now());
    return outcome ? ExitForOutcome(*outcome) : RunExit::Failed;
}

} // namespace sentrel

#include "app/App.h"

#include "base/BackgroundJob.h"
#include "engine/FileCopy.h"
#include "projects/ProjectListFile.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/TodayTasks.h"
#include "shell/LogFile.h"

#include <sys/stat.h>

namespace sentrel {

namespace {
// Start-up and shutdown never stop early: a step that fails is skipped.
template <class Fn> void Step(Fn&& fn)
{
    try {
        fn();
    } catch (...) {
    }
}
} // namespace

App::App(Services services, AppPaths paths)
    : s_(std::move(services))
    , paths_(std::move(paths))
    , log_(*s_.clock)
    , balloons_(s_.tray, options_)
    , report_(tasks_, log_, balloons_, s_.sound, options_)
    , backupRun_(BackupRun::Context { projects_, tasks_, log_, options_, state_, ignoreList_, s_.clock, s_.loop,
                                      s_.decimalSeparator, paths_.TempJournal, &projectState_ })
    , scheduler_(tasks_, projects_, log_, balloons_, state_, *s_.clock, backupRun_)
    , trayCommands_(state_, s_.tray)
    , updateReminder_(s_.settings, *s_.clock, s_.dialogs, s_.urls, state_, s_.pages, s_.localeDate)
    , commands_(Commands::Context { state_, projects_, tasks_, log_, balloons_, s_.dialogs, *s_.clock,
                                    paths_.ProjectFile, [this] { Exit(); }, *ignoreList_, &projectState_ })
    , editor_(ProjectEditor::Context { state_, projects_, tasks_, *s_.clock, s_.dialogs, s_.picker, s_.tray,
                                       paths_.ProjectFile, log_, s_.loop, &projectState_ })
    , bookkeeping_(projectState_, log_, *s_.clock, report_)
    , driveArrival_(DriveArrival::Context { tasks_, projects_, projectState_, options_, state_, log_, *s_.clock })
    , health_(projects_, projectState_, s_.tray, balloons_, log_, *s_.clock)
{
    scheduler_.setWatcher(&bookkeeping_);
    bookkeeping_.setDestinationOf([this](const std::string& name) {
        const ProjectRecord* project = projects_.findByName(name);
        return project ? project->Destination : std::string();
    });
    scheduler_.setOnWake([this] { WakeUp(); });
    scheduler_.setOptions(&options_);
}

void App::Startup(std::string_view commandLine)
{
    Step([&] {
        state_.EditorOpen = false;
        state_.ScheduleRunning = true;
    });
    Step([&] { state_.TodayDayOfMonth = s_.clock->now().day; });
    Step([&] { ::mkdir(paths_.LogDir.c_str(), 0777); });
    Step([&] {
        // Temporary files that an exit or a crash left in destinations, on a
        // thread of its own: a destination may be a share that hangs.
        BackgroundJob sweep([journal = paths_.TempJournal] { SweepTempJournal(journal); });
        sweep.giveUp();
    });
    Step([&] {
        std::string error;
        LoadProjectList(paths_.ProjectFile, projects_, &error);
        if (!error.empty())
            log_.AddLog(kProgramName, "Can not read " + paths_.ProjectFile + ", " + error);
    });
    Step([&] {
        // The program's own record: without it every project looks new.
        const std::string error = projectState_.Load(paths_.StateFile);
        if (!error.empty())
            log_.AddLog(kProgramName, "Can not read " + paths_.StateFile + ", " + error);
    });
    Step([&] {
        std::string error;
        ignoreList_->LoadIgnoreList(paths_.IgnoreFile, &error);
        if (!error.empty())
            log_.AddLog(kProgramName, "Can not read " + paths_.IgnoreFile + ", " + error);
    });
    Step([&] {
        options_ = ReadOptions(s_.settings);
        if (view_)
            view_->optionsChanged();
    });
    Step([&] {
        if (view_)
            view_->showWindow();
    });
    Step([&] { s_.tray.addIcon(); });
    Step([&] {
        if (commandLine.find('1') != std::string_view::npos)
            trayCommands_.startHidden();
    });
    Step([&] { log_.AddLog(kProgramStartName, "Sentrel started"); });
    Step([&] { BuildTodayTasks(tasks_, projects_, *s_.clock); });
    Step([&] { scheduler_.CheckStartup(); });
    Step([&] { queueMissedRuns(); });
    Step([&] {
        if (view_)
            view_->scheduleStateChanged(state_.ScheduleRunning);
    });
    Step([&] {
        if (!s_.mounts)
            return;
        driveArrival_.start(s_.mounts->mountPoints());
        s_.mounts->follow([this](std::vector<std::string> points) {
            if (!shuttingDown_)
                driveArrival_.mountsChanged(std::move(points));
        });
    });
    Step([&] { health_.refresh(); });
    Step([&] { updateReminder_.Run(); });
}

void App::Shutdown()
{
    if (shuttingDown_)
        return;
    shuttingDown_ = true;

    Step([&] {
        if (options_.startWithSession)
            s_.autostart.AddRunEntry();
        else
            s_.autostart.RemoveRunEntry();
        s_.settings.WriteSetting("AutoRun", OptionToSetting(options_.startWithSession));
    });
    Step([&] {
        s_.settings.WriteSetting("PlaySound", OptionToSetting(options_.playSound));
        s_.settings.WriteSetting("ShowBalloon", OptionToSetting(options_.showBalloon));
        s_.settings.WriteSetting("SaveLog", OptionToSetting(options_.saveLog));
        s_.settings.WriteSetting("RunMissed", OptionToSetting(options_.runMissed));
        s_.settings.WriteSetting("DotFolders", OptionToSetting(options_.backUpDotFolders));
    });
    Step([&] { WriteVersionOptions(s_.settings, options_); });
    Step([&] { s_.settings.WriteSetting("LastCheckUpdate", state_.LastCheckUpdate); });
    // A change the user was told could not be saved gets a last try.
    Step([&] {
        if (state_.ProjectListUnsaved)
            LogWriteError(log_, paths_.ProjectFile, SaveProjectList(paths_.ProjectFile, projects_));
    });
    Step([&] {
        if (state_.IgnoreListUnsaved)
            LogWriteError(log_, ignoreList_->path(), ignoreList_->Save());
    });
    Step([&] { s_.tray.deleteIcon(); });
    Step([&] { log_.AddLog(kProgramName, "Sentrel exited"); });
    Step([&] {
        if (options_.saveLog)
            WriteLogFile(log_, paths_.LogDir, s_.clock->now());
    });
    Step([&] { backupRun_.abandon(); });
    s_.process.endProcess(0);
}

void App::queueMissedRuns()
{
    // A stopped schedule runs nothing, missed or not.
    if (options_.runMissed && state_.ScheduleRunning)
        QueueMissedRuns(tasks_, projects_, projectState_, log_, *s_.clock);
}

void App::WakeUp()
{
    if (!shuttingDown_)
        queueMissedRuns();
}

void App::TimerWatch()
{
    if (shuttingDown_)
        return;
    Step([&] { driveArrival_.tick(); });
    Step([&] { health_.refresh(); });
}

void App::setRunMissed(bool on)
{
    const bool turnedOn = on && !options_.runMissed;
    options_.runMissed = on;
    if (!turnedOn)
        return;
    // Due times from before the option was on are not missed runs.
    const std::string now = NowText(*s_.clock);
    for (const ProjectRow& row : projects_.rows())
        projectState_.set(row.record.ProjectName, std::string(kStateSince), now);
    SaveProjectState(projectState_, log_);
}

void App::Exit()
{
    s_.dialogs.ask("Do you want to exit?", kAppTitle, [this](bool yes) {
        if (yes)
            Shutdown();
    });
}

} // namespace sentrel

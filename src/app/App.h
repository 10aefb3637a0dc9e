#pragma once

#include "app/Commands.h"
#include "app/HealthWatch.h"
#include "app/ProjectEditor.h"
#include "app/RunBookkeeping.h"
#include "app/RunReport.h"
#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"
#include "platform/FolderPicker.h"
#include "platform/MountTable.h"
#include "platform/ProcessControl.h"
#include "platform/SettingsStore.h"
#include "platform/Sound.h"
#include "platform/Tray.h"
#include "platform/UrlOpener.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/DriveArrival.h"
#include "scheduler/Scheduler.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"
#include "shell/AppPaths.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/MainWindowView.h"
#include "shell/Options.h"
#include "shell/TrayCommands.h"
#include "shell/UpdateReminder.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace sentrel {

// What the operating system provides to the program.
struct Services {
    std::shared_ptr<const Clock> clock; // shared with runs, which may outlive the program's objects
    SettingsStore& settings;
    Autostart& autostart;
    Tray& tray;
    Dialogs& dialogs;
    FolderPicker& picker;
    Sound& sound;
    UrlOpener& urls;
    ProcessControl& process;
    EventLoop& loop; // the window's thread's
    std::string decimalSeparator = ".";
    WebPages pages {};
    DateParser localeDate {};
    MountTable* mounts = nullptr; // none: no backups when a drive comes back
};

// The program's state and its start-up and shutdown; the main window shows
// it and forwards the user's commands to it.
class App {
public:
    App(Services services, AppPaths paths);

    void setView(MainWindowView* view)
    {
        view_ = view;
        trayCommands_.setView(view);
        commands_.setView(view);
    }

    void Startup(std::string_view commandLine);
    // Runs once, whatever asks for it, and ends the process.
    void Shutdown();
    // Asks first.
    void Exit();
    // After the machine woke from sleep: catches up missed runs if wanted.
    void WakeUp();
    // The Options page's "Run missed backups" box; turning it on starts the
    // count of missed runs now.
    void setRunMissed(bool on);
    // Once a second, whether the schedule runs or not: the drives that came
    // back and the health shown in the tray.
    void TimerWatch();

    const AppPaths& paths() const { return paths_; }
    const Services& services() const { return s_; }
    AppState& state() { return state_; }
    Options& options() { return options_; }
    ProjectTable& projects() { return projects_; }
    ProjectState& projectState() { return projectState_; }
    TaskList& tasks() { return tasks_; }
    ActivityLog& log() { return log_; }
    IgnoreList& ignoreList() { return *ignoreList_; }
    BackupRun& backupRun() { return backupRun_; }
    Scheduler& scheduler() { return scheduler_; }
    TrayCommands& trayCommands() { return trayCommands_; }
    UpdateReminder& updateReminder() { return updateReminder_; }
    RunBookkeeping& bookkeeping() { return bookkeeping_; }
    Commands& commands() { return commands_; }
    ProjectEditor& editor() { return editor_; }
    HealthWatch& health() { return health_; }
    DriveArrival& driveArrival() { return driveArrival_; }

private:
    void queueMissedRuns();

    Services s_;
    AppPaths paths_;
    MainWindowView* view_ = nullptr;
    AppState state_;
    Options options_;
    ProjectTable projects_;
    ProjectState projectState_;
    TaskList tasks_;
    ActivityLog log_;
    std::shared_ptr<IgnoreList> ignoreList_ = std::make_shared<IgnoreList>(); // shared with runs
    Balloons balloons_;
    RunReport report_;
    BackupRun backupRun_;
    Scheduler scheduler_;
    TrayCommands trayCommands_;
    UpdateReminder updateReminder_;
    Commands commands_;
    ProjectEditor editor_;
    RunBookkeeping bookkeeping_;
    DriveArrival driveArrival_;
    HealthWatch health_;
    bool shuttingDown_ = false;
};

} // namespace sentrel

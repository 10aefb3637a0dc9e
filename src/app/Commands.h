#pragma once

#include "engine/IgnoreList.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/MainWindowView.h"

#include <functional>
#include <string>

namespace sentrel {

// The user's commands from the two toolbars and the project list.
class Commands final {
public:
    struct Context {
        AppState& state;
        ProjectTable& projects;
        TaskList& tasks;
        ActivityLog& log;
        Balloons& balloons;
        Dialogs& dialogs;
        const Clock& clock;
        std::string projectFile;
        std::function<void()> exit; // asks, then shuts down
        IgnoreList& ignoreList;
        ProjectState* projectState = nullptr; // a removed project's history goes with it
    };

    explicit Commands(Context context)
        : c_(std::move(context))
    {
    }

    void setView(MainWindowView* view) { view_ = view; }

    // By the pressed button's id; unknown ids do nothing.
    void MainToolbar(int id);
    void SubToolbar(int id);

    void AddProject();
    void EditProject();
    void RemoveProject();
    void SortProjects(int column);
    void BackupNow();
    void RestoreProject();
    // Backup Now's row for the named project, without asking.
    void QueueBackup(const std::string& name);

    void StartStopSchedule();
    void RemoveTask();

    // The Options page's file list; each change is saved at once.
    IgnoreAdd AddIgnoreEntry(std::string_view typed);
    // False when nothing was selected.
    bool RemoveIgnoreEntry();

private:
    void openEditor(const char* mode);
    void saveProjects();
    void saveIgnoreList();

    Context c_;
    MainWindowView* view_ = nullptr;
};

} // namespace sentrel

#include "app/Commands.h"

#include "app/CommandIds.h"
#include "app/DataFileSave.h"
#include "app/RunBookkeeping.h"
#include "projects/ProjectListFile.h"
#include "scheduler/TodayTasks.h"

namespace sentrel {

void Commands::MainToolbar(int id)
{
    switch (id) {
    case ID_ADD:
        return AddProject();
    case ID_REMOVE:
        return RemoveProject();
    case ID_EDIT:
        return EditProject();
    case ID_BACKUPNOW:
        return BackupNow();
    case ID_RESTORE:
        return RestoreProject();
    case ID_EXIT:
        if (c_.exit)
            c_.exit();
        return;
    default:
        return;
    }
}

void Commands::SubToolbar(int id)
{
    switch (id) {
    case ID_STARTSCHEDULE:
    case ID_STOPSCHEDULE:
        return StartStopSchedule();
    case ID_REMOVETASK:
        return RemoveTask();
    default:
        return;
    }
}

void Commands::openEditor(const char* mode)
{
    c_.state.EditMode = mode;
    if (view_)
        view_->openProjectEditor();
}

void Commands::AddProject()
{
    openEditor("add");
}

void Commands::EditProject()
{
    if (c_.projects.empty() || !c_.projects.selectedIndex())
        return;
    openEditor("edit");
}

void Commands::RemoveProject()
{
    const auto selected = c_.projects.selectedIndex();
    if (!selected)
        return;
    const std::string name = c_.projects.at(*selected).record.ProjectName;
    c_.dialogs.ask("Do you want to remove the project: " + name + "?", "Confirm", [this, name](bool yes) {
        if (!yes)
            return;
        c_.tasks.removeIf([&](const TodayTask& row) { return row.ProjectName == name; });
        // Other events ran while the question was open: find the row again.
        const auto row = c_.projects.selectedIndex();
        if (row && c_.projects.at(*row).record.ProjectName == name)
            c_.projects.removeAt(*row);
        saveProjects();
        if (c_.projectState && !c_.projects.findByName(name)) {
            c_.projectState->remove(name);
            SaveProjectState(*c_.projectState, c_.log);
        }
    });
}

// A failed save leaves the tables as the user made them: they are the
// user's data, the files their copies, and the next save writes them whole.
void Commands::saveProjects()
{
    c_.state.ProjectListUnsaved
        = !CheckWritten(SaveProjectList(c_.projectFile, c_.projects), c_.projectFile, c_.dialogs, c_.log);
}

void Commands::saveIgnoreList()
{
    c_.state.IgnoreListUnsaved = !CheckWritten(c_.ignoreList.Save(), c_.ignoreList.path(), c_.dialogs, c_.log);
}

IgnoreAdd Commands::AddIgnoreEntry(std::string_view typed)
{
    IgnoreAdd outcome = c_.ignoreList.AddEntry(typed);
    if (outcome.result == IgnoreAddResult::Added)
        saveIgnoreList();
    return outcome;
}

bool Commands::RemoveIgnoreEntry()
{
    if (!c_.ignoreList.RemoveSelected())
        return false;
    saveIgnoreList();
    return true;
}

void Commands::SortProjects(int column)
{
    c_.projects.SortBy(column);
}

void Commands::BackupNow()
{
    if (c_.projects.empty()) {
        c_.dialogs.message("Please add a project", kAppTitle, MessageIcon::Information);
        return;
    }
    const auto selected = c_.projects.selectedIndex();
    if (!selected || c_.projects.at(*selected).record.ProjectName.empty()) {
        c_.dialogs.message("Please select a project", kAppTitle, MessageIcon::Information);
        return;
    }
    const ProjectRecord project = c_.projects.at(*selected).record;
    const std::string question = "Do you want to start project '" + project.ProjectName
        + "' now?\r\nSource: " + project.Source + "\r\nDestination: " + project.Destination;
    c_.dialogs.ask(question, kAppTitle, [this, name = project.ProjectName](bool yes) {
        if (yes)
            QueueBackup(name);
    });
}

void Commands::QueueBackup(const std::string& name)
{
    QueueRunNow(c_.tasks, name, NowText(c_.clock));
    if (view_)
        view_->showTasksTab();
}

void Commands::RestoreProject()
{
    if (c_.projects.empty()) {
        c_.dialogs.message("Please add a project", kAppTitle, MessageIcon::Information);
        return;
    }
    const auto selected = c_.projects.selectedIndex();
    if (!selected) {
        c_.dialogs.message("Please select a project", kAppTitle, MessageIcon::Information);
        return;
    }
    if (view_)
        view_->openRestore(c_.projects.at(*selected).record.ProjectName);
}

void Commands::StartStopSchedule()
{
    const bool start = !c_.state.ScheduleRunning;
    if (view_)
        view_->setScheduleTimers(start);
    c_.state.ScheduleRunning = start;
    const std::string_view text = start ? "Schedule started" : "Schedule stopped";
    c_.balloons.TrayBalloon(text, kAppTitle, BalloonIcon::Information);
    c_.log.AddLog(kProgramName, text);
    if (view_)
        view_->scheduleStateChanged(start);
}

void Commands::RemoveTask()
{
    if (c_.tasks.empty())
        return;
    c_.dialogs.ask("Do you want to remove selected tasks?", "Confirm", [this](bool yes) {
        if (yes)
            c_.tasks.removeIf([](const TodayTask& row) { return row.selected; });
    });
}

} // namespace sentrel

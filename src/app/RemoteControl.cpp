#include "app/RemoteControl.h"

namespace sentrel {

ControlReply RemoteControl::backupNow(const std::string& name)
{
    if (!app_.projects().findByName(name))
        return ControlReply::UnknownProject;
    // The project may be changing under the user's hands.
    if (app_.state().EditorOpen)
        return ControlReply::Refused;
    app_.commands().QueueBackup(name);
    return ControlReply::Done;
}

ControlReply RemoteControl::stopSchedule()
{
    if (!app_.state().ScheduleRunning)
        return ControlReply::Refused;
    app_.commands().StartStopSchedule();
    return ControlReply::Done;
}

ControlReply RemoteControl::startSchedule()
{
    if (app_.state().ScheduleRunning)
        return ControlReply::Refused;
    app_.commands().StartStopSchedule();
    return ControlReply::Done;
}

void RemoteControl::show()
{
    app_.trayCommands().showCommand();
}

std::vector<std::string> RemoteControl::running() const
{
    if (const auto name = app_.scheduler().runningProject())
        return { *name };
    return {};
}

std::vector<std::string> RemoteControl::health() const
{
    std::vector<std::string> lines;
    for (const ProjectHealth& project : app_.health().health())
        lines.push_back(HealthLine(project));
    return lines;
}

std::vector<TaskStatus> RemoteControl::status() const
{
    std::vector<TaskStatus> rows;
    for (const TodayTask& row : app_.tasks().rows())
        rows.push_back({ row.ProjectName, row.StartTime, row.Status });
    return rows;
}

} // namespace sentrel

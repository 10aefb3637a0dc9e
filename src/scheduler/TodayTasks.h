#pragma once

#include "platform/Clock.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// Empties today's task list and makes it again from every project.
void BuildTodayTasks(TaskList& tasks, const ProjectTable& projects, const Clock& clock);

// Appends one project's runs for the rest of the day. now is the reference
// time as "yyyy-mm-dd hh:mm:ss"; the day kinds read the clock.
void AddProjectTasks(TaskList& tasks, const Clock& clock, std::string_view now, std::string_view name,
                     std::string_view start, std::string_view kind, std::string_view tag);

// A "Minutely" or "Hourly" tag as a 16-bit whole number, rounded halves to
// the even neighbour; none when it is not a number or out of range.
std::optional<int> ParseInterval(std::string_view tag);
// Whether a "Daily", "Weekly" or "Monthly" project runs on the given date.
bool RunsOnDay(std::string_view kind, std::string_view tag, const LocalDateTime& date);

// Appends a row of the named project queued to run now, as Backup Now does.
void QueueRunNow(TaskList& tasks, const std::string& name, const std::string& nowText);
// Whether the named project has a row queued or running.
bool HasPendingRow(const TaskList& tasks, std::string_view name);

// Deletes every row of the selected project (by exact name), last to first.
void RemoveProjectTasks(TaskList& tasks, const ProjectTable& projects);

} // namespace sentrel

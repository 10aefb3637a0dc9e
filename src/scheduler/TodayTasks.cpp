#include "scheduler/TodayTasks.h"

namespace sentrel {

void BuildTodayTasks(TaskList& tasks, const ProjectTable&, const Clock&)
{
    tasks.clear();
}

void AddProjectTasks(TaskList&, const Clock&, std::string_view, std::string_view, std::string_view, std::string_view,
                     std::string_view)
{
}

void RemoveProjectTasks(TaskList&, const ProjectTable&) { }

} // namespace sentrel

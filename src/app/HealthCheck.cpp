#include "app/HealthCheck.h"

#include "projects/ProjectListFile.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/ProjectHealth.h"

namespace sentrel {

HealthCheck CheckHealth(const AppPaths& paths, const LocalDateTime& now)
{
    HealthCheck check;
    ProjectTable projects;
    std::string error;
    LoadProjectList(paths.ProjectFile, projects, &error);
    if (!error.empty())
        check.errors.push_back("Can not read " + paths.ProjectFile + ", " + error);
    ProjectState state;
    error = state.Load(paths.StateFile);
    if (!error.empty())
        check.errors.push_back("Can not read " + paths.StateFile + ", " + error);
    for (const ProjectHealth& health : TimedProjectsHealth(projects, state, now)) {
        check.lines.push_back(HealthLine(health));
        if (health.state != HealthState::Ok)
            check.exit = HealthExit::Trouble;
    }
    if (!check.errors.empty())
        check.exit = HealthExit::Unreadable;
    return check;
}

} // namespace sentrel

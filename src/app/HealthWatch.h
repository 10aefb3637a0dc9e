#pragma once

#include "platform/Clock.h"
#include "platform/Tray.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/ProjectHealth.h"
#include "shell/ActivityLog.h"
#include "shell/Balloons.h"

#include <string>
#include <vector>

namespace sentrel {

// Keeps the tray telling whether the backups still happen: a warning look
// and a line in its tip for each overdue or failed project, and a balloon
// about each once a day.
class HealthWatch final {
public:
    HealthWatch(const ProjectTable& projects, ProjectState& state, Tray& tray, Balloons& balloons, ActivityLog& log,
                const Clock& clock)
        : projects_(projects)
        , state_(state)
        , tray_(tray)
        , balloons_(balloons)
        , log_(log)
        , clock_(clock)
    {
    }

    void refresh();
    std::vector<ProjectHealth> health() const;

private:
    // A project never backed up is overdue a day after it was first known.
    bool noteFirstSeen(const std::string& now);

    const ProjectTable& projects_;
    ProjectState& state_;
    Tray& tray_;
    Balloons& balloons_;
    ActivityLog& log_;
    const Clock& clock_;
};

// "Sentrel", then a line for each project in trouble.
std::string HealthTip(const std::vector<ProjectHealth>& health);

} // namespace sentrel

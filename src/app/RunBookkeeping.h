#pragma once

#include "platform/Clock.h"
#include "projects/ProjectState.h"
#include "scheduler/Scheduler.h"
#include "shell/ActivityLog.h"

#include <functional>
#include <string>

namespace sentrel {

// What the program notes around each run: its start in the state file, for
// missed runs, and its end for whoever listens from outside.
class RunBookkeeping final : public RunWatcher {
public:
    RunBookkeeping(ProjectState& state, ActivityLog& log, const Clock& clock)
        : state_(state)
        , log_(log)
        , clock_(clock)
    {
    }

    void setOnRunEnded(std::function<void(TaskId, const std::string&)> onEnded) { onEnded_ = std::move(onEnded); }

    void runStarting(TaskId row, const std::string& projectName) override;
    void runEnded(TaskId row, const std::string& projectName) override;

private:
    ProjectState& state_;
    ActivityLog& log_;
    const Clock& clock_;
    std::function<void(TaskId, const std::string&)> onEnded_;
};

// Saves the state file, logging a failure.
void SaveProjectState(const ProjectState& state, ActivityLog& log);

} // namespace sentrel

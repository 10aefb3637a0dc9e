#pragma once

#include "platform/Sound.h"
#include "scheduler/RunOutcome.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/Options.h"

#include <string>

namespace sentrel {

// "Backup finished.", "Backup finished with 2 errors.", "Backup canceled."
// or "Backup failed: <why>.": the row's status for an outcome.
std::string OutcomeStatus(const RunOutcome& outcome);

// Shows a run's outcome in its row, the log, a balloon and the sound.
class RunReport final {
public:
    RunReport(TaskList& tasks, ActivityLog& log, Balloons& balloons, Sound& sound, const Options& options)
        : tasks_(tasks)
        , log_(log)
        , balloons_(balloons)
        , sound_(sound)
        , options_(options)
    {
    }

    void render(TaskId row, const std::string& projectName, const RunOutcome& outcome);

private:
    void renderFailure(TaskId row, const std::string& projectName, const RunOutcome& outcome);

    TaskList& tasks_;
    ActivityLog& log_;
    Balloons& balloons_;
    Sound& sound_;
    const Options& options_;
};

} // namespace sentrel

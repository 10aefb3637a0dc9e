#include "app/RunBookkeeping.h"

#include "scheduler/MissedRuns.h"

namespace sentrel {

void SaveProjectState(const ProjectState& state, ActivityLog& log)
{
    if (state.path().empty())
        return;
    if (const WriteError error = state.Save())
        log.AddLog(kProgramName, "Can not write " + state.path() + ", " + *error);
}

// Noted at the start: the due time was served by this attempt even if the
// machine goes off in the middle, and a run that fails on a missing disk is
// not tried again at every wake-up.
void RunBookkeeping::runStarting(TaskId, const std::string& projectName)
{
    state_.set(projectName, std::string(kStateLastRun), NowText(clock_));
    SaveProjectState(state_, log_);
}

void RunBookkeeping::runEnded(TaskId row, const std::string& projectName)
{
    if (onEnded_)
        onEnded_(row, projectName);
}

} // namespace sentrel

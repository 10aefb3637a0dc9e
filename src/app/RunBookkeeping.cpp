#include "app/RunBookkeeping.h"

#include "base/BackgroundJob.h"
#include "base/DateTime.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/RunHistory.h"

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr std::chrono::seconds kWriteOutPatience { 5 };

// A destination that hangs must not keep the machine awake: logind would
// sleep anyway once its delay is over.
void SyncDestination(const std::string& destination)
{
    BackgroundJob job([destination] {
        const int fd = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        ::syncfs(fd);
        ::close(fd);
    });
    if (!job.waitFor(kWriteOutPatience))
        job.giveUp();
}
} // namespace

RunBookkeeping::RunBookkeeping(ProjectState& state, ActivityLog& log, const Clock& clock, RunReport& report)
    : state_(state)
    , log_(log)
    , clock_(clock)
    , report_(report)
    , writeOut_(SyncDestination)
{
}

// Noted at the start: the due time was served by this attempt even if the
// machine goes off in the middle, and a run that fails on a missing disk is
// not tried again at every wake-up.
void RunBookkeeping::runStarting(TaskId, const std::string& projectName)
{
    state_.set(projectName, std::string(kStateLastRun), NowText(clock_));
    SaveProjectState(state_, log_);
    running_ = projectName;
    if (power_)
        lock_ = power_->delaySleep("Backing up " + projectName);
}

void RunBookkeeping::beforeSleep()
{
    if (!lock_)
        return;
    if (writeOut_ && destinationOf_)
        writeOut_(destinationOf_(running_));
    lock_.reset();
}

void RunBookkeeping::runEnded(TaskId row, const std::string& projectName, const RunOutcome& outcome)
{
    report_.render(row, projectName, outcome);
    const LocalDateTime now = clock_.now();
    NoteRunEnd(state_, projectName, outcome, now);
    // Its balloon has just said so: the tray's own waits for another day.
    if (outcome.end == RunEnd::Failed)
        state_.set(projectName, std::string(kStateWarned), FormatDate(now));
    SaveProjectState(state_, log_);
    lock_.reset();
    running_.clear();
    if (onEnded_)
        onEnded_(row, projectName, outcome);
}

} // namespace sentrel

#pragma once

#include "app/RunReport.h"
#include "platform/Clock.h"
#include "platform/PowerEvents.h"
#include "projects/ProjectState.h"
#include "scheduler/Scheduler.h"
#include "shell/ActivityLog.h"

#include <functional>
#include <memory>
#include <string>

namespace sentrel {

// What the program does around each run: notes its start in the state file,
// for missed runs; holds off sleep while it copies; shows its outcome and
// tells it to whoever listens from outside.
class RunBookkeeping final : public RunWatcher {
public:
    RunBookkeeping(ProjectState& state, ActivityLog& log, const Clock& clock, RunReport& report);

    using RunEnded = std::function<void(TaskId, const std::string&, const RunOutcome&)>;
    void setOnRunEnded(RunEnded onEnded) { onEnded_ = std::move(onEnded); }

    void setPower(PowerEvents* power) { power_ = power; }
    // The machine is about to sleep: what the run has copied is written out
    // to its destination, then the delay is released.
    void beforeSleep();
    bool holdsSleep() const { return lock_ != nullptr; }

    void runStarting(TaskId row, const std::string& projectName) override;
    void runEnded(TaskId row, const std::string& projectName, const RunOutcome& outcome) override;
    // Where a project's copies go, for the write-out before sleep.
    void setDestinationOf(std::function<std::string(const std::string&)> destinationOf)
    {
        destinationOf_ = std::move(destinationOf);
    }
    // Writes out one destination's file system; by default a syncfs off
    // this thread, given up after a few seconds.
    void setWriteOut(std::function<void(const std::string&)> writeOut) { writeOut_ = std::move(writeOut); }

private:
    ProjectState& state_;
    ActivityLog& log_;
    const Clock& clock_;
    RunReport& report_;
    RunEnded onEnded_;
    std::function<std::string(const std::string&)> destinationOf_;
    std::function<void(const std::string&)> writeOut_;
    PowerEvents* power_ = nullptr;
    std::unique_ptr<SleepLock> lock_;
    std::string running_;
};

} // namespace sentrel

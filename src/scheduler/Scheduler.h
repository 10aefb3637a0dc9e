#pragma once

#include "platform/Clock.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "scheduler/TaskRunner.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"

namespace sentrel {

// The ticks of the three timers that make the schedule happen.
class Scheduler {
public:
    Scheduler(TaskList& tasks, const ProjectTable& projects, ActivityLog& log, Balloons& balloons, AppState& state,
              const Clock& clock, TaskRunner& runner)
        : tasks_(tasks)
        , projects_(projects)
        , log_(log)
        , balloons_(balloons)
        , state_(state)
        , clock_(clock)
        , runner_(runner)
    {
    }

    void TimerMain();
    void TimerBackup();
    void TimerCurrent();
    void CheckStartup();

    bool runInProgress() const { return running_; }

private:
    TaskList& tasks_;
    const ProjectTable& projects_;
    ActivityLog& log_;
    Balloons& balloons_;
    AppState& state_;
    const Clock& clock_;
    TaskRunner& runner_;
    bool running_ = false;
};

} // namespace sentrel

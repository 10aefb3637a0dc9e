#pragma once

#include "base/DateTime.h"
#include "platform/Clock.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "scheduler/TaskRunner.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/Options.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sentrel {

// Told of each run the backup timer starts, on the window's thread.
class RunWatcher {
public:
    virtual ~RunWatcher() = default;
    virtual void runStarting(TaskId row, const std::string& projectName) = 0;
    virtual void runEnded(TaskId row, const std::string& projectName, const RunOutcome& outcome) = 0;
};

// The wall clock moved this much further than the monotonic one between two
// ticks: the machine slept (or the clock was set forward).
inline constexpr std::int64_t kWakeJumpMs = 2 * 60 * 1000;

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
        , lastWallSeconds_(ToLocalSeconds(clock.now()))
        , lastTickMs_(clock.tickMs())
    {
    }

    void TimerMain();
    void TimerBackup();
    void TimerCurrent();
    void CheckStartup();

    bool runInProgress() const { return running_.has_value(); }
    // The project being backed up, if any.
    std::optional<std::string> runningProject() const;

    void setWatcher(RunWatcher* watcher) { watcher_ = watcher; }
    // With missed runs caught up, a row whose second passed between two
    // ticks is queued at the next one.
    void setOptions(const Options* options) { options_ = options; }
    // Called from TimerMain after a jump of the wall clock, once the new
    // date, if any, has been taken.
    void setOnWake(std::function<void()> onWake) { onWake_ = std::move(onWake); }

private:
    // Starts the next queued row of the tick in hand, if any.
    void startNext();
    void runEnded(TaskId row, const std::string& projectName, const RunOutcome& outcome);
    void catchUp(const std::string& after, const std::string& before);

    TaskList& tasks_;
    const ProjectTable& projects_;
    ActivityLog& log_;
    Balloons& balloons_;
    AppState& state_;
    const Clock& clock_;
    TaskRunner& runner_;
    std::optional<TaskId> running_;
    std::string runningName_;
    // The rows a backup tick works through, one run after another: like a
    // loop over the positions the list had when the tick came.
    std::size_t next_ = 0;
    std::size_t bound_ = 0;
    RunWatcher* watcher_ = nullptr;
    const Options* options_ = nullptr;
    // The time text of the last due check; none after a stop of the schedule.
    std::optional<std::string> lastDueCheck_;
    std::function<void()> onWake_;
    std::int64_t lastWallSeconds_;
    std::int64_t lastTickMs_;
};

} // namespace sentrel

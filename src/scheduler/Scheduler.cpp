#include "scheduler/Scheduler.h"

#include "base/DateTime.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/TodayTasks.h"

#include <string>
#include <utility>

namespace sentrel {

namespace {
constexpr std::string_view kNewDateText = "New date. Re-create today's task.";
constexpr char kPathSeparator = '/';
} // namespace

void Scheduler::TimerMain()
{
    // One reading serves both the date test and the due check.
    const LocalDateTime now = clock_.now();
    const std::int64_t tick = clock_.tickMs();
    const std::int64_t wall = ToLocalSeconds(now);
    // The monotonic clock stands still while the machine sleeps.
    const bool woke = (wall - lastWallSeconds_) * 1000 - (tick - lastTickMs_) > kWakeJumpMs;
    lastWallSeconds_ = wall;
    lastTickMs_ = tick;
    const bool newDay = now.day != state_.TodayDayOfMonth;
    if (newDay) {
        state_.TodayDayOfMonth = now.day;
        log_.AddLog(kProgramName, kNewDateText);
        balloons_.TrayBalloon(kNewDateText, kAppTitle, BalloonIcon::Information);
        BuildTodayTasks(tasks_, projects_, clock_);
        CheckStartup();
    }
    if (woke && onWake_)
        onWake_();
    const std::optional<std::string> lastCheck = std::exchange(lastDueCheck_, FormatDateTime(now));
    if (newDay) {
        // The new date's seconds before this tick passed unchecked too.
        lastDueCheck_ = FormatDate(now) + " ";
        return;
    }

    const std::string& nowText = *lastDueCheck_;
    // A wake-up has queued what it missed by then.
    if (options_ && options_->runMissed && lastCheck && !woke)
        catchUp(*lastCheck, nowText);
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        const TodayTask& row = tasks_.at(i);
        if (row.StartTime == nowText && row.Status.empty())
            tasks_.quietAt(i).Tag = kTagNeedStart;
    }
}

void Scheduler::catchUp(const std::string& after, const std::string& before)
{
    // Time texts sort as time does, and " Startup" before them all.
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        const TodayTask& row = tasks_.at(i);
        if (row.StartTime <= after || row.StartTime >= before || row.StartTime == kStartupTime || !row.Status.empty()
            || row.Tag == kTagNeedStart)
            continue;
        tasks_.quietAt(i).Tag = kTagNeedStart;
        if (const std::optional<LocalDateTime> due = ParseDateTime(row.StartTime))
            log_.AddLog(row.ProjectName, MissedRunText(*due));
    }
}

void Scheduler::TimerBackup()
{
    // One run at a time: a tick that comes during a run starts nothing.
    if (running_ || tasks_.empty())
        return;
    next_ = 0;
    bound_ = tasks_.size();
    startNext();
}

void Scheduler::startNext()
{
    // The list may change under every run; positions are checked again each
    // time round and the bound stays the count at the start of the tick.
    while (!running_ && next_ < bound_) {
        const std::size_t i = next_++;
        if (i >= tasks_.size() || tasks_.at(i).Tag != kTagNeedStart)
            continue;
        const TaskId id = tasks_.at(i).id;
        const std::string name = tasks_.at(i).ProjectName;
        tasks_.update(i, [](TodayTask& row) {
            row.Status = kTagBackingUp;
            row.Tag = kTagBackingUp;
            row.Image = TaskImage::Running;
        });
        running_ = id;
        runningName_ = name;
        if (watcher_)
            watcher_->runStarting(id, name);
        try {
            runner_.StartBackupTask(id, name,
                                    [this, id, name](const RunOutcome& outcome) { runEnded(id, name, outcome); });
        } catch (...) {
            // A run that cannot start must not keep the rows after it from
            // running, nor leave its row looking busy.
            RunOutcome broken;
            broken.failure = RunFailure::Broken;
            broken.reason = "unknown error";
            running_.reset();
            runningName_.clear();
            try {
                tasks_.setStatus(id, "Backup failed: unknown error.");
                tasks_.setImage(id, TaskImage::Failed);
                tasks_.setTag(id, kTagFinished);
                if (watcher_)
                    watcher_->runEnded(id, name, broken);
            } catch (...) {
            }
        }
    }
}

void Scheduler::runEnded(TaskId row, const std::string& projectName, const RunOutcome& outcome)
{
    running_.reset();
    runningName_.clear();
    if (watcher_)
        watcher_->runEnded(row, projectName, outcome);
    startNext();
}

std::optional<std::string> Scheduler::runningProject() const
{
    if (!running_)
        return std::nullopt;
    return runningName_;
}

void Scheduler::TimerCurrent()
{
    // Seconds that pass while the schedule is stopped are not missed.
    if (!state_.ScheduleRunning)
        lastDueCheck_.reset();
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        const TodayTask& row = tasks_.at(i);
        if (row.Tag.find(kPathSeparator) != std::string::npos && row.CurrentFile != row.Tag)
            tasks_.update(i, [](TodayTask& r) { r.CurrentFile = r.Tag; });
    }
}

void Scheduler::CheckStartup()
{
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        const TodayTask& row = tasks_.at(i);
        if (row.StartTime == kStartupTime && row.Status.empty())
            tasks_.quietAt(i).Tag = kTagNeedStart;
    }
}

} // namespace sentrel

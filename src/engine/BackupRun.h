#pragma once

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "scheduler/TaskRunner.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Options.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace sentrel {

class BackupEngine;
class IgnoreList;

// The run of one task, from its checks to its outcome, as a job: starting
// it returns at once, everything that touches the source or the
// destination is done on a thread the job owns, the loop's ticks carry its
// reports to the row and the log, and its end is one outcome, decided by
// the run from what it saw.
class BackupRun final : public TaskRunner {
public:
    struct Context {
        const ProjectTable& projects;
        TaskList& tasks;
        ActivityLog& log;
        const Options& options;
        const AppState& state; // a cleared ScheduleRunning stops the run
        std::shared_ptr<const IgnoreList> ignoreList;
        std::shared_ptr<const Clock> clock;
        EventLoop& loop;
        std::string decimalSeparator;
        std::string tempJournal = {}; // where copies note the folders of their temporary files
        ProjectState* projectState = nullptr; // where each folder's file system was last seen
    };

    explicit BackupRun(Context context);
    ~BackupRun() override;
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    void StartBackupTask(TaskId row, const std::string& projectName, RunDone done) override;
    bool busy() const { return watch_ != nullptr; }

    // How many files a run copies at a time.
    static unsigned CopyThreads();

    // Stops a run in progress for good and waits a little until its
    // partial copies are removed, for an exit in the middle of a run.
    void abandon();

    // How long a stopped run waits for a copy stuck in a system call before
    // giving it up, and how long the checks of the folders may take.
    void setPatience(std::chrono::milliseconds afterStop, std::chrono::milliseconds forChecks);

    struct Plan;
    struct Job;
    struct Watch;

private:
    bool tick(Watch& watch);
    void finish(Watch& watch, const RunOutcome& outcome);
    bool stopRequested() const { return abandoned_ || !c_.state.ScheduleRunning; }
    std::optional<std::string> knownMount(const std::string& projectName, const char* folderKey,
                                          const std::string& folder) const;
    void rememberMounts(const Watch& watch, const RunOutcome& outcome);

    Context c_;
    std::shared_ptr<Watch> watch_; // the run in hand
    std::shared_ptr<BackupEngine> spareEngine_; // the last run's, when it ended on its own
    bool abandoned_ = false;
    std::chrono::milliseconds stopPatience_;
    std::chrono::milliseconds checkPatience_;
};

} // namespace sentrel

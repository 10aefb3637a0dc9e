#pragma once

#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "engine/ProgressRelay.h"
#include "platform/Sound.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "scheduler/TaskRunner.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/Options.h"

#include <functional>

namespace sentrel {

class BackgroundJob;

// The run of one task from its checks to its outcome. The walk and the
// copies are done on a thread of their own while this one keeps the event
// loop turning and carries their reports to the row and the log.
class BackupRun final : public TaskRunner {
public:
    struct Context {
        const ProjectTable& projects;
        TaskList& tasks;
        ActivityLog& log;
        Balloons& balloons;
        Sound& sound;
        const Options& options;
        AppState& state;
        const IgnoreList& ignoreList;
        const Clock& clock;
        std::function<void()> yield; // lets the event loop run, about every 10 ms of a run
        std::string decimalSeparator;
    };

    explicit BackupRun(Context context);

    void RunBackupTask(TaskId row, const std::string& projectName) override;

    // How many files a run copies at a time.
    static unsigned CopyThreads();

    // Stops a run in progress and waits a little until its partial copies
    // are removed, for an exit in the middle of a run.
    void abandon();

private:
    // Does `work` beside the event loop, with the reports carried over.
    void runBeside(const std::function<void()>& work, BackupProgress& row);

    Context c_;
    BackupEngine engine_;
    ProgressRelay relay_;
    BackgroundJob* job_ = nullptr; // the work in hand
    bool abandoned_ = false;
};

} // namespace sentrel

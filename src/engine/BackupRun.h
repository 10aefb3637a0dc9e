#pragma once

#include "engine/BackupEngine.h"
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

class IgnoreList;

// The run of one task from its checks to its outcome.
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
        std::function<void()> yield; // lets the event loop run
        std::string decimalSeparator;
    };

    explicit BackupRun(Context context);

    void RunBackupTask(TaskId row, const std::string& projectName) override;

    // Removes the partial copy in hand, for an exit in the middle of a run.
    void abandon();

private:
    Context c_;
    BackupEngine engine_;
};

} // namespace sentrel

#pragma once

#include "scheduler/RunOutcome.h"
#include "scheduler/TodayTask.h"

#include <functional>
#include <string>

namespace sentrel {

using RunDone = std::function<void(const RunOutcome&)>;

// Runs one claimed task row to its outcome. Starting returns at once;
// `done` is called on the same thread, once, when the run is over.
class TaskRunner {
public:
    virtual ~TaskRunner() = default;
    virtual void StartBackupTask(TaskId row, const std::string& projectName, RunDone done) = 0;
};

} // namespace sentrel

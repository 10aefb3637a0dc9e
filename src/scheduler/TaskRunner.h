#pragma once

#include "scheduler/TodayTask.h"

#include <string>

namespace sentrel {

// Runs one claimed task row to its outcome; returns when the run is over.
class TaskRunner {
public:
    virtual ~TaskRunner() = default;
    virtual void RunBackupTask(TaskId row, const std::string& projectName) = 0;
};

} // namespace sentrel

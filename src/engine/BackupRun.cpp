#include "engine/BackupRun.h"

namespace sentrel {

void BackupRun::RunBackupTask(TaskId, const std::string&) { }

void BackupRun::abandon() { }

} // namespace sentrel

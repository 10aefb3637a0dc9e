#pragma once

#include "base/TextFile.h"
#include "platform/Dialogs.h"
#include "shell/ActivityLog.h"

#include <string_view>

namespace sentrel {

// After a save of one of the user's data files: a failure is logged and
// told at once, naming the file and the system's reason. True when the
// file was written.
bool CheckWritten(const WriteError& error, std::string_view path, Dialogs& dialogs, ActivityLog& log);

} // namespace sentrel

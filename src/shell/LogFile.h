#pragma once

#include "platform/Clock.h"
#include "shell/ActivityLog.h"

#include <string>

namespace sentrel {

// "Log/yyyy-mm-dd.txt" under logDir (which ends in "/").
std::string LogFilePath(const std::string& logDir, const LocalDateTime& date);

// One line of the log file, CR LF included.
std::string FormatLogLine(const LogRow& row);

// Appends every row to the file of the given date. Failures are silent:
// an exit must never stop on the log.
void WriteLogFile(const ActivityLog& log, const std::string& logDir, const LocalDateTime& date);

} // namespace sentrel

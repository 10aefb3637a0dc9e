#include "shell/ActivityLog.h"

#include "base/DateTime.h"
#include "base/Utf8.h"

namespace sentrel {

void ActivityLog::AddLog(std::string_view projectName, std::string_view detail)
{
    // Names come from the disk and may hold any byte: a line feed in one
    // must not be able to add a row of its own to the log file.
    append(LogRow { EscapeControlCharacters(projectName), NowText(clock_), EscapeControlCharacters(detail) });
}

std::string NowText(const Clock& clock)
{
    return FormatDateTime(clock.now());
}

std::string WriteFailureText(std::string_view path, std::string_view reason)
{
    return "Can not write " + std::string(path) + ", " + std::string(reason);
}

bool LogWriteError(ActivityLog& log, std::string_view path, const WriteError& error)
{
    if (!error)
        return true;
    log.AddLog(kProgramName, WriteFailureText(path, *error));
    return false;
}

} // namespace sentrel

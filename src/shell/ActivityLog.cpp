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

} // namespace sentrel

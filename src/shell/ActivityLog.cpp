#include "shell/ActivityLog.h"

#include "base/DateTime.h"

namespace sentrel {

void ActivityLog::AddLog(std::string_view projectName, std::string_view detail)
{
    append(LogRow { std::string(projectName), NowText(clock_), std::string(detail) });
}

std::string NowText(const Clock& clock)
{
    return FormatDateTime(clock.now());
}

} // namespace sentrel

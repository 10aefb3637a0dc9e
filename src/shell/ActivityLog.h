#pragma once

#include "base/Table.h"
#include "base/TextFile.h"
#include "platform/Clock.h"

#include <string>
#include <string_view>

namespace sentrel {

struct LogRow {
    std::string projectName; // " " or "  " for the program's own events
    std::string time;
    std::string detail;
};

inline constexpr std::string_view kProgramStartName = " ";
inline constexpr std::string_view kProgramName = "  ";

// Everything a user may want to trace later; rows are never removed.
class ActivityLog : public Table<LogRow> {
public:
    explicit ActivityLog(const Clock& clock)
        : clock_(clock)
    {
    }

    void AddLog(std::string_view projectName, std::string_view detail);

private:
    const Clock& clock_;
};

std::string NowText(const Clock& clock);

// "Can not write <path>, <reason>": how a file of the program that could
// not be written is told.
std::string WriteFailureText(std::string_view path, std::string_view reason);
// Logs a failed write as the program's own event; true when it was written.
bool LogWriteError(ActivityLog& log, std::string_view path, const WriteError& error);

} // namespace sentrel

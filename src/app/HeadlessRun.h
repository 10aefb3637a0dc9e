#pragma once

#include "platform/Clock.h"
#include "shell/AppPaths.h"

#include <functional>
#include <string>
#include <string_view>

namespace sentrel {

// Exit codes of a run without a window, for cron and systemd.
enum class RunExit : int {
    Clean = 0,
    WithErrors = 1, // finished, some files not copied
    Failed = 2,
    Canceled = 3, // SIGINT or SIGTERM
    UnknownProject = 4,
    Refused = 5, // the tray program is running it
    Usage = 64,
};

struct HeadlessIo {
    std::function<void(std::string_view)> line; // a log row or a message
    std::function<void(std::string_view)> progress; // none: no progress shown
    std::function<bool()> interrupted;
};

// Backs up one project of the data directory with the same run as the tray
// program, printing its log rows and appending them to the day's log file.
RunExit HeadlessRun(const AppPaths& paths, const std::string& projectName, const Clock& clock, const HeadlessIo& io);

// The exit code a finished row's status stands for.
RunExit ExitForOutcome(std::string_view status);

} // namespace sentrel

#pragma once

#include "platform/Clock.h"
#include "scheduler/RunOutcome.h"
#include "shell/AppPaths.h"
#include "shell/Options.h"

#include <functional>
#include <memory>
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

// Backs up one project of the data directory with the same run and the
// same options as the tray program, printing its log rows and appending
// them to the day's log file. Returns when the run is over or, after a
// stop, given up; the run keeps what it uses.
RunExit HeadlessRun(const AppPaths& paths, const std::string& projectName, std::shared_ptr<const Clock> clock,
                    const Options& options, const HeadlessIo& io);

RunExit ExitForOutcome(const RunOutcome& outcome);

} // namespace sentrel

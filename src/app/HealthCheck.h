#pragma once

#include "platform/Clock.h"
#include "shell/AppPaths.h"

#include <string>
#include <vector>

namespace sentrel {

// Exit codes of --health.
enum class HealthExit : int { Healthy = 0, Trouble = 1, Unreadable = 2 };

struct HealthCheck {
    std::vector<std::string> lines; // one a timed project, as HealthLine gives it
    std::vector<std::string> errors; // files that could not be read
    HealthExit exit = HealthExit::Healthy;
};

// The health of every timed project from the data files alone, so that it
// answers whether or not the tray program runs.
HealthCheck CheckHealth(const AppPaths& paths, const LocalDateTime& now);

} // namespace sentrel

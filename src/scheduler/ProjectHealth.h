#pragma once

#include "platform/Clock.h"
#include "projects/ProjectRecord.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/RunHistory.h"

#include <optional>
#include <string>
#include <vector>

namespace sentrel {

enum class HealthState { Ok, Overdue, Failed };

// How one timed project stands: whether its backups still happen.
struct ProjectHealth {
    std::string name;
    HealthState state = HealthState::Ok;
    std::optional<LocalDateTime> lastGood;
    RunFailure failure = RunFailure::None;
};

// Every kind but "Manually" runs by itself.
bool IsTimed(const ProjectRecord& project);

// A due time more than a day past has had no good run end after it. A
// project that has never had one counts from when it was first known.
bool IsOverdue(const ProjectRecord& project, const RunHistory& history, const LocalDateTime& now);

ProjectHealth HealthOf(const ProjectRecord& project, const RunHistory& history, const LocalDateTime& now);
// The timed projects in the list's order.
std::vector<ProjectHealth> TimedProjectsHealth(const ProjectTable& projects, const ProjectState& state,
                                               const LocalDateTime& now);

// "Docs\t2026-12-10 12:00:41\tok", "never" for no good run: for scripts.
std::string HealthLine(const ProjectHealth& health);
// "Docs: no backup since 2026-12-01 (disk not found)": for the tray.
std::string HealthWarning(const ProjectHealth& health);

} // namespace sentrel

#pragma once

#include "platform/Clock.h"
#include "projects/ProjectRecord.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"

#include <optional>

namespace sentrel {

// Keys of the state file that tell when a project last ran and from when a
// missed run counts (its last save, or the option being turned on).
inline constexpr std::string_view kStateLastRun = "LastRun";
inline constexpr std::string_view kStateSince = "Since";

// How far back a day-kind schedule is searched for its last due time.
inline constexpr int kMissedLookBackDays = 62;

// The latest time at or before `now` when the project was due. Interval
// kinds count their steps from `from`, as their series start from a build;
// "Manually", "Startup" and unreadable schedules have none.
std::optional<LocalDateTime> LastDueTime(const ProjectRecord& project, const LocalDateTime& now,
                                         const LocalDateTime& from);

// "Missed backup of 2026-12-11 12:00 is run now"
std::string MissedRunText(const LocalDateTime& due);

// Queues one run now for each project whose last due time came after its
// last run (or its "Since") and which has no row queued or running.
void QueueMissedRuns(TaskList& tasks, const ProjectTable& projects, const ProjectState& state, ActivityLog& log,
                     const Clock& clock);

} // namespace sentrel

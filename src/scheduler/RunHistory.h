#pragma once

#include "platform/Clock.h"
#include "projects/ProjectState.h"
#include "scheduler/RunOutcome.h"

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// Keys of the state file that remember how a project's runs ended.
inline constexpr std::string_view kStateLastGood = "LastGood"; // end of the last good run
inline constexpr std::string_view kStateLastFailed = "LastFailed"; // end of the last failed run
inline constexpr std::string_view kStateFailedSince = "FailedSince"; // end of the first failure after it
inline constexpr std::string_view kStateFailure = "Failure"; // why the last run failed, until a good one
inline constexpr std::string_view kStateFirstSeen = "FirstSeen"; // when the program first knew the project
inline constexpr std::string_view kStateWarned = "Warned"; // date of the last balloon about it

// What the state file says of one project's runs.
struct RunHistory {
    std::optional<LocalDateTime> lastGood;
    std::optional<LocalDateTime> lastFailed;
    std::optional<LocalDateTime> failedSince;
    RunFailure failure = RunFailure::None; // None: no failure since the last good run
    std::optional<LocalDateTime> firstSeen;
};

RunHistory ReadRunHistory(const ProjectState& state, std::string_view project);

// A good run clears the failure; a failure keeps the time the streak began;
// a canceled run changes nothing, as it mended nothing.
void NoteRunEnd(ProjectState& state, const std::string& project, const RunOutcome& outcome, const LocalDateTime& now);

// The state file's word for a failure, and back.
std::string_view FailureKey(RunFailure failure);
RunFailure FailureFromKey(std::string_view key);

} // namespace sentrel

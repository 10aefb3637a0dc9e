#include "scheduler/RunHistory.h"

#include "base/DateTime.h"

#include <array>
#include <utility>

namespace sentrel {

namespace {
constexpr std::array<std::pair<RunFailure, std::string_view>, 5> kFailureKeys { {
    { RunFailure::TargetMissing, "TargetMissing" },
    { RunFailure::SourceMissing, "SourceMissing" },
    { RunFailure::TargetUnwritable, "TargetUnwritable" },
    { RunFailure::SourceUnreadable, "SourceUnreadable" },
    { RunFailure::Broken, "Broken" },
} };

std::optional<LocalDateTime> TimeOf(const ProjectState& state, std::string_view project, std::string_view key)
{
    const std::optional<std::string> text = state.get(project, key);
    return text ? ParseDateTime(*text) : std::nullopt;
}
} // namespace

std::string_view FailureKey(RunFailure failure)
{
    for (const auto& [value, key] : kFailureKeys)
        if (value == failure)
            return key;
    return {};
}

RunFailure FailureFromKey(std::string_view key)
{
    for (const auto& [value, known] : kFailureKeys)
        if (known == key)
            return value;
    // A word from a later version is still a failure.
    return key.empty() ? RunFailure::None : RunFailure::Broken;
}

RunHistory ReadRunHistory(const ProjectState& state, std::string_view project)
{
    RunHistory history;
    history.lastGood = TimeOf(state, project, kStateLastGood);
    history.lastFailed = TimeOf(state, project, kStateLastFailed);
    history.failedSince = TimeOf(state, project, kStateFailedSince);
    history.failure = FailureFromKey(state.get(project, kStateFailure).value_or(""));
    history.firstSeen = TimeOf(state, project, kStateFirstSeen);
    return history;
}

void NoteRunEnd(ProjectState& state, const std::string& project, const RunOutcome& outcome, const LocalDateTime& now)
{
    const std::string nowText = FormatDateTime(now);
    if (outcome.whole()) {
        state.set(project, std::string(kStateLastGood), nowText);
        state.unset(project, std::string(kStateFailure));
        state.unset(project, std::string(kStateFailedSince));
        return;
    }
    if (outcome.end != RunEnd::Failed)
        return;
    if (FailureFromKey(state.get(project, kStateFailure).value_or("")) == RunFailure::None)
        state.set(project, std::string(kStateFailedSince), nowText);
    state.set(project, std::string(kStateLastFailed), nowText);
    state.set(project, std::string(kStateFailure), std::string(FailureKey(outcome.failure)));
}

} // namespace sentrel

#include "scheduler/ProjectHealth.h"

#include "base/DateTime.h"
#include "scheduler/MissedRuns.h"

namespace sentrel {

namespace {
constexpr std::int64_t kOverdueAfterSeconds = 24 * 3600;

std::string_view FailureWords(RunFailure failure)
{
    switch (failure) {
    case RunFailure::TargetMissing:
        return "disk not found";
    case RunFailure::SourceMissing:
        return "source not found";
    case RunFailure::TargetUnwritable:
        return "disk can not be written";
    case RunFailure::SourceUnreadable:
        return "source can not be read";
    case RunFailure::Broken:
        return "backup failed";
    case RunFailure::None:
        break;
    }
    return "overdue";
}

std::string_view StateWord(HealthState state)
{
    switch (state) {
    case HealthState::Overdue:
        return "overdue";
    case HealthState::Failed:
        return "failed";
    case HealthState::Ok:
        break;
    }
    return "ok";
}
} // namespace

bool IsTimed(const ProjectRecord& project)
{
    const std::string& kind = project.ScheduleType;
    return kind == "Minutely" || kind == "Hourly" || kind == "Daily" || kind == "Weekly" || kind == "Monthly";
}

bool IsOverdue(const ProjectRecord& project, const RunHistory& history, const LocalDateTime& now)
{
    const std::optional<LocalDateTime>& anchor = history.lastGood ? history.lastGood : history.firstSeen;
    if (!IsTimed(project) || !anchor)
        return false;
    ProjectRecord schedule = project;
    // A day kind that runs after start-up is due from the start of its days.
    if (schedule.StartTime == "Startup")
        schedule.StartTime = "00:00";
    const LocalDateTime limit = FromLocalSeconds(ToLocalSeconds(now) - kOverdueAfterSeconds);
    const std::optional<LocalDateTime> due = LastDueTime(schedule, limit, *anchor);
    return due && ToLocalSeconds(*due) > ToLocalSeconds(*anchor);
}

ProjectHealth HealthOf(const ProjectRecord& project, const RunHistory& history, const LocalDateTime& now)
{
    ProjectHealth health;
    health.name = project.ProjectName;
    health.lastGood = history.lastGood;
    health.failure = history.failure;
    if (history.failure != RunFailure::None)
        health.state = HealthState::Failed;
    else if (IsOverdue(project, history, now))
        health.state = HealthState::Overdue;
    return health;
}

std::vector<ProjectHealth> TimedProjectsHealth(const ProjectTable& projects, const ProjectState& state,
                                               const LocalDateTime& now)
{
    std::vector<ProjectHealth> all;
    for (const ProjectRow& row : projects.rows())
        if (IsTimed(row.record))
            all.push_back(HealthOf(row.record, ReadRunHistory(state, row.record.ProjectName), now));
    return all;
}

std::string HealthLine(const ProjectHealth& health)
{
    const std::string lastGood = health.lastGood ? FormatDateTime(*health.lastGood) : "never";
    return health.name + "\t" + lastGood + "\t" + std::string(StateWord(health.state));
}

std::string HealthWarning(const ProjectHealth& health)
{
    const std::string what = health.lastGood ? "no backup since " + FormatDate(*health.lastGood) : "no backup yet";
    return health.name + ": " + what + " (" + std::string(FailureWords(health.failure)) + ")";
}

} // namespace sentrel

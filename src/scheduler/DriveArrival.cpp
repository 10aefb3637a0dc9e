#include "scheduler/DriveArrival.h"

#include "base/DateTime.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/ProjectHealth.h"
#include "scheduler/RunHistory.h"
#include "scheduler/TodayTasks.h"

#include <algorithm>
#include <optional>

namespace sentrel {

namespace {
std::string_view WithoutTrailingSlash(std::string_view path)
{
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path;
}

bool Contains(std::string_view mountPoint, std::string_view path)
{
    mountPoint = WithoutTrailingSlash(mountPoint);
    if (mountPoint == "/")
        return path.starts_with('/');
    return path.starts_with(mountPoint) && (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

std::optional<LocalDateTime> Later(std::optional<LocalDateTime> a, const std::optional<LocalDateTime>& b)
{
    if (b && (!a || ToLocalSeconds(*b) > ToLocalSeconds(*a)))
        return b;
    return a;
}
} // namespace

bool DueOnArrival(const ProjectRecord& project, const ProjectState& state, bool runMissed, const LocalDateTime& now)
{
    if (!IsTimed(project))
        return false;
    const RunHistory history = ReadRunHistory(state, project.ProjectName);
    if (history.failure == RunFailure::TargetMissing && history.lastFailed
        && FormatDate(*history.lastFailed) == FormatDate(now))
        return true;
    if (!runMissed)
        return false;
    // As for missed runs, due times from before the option was on, or
    // before the program knew the project, do not count.
    const std::optional<std::string> since = state.get(project.ProjectName, kStateSince);
    const std::optional<LocalDateTime> reference
        = Later(Later(history.lastGood, history.firstSeen), since ? ParseDateTime(*since) : std::nullopt);
    if (!reference)
        return false;
    const std::optional<LocalDateTime> due = LastDueTime(project, now, *reference);
    return due && ToLocalSeconds(*due) > ToLocalSeconds(*reference);
}

bool HoldsDestination(const std::string& mountPoint, const std::vector<std::string>& mountPoints,
                      const std::string& destination, const std::string& knownMount)
{
    if (!knownMount.empty())
        return WithoutTrailingSlash(knownMount) == WithoutTrailingSlash(mountPoint);
    const std::string_view path = WithoutTrailingSlash(destination);
    std::string_view deepest;
    for (const std::string& candidate : mountPoints) {
        const std::string_view m = WithoutTrailingSlash(candidate);
        if (Contains(m, path) && m.size() >= deepest.size())
            deepest = m;
    }
    return !deepest.empty() && deepest == WithoutTrailingSlash(mountPoint);
}

void DriveArrival::start(std::vector<std::string> mountPoints)
{
    mounts_ = std::move(mountPoints);
}

bool DriveArrival::wanted(const ProjectRecord& project) const
{
    return c_.app.ScheduleRunning && !HasPendingRow(c_.tasks, project.ProjectName)
        && DueOnArrival(project, c_.state, c_.options.runMissed, c_.clock.now());
}

void DriveArrival::mountsChanged(std::vector<std::string> mountPoints)
{
    const auto mounted = [](const std::vector<std::string>& table, const std::string& point) {
        return std::find(table.begin(), table.end(), point) != table.end();
    };
    // A file system that went again before it settled has not arrived.
    std::erase_if(waiting_, [&](const Arrival& a) { return !mounted(mountPoints, a.mountPoint); });
    std::vector<std::string> arrived;
    for (const std::string& point : mountPoints)
        if (!mounted(mounts_, point) && !mounted(arrived, point))
            arrived.push_back(point);
    mounts_ = std::move(mountPoints);
    for (const std::string& point : arrived) {
        for (const ProjectRow& row : c_.projects.rows()) {
            const ProjectRecord& project = row.record;
            const bool waiting = std::any_of(waiting_.begin(), waiting_.end(),
                                             [&](const Arrival& a) { return a.project == project.ProjectName; });
            // The mount seen at its last good run counts for the folder it was seen with.
            const bool sameFolder = c_.state.get(project.ProjectName, "Destination") == project.Destination;
            const std::string known
                = sameFolder ? c_.state.get(project.ProjectName, "DestinationMount").value_or("") : "";
            if (!waiting && HoldsDestination(point, mounts_, project.Destination, known) && wanted(project))
                waiting_.push_back({ project.ProjectName, point, c_.clock.tickMs() + kArrivalDelayMs });
        }
    }
}

void DriveArrival::tick()
{
    const std::int64_t now = c_.clock.tickMs();
    std::vector<Arrival> settled;
    std::erase_if(waiting_, [&](Arrival& a) {
        if (a.dueMs > now)
            return false;
        settled.push_back(std::move(a));
        return true;
    });
    for (const Arrival& arrival : settled) {
        // The project may have been edited, removed or backed up meanwhile.
        const ProjectRecord* project = c_.projects.findByName(arrival.project);
        if (!project || !wanted(*project))
            continue;
        QueueRunNow(c_.tasks, project->ProjectName, NowText(c_.clock));
        c_.log.AddLog(project->ProjectName,
                      "Destination disk mounted at " + arrival.mountPoint + ", backup is run now");
    }
}

} // namespace sentrel

#include "scheduler/MissedRuns.h"

#include "base/DateTime.h"
#include "scheduler/TodayTasks.h"

#include <algorithm>
#include <string>

namespace sentrel {

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;

std::optional<LocalDateTime> Reference(const ProjectState& state, const std::string& name)
{
    // Both are "yyyy-mm-dd hh:mm:ss", which sorts as time does.
    std::optional<LocalDateTime> latest;
    for (const std::string_view key : { kStateLastRun, kStateSince }) {
        const std::optional<std::string> text = state.get(name, key);
        const std::optional<LocalDateTime> t = text ? ParseDateTime(*text) : std::nullopt;
        if (t && (!latest || ToLocalSeconds(*t) > ToLocalSeconds(*latest)))
            latest = t;
    }
    return latest;
}

} // namespace

std::string MissedRunText(const LocalDateTime& due)
{
    return "Missed backup of " + FormatDateTime(due).substr(0, 16) + " is run now";
}

std::optional<LocalDateTime> LastDueTime(const ProjectRecord& project, const LocalDateTime& now,
                                         const LocalDateTime& from)
{
    const std::string& kind = project.ScheduleType;
    if (kind == "Minutely" || kind == "Hourly") {
        const std::optional<int> interval = ParseInterval(project.Tag);
        if (!interval || *interval < 1)
            return std::nullopt;
        const std::int64_t step = std::int64_t(*interval) * (kind == "Hourly" ? 3600 : 60);
        const std::int64_t elapsed = ToLocalSeconds(now) - ToLocalSeconds(from);
        if (elapsed < step)
            return std::nullopt;
        return FromLocalSeconds(ToLocalSeconds(from) + elapsed / step * step);
    }
    if (kind != "Daily" && kind != "Weekly" && kind != "Monthly")
        return std::nullopt;
    const std::optional<int> timeOfDay = ParseSecondsOfDay(project.StartTime + ":00");
    if (!timeOfDay)
        return std::nullopt;
    const std::int64_t today = ToLocalSeconds(WithSecondsOfDay(now, 0));
    for (int back = 0; back <= kMissedLookBackDays; ++back) {
        const LocalDateTime day = FromLocalSeconds(today - back * kSecondsPerDay);
        const LocalDateTime due = WithSecondsOfDay(day, *timeOfDay);
        if (RunsOnDay(kind, project.Tag, day) && ToLocalSeconds(due) <= ToLocalSeconds(now))
            return due;
    }
    return std::nullopt;
}

void QueueMissedRuns(TaskList& tasks, const ProjectTable& projects, const ProjectState& state, ActivityLog& log,
                     const Clock& clock)
{
    const LocalDateTime now = clock.now();
    for (const ProjectRow& projectRow : projects.rows()) {
        const ProjectRecord& project = projectRow.record;
        const std::optional<LocalDateTime> from = Reference(state, project.ProjectName);
        if (!from)
            continue;
        const std::optional<LocalDateTime> due = LastDueTime(project, now, *from);
        if (!due || ToLocalSeconds(*due) <= ToLocalSeconds(*from) || HasPendingRow(tasks, project.ProjectName))
            continue;
        QueueRunNow(tasks, project.ProjectName, FormatDateTime(now));
        log.AddLog(project.ProjectName, MissedRunText(*due));
    }
}

} // namespace sentrel

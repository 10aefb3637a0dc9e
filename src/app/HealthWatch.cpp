#include "app/HealthWatch.h"

#include "base/DateTime.h"
#include "shell/AppState.h"

namespace sentrel {

std::string HealthTip(const std::vector<ProjectHealth>& health)
{
    std::string tip(kAppTitle);
    for (const ProjectHealth& project : health)
        if (project.state != HealthState::Ok)
            tip += "\n" + HealthWarning(project);
    return tip;
}

std::vector<ProjectHealth> HealthWatch::health() const
{
    return TimedProjectsHealth(projects_, state_, clock_.now());
}

bool HealthWatch::noteFirstSeen(const std::string& now)
{
    bool noted = false;
    for (const ProjectRow& row : projects_.rows()) {
        const std::string& name = row.record.ProjectName;
        if (IsTimed(row.record) && !state_.get(name, kStateFirstSeen) && !state_.get(name, kStateLastGood)) {
            state_.set(name, std::string(kStateFirstSeen), now);
            noted = true;
        }
    }
    return noted;
}

void HealthWatch::refresh()
{
    // A headless run from a timer may have ended since.
    state_.Refresh();
    const LocalDateTime now = clock_.now();
    bool changed = noteFirstSeen(FormatDateTime(now));
    const std::vector<ProjectHealth> all = TimedProjectsHealth(projects_, state_, now);
    bool trouble = false;
    const std::string today = FormatDate(now);
    for (const ProjectHealth& project : all) {
        if (project.state == HealthState::Ok)
            continue;
        trouble = true;
        // A failed run's own balloon said it that day.
        if (state_.get(project.name, kStateWarned) == today)
            continue;
        balloons_.TrayBalloon(HealthWarning(project), kAppTitle, BalloonIcon::Warning);
        state_.set(project.name, std::string(kStateWarned), today);
        changed = true;
    }
    tray_.setStatus(trouble ? TrayLook::Warning : TrayLook::Normal, HealthTip(all));
    if (changed)
        SaveProjectState(state_, log_);
}

} // namespace sentrel

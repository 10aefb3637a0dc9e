#include "scheduler/TodayTasks.h"

#include "base/DateTime.h"
#include "shell/ActivityLog.h"

#include <algorithm>
#include <optional>
#include <string>

namespace sentrel {

namespace {
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
constexpr int kLastMinuteOfDay = 23 * 60 + 59;
constexpr int kLastHourOfDay = 23;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void AppendRow(TaskList& tasks, std::string_view name, std::string startTime)
{
    TodayTask row;
    row.ProjectName = std::string(name);
    row.StartTime = std::move(startTime);
    row.Image = TaskImage::Waiting;
    tasks.appendTask(std::move(row));
}

void AddIntervalTasks(TaskList& tasks, std::string_view now, std::string_view name, std::string_view tag, bool hourly)
{
    const std::optional<int> interval = ParseInterval(tag);
    if (!interval || *interval < 1)
        return;
    const std::optional<LocalDateTime> base = ParseDateTime(now);
    if (!base)
        return;

    const int boundaries = hourly ? kLastHourOfDay - base->hour : kLastMinuteOfDay - (base->hour * 60 + base->minute);
    const int count = boundaries / *interval;
    const int step = *interval * (hourly ? kSecondsPerHour : kSecondsPerMinute);
    const int baseSeconds = base->hour * kSecondsPerHour + base->minute * kSecondsPerMinute + base->second;
    // count * step never reaches past 23:59:59, so the date stays the same.
    for (int k = 1; k <= count; ++k)
        AppendRow(tasks, name, FormatDateTime(WithSecondsOfDay(*base, baseSeconds + k * step)));
}

void AddDayTask(TaskList& tasks, const Clock& clock, std::string_view name, std::string_view start,
                std::string_view kind, std::string_view tag)
{
    const LocalDateTime today = clock.now();
    if (!RunsOnDay(kind, tag, today))
        return;
    if (start == "Startup") {
        AppendRow(tasks, name, std::string(kStartupTime));
        return;
    }
    const std::optional<int> seconds = ParseSecondsOfDay(std::string(start) + ":00");
    if (!seconds)
        return;
    AppendRow(tasks, name, FormatDateTime(WithSecondsOfDay(today, *seconds)));
}
} // namespace

// Rounding is done on the digits so "2.5000000001" goes up.
std::optional<int> ParseInterval(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    constexpr long kCap = 1'000'000; // far outside the range; stops overflow
    long whole = 0;
    std::size_t i = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        whole = std::min(kCap, whole * 10 + (text[i] - '0'));
    bool anyDigit = i > 0;

    // -1 below a half, 0 exactly a half, 1 above.
    int fraction = -1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        const std::size_t first = i;
        bool restNonZero = false;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            if (i > first && text[i] != '0')
                restNonZero = true;
        }
        if (i > first) {
            anyDigit = true;
            const char d = text[first];
            fraction = d > '5' || (d == '5' && restNonZero) ? 1 : d == '5' ? 0 : -1;
        }
    }
    if (!anyDigit || i != text.size())
        return std::nullopt;

    if (fraction > 0 || (fraction == 0 && whole % 2 == 1))
        ++whole;
    const long value = negative ? -whole : whole;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return int(value);
}

bool RunsOnDay(std::string_view kind, std::string_view tag, const LocalDateTime& today)
{
    if (kind == "Daily")
        return true;
    if (kind == "Weekly")
        return tag.find(std::to_string(DayOfWeek(today))) != std::string_view::npos;
    if (kind == "Monthly") {
        const char day[] = { char('0' + today.day / 10), char('0' + today.day % 10), '\0' };
        return tag.find(day) != std::string_view::npos;
    }
    return false;
}

void BuildTodayTasks(TaskList& tasks, const ProjectTable& projects, const Clock& clock)
{
    const std::string now = NowText(clock);
    tasks.rebuild([&] {
        for (const ProjectRow& row : projects.rows()) {
            const ProjectRecord& p = row.record;
            AddProjectTasks(tasks, clock, now, p.ProjectName, p.StartTime, p.ScheduleType, p.Tag);
        }
    });
}

void AddProjectTasks(TaskList& tasks, const Clock& clock, std::string_view now, std::string_view name,
                     std::string_view start, std::string_view kind, std::string_view tag)
{
    if (kind == "Minutely" || kind == "Hourly")
        AddIntervalTasks(tasks, now, name, tag, kind == "Hourly");
    else if (kind == "Daily" || kind == "Weekly" || kind == "Monthly")
        AddDayTask(tasks, clock, name, start, kind, tag);
}

void RemoveProjectTasks(TaskList& tasks, const ProjectTable& projects)
{
    const std::optional<std::size_t> selected = projects.selectedIndex();
    if (!selected)
        return;
    const std::string name = projects.at(*selected).record.ProjectName;
    tasks.removeIf([&](const TodayTask& row) { return row.ProjectName == name; });
}

void QueueRunNow(TaskList& tasks, const std::string& name, const std::string& nowText)
{
    TodayTask row;
    row.ProjectName = name;
    row.StartTime = nowText;
    row.Tag = kTagNeedStart;
    row.Image = TaskImage::None;
    tasks.appendTask(std::move(row));
}

bool HasPendingRow(const TaskList& tasks, std::string_view name)
{
    return std::any_of(tasks.rows().begin(), tasks.rows().end(), [&](const TodayTask& row) {
        const bool queued = row.Tag == kTagNeedStart && row.Status.empty();
        return row.ProjectName == name && (queued || row.Image == TaskImage::Running);
    });
}

} // namespace sentrel

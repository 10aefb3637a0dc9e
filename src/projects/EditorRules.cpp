#include "projects/EditorRules.h"

#include "base/CaseFold.h"
#include "base/TextFile.h"
#include "shell/AppState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sentrel {

namespace {
constexpr std::string_view kErrorTitle = "Error";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The leading number of a text as a whole: optional sign, digits, a
// decimal part and an exponent, blanks anywhere skipped; 0 when there is
// none. Floored, then made absolute.
double LeadingWholeValue(std::string_view text)
{
    std::string compact;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            compact.push_back(c);
    }
    std::size_t i = 0;
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-'))
        ++i;
    const std::size_t digitsStart = i;
    while (i < compact.size() && IsDigit(compact[i]))
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < compact.size() && compact[i] == '.') {
        const std::size_t fractionStart = ++i;
        while (i < compact.size() && IsDigit(compact[i]))
            ++i;
        anyDigit = anyDigit || i > fractionStart;
    }
    if (!anyDigit)
        return 0;
    if (i < compact.size() && (compact[i] == 'e' || compact[i] == 'E')) {
        std::size_t k = i + 1;
        if (k < compact.size() && (compact[k] == '+' || compact[k] == '-'))
            ++k;
        const std::size_t exponentStart = k;
        while (k < compact.size() && IsDigit(compact[k]))
            ++k;
        if (k > exponentStart)
            i = k;
    }
    double value = std::strtod(compact.substr(0, i).c_str(), nullptr);
    if (!std::isfinite(value))
        value = value < 0 ? -1e300 : 1e300;
    return std::fabs(std::floor(value));
}

std::string WholeText(double value)
{
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

std::string TwoDigits(int value)
{
    return { char('0' + value / 10 % 10), char('0' + value % 10) };
}

// A line break would split the project's line in the list file, and "|"
// its fields: either would lose projects at the next start.
bool BreaksListFile(std::string_view text)
{
    return text.find_first_of("|\r\n") != std::string_view::npos;
}

SaveRefusal Refuse(std::string text, std::string_view title, MessageIcon icon, EditorField focus,
                   AfterRefusal then = AfterRefusal::Focus)
{
    return SaveRefusal { std::move(text), std::string(title), icon, focus, then };
}

void ComposeInterval(std::string& interval, int bound, std::string_view unit, ProjectRecord& r)
{
    interval = NormalizeInterval(interval, bound);
    r.StartTime = "-";
    r.Remark = "Every " + interval + " " + std::string(unit);
    r.Tag = interval;
}

// Fills the schedule fields; false when Weekly or Monthly has no day.
bool ComposeSchedule(EditorState& state, ProjectRecord& r)
{
    const std::string start = state.startAfterStartup ? "Startup" : state.time;
    switch (state.kind) {
    case ScheduleKind::Minutely:
        ComposeInterval(state.minutes, kMinuteIntervalBound, "minutes", r);
        return true;
    case ScheduleKind::Hourly:
        ComposeInterval(state.hours, kHourIntervalBound, "hours", r);
        return true;
    case ScheduleKind::Daily:
        r.StartTime = start;
        r.Remark = "Every day";
        return true;
    case ScheduleKind::Weekly:
        r.StartTime = start;
        for (int d = 1; d <= 7; ++d) {
            if (state.weekdays[std::size_t(d)]) {
                r.Remark.append(kWeekdayCaptions[std::size_t(d - 1)]).append(" ");
                r.Tag.append(std::to_string(d)).append(" ");
            }
        }
        r.Tag = TrimSpaces(r.Tag);
        return !r.Remark.empty();
    case ScheduleKind::Monthly:
        r.StartTime = start;
        for (int d = 1; d <= 31; ++d) {
            if (state.monthDays[std::size_t(d)])
                r.Remark.append(MonthDayCaption(d)).append(" ");
        }
        r.Remark = TrimSpaces(r.Remark);
        r.Tag = r.Remark;
        return !r.Remark.empty();
    case ScheduleKind::Manually:
        r.Remark = "Manually backup";
        return true;
    }
    return true;
}
} // namespace

std::string MonthDayCaption(int day)
{
    return TwoDigits(day);
}

std::optional<int> PanelOf(ScheduleKind kind)
{
    if (kind == ScheduleKind::Manually)
        return std::nullopt;
    return int(kind);
}

bool ShowsStartTime(ScheduleKind kind)
{
    return kind == ScheduleKind::Daily || kind == ScheduleKind::Weekly || kind == ScheduleKind::Monthly;
}

EditorState EditorStateFor(const ProjectRecord& r)
{
    EditorState state;
    state.name = r.ProjectName;
    state.source = r.Source;
    state.destination = r.Destination;
    state.includeSubdirs = r.IncludeSubdir == "Yes";
    state.overwriteAll = r.OverwriteOption == "All";

    std::optional<ScheduleKind> kind;
    for (int i = 0; i < kScheduleKindCount; ++i) {
        if (kScheduleCaptions[std::size_t(i)] == r.ScheduleType)
            kind = ScheduleKind(i);
    }
    if (!kind)
        return state;
    state.kind = *kind;

    if (*kind == ScheduleKind::Minutely)
        state.minutes = NormalizeInterval(r.Tag, kMinuteIntervalBound);
    if (*kind == ScheduleKind::Hourly)
        state.hours = NormalizeInterval(r.Tag, kHourIntervalBound);
    if (ShowsStartTime(*kind)) {
        state.startAfterStartup = r.StartTime == "Startup";
        if (!state.startAfterStartup)
            state.time = r.StartTime;
    }
    if (*kind == ScheduleKind::Weekly) {
        for (int d = 1; d <= 7; ++d)
            state.weekdays[std::size_t(d)] = ContainsIgnoringCase(r.Remark, kWeekdayCaptions[std::size_t(d - 1)]);
    }
    if (*kind == ScheduleKind::Monthly) {
        for (int d = 1; d <= 31; ++d)
            state.monthDays[std::size_t(d)] = ContainsIgnoringCase(r.Remark, MonthDayCaption(d));
    }
    return state;
}

std::string NormalizeTime(std::string_view text)
{
    std::string t = TrimSpaces(text);
    if (t.empty())
        t = "12:00";
    if (t.find(':') == std::string::npos)
        t += ":0";
    const std::size_t colon = t.find(':');
    const std::size_t end = t.find(':', colon + 1);
    const std::string pieces[]
        = { t.substr(0, colon), t.substr(colon + 1, end == std::string::npos ? end : end - colon - 1) };

    int values[2];
    const int limits[2] = { 23, 59 };
    for (int k = 0; k < 2; ++k) {
        const std::string cut = WholeText(LeadingWholeValue(pieces[k])).substr(0, 2);
        values[k] = std::min(std::atoi(cut.c_str()), limits[k]);
    }
    return TwoDigits(values[0]) + ":" + TwoDigits(values[1]);
}

std::string NormalizeInterval(std::string_view text, int upperBound)
{
    const double value = LeadingWholeValue(text);
    if (value > upperBound)
        return std::to_string(upperBound);
    if (value < 1)
        return "1";
    return WholeText(value);
}

bool IsValidName(std::string_view name)
{
    return name.find('|') == std::string_view::npos;
}

std::variant<ProjectRecord, SaveRefusal> CheckSave(EditorState& state, const SaveContext& context)
{
    state.name = TrimSpaces(state.name);
    if (state.name.empty() || state.name == "." || state.name == "..")
        return Refuse("Please specify a name for the project.", kAppTitle, MessageIcon::Error, EditorField::Name);
    if (!IsValidName(state.name) || BreaksListFile(state.name))
        return Refuse("The project name can not contain the character: |", kAppTitle, MessageIcon::Information,
                      EditorField::Name);

    state.source = TrimSpaces(state.source);
    if (state.source.empty())
        return Refuse("Please select the source directory", kAppTitle, MessageIcon::Information, EditorField::None,
                      AfterRefusal::BrowseSource);
    state.destination = TrimSpaces(state.destination);
    if (state.destination.empty())
        return Refuse("Please select the destination directory", kAppTitle, MessageIcon::Information, EditorField::None,
                      AfterRefusal::BrowseDestination);
    if (state.source == state.destination)
        return Refuse("Can not back up to the same directory", kAppTitle, MessageIcon::Error, EditorField::Destination);

    const std::pair<const std::string*, EditorField> directories[]
        = { { &state.source, EditorField::Source }, { &state.destination, EditorField::Destination } };
    for (const auto& [path, field] : directories) {
        if (BreaksListFile(*path))
            return Refuse("The directory path can not contain the character | or a line break: " + *path, kAppTitle,
                          MessageIcon::Information, field);
        if (!context.dirExists || !context.dirExists(*path))
            return Refuse("Can not read " + *path, kErrorTitle, MessageIcon::Error, field);
    }

    if (!state.startAfterStartup && ShowsStartTime(state.kind))
        state.time = NormalizeTime(state.time);
    ProjectRecord record;
    record.ScheduleType = kScheduleCaptions[std::size_t(state.kind)];
    if (!ComposeSchedule(state, record))
        return Refuse("Please select the day", kErrorTitle, MessageIcon::Error, EditorField::None);
    record.IncludeSubdir = state.includeSubdirs ? "Yes" : "No";
    record.OverwriteOption = state.overwriteAll ? "All" : "Old";
    record.ProjectName = state.name;
    record.Source = state.source;
    record.Destination = state.destination;

    // Rows of today's list and the log find a project by its name, so no two
    // projects may share one; an edited project may keep its own.
    if (context.mode == "add" || context.mode == "edit") {
        const auto& rows = context.projects.rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const bool itself = context.mode == "edit" && context.editedRow == i;
            if (!itself && EqualsIgnoringCase(rows[i].record.ProjectName, state.name))
                return Refuse("The project name is not unique. Please input another name", kErrorTitle,
                              MessageIcon::Warning, EditorField::Name);
        }
    }
    return record;
}

} // namespace sentrel

#pragma once

#include "platform/Dialogs.h"
#include "projects/ProjectRecord.h"
#include "projects/ProjectTable.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace sentrel {

// The schedule options of the editor, in their fixed index order.
enum class ScheduleKind { Minutely, Hourly, Daily, Weekly, Monthly, Manually };
inline constexpr int kScheduleKindCount = 6;
inline constexpr std::array<std::string_view, kScheduleKindCount> kScheduleCaptions
    = { "Minutely", "Hourly", "Daily", "Weekly", "Monthly", "Manually" };
// Index 0 is Monday.
inline constexpr std::array<std::string_view, 7> kWeekdayCaptions = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };

inline constexpr int kMinuteIntervalBound = 60;
inline constexpr int kHourIntervalBound = 48;

// "01" to "31".
std::string MonthDayCaption(int day);

// The settings panel shown for a kind (Manually has none).
std::optional<int> PanelOf(ScheduleKind kind);
// Daily, Weekly and Monthly have a start time.
bool ShowsStartTime(ScheduleKind kind);

// What the editor's controls hold.
struct EditorState {
    std::string name = "New Project";
    std::string source;
    std::string destination;
    ScheduleKind kind = ScheduleKind::Daily;
    std::string minutes = "30";
    std::string hours = "3";
    std::array<bool, 8> weekdays {}; // 1 = Monday .. 7 = Sunday; 0 unused
    std::array<bool, 32> monthDays {}; // 1..31; 0 unused
    bool startAfterStartup = false;
    std::string time = "12:00";
    bool includeSubdirs = true;
    bool overwriteAll = false;
};

// The controls filled from a stored project, for "edit".
EditorState EditorStateFor(const ProjectRecord& record);

// A time of day typed by the user as "HH:MM" ("7" is "07:00").
std::string NormalizeTime(std::string_view text);
// A whole interval from 1 to upperBound ("2.7" is "2", "0" is "1").
std::string NormalizeInterval(std::string_view text, int upperBound);

// Project names separate the fields of the project list file.
bool IsValidName(std::string_view name);

enum class EditorField { None, Name, Source, Destination };
enum class AfterRefusal { Focus, BrowseSource, BrowseDestination };

// Why Save refused, as the user is told.
struct SaveRefusal {
    std::string text;
    std::string title;
    MessageIcon icon;
    EditorField focus = EditorField::None;
    AfterRefusal then = AfterRefusal::Focus;
};

struct SaveContext {
    std::string_view mode; // "add" or "edit"
    const ProjectTable& projects;
    std::optional<std::size_t> editedRow;
    std::function<bool(const std::string&)> dirExists;
};

// Save's checks in their order, then the record. Trims the three boxes of
// the state, as the user then sees them.
std::variant<ProjectRecord, SaveRefusal> CheckSave(EditorState& state, const SaveContext& context);

} // namespace sentrel

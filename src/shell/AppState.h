#pragma once

#include <string>
#include <string_view>

namespace sentrel {

// Process-wide values shared by the commands, the timers and the engine.
struct AppState {
    bool ScheduleRunning = true; // clearing it cancels a run in progress
    bool EditorOpen = false;
    std::string EditMode; // "add" or "edit" while the project editor is open
    std::string LastCheckUpdate;
    int TodayDayOfMonth = 0;
    // A save of the list failed: it is tried again at the latest at exit.
    bool ProjectListUnsaved = false;
    bool IgnoreListUnsaved = false;
};

inline constexpr std::string_view kAppTitle = "Sentrel";

} // namespace sentrel

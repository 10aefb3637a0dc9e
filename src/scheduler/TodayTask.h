#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sentrel {

using TaskId = std::uint64_t;

// Small images of a task row.
enum class TaskImage { None = 0, Waiting = 1, Running = 2, Finished = 3, Failed = 4 };

// Run states held in a row's tag (besides the path the engine is in).
inline constexpr std::string_view kTagNeedStart = "Need start";
inline constexpr std::string_view kTagBackingUp = "Backing up...";
inline constexpr std::string_view kTagFinished = "Finished";
inline constexpr std::string_view kStartupTime = " Startup";

// One planned run of today's task list.
struct TodayTask {
    TaskId id = 0; // stable while the row exists; never reused
    std::string ProjectName;
    std::string StartTime; // "yyyy-mm-dd hh:mm:ss" or " Startup"
    std::string Status;
    std::string CurrentFile;
    std::string Tag;
    TaskImage Image = TaskImage::None;
    bool selected = false;
};

} // namespace sentrel

#pragma once

namespace sentrel {

// Buttons of the main toolbar.
inline constexpr int ID_ADD = 1021;
inline constexpr int ID_REMOVE = 1022;
inline constexpr int ID_EDIT = 1023;
inline constexpr int ID_BACKUPNOW = 1024;
inline constexpr int ID_EXIT = 1025;
inline constexpr int ID_RESTORE = 1030;

// Buttons of the toolbar over today's tasks.
inline constexpr int ID_STARTSCHEDULE = 1020;
inline constexpr int ID_STOPSCHEDULE = 1021;
inline constexpr int ID_REMOVETASK = 1022;

} // namespace sentrel

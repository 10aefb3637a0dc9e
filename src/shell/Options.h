#pragma once

#include "platform/SettingsStore.h"

#include <string>
#include <string_view>

namespace sentrel {

// The check boxes of the Options page: the live options.
struct Options {
    bool startWithSession = true; // AutoRun, "Start with Windows"
    bool playSound = true; // PlaySound, "Play sound when backup finished"
    bool showBalloon = true; // ShowBalloon, "Enable tray balloon notification"
    bool saveLog = true; // SaveLog, "Log to file"

    // KeepVersions and KeepVersionsDays, "Keep replaced files for N days";
    // unlike the others, off unless set.
    bool keepVersions = false;
    int keepVersionsDays = 30;
    bool runMissed = false; // RunMissed, "Run missed backups after start-up, wake-up or when their disk comes back"
    bool backUpDotFolders = false; // DotFolders, "Back up folders whose names begin with a dot"
};

inline constexpr int kMinKeepDays = 1;
inline constexpr int kMaxKeepDays = 3650;

inline constexpr std::string_view kDefaultLastCheckUpdate = "2005-1-1";

// "No" clears an option; "Yes", absence or any other text leaves it checked.
bool OptionFromSetting(std::string_view value);
std::string_view OptionToSetting(bool checked);

// RunMissed and DotFolders came later and are off unless they say "Yes".
bool OffOptionFromSetting(std::string_view value);

Options ReadOptions(SettingsStore& settings);
// The two settings of kept versions; the others are written one by one.
void WriteVersionOptions(SettingsStore& settings, const Options& options);

} // namespace sentrel

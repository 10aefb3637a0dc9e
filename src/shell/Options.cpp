#include "shell/Options.h"

#include <charconv>

namespace sentrel {

bool OptionFromSetting(std::string_view value)
{
    return value != "No";
}

bool OffOptionFromSetting(std::string_view value)
{
    return value == "Yes";
}

std::string_view OptionToSetting(bool checked)
{
    return checked ? "Yes" : "No";
}

namespace {
void ReadVersionOptions(SettingsStore& settings, Options& options)
{
    options.keepVersions = settings.ReadSetting("KeepVersions") == "Yes";
    const std::string days = settings.ReadSetting("KeepVersionsDays");
    int value = 0;
    const auto [end, ec] = std::from_chars(days.data(), days.data() + days.size(), value);
    if (ec == std::errc() && end == days.data() + days.size() && value >= kMinKeepDays && value <= kMaxKeepDays)
        options.keepVersionsDays = value;
}
} // namespace

Options ReadOptions(SettingsStore& settings)
{
    Options options;
    options.startWithSession = OptionFromSetting(settings.ReadSetting("AutoRun"));
    options.playSound = OptionFromSetting(settings.ReadSetting("PlaySound"));
    options.showBalloon = OptionFromSetting(settings.ReadSetting("ShowBalloon"));
    options.saveLog = OptionFromSetting(settings.ReadSetting("SaveLog"));
    ReadVersionOptions(settings, options);
    options.runMissed = OffOptionFromSetting(settings.ReadSetting("RunMissed"));
    options.backUpDotFolders = OffOptionFromSetting(settings.ReadSetting("DotFolders"));
    return options;
}

void WriteVersionOptions(SettingsStore& settings, const Options& options)
{
    settings.WriteSetting("KeepVersions", OptionToSetting(options.keepVersions));
    settings.WriteSetting("KeepVersionsDays", std::to_string(options.keepVersionsDays));
}

} // namespace sentrel

#include "shell/Options.h"

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

Options ReadOptions(SettingsStore& settings)
{
    Options options;
    options.startWithSession = OptionFromSetting(settings.ReadSetting("AutoRun"));
    options.playSound = OptionFromSetting(settings.ReadSetting("PlaySound"));
    options.showBalloon = OptionFromSetting(settings.ReadSetting("ShowBalloon"));
    options.saveLog = OptionFromSetting(settings.ReadSetting("SaveLog"));
    options.runMissed = OffOptionFromSetting(settings.ReadSetting("RunMissed"));
    return options;
}

} // namespace sentrel

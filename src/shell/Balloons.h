#pragma once

#include "platform/Tray.h"
#include "shell/Options.h"

#include <string_view>

namespace sentrel {

// Balloons from the tray icon, shown only while the user wants them.
class Balloons {
public:
    Balloons(Tray& tray, const Options& options)
        : tray_(tray)
        , options_(options)
    {
    }

    void TrayBalloon(std::string_view text, std::string_view title, BalloonIcon icon)
    {
        if (options_.showBalloon)
            tray_.showBalloon(text, title, icon);
    }

private:
    Tray& tray_;
    const Options& options_;
};

} // namespace sentrel

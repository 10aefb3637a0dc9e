#pragma once

#include <string_view>

namespace sentrel {

enum class BalloonIcon { Information = 1, Warning = 2, Error = 3 };

// The icon's look: the program's own, or with a warning while some backup
// does not happen.
enum class TrayLook { Normal, Warning };

// The program's icon in the notification area.
class Tray {
public:
    virtual ~Tray() = default;
    virtual void addIcon() = 0;
    virtual void deleteIcon() = 0;
    // Whether the desktop has a notification area to hide into.
    virtual bool isAvailable() const = 0;
    virtual void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) = 0;
    // Off while the project editor is open; a tray without a menu ignores it.
    virtual void setMenuEnabled(bool) { }
    // The icon and its tip, whose lines after the first name the trouble.
    virtual void setStatus(TrayLook look, std::string_view tip) = 0;
};

} // namespace sentrel

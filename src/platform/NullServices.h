#pragma once

#include "platform/Sound.h"
#include "platform/Tray.h"

namespace sentrel {

// No tray and no sound, for runs with nobody to see or hear them: a
// headless run, a benchmark.
class NullTray final : public Tray {
public:
    void addIcon() override { }
    void deleteIcon() override { }
    bool isAvailable() const override { return false; }
    void showBalloon(std::string_view, std::string_view, BalloonIcon) override { }
    void setStatus(TrayLook, std::string_view) override { }
};

class NullSound final : public Sound {
public:
    void playExclamation() override { }
};

} // namespace sentrel

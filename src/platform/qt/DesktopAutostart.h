#pragma once

#include "platform/Autostart.h"

#include <string>

namespace sentrel {

// An XDG autostart entry that starts the program hidden with the session.
class DesktopAutostart final : public Autostart {
public:
    // The entry goes to $XDG_CONFIG_HOME/autostart; a set $SENTREL_HOME is
    // kept in its command, so the session starts the same data directory.
    explicit DesktopAutostart(std::string programPath);
    DesktopAutostart(std::string programPath, std::string entryPath, std::string sentrelHome);

    void AddRunEntry() override;
    void RemoveRunEntry() override;

    const std::string& entryPath() const { return entryPath_; }

private:
    std::string EntryText() const;

    std::string programPath_;
    std::string entryPath_;
    std::string sentrelHome_; // empty: not set
};

} // namespace sentrel

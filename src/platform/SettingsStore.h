#pragma once

#include <string>
#include <string_view>

namespace sentrel {

// The per-user store of the program's settings, text values by name.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Empty text when the value is absent or cannot be read.
    virtual std::string ReadSetting(std::string_view name) = 0;
    virtual void WriteSetting(std::string_view name, std::string_view value) = 0;
};

} // namespace sentrel

#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>

namespace sentrel {

// The user's settings file (the registry on Windows), under the maker's and
// the program's names.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();

    std::string ReadSetting(std::string_view name) override;
    void WriteSetting(std::string_view name, std::string_view value) override;

private:
    QSettings settings_;
};

} // namespace sentrel

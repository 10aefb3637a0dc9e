#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SettingsStore.h"
#include "platform/UrlOpener.h"
#include "shell/AppState.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// Reads a date written in the user's locale; only the date fields are set.
using DateParser = std::function<std::optional<LocalDateTime>(std::string_view)>;

struct WebPages {
    std::string homePage;
    std::string updatePage;
};

// At most once in 30 days, offers a visit to the page that announces new
// versions.
class UpdateReminder final {
public:
    UpdateReminder(SettingsStore& settings, const Clock& clock, Dialogs& dialogs, UrlOpener& urls, AppState& state,
                   WebPages pages, DateParser localeDate = {});

    // Once, at the end of start-up. Leaves the date to store at exit in
    // AppState::LastCheckUpdate.
    void Run();
    void OpenHomePage();
    const std::string& homePage() const { return pages_.homePage; }

private:
    std::optional<LocalDateTime> ReadDate(std::string_view text) const;

    SettingsStore& settings_;
    const Clock& clock_;
    Dialogs& dialogs_;
    UrlOpener& urls_;
    AppState& state_;
    WebPages pages_;
    DateParser localeDate_;
};

} // namespace sentrel

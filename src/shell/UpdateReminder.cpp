#include "shell/UpdateReminder.h"

#include "base/DateTime.h"
#include "shell/Options.h"

#include <utility>

namespace sentrel {

namespace {
constexpr long kReminderDays = 30;

std::optional<int> Number(std::string_view text, std::size_t& pos, std::size_t minDigits, std::size_t maxDigits)
{
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits < minDigits)
        return std::nullopt;
    return value;
}

long Days(const LocalDateTime& t)
{
    return DaysFromCivil(t.year, t.month, t.day);
}

// "yyyy-m-d" or "yyyy-mm-dd".
std::optional<LocalDateTime> ParseIsoDate(std::string_view text)
{
    std::size_t pos = 0;
    const auto year = Number(text, pos, 4, 4);
    if (!year || pos == text.size() || text[pos++] != '-')
        return std::nullopt;
    const auto month = Number(text, pos, 1, 2);
    if (!month || pos == text.size() || text[pos++] != '-')
        return std::nullopt;
    const auto day = Number(text, pos, 1, 2);
    if (!day || pos != text.size() || !IsValidDate(*year, *month, *day))
        return std::nullopt;
    LocalDateTime date;
    date.year = *year;
    date.month = *month;
    date.day = *day;
    return date;
}
} // namespace

UpdateReminder::UpdateReminder(SettingsStore& settings, const Clock& clock, Dialogs& dialogs, UrlOpener& urls,
                               AppState& state, WebPages pages, DateParser localeDate)
    : settings_(settings)
    , clock_(clock)
    , dialogs_(dialogs)
    , urls_(urls)
    , state_(state)
    , pages_(std::move(pages))
    , localeDate_(std::move(localeDate))
{
}

void UpdateReminder::Run()
{
    std::string stored = settings_.ReadSetting("LastCheckUpdate");
    if (stored.empty())
        stored = kDefaultLastCheckUpdate;

    // Until the question is answered the stored date stands, also for an
    // exit while the question is still open.
    state_.LastCheckUpdate = stored;
    const LocalDateTime today = clock_.now();
    if (const auto last = ReadDate(stored)) {
        const long days = Days(today) - Days(*last);
        if (days >= 0 && days <= kReminderDays)
            return;
    }

    dialogs_.ask("Do you want to visit our website to check if there is a new version released?", kAppTitle,
                 [this, today](bool yes) {
                     if (yes)
                         urls_.openUrl(pages_.updatePage);
                     // Written unambiguously: a locale's two-digit year may read back a
                     // century off and make the reminder ask at every start.
                     state_.LastCheckUpdate = FormatDate(today);
                 });
}

void UpdateReminder::OpenHomePage()
{
    urls_.openUrl(pages_.homePage);
}

std::optional<LocalDateTime> UpdateReminder::ReadDate(std::string_view text) const
{
    if (auto date = ParseIsoDate(text))
        return date;
    if (localeDate_)
        return localeDate_(text);
    return std::nullopt;
}

} // namespace sentrel

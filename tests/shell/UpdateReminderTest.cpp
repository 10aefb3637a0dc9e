#include "shell/UpdateReminder.h"

#include "support/FakeClock.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(UpdateReminder, AsksAtMostOnceInThirtyDaysAndMovesTheDateToTodayWhateverTheAnswer)
{
    test::FakeClock clock; // 2026-12-07
    test::FakeSettings settings;
    test::FakeDialogs dialogs;
    test::FakeUrlOpener urls;
    AppState state;
    const DateParser usShortDate = [](std::string_view text) -> std::optional<LocalDateTime> {
        return text == "11/20/26" ? std::optional(LocalDateTime { 2026, 11, 20 }) : std::nullopt;
    };
    const auto askedFor = [&](const char* stored) {
        settings.values["LastCheckUpdate"] = stored;
        dialogs.shown.clear();
        UpdateReminder(settings, clock, dialogs, urls, state, { "home", "new" }, usShortDate).Run();
        return !dialogs.shown.empty();
    };

    EXPECT_FALSE(askedFor("2026-11-7")); // exactly 30 days
    EXPECT_FALSE(askedFor("11/20/26")); // the locale's short form
    EXPECT_EQ(state.LastCheckUpdate, "11/20/26");
    dialogs.answers = { true }; // then No
    for (const char* stored : { "", "2026-11-06", "2026-12-08", "garbage", "2026-02-30", "26-12-07", "11/20/2026" }) {
        EXPECT_TRUE(askedFor(stored)) << stored;
        EXPECT_EQ(state.LastCheckUpdate, "2026-12-07") << stored;
    }
    EXPECT_EQ(urls.opened, std::vector<std::string> { "new" });

    clock.set({ 2024, 3, 1, 23, 59, 59 }); // across a leap day
    EXPECT_FALSE(askedFor("2024-01-31"));
    EXPECT_TRUE(askedFor("2024-01-30"));
}

} // namespace
} // namespace sentrel

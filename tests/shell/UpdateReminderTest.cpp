#include "shell/UpdateReminder.h"

#include "support/FakeClock.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

class UpdateReminderTest : public ::testing::Test {
protected:
    // Runs the reminder on a stored text (today is 2026-12-07); true when it asked.
    bool AskedFor(const std::string& stored, DateParser localeDate = {})
    {
        settings.values["LastCheckUpdate"] = stored;
        dialogs.shown.clear();
        UpdateReminder(settings, clock, dialogs, urls, state, { "https://home.test/", "https://home.test/new" },
                       std::move(localeDate))
            .Run();
        return !dialogs.shown.empty();
    }

    test::FakeClock clock;
    test::FakeSettings settings;
    test::FakeDialogs dialogs;
    test::FakeUrlOpener urls;
    AppState state;
};

TEST_F(UpdateReminderTest, FirstStartAsksAndYesOpensTheNewVersionPage)
{
    dialogs.answers = { true };
    EXPECT_TRUE(AskedFor(""));
    EXPECT_EQ(dialogs.shown[0].text, "Do you want to visit our website to check if there is a new version released?");
    EXPECT_EQ(dialogs.shown[0].title, "Sentrel");
    EXPECT_EQ(urls.opened, std::vector<std::string> { "https://home.test/new" });
    EXPECT_EQ(state.LastCheckUpdate, "2026-12-07");
}

TEST_F(UpdateReminderTest, AsksAfterThirtyDaysOrWhenTheDateLiesAhead)
{
    EXPECT_FALSE(AskedFor("2026-11-7")); // exactly 30 days
    EXPECT_EQ(state.LastCheckUpdate, "2026-11-7") << "kept as stored";
    EXPECT_TRUE(AskedFor("2026-11-06"));
    EXPECT_TRUE(AskedFor("2026-12-08")); // the clock was set back
    EXPECT_TRUE(urls.opened.empty());

    clock.set({ 2024, 3, 1, 23, 59, 59 }); // across a leap day
    EXPECT_FALSE(AskedFor("2024-01-31"));
    EXPECT_TRUE(AskedFor("2024-01-30"));
}

TEST_F(UpdateReminderTest, NoOrAnUnreadableDateStillMovesTheDateToToday)
{
    for (const char* bad : { "garbage", "2026-02-30", "26-12-07", "2026-12-07 10:00" }) {
        EXPECT_TRUE(AskedFor(bad)) << bad;
        EXPECT_EQ(state.LastCheckUpdate, "2026-12-07") << bad;
    }
    clock.advanceSeconds(30 * 86400);
    EXPECT_FALSE(AskedFor(state.LastCheckUpdate));
    clock.advanceSeconds(86400);
    EXPECT_TRUE(AskedFor(state.LastCheckUpdate));
}

TEST_F(UpdateReminderTest, ReadsTheLocaleShortFormThroughTheParser)
{
    int calls = 0;
    const DateParser usShort = [&calls](std::string_view text) -> std::optional<LocalDateTime> {
        ++calls;
        return text == "11/20/26" ? std::optional(LocalDateTime { 2026, 11, 20 }) : std::nullopt;
    };

    EXPECT_FALSE(AskedFor("11/20/26", usShort));
    EXPECT_EQ(state.LastCheckUpdate, "11/20/26");
    EXPECT_TRUE(AskedFor("13/20/26", usShort));
    EXPECT_EQ(state.LastCheckUpdate, "2026-12-07");
    calls = 0;
    EXPECT_FALSE(AskedFor("2026-12-01", usShort));
    EXPECT_EQ(calls, 0) << "an ISO date never reaches the locale";
}

} // namespace
} // namespace sentrel

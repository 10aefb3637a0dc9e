#include "shell/DateTime.h"

#include "shell/ActivityLog.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(DateTime, NowTextIsZeroPaddedToTheSecond)
{
    test::FakeClock clock({ 2026, 3, 4, 5, 6, 7 });
    EXPECT_EQ(NowText(clock), "2026-03-04 05:06:07");
    clock.advanceSeconds(86400 * 300 + 3600 * 18 + 53 * 60 + 52);
    EXPECT_EQ(NowText(clock), "2026-12-29 23:59:59");
    clock.advanceSeconds(1);
    EXPECT_EQ(NowText(clock), "2026-12-30 00:00:00");
}

TEST(DateTime, DayOfWeekCountsFromMonday)
{
    EXPECT_EQ(DayOfWeek({ 2026, 12, 7 }), 1); // a Monday
    EXPECT_EQ(DayOfWeek({ 2026, 12, 9 }), 3);
    EXPECT_EQ(DayOfWeek({ 2026, 12, 13 }), 7);
    EXPECT_EQ(DayOfWeek({ 2000, 2, 29 }), 2);
}

TEST(DateTime, TimeOfDayParsing)
{
    EXPECT_EQ(ParseSecondsOfDay("12:00"), 12 * 3600);
    EXPECT_EQ(ParseSecondsOfDay("9:5"), 9 * 3600 + 5 * 60);
    EXPECT_EQ(ParseSecondsOfDay("23:59:59"), 86399);
    for (const char* bad : { "", "12", "24:00", "12:60", "1:2:3:4", "ab:cd", "123:00", ":30", "12:" })
        EXPECT_FALSE(ParseSecondsOfDay(bad)) << bad;
}

} // namespace
} // namespace sentrel

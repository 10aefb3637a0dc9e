#include "base/DateTime.h"
#include "support/LoopMount.h"
#include "support/TempDir.h"

#include <ctime>
#include <gtest/gtest.h>

namespace sentrel::test {
namespace {

// `sentrel --health` as a monitoring check runs it: from the data files
// alone, with no tray program and no session bus.
class HealthCommandTest : public ::testing::Test {
protected:
    static std::string HoursAgo(int hours)
    {
        const std::time_t t = std::time(nullptr) - std::time_t(hours) * 3600;
        std::tm local {};
        ::localtime_r(&t, &local);
        return FormatDateTime({ local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                local.tm_sec });
    }

    // Its output, then "exit N".
    std::string Health() const
    {
        std::string output;
        RunCommand("env SENTREL_HOME='" + home.path() + "' HOME='" + home.path()
                       + "' DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM= DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "
                       + SENTREL_EXE + " --health 2>&1; echo \"exit $?\"",
                   &output);
        return output;
    }

    TempDir home;
};

TEST_F(HealthCommandTest, PrintsEachTimedProjectAndExitsByTheWorstOfThem)
{
    const std::string dirs = "|/src|/dst|Yes|";
    WriteFile(home / "Sentrel.prj",
              "Fresh|Hourly" + dirs + "-|Old|Every 1 hours|1\r\n" + "Stale|Daily" + dirs + "12:00|Old|Every day|\r\n"
                  + "Broke|Daily" + dirs + "12:00|Old|Every day|\r\n" + "Hand|Manually" + dirs
                  + "|Old|Manually backup|\r\n");
    const std::string fresh = HoursAgo(1);
    const std::string stale = HoursAgo(24 * 3);
    WriteFile(home / "Sentrel.state",
              "Fresh|LastGood|" + fresh + "\r\nStale|LastGood|" + stale + "\r\nBroke|LastGood|" + fresh
                  + "\r\nBroke|Failure|TargetMissing\r\nBroke|LastFailed|" + fresh + "\r\n");
    EXPECT_EQ(Health(),
              "Fresh\t" + fresh + "\tok\nStale\t" + stale + "\toverdue\nBroke\t" + fresh + "\tfailed\nexit 1\n");

    WriteFile(home / "Sentrel.prj", "Fresh|Hourly" + dirs + "-|Old|Every 1 hours|1\r\nNew|Daily" + dirs
                                        + "12:00|Old|Every day|\r\n");
    EXPECT_EQ(Health(), "Fresh\t" + fresh + "\tok\nNew\tnever\tok\nexit 0\n");
}

TEST_F(HealthCommandTest, AStateFileThatCanNotBeReadIsSaidAndIsNoClean)
{
    WriteFile(home / "Sentrel.prj", "Docs|Daily|/src|/dst|Yes|12:00|Old|Every day|\r\n");
    MakeDirs(home / "Sentrel.state");
    const std::string output = Health();
    EXPECT_NE(output.find("sentrel: Can not read " + (home / "Sentrel.state") + ", "), std::string::npos) << output;
    EXPECT_NE(output.find("Docs\tnever\tok\n"), std::string::npos) << output;
    EXPECT_TRUE(output.ends_with("exit 2\n")) << output;
}

} // namespace
} // namespace sentrel::test

#include "shell/LogFile.h"

#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

LogRow Row(std::string name, std::string detail)
{
    return { std::move(name), "2026-12-07 10:00:00", std::move(detail) };
}

TEST(LogFile, NameIsPaddedTo13UnlessLongerThan12)
{
    EXPECT_EQ(FormatLogLine(Row(" ", "Sentrel started")), "              2026-12-07 10:00:00      Sentrel started\r\n");
    EXPECT_EQ(FormatLogLine(Row("twelve chars", "d")), "twelve chars  2026-12-07 10:00:00      d\r\n");
    EXPECT_EQ(FormatLogLine(Row("thirteen char", "d")), "thirteen char 2026-12-07 10:00:00      d\r\n");
    EXPECT_EQ(FormatLogLine(Row("twenty characters!!!", "d")), "twenty characters!!! 2026-12-07 10:00:00      d\r\n");
    // Characters, not bytes.
    EXPECT_EQ(FormatLogLine(Row("Übung", "d")), "Übung         2026-12-07 10:00:00      d\r\n");
}

TEST(LogFile, AppendsEveryRowToTheFileOfTheGivenDate)
{
    test::TempDir dir;
    const std::string logDir = dir.path() + "/";
    test::FakeClock clock({ 2026, 12, 7, 23, 0, 0 });
    ActivityLog log(clock);
    log.AddLog(" ", "Sentrel started");
    clock.advanceSeconds(2 * 3600);
    log.AddLog("  ", "Sentrel exited");

    test::WriteFile(dir / "2026-12-08.txt", "earlier run\r\n");
    WriteLogFile(log, logDir, clock.now());

    EXPECT_EQ(test::ReadFile(dir / "2026-12-08.txt"),
              "earlier run\r\n"
              "              2026-12-07 23:00:00      Sentrel started\r\n"
              "              2026-12-08 01:00:00      Sentrel exited\r\n");
    EXPECT_FALSE(test::Exists(dir / "2026-12-07.txt"));
}

TEST(LogFile, UnwritableLogDirectoryIsSilent)
{
    test::TempDir dir;
    test::FakeClock clock;
    ActivityLog log(clock);
    log.AddLog("  ", "Sentrel exited");
    WriteLogFile(log, dir.path() + "/missing/", clock.now());
    EXPECT_FALSE(test::Exists(dir / "missing"));
}

} // namespace
} // namespace sentrel

#include "shell/LogFile.h"

#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <algorithm>
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

    // A log directory that cannot be written is passed over in silence.
    WriteLogFile(log, logDir + "missing/", clock.now());
    EXPECT_FALSE(test::Exists(dir / "missing"));
}

// A file name can hold a line feed; it must not be able to forge a row.
TEST(LogFile, ControlCharactersAreEscapedAlikeOnScreenAndInTheFile)
{
    test::TempDir dir;
    test::FakeClock clock({ 2026, 12, 7, 10, 0, 0 });
    ActivityLog log(clock);
    log.AddLog("Mail\t", "Can not create /b/x\n              2026-12-07 10:00:00      Backup finished\r, E");
    log.AddLog("Mail", "caf\xc3\xa9\xc2\x85\xe2\x80\xa8\x7f\\x0a\xff");
    EXPECT_EQ(log.at(0).projectName, "Mail\\x09");
    EXPECT_EQ(log.at(0).detail,
              "Can not create /b/x\\x0a              2026-12-07 10:00:00      Backup finished\\x0d, E");
    EXPECT_EQ(log.at(1).detail, "caf\xc3\xa9\\u0085\\u2028\\x7f\\x0a\xff");
    // Rows made otherwise are escaped the same way in the file.
    log.append(LogRow { "P", "t", "a\nb" });
    WriteLogFile(log, dir.path() + "/", clock.now());
    std::string expected;
    for (const LogRow& row : log.rows())
        expected += FormatLogLine(row);
    EXPECT_EQ(test::ReadFile(dir / "2026-12-07.txt"), expected);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 3);
    EXPECT_EQ(FormatLogLine(log.at(2)), "P             t      a\\x0ab\r\n");
}

// Written in blocks: a long log goes to the file once, row for row.
TEST(LogFile, ALongLogIsWrittenOnceInOrder)
{
    test::TempDir dir;
    test::FakeClock clock({ 2026, 12, 7, 10, 0, 0 });
    ActivityLog log(clock);
    std::string expected;
    for (int i = 0; expected.size() <= (3u << 20); ++i) {
        log.AddLog("Photos", "Can not create /backup/photos/" + std::to_string(i) + ".jpg, No space left on device");
        expected += FormatLogLine(log.rows().back());
    }
    WriteLogFile(log, dir.path() + "/", clock.now());
    EXPECT_TRUE(test::ReadFile(dir / "2026-12-07.txt") == expected);
}

} // namespace
} // namespace sentrel

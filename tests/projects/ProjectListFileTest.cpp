#include "projects/ProjectListFile.h"

#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace sentrel {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string kLines = "Dokumente ü|Daily|/home/ann/Docs|/media/bak/Docs|Yes|12:00|Old|Every day|\r\n"
                           "Photos|Weekly|/home/ann/Photos|/media/bak/Photos|No|Startup|All|Mon Thu |1 4\r\n"
                           "Mail|Manually|/home/ann/Mail|/media/bak/Mail|Yes||Old|Manually backup|\r\n";

TEST(ProjectListFile, LinesLoadAndSaveByteForByte)
{
    test::TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    WriteFile(path, kLines);
    ProjectTable table;
    LoadProjectList(path, table);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.at(1).record,
              (ProjectRecord { "Photos", "Weekly", "/home/ann/Photos", "/media/bak/Photos", "No", "Startup", "All",
                               "Mon Thu ", "1 4" }));
    EXPECT_EQ(table.at(2).record.StartTime, "");
    EXPECT_EQ(table.at(2).record.Tag, "");

    // Lines an editor ended with a CR alone load too, so the save keeps them all.
    std::string crOnly = kLines;
    std::erase(crOnly, '\n');
    WriteFile(path, crOnly);
    table.clear();
    std::string error;
    LoadProjectList(path, table, &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.at(0).record.Tag, "");
    ASSERT_FALSE(SaveProjectList(path, table));
    EXPECT_EQ(ReadFile(path), kLines);

    // Removing the last project leaves an empty file that loads empty.
    ASSERT_FALSE(SaveProjectList(path, ProjectTable()));
    EXPECT_EQ(ReadFile(path), "");
    ProjectTable empty;
    LoadProjectList(path, empty);
    LoadProjectList(dir / "missing.prj", empty);
    EXPECT_TRUE(empty.empty());
}

TEST(ProjectListFile, LoadSkipsBlankAndShortLinesAndTrimsOnlySpaces)
{
    test::TempDir dir;
    WriteFile(dir / "Sentrel.prj",
              "\r\n     \r\n"
              "Short|Daily|/a|/b|Yes|12:00|Old|Every day\r\n" // eight fields
              "   Spaced|Daily|/a|/b|Yes|12:00|Old|Every day|   \r\n"
              "Long|Daily|/a|/b|Yes|12:00|Old|Every day|x|tenth\r\n"
              "Twin|Daily|/a|/b|Yes|12:00|Old|Every day|\n" // LF only
              "Twin|Daily|/a|/b|Yes|12:00|Old|Every day|\n"
              "\tTab|Daily| /a |/b|Yes|12:00|Old|Every day|");
    ProjectTable table;
    LoadProjectList(dir / "Sentrel.prj", table);
    std::vector<std::string> names;
    for (const ProjectRow& row : table.rows())
        names.push_back(row.record.ProjectName);
    EXPECT_EQ(names, (std::vector<std::string> { "Spaced", "Long", "Twin", "Twin", "\tTab" }));
    EXPECT_EQ(table.at(1).record.Tag, "x");
    EXPECT_EQ(table.at(4).record.Source, " /a ");
}

// A save that cannot be completed (here the file size limit, as a full disk
// would) leaves the previous list whole and no temporary file behind.
TEST(ProjectListFile, FailedSaveKeepsTheOldFile)
{
    test::TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    WriteFile(path, kLines);
    ProjectTable table;
    ProjectRecord big { "Big", "Daily", "/a", "/b", "Yes", "12:00", "Old", std::string(64 * 1024, 'x'), "" };
    table.append({ big });

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const WriteError error = SaveProjectList(path, table);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "File too large");
    EXPECT_EQ(ReadFile(path), kLines);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(SaveProjectList(dir / "gone/Sentrel.prj", table), "No such file or directory");
}

} // namespace
} // namespace sentrel

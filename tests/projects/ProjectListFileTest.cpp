#include "projects/ProjectListFile.h"

#include "support/TempDir.h"

#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace sentrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

ProjectRecord Daily()
{
    return {
        "Documents", "Daily", "/home/ann/Documents", "/media/bak/Documents", "Yes", "12:00", "Old", "Every day", ""
    };
}

ProjectRecord Weekly()
{
    return { "Photos", "Weekly", "/home/ann/Photos", "/media/bak/Photos", "No", "Startup", "All", "Mon Thu ", "1 4" };
}

ProjectRecord Manual()
{
    return { "Mail", "Manually", "/home/ann/Mail", "/media/bak/Mail", "Yes", "", "Old", "Manually backup", "" };
}

std::vector<ProjectRecord> Records(const ProjectTable& table)
{
    std::vector<ProjectRecord> records;
    for (const auto& row : table.rows())
        records.push_back(row.record);
    return records;
}

TEST(ProjectListFile, SavesNineFieldsPerLineAndLoadsThemBack)
{
    TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    ProjectTable table;
    for (const auto& record : { Daily(), Weekly(), Manual() })
        table.append({ record });

    ASSERT_FALSE(SaveProjectList(path, table));
    EXPECT_EQ(ReadFile(path),
              "Documents|Daily|/home/ann/Documents|/media/bak/Documents|Yes|12:00|Old|Every day|\r\n"
              "Photos|Weekly|/home/ann/Photos|/media/bak/Photos|No|Startup|All|Mon Thu |1 4\r\n"
              "Mail|Manually|/home/ann/Mail|/media/bak/Mail|Yes||Old|Manually backup|\r\n");

    ProjectTable loaded;
    LoadProjectList(path, loaded);
    EXPECT_EQ(Records(loaded), Records(table));
}

TEST(ProjectListFile, EmptyTableIsAnEmptyFileAndLoadsEmpty)
{
    TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    WriteFile(path, FormatProjectLine(Daily()));
    ProjectTable table;
    ASSERT_FALSE(SaveProjectList(path, table));
    EXPECT_EQ(ReadFile(path), "");
    LoadProjectList(path, table);
    EXPECT_TRUE(table.empty());
}

TEST(ProjectListFile, LoadSkipsBlankAndShortLinesAndTrimsOnlySpaces)
{
    TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    WriteFile(path,
              "\r\n"
              "     \r\n"
              "Short|Daily|/a|/b|Yes|12:00|Old|Every day\r\n" // eight fields
              "   Spaced|Daily|/a|/b|Yes|12:00|Old|Every day|   \r\n"
              "Long|Daily|/a|/b|Yes|12:00|Old|Every day|x|tenth|eleventh\r\n"
              "Twin|Daily|/a|/b|Yes|12:00|Old|Every day|\n" // LF only
              "Twin|Daily|/a|/b|Yes|12:00|Old|Every day|\n"
              "\tTab|Daily| /a |/b|Yes|12:00|Old|Every day|");
    ProjectTable table;
    LoadProjectList(path, table);

    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table.at(0).record.ProjectName, "Spaced");
    EXPECT_EQ(table.at(0).record.Tag, "");
    EXPECT_EQ(table.at(1).record.ProjectName, "Long");
    EXPECT_EQ(table.at(1).record.Tag, "x");
    EXPECT_EQ(table.at(2).record.ProjectName, "Twin");
    EXPECT_EQ(table.at(3).record.ProjectName, "Twin");
    EXPECT_EQ(table.at(4).record.ProjectName, "\tTab");
    EXPECT_EQ(table.at(4).record.Source, " /a ");

    // Dropped and extra fields are gone at the next save.
    ASSERT_FALSE(SaveProjectList(path, table));
    EXPECT_EQ(ReadFile(path).find("tenth"), std::string::npos);
    EXPECT_EQ(ReadFile(path).find("Short"), std::string::npos);
}

TEST(ProjectListFile, MissingFileLeavesTheTableEmptyAndCreatesNothing)
{
    TempDir dir;
    ProjectTable table;
    LoadProjectList(dir / "Sentrel.prj", table);
    EXPECT_TRUE(table.empty());
    EXPECT_FALSE(test::Exists(dir / "Sentrel.prj"));
}

TEST(ProjectListFile, NamesAreUtf8Bytes)
{
    TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    ProjectTable table;
    ProjectRecord record = Daily();
    record.ProjectName = "Überweisungen 日本";
    table.append({ record });
    ASSERT_FALSE(SaveProjectList(path, table));
    ProjectTable loaded;
    LoadProjectList(path, loaded);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.at(0).record.ProjectName, "Überweisungen 日本");
}

// A save that cannot be completed (here: the file size limit, as a full disk
// would) must leave the previous list whole and no temporary file behind.
TEST(ProjectListFile, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir / "Sentrel.prj";
    const std::string old = FormatProjectLine(Daily());
    WriteFile(path, old);

    ProjectTable table;
    ProjectRecord big = Weekly();
    big.Remark = std::string(64 * 1024, 'x');
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
    EXPECT_FALSE(error->empty());
    EXPECT_EQ(ReadFile(path), old);
    int entries = 0;
    DIR* listing = ::opendir(dir.path().c_str());
    while (dirent* entry = ::readdir(listing))
        entries += entry->d_name[0] != '.';
    ::closedir(listing);
    EXPECT_EQ(entries, 1);
}

TEST(ProjectListFile, SaveIntoMissingDirectoryReportsTheError)
{
    TempDir dir;
    ProjectTable table;
    table.append({ Daily() });
    const WriteError error = SaveProjectList(dir / "gone/Sentrel.prj", table);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "No such file or directory");
}

} // namespace
} // namespace sentrel

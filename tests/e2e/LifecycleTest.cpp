#include "support/Process.h"
#include "support/TempDir.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <sys/stat.h>
#include <thread>

namespace sentrel::test {
namespace {

using namespace std::chrono_literals;

// The real program on the offscreen platform, with its own data, settings
// and runtime directories.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest()
    {
        MakeDirs(home / "config");
        MakeDirs(home / "runtime");
        MakeDirs(home / "data");
        ::chmod((home / "runtime").c_str(), 0700);
    }

    std::map<std::string, std::string> Env() const
    {
        return { { "QT_QPA_PLATFORM", "offscreen" },
                 { "SENTREL_HOME", home / "data" },
                 { "XDG_CONFIG_HOME", home / "config" },
                 { "XDG_RUNTIME_DIR", home / "runtime" },
                 { "HOME", home.path() } };
    }

    std::unique_ptr<Process> Start(std::vector<std::string> args = {})
    {
        return std::make_unique<Process>(SENTREL_EXE, args, Env());
    }

    // The program is up once its log directory exists: by then it handles
    // signals.
    bool WaitForStart() const
    {
        return WaitUntil([&] { return Exists(home / "data/Log"); }, 10s);
    }

    std::vector<std::string> LogFiles() const
    {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir((home / "data/Log").c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                if (entry->d_name[0] != '.')
                    names.emplace_back(entry->d_name);
            }
            ::closedir(dir);
        }
        return names;
    }

    TempDir home;
};

TEST_F(ProgramTest, TerminationLogsStartAndExitAndLeavesTheProjectListAlone)
{
    const std::string projects = "Docs|Daily|/nowhere/a|/nowhere/b|Yes|12:00|Old|Every day|\r\n"
                                 "Photos|Weekly|/nowhere/p|/nowhere/q|No|Startup|All|Mon Thu |1 4\r\n";
    WriteFile(home / "data/Sentrel.prj", projects);

    auto program = Start();
    ASSERT_TRUE(WaitForStart());
    std::this_thread::sleep_for(300ms);
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), 0);

    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(\d{4}-\d{2}-\d{2}\.txt)"))) << files[0];
    const std::string log = ReadFile(home / ("data/Log/" + files[0]));
    const std::string time = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";
    EXPECT_TRUE(std::regex_match(log,
                                 std::regex("              " + time + "      Sentrel started\r\n" + "              "
                                            + time + "      Sentrel exited\r\n")))
        << log;
    EXPECT_EQ(ReadFile(home / "data/Sentrel.prj"), projects);
}

TEST_F(ProgramTest, SecondInstanceEndsAtOnceAndLeavesTheFirstAlone)
{
    auto first = Start();
    ASSERT_TRUE(WaitForStart());

    auto second = Start({ "/1" });
    EXPECT_EQ(second->wait(5s), 0);
    EXPECT_TRUE(first->running());
    EXPECT_TRUE(LogFiles().empty());

    first->signal(SIGINT);
    EXPECT_EQ(first->wait(10s), 0);
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::string log = ReadFile(home / ("data/Log/" + files[0]));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_FALSE(Exists(home / "data/Sentrel.prj"));
}

TEST_F(ProgramTest, HangupEndsTheProgramLikeALogout)
{
    auto program = Start({ "/1" });
    ASSERT_TRUE(WaitForStart());
    program->signal(SIGHUP);
    EXPECT_EQ(program->wait(10s), 0);
    ASSERT_EQ(LogFiles().size(), 1u);
}

} // namespace
} // namespace sentrel::test

namespace sentrel::test {
namespace {

TEST_F(ProgramTest, StartupProjectsRunRightAfterStartAndTheExitStoresTheOptions)
{
    MakeDirs(home / "src/sub");
    WriteFile(home / "src/a.txt", "alpha");
    WriteFile(home / "src/sub/b.txt", "beta");
    WriteFile(home / "data/Sentrel.prj",
              "Docs|Daily|" + (home / "src") + "|" + (home / "dst") + "|Yes|Startup|Old|Every day|\r\n" + "Lost|Daily|"
                  + (home / "missing") + "|" + (home / "dst2") + "|Yes|Startup|Old|Every day|\r\n");

    auto program = Start();
    ASSERT_TRUE(WaitForStart());
    ASSERT_TRUE(WaitUntil([&] { return Exists(home / "dst/sub/b.txt"); }, 15s));
    std::this_thread::sleep_for(2500ms); // the second row runs at the next backup tick
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), 0);

    EXPECT_EQ(ReadFile(home / "dst/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(home / "dst/sub/b.txt"), "beta");
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::string log = ReadFile(home / ("data/Log/" + files[0]));
    const std::string time = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";
    EXPECT_TRUE(std::regex_search(log,
                                  std::regex("\r\nDocs          " + time + "      Start backup\r\n" + "Docs          "
                                             + time + "      Backup finished\r\n" + "Lost          " + time
                                             + "      Backup failed: source directory not found.\r\n")))
        << log;

    const std::string settings = ReadFile(home / "config/Corvane Software/Sentrel.conf");
    for (const char* option : { "AutoRun=Yes", "PlaySound=Yes", "ShowBalloon=Yes", "SaveLog=Yes" })
        EXPECT_NE(settings.find(option), std::string::npos) << option << " in\n" << settings;
    EXPECT_TRUE(std::regex_search(settings, std::regex(R"(LastCheckUpdate=\d{4}-\d{1,2}-\d{1,2})"))) << settings;
    const std::string entry = ReadFile(home / "config/autostart/sentrel.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]"), std::string::npos);
    EXPECT_NE(entry.find(std::string("\"") + SENTREL_EXE + "\" /1"), std::string::npos) << entry;
}

} // namespace
} // namespace sentrel::test

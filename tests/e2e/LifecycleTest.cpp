#include "support/FuseMount.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace sentrel::test {
namespace {

using namespace std::chrono_literals;

const std::string kTime = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";

// The real program on the offscreen platform, with its own data, settings
// and runtime directories.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest()
    {
        for (const char* dir : { "config", "runtime", "data" })
            MakeDirs(home / dir);
    }

    std::unique_ptr<Process> Start(std::vector<std::string> args = {})
    {
        return std::make_unique<Process>(SENTREL_EXE, args,
                                         std::map<std::string, std::string> { { "QT_QPA_PLATFORM", "offscreen" },
                                                                              { "SENTREL_HOME", home / "data" },
                                                                              { "XDG_CONFIG_HOME", home / "config" },
                                                                              { "XDG_RUNTIME_DIR", home / "runtime" },
                                                                              { "HOME", home.path() } });
    }

    // The program is up once its log directory exists: by then it handles
    // signals.
    bool WaitForStart() const
    {
        return WaitUntil([&] { return Exists(home / "data/Log"); }, 10s);
    }

    // The day's log file, the only one there should be.
    std::string LogFile() const
    {
        std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(home / "data/Log"), {});
        if (files.size() != 1)
            return "(" + std::to_string(files.size()) + " log files)";
        EXPECT_TRUE(std::regex_match(files[0].filename().string(), std::regex(R"(\d{4}-\d{2}-\d{2}\.txt)")));
        return ReadFile(files[0]);
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

    const std::string log = LogFile();
    EXPECT_TRUE(std::regex_match(log,
                                 std::regex("              " + kTime + "      Sentrel started\r\n" + "              "
                                            + kTime + "      Sentrel exited\r\n")))
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

    first->signal(SIGHUP); // as at a logout
    EXPECT_EQ(first->wait(10s), 0);
    const std::string log = LogFile();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_FALSE(Exists(home / "data/Sentrel.prj"));
}

TEST_F(ProgramTest, StartupProjectsRunRightAfterStartAndTheExitStoresTheOptions)
{
    MakeDirs(home / "src/sub");
    WriteFile(home / "src/sub/b.txt", "beta");
    const auto line = [&](const char* name, const char* source, const char* destination) {
        return std::string(name) + "|Daily|" + (home / source) + "|" + (home / destination)
            + "|Yes|Startup|Old|Every day|\r\n";
    };
    WriteFile(home / "data/Sentrel.prj", line("Docs", "src", "dst") + line("Lost", "missing", "dst2"));

    auto program = Start();
    ASSERT_TRUE(WaitForStart());
    ASSERT_TRUE(WaitUntil([&] { return Exists(home / "dst/sub/b.txt"); }, 15s));
    // The second row's run makes its destination, then fails at once; its
    // outcome reaches the window within a turn of the event loop.
    ASSERT_TRUE(WaitUntil([&] { return Exists(home / "dst2"); }, 15s));
    std::this_thread::sleep_for(500ms);
    program->signal(SIGINT);
    EXPECT_EQ(program->wait(10s), 0);

    EXPECT_EQ(ReadFile(home / "dst/sub/b.txt"), "beta");
    const std::string log = LogFile();
    EXPECT_TRUE(std::regex_search(log,
                                  std::regex("\r\nDocs          " + kTime + "      Start backup\r\nDocs          "
                                             + kTime + "      Backup finished\r\nLost          " + kTime
                                             + "      Backup failed: source directory not found.\r\n")))
        << log;
    const std::string settings = ReadFile(home / "config/Corvane Software/Sentrel.conf");
    EXPECT_TRUE(std::regex_search(settings,
                                  std::regex("AutoRun=Yes\nDotFolders=No\nKeepVersions=No\nKeepVersionsDays=30\n"
                                             "LastCheckUpdate=\\d{4}-\\d{1,2}-\\d{1,2}\n"
                                             "PlaySound=Yes\nRunMissed=No\nSaveLog=Yes\nShowBalloon=Yes\n")))
        << settings;
    const std::string entry = ReadFile(home / "config/autostart/sentrel.desktop");
    EXPECT_NE(entry.find(std::string("\"") + SENTREL_EXE + "\" /1"), std::string::npos) << entry;
}

TEST_F(ProgramTest, AShareThatHangsHoldsUpNeitherTheWindowNorTheExitNorTheNextStart)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    FuseMount share(FuseMount::Kind::Sshfs, home / "share");
    ASSERT_EQ(share.error(), "");
    MakeDirs(home / "src");
    WriteFile(home / "src/a.txt", "alpha");
    WriteFile(home / "data/Sentrel.prj",
              "Docs|Daily|" + (home / "src") + "|" + share.path() + "/backup|Yes|Startup|Old|Every day|\r\n");
    share.freeze();

    auto program = Start();
    ASSERT_TRUE(WaitForStart()); // the checks of the start-up run hang beside the window
    std::this_thread::sleep_for(500ms);
    const auto asked = std::chrono::steady_clock::now();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);

    // The next start is not turned away as a second instance.
    auto next = Start();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(next->running());
    next->signal(SIGTERM);
    EXPECT_EQ(next->wait(10s), 0);
    share.thaw();
}

} // namespace
} // namespace sentrel::test

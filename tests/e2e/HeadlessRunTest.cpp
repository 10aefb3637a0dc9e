#include "support/Process.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace sentrel::test {
namespace {

using namespace std::chrono_literals;

// `sentrel --run` on real trees, as cron or a systemd timer would start it:
// no display, no session bus.
class HeadlessRunTest : public ::testing::Test {
protected:
    HeadlessRunTest()
    {
        MakeDirs(home / "data");
        MakeDirs(home / "src/sub");
        WriteFile(home / "src/a.txt", "a");
        WriteFile(home / "src/sub/b.txt", "b");
        WriteFile(home / "data/Sentrel.prj",
                  "Docs|Daily|" + (home / "src") + "|" + (home / "dst") + "|Yes|12:00|Old|Every day|\r\n"
                      + "Lost|Manually|" + (home / "gone") + "|" + (home / "dst2") + "|Yes||Old|Manually backup|\r\n");
    }

    std::unique_ptr<Process> Run(std::vector<std::string> args)
    {
        return std::make_unique<Process>(
            SENTREL_EXE, args,
            std::map<std::string, std::string> { { "SENTREL_HOME", home / "data" },
                                                 { "HOME", home.path() },
                                                 { "DISPLAY", "" },
                                                 { "WAYLAND_DISPLAY", "" },
                                                 { "QT_QPA_PLATFORM", "" },
                                                 { "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent" } });
    }
    std::optional<int> Exit(std::vector<std::string> args) { return Run(std::move(args))->wait(60s); }

    std::string Log() const
    {
        std::string all;
        for (const auto& file : std::filesystem::directory_iterator(home / "data/Log"))
            all += ReadFile(file.path());
        return all;
    }

    TempDir home;
};

TEST_F(HeadlessRunTest, ExitCodesTellCleanWithErrorsFailedUnknownAndWrongUse)
{
    EXPECT_EQ(Exit({ "--run", "Docs" }), 0);
    EXPECT_EQ(ReadFile(home / "dst/sub/b.txt"), "b");
    EXPECT_NE(Log().find("Backup finished\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(home / "data/Sentrel.state").find("Docs|LastRun|"), std::string::npos);

    // A named pipe is no file to copy: one failed file.
    ASSERT_EQ(::mkfifo((home / "src/pipe").c_str(), 0600), 0);
    EXPECT_EQ(Exit({ "--run", "Docs" }), 1);
    EXPECT_NE(Log().find("Backup finished with 1 error\r\n"), std::string::npos);

    EXPECT_EQ(Exit({ "--run", "Lost" }), 2);
    EXPECT_NE(Log().find("Backup failed: source directory not found."), std::string::npos);
    EXPECT_EQ(Exit({ "--run", "Nobody" }), 4);
    EXPECT_EQ(Exit({ "--run" }), 64);
    EXPECT_EQ(Exit({ "--run", "Docs", "extra" }), 64);
    EXPECT_EQ(Exit({ "--status" }), 6); // no program to ask
}

TEST_F(HeadlessRunTest, SigtermCancelsTheRun)
{
    // Many small files keep the copy busy long enough to be stopped.
    for (int d = 0; d < 200; ++d) {
        MakeDirs(home / ("src/many/" + std::to_string(d)));
        for (int f = 0; f < 200; ++f)
            WriteFile(home / ("src/many/" + std::to_string(d) + "/" + std::to_string(f)), "x");
    }
    auto run = Run({ "--run", "Docs" });
    ASSERT_TRUE(WaitUntil([&] { return Exists(home / "dst/many/0"); }, 20s));
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(30s), 3);
    EXPECT_NE(Log().find("Backup canceled"), std::string::npos);
    EXPECT_FALSE(Exists(home / "dst/many/199/199"));
}

} // namespace
} // namespace sentrel::test

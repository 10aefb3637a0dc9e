#include "support/FuseMount.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
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

// The run a systemd timer starts is the tray program's: with kept versions
// on it keeps what it replaces, and prunes.
TEST_F(HeadlessRunTest, KeptVersionsAreKeptAsByTheTrayProgram)
{
    MakeDirs(home / ".config/Corvane Software");
    WriteFile(home / ".config/Corvane Software/Sentrel.conf", "[General]\nKeepVersions=Yes\nKeepVersionsDays=30\n");
    ASSERT_EQ(Exit({ "--run", "Docs" }), 0);
    WriteFile(home / "src/a.txt", "a, changed");
    ::utimensat(AT_FDCWD, (home / "src/a.txt").c_str(), nullptr, 0);
    const timespec later[2] = { { 4102444800, 0 }, { 4102444800, 0 } }; // 2100: surely newer than the copy
    ::utimensat(AT_FDCWD, (home / "src/a.txt").c_str(), later, 0);
    ASSERT_EQ(Exit({ "--run", "Docs" }), 0);
    EXPECT_EQ(ReadFile(home / "dst/a.txt"), "a, changed");
    bool kept = false;
    for (const auto& run : std::filesystem::directory_iterator(home / "dst/.sentrel-versions"))
        kept = kept || ReadFile(run.path() / "a.txt") == "a";
    EXPECT_TRUE(kept);
}

// Given up on a share that stopped answering, the run's thread still holds
// what it uses while the program returns from main: under the sanitizers
// nothing is freed under it and nothing leaks.
TEST_F(HeadlessRunTest, ARunGivenUpOnAFrozenShareEndsCanceled)
{
    if (const std::string why = FuseMount::Unavailable(FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    FuseMount share(FuseMount::Kind::Sshfs, home / "share");
    ASSERT_EQ(share.error(), "");
    for (int i = 0; i < 400; ++i)
        WriteFile(home / ("src/f" + std::to_string(i)), std::string(64 << 10, char('a' + i % 26)));
    WriteFile(home / "data/Sentrel.prj",
              "Share|Manually|" + (home / "src") + "|" + share.path() + "/backup|Yes||Old|Manually backup|\r\n");
    auto run = Run({ "--run", "Share" });
    ASSERT_TRUE(WaitUntil([&] { return Exists(share.path() + "/backup/f1"); }, 20s));
    share.freeze();
    run->signal(SIGTERM);
    // The run is given up and its end written within the patience after a
    // stop. The kernel holds the process itself until the share answers the
    // request it has in hand; then the copy thread goes on with what it owns.
    EXPECT_TRUE(
        WaitUntil([&] { return Exists(home / "data/Log") && Log().find("Backup canceled") != std::string::npos; }, 5s));
    share.thaw();
    EXPECT_EQ(run->wait(20s), 3);
}

} // namespace
} // namespace sentrel::test

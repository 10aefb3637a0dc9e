#include "support/AppFixture.h"
#include "support/FakePower.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

struct Running : test::AppFixture {
    Running()
    {
        test::MakeDirs(dataDir / "src");
        test::WriteFile(dataDir / "src/a.txt", "a");
        test::WriteFile(dataDir / "Sentrel.prj",
                        "Docs|Manually|" + (dataDir / "src") + "|" + (dataDir / "dst")
                            + "|Yes||Old|Manually backup|\r\n");
        restart();
        app->Startup("");
        app->bookkeeping().setPower(&power);
        app->bookkeeping().setWriteOut([this](const std::string& destination) { writtenOut.push_back(destination); });
        app->commands().QueueBackup("Docs");
        // The copy lasts several turns of the event loop.
        clock.setTickReadDelay(std::chrono::milliseconds(30));
    }

    test::FakePower power;
    std::vector<std::string> writtenOut;
};

TEST(SleepLock, ARunHoldsOffSleepUntilItEndsOrTheMachineIsAboutToSleep)
{
    Running f;
    int heldDuringRun = 0;
    f.onYield = [&] { heldDuringRun = std::max(heldDuringRun, f.power.held); };
    f.runBackups();
    EXPECT_EQ(f.app->tasks().at(0).Status, "Backup finished.");
    EXPECT_EQ(heldDuringRun, 1);
    EXPECT_EQ(f.power.reasons, std::vector<std::string> { "Backing up Docs" });
    EXPECT_EQ(f.power.held, 0);
    // Nothing running: a sleep has nothing to write out.
    f.app->bookkeeping().beforeSleep();
    EXPECT_TRUE(f.writtenOut.empty());

    // Before a sleep in the middle of a run the destination is written out and
    // the lock let go; after the wake-up the run goes on to its end.
    f.app->commands().QueueBackup("Docs");
    bool slept = false;
    f.onYield = [&] {
        if (!slept && f.power.held == 1) {
            slept = true;
            f.app->bookkeeping().beforeSleep();
            EXPECT_EQ(f.power.held, 0);
        }
    };
    f.runBackups();
    EXPECT_TRUE(slept);
    EXPECT_EQ(f.writtenOut, std::vector<std::string> { f.dataDir / "dst" });
    EXPECT_EQ(f.app->tasks().at(1).Status, "Backup finished.");
    EXPECT_EQ(f.power.held, 0);
}

} // namespace
} // namespace sentrel

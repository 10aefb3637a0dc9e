#include "app/HeadlessRun.h"
#include "app/RunReport.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

RunOutcome Outcome(RunEnd end, int errors = 0, RunFailure failure = RunFailure::None, std::string reason = {},
                   std::string path = {}, bool started = true)
{
    RunOutcome outcome;
    outcome.end = end;
    outcome.errors = errors;
    outcome.failure = failure;
    outcome.reason = std::move(reason);
    outcome.path = std::move(path);
    outcome.started = started;
    return outcome;
}

// Every way a run ends, once, against everything that shows it: the row's
// status (which the bus signal carries too), image, tag and current file,
// the log row, the balloon and its icon, the sound, and --run's exit code.
TEST(RunOutcome, EachEndIsShownEverywhereFromTheOneValue)
{
    struct Case {
        RunOutcome outcome;
        std::string status;
        TaskImage image;
        std::string tag;
        std::string balloon;
        BalloonIcon icon;
        int sounds; // with the sound option off
        RunExit exit;
    };
    const std::string target = "Warning: target backup directory or disk";
    const Case cases[] = {
        { Outcome(RunEnd::Finished), "Backup finished.", TaskImage::Finished, "Finished", "Mail - Backup finished",
          BalloonIcon::Information, 0, RunExit::Clean },
        { Outcome(RunEnd::FinishedWithErrors, 1), "Backup finished with 1 error.", TaskImage::Finished, "Finished",
          "Mail - Backup finished with 1 error", BalloonIcon::Warning, 0, RunExit::WithErrors },
        { Outcome(RunEnd::FinishedWithErrors, 3), "Backup finished with 3 errors.", TaskImage::Finished, "Finished",
          "Mail - Backup finished with 3 errors", BalloonIcon::Warning, 0, RunExit::WithErrors },
        { Outcome(RunEnd::Canceled), "Backup canceled.", TaskImage::Failed, "Finished", "Mail - Backup canceled",
          BalloonIcon::Information, 0, RunExit::Canceled },
        // Before the copy began the row keeps its tag, as a check that failed always did.
        { Outcome(RunEnd::Failed, 0, RunFailure::TargetMissing, {}, "/media/usb", false),
          "Backup failed: target backup directory or disk not found.", TaskImage::Failed, "Backing up...",
          "Mail - Backup failed\r\n" + target + " not found:\r\n/media/usb", BalloonIcon::Error, 1, RunExit::Failed },
        { Outcome(RunEnd::Failed, 0, RunFailure::SourceMissing, {}, "/media/stick", false),
          "Backup failed: source directory not found.", TaskImage::Failed, "Backing up...",
          "Mail - Backup failed\r\nWarning: source directory not found:\r\n/media/stick", BalloonIcon::Error, 1,
          RunExit::Failed },
        { Outcome(RunEnd::Failed, 4, RunFailure::TargetUnwritable, "Input/output error", "/media/usb"),
          "Backup failed: target backup directory or disk can not be written, Input/output error.", TaskImage::Failed,
          "Finished", "Mail - Backup failed\r\n" + target + " can not be written:\r\n/media/usb", BalloonIcon::Error, 1,
          RunExit::Failed },
        { Outcome(RunEnd::Failed, 0, RunFailure::SourceUnreadable, "Input/output error", "/media/stick"),
          "Backup failed: source directory can not be read, Input/output error.", TaskImage::Failed, "Finished",
          "Mail - Backup failed\r\nWarning: source directory can not be read:\r\n/media/stick", BalloonIcon::Error, 1,
          RunExit::Failed },
        { Outcome(RunEnd::Failed, 0, RunFailure::Broken, "out of memory"), "Backup failed: out of memory.",
          TaskImage::Failed, "Finished",
          "Mail - Backup failed\r\nWarning: the backup stopped on an error:\r\nout of memory", BalloonIcon::Error, 1,
          RunExit::Failed },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        test::FakeClock clock;
        TaskList tasks;
        ActivityLog log(clock);
        test::FakeTray tray;
        test::FakeSound sound;
        Options options;
        options.playSound = false;
        Balloons balloons(tray, options);
        const TaskId row = tasks.appendTask(test::Task("Mail", "", "Backing up...", "Backing up..."));
        tasks.setCurrentFile(row, "/src/deep/file");
        RunReport(tasks, log, balloons, sound, options).render(row, "Mail", c.outcome);

        const TodayTask& shown = tasks.at(0);
        EXPECT_EQ(OutcomeStatus(c.outcome), c.status);
        EXPECT_EQ(shown.Status, c.status);
        EXPECT_EQ(shown.Image, c.image);
        EXPECT_EQ(shown.Tag, c.tag);
        EXPECT_EQ(shown.CurrentFile, c.tag == "Finished" ? "" : "/src/deep/file");
        ASSERT_EQ(log.size(), 1u);
        // The log row is the status, without the period of a finished or canceled run.
        EXPECT_EQ(log.at(0).detail,
                  c.outcome.end == RunEnd::Failed ? c.status : c.status.substr(0, c.status.size() - 1));
        ASSERT_EQ(tray.balloons.size(), 1u);
        EXPECT_EQ(tray.balloons[0].text, c.balloon);
        EXPECT_EQ(tray.balloons[0].icon, c.icon);
        EXPECT_EQ(sound.played, c.sounds);
        EXPECT_EQ(ExitForOutcome(c.outcome), c.exit);
    }
}

} // namespace
} // namespace sentrel

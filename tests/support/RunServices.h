#pragma once

#include "app/RunReport.h"
#include "base/TickLoop.h"
#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"

#include <functional>
#include <memory>
#include <optional>

namespace sentrel::test {

// What a backup run reports to and reads from, as fakes, and the run
// itself, turning `onYield` at every turn of its event loop.
struct RunServices {
    // Shared with the run: a copy given up in a system call may still use them.
    std::shared_ptr<FakeClock> clockOwner = std::make_shared<FakeClock>();
    std::shared_ptr<IgnoreList> ignoreOwner = std::make_shared<IgnoreList>();
    FakeClock& clock = *clockOwner;
    IgnoreList& ignoreList = *ignoreOwner;
    FakeTray tray;
    FakeSound sound;
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    Balloons balloons { tray, options };
    ProjectState projectState;
    TickLoop loop;
    std::function<void()> onYield = [] {};
    BackupRun run { BackupRun::Context {
        projects, tasks, log, options, state, ignoreOwner, clockOwner, loop, ".", {}, &projectState } };
    RunReport report { tasks, log, balloons, sound, options };

    // Runs the row to its outcome, which is shown as the program shows it.
    RunOutcome RunTask(TaskId row, const std::string& projectName)
    {
        std::optional<RunOutcome> outcome;
        run.StartBackupTask(row, projectName, [&](const RunOutcome& ended) {
            report.render(row, projectName, ended);
            outcome = ended;
        });
        loop.runUntil([&] { return outcome.has_value(); },
                      [&] {
                          if (!outcome)
                              onYield();
                      });
        return outcome.value_or(RunOutcome {});
    }
};

} // namespace sentrel::test

#pragma once

#include "engine/BackupRun.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/Lasting.h"

#include <functional>

namespace sentrel::test {

// What a backup run reports to and reads from, as fakes, and the run
// itself, turning `onYield` at every turn of its event loop.
struct RunServices {
    // Lasting: a copy given up in a system call may still use them.
    FakeClock& clock = Lasting<FakeClock>();
    IgnoreList& ignoreList = Lasting<IgnoreList>();
    FakeTray tray;
    FakeSound sound;
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log { clock };
    Balloons balloons { tray, options };
    ProjectState projectState;
    std::function<void()> onYield = [] {};
    BackupRun run { BackupRun::Context { projects,
                                         tasks,
                                         log,
                                         balloons,
                                         sound,
                                         options,
                                         state,
                                         ignoreList,
                                         clock,
                                         [this] { onYield(); },
                                         ".",
                                         {},
                                         &projectState } };
};

} // namespace sentrel::test

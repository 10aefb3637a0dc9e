#pragma once

#include "app/App.h"
#include "base/TickLoop.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <memory>

namespace sentrel::test {

// An App over fakes and a temporary data directory, with one journal of the
// calls it makes.
struct AppFixture {
    // Over `loop`, else over a loop of ticks that the test turns.
    explicit AppFixture(EventLoop* loop = nullptr);

    // A fresh App over the same data directory and settings (a new start).
    App& restart();

    // A backup tick, then the event loop turned until the runs it started
    // are over, calling onYield at every turn.
    void runBackups();
    // Turns the event loop until `done` holds, at most `limit`.
    bool turnUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60));
    // Turns it until nothing waits on it: the folder checks answered.
    void settle()
    {
        turnUntil([this] { return loop.idle(); });
    }

    Journal journal;
    TempDir dataDir;
    std::shared_ptr<FakeClock> clockOwner = std::make_shared<FakeClock>();
    FakeClock& clock = *clockOwner;
    TickLoop loop;
    EventLoop& eventLoop;
    FakeSettings settings { &journal };
    FakeAutostart autostart { &journal };
    FakeTray tray { &journal };
    FakeDialogs dialogs { &journal };
    FakeFolderPicker picker { &journal };
    FakeSound sound;
    FakeUrlOpener urls;
    FakeProcess process { &journal };
    FakeView view { &journal };
    FakeMountTable fakeMounts;
    MountTable* mounts = &fakeMounts; // what the next restart follows
    int yields = 0;
    std::function<void()> onYield; // runs at every turn of the event loop
    std::unique_ptr<App> app;
};

} // namespace sentrel::test

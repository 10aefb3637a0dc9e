#pragma once

#include "app/App.h"
#include "support/FakeClock.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <memory>

namespace sentrel::test {

// An App over fakes and a temporary data directory, with one journal of the
// calls it makes.
struct AppFixture {
    AppFixture();

    // A fresh App over the same data directory and settings (a new start).
    App& restart();

    Journal journal;
    TempDir dataDir;
    FakeClock clock;
    FakeSettings settings { &journal };
    FakeAutostart autostart { &journal };
    FakeTray tray { &journal };
    FakeDialogs dialogs { &journal };
    FakeFolderPicker picker { &journal };
    FakeSound sound;
    FakeUrlOpener urls;
    FakeProcess process { &journal };
    FakeView view { &journal };
    int yields = 0;
    std::function<void()> onYield; // runs at every yield of a backup
    std::unique_ptr<App> app;
};

} // namespace sentrel::test

#include "shell/TrayCommands.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(TrayCommands, TheWindowHidesIntoATrayOrIsMinimizedWithoutOneAndNothingReactsWhileEditing)
{
    test::Journal journal;
    AppState state;
    test::FakeTray tray;
    test::FakeView view { &journal };
    TrayCommands commands { state, tray, &view };
    const auto shutdown = [&] { journal.push_back("shutdown"); };

    commands.leftClick();
    commands.leftClick();
    commands.windowMinimized();
    commands.showCommand();
    commands.exitCommand(shutdown);
    commands.closeRequested();
    EXPECT_EQ(journal,
              (test::Journal { "view.restore", "view.hide", "view.hide", "view.restore", "shutdown", "view.hide" }));

    journal.clear();
    tray.available = false;
    commands.windowMinimized(); // the window system has minimized it already
    commands.closeRequested();
    commands.leftClick();
    view.visible = false; // hidden while a tray was there
    commands.trayAvailabilityChanged(false);
    state.EditorOpen = true;
    commands.leftClick();
    commands.showCommand();
    commands.exitCommand(shutdown);
    tray.available = true;
    view.visible = true;
    commands.windowMinimized(); // a hidden window could not come back while editing
    EXPECT_EQ(journal, (test::Journal { "view.minimize", "view.restore", "view.minimize" }));
}

} // namespace
} // namespace sentrel

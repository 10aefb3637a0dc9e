#include "shell/TrayCommands.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

class TrayCommandsTest : public ::testing::Test {
protected:
    test::Journal journal;
    AppState state;
    test::FakeTray tray;
    test::FakeView view { &journal };
    TrayCommands commands { state, tray, &view };
    int shutdowns = 0;
};

TEST_F(TrayCommandsTest, WithATrayTheWindowHidesIntoItAndComesBack)
{
    view.visible = true;
    commands.leftClick();
    commands.leftClick();
    commands.windowMinimized();
    commands.startHidden();
    commands.showCommand();
    commands.exitCommand([&] { ++shutdowns; });
    EXPECT_EQ(journal, (test::Journal { "view.hide", "view.restore", "view.hide", "view.hide", "view.restore" }));
    EXPECT_EQ(shutdowns, 1);
}

TEST_F(TrayCommandsTest, NothingReactsWhileTheEditorIsOpen)
{
    state.EditorOpen = true;
    view.visible = true;
    commands.leftClick();
    view.visible = false;
    commands.leftClick();
    commands.showCommand();
    commands.exitCommand([&] { ++shutdowns; });
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(shutdowns, 0);
}

TEST_F(TrayCommandsTest, WithoutATrayTheWindowIsNeverHidden)
{
    tray.available = false;
    view.visible = true;
    commands.windowMinimized();
    commands.startHidden();
    commands.leftClick();
    EXPECT_EQ(journal, (test::Journal { "view.minimize", "view.minimize" }));

    journal.clear();
    view.visible = false; // hidden while a tray was there
    commands.trayAvailabilityChanged(false);
    EXPECT_EQ(journal, (test::Journal { "view.minimize" }));
}

} // namespace
} // namespace sentrel

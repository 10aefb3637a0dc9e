#include "platform/qt/CanberraSound.h"
#include "platform/qt/DesktopAutostart.h"
#include "platform/qt/LocaleDateParser.h"
#include "platform/qt/QtTray.h"
#include "support/TempDir.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

#include <chrono>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(DesktopAutostart, WritesAnEntryThatStartsTheProgramHiddenAndRemovesIt)
{
    test::TempDir dir;
    DesktopAutostart autostart("/opt/My \"Tools\" $HOME 100%/sentrel", dir / "new/sentrel.desktop", "/data/it's");
    autostart.AddRunEntry();
    // Exec quoting escapes " and $ and doubles %; the string escapes then double every backslash.
    EXPECT_EQ(test::ReadFile(autostart.entryPath()),
              "[Desktop Entry]\nType=Application\nName=Sentrel\nComment=Backs up your folders on a schedule\n"
              "Exec=env \"SENTREL_HOME=/data/it's\" \"/opt/My \\\\\"Tools\\\\\" \\\\$HOME 100%%/sentrel\" /1\n"
              "Icon=sentrel\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    autostart.RemoveRunEntry();
    EXPECT_FALSE(test::Exists(autostart.entryPath()));
    autostart.RemoveRunEntry(); // already gone
}

TEST(LocaleDateParser, ReadsTwoDigitYearsInTheirCentury)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates), c(QLocale::C); // M/d/yy; C has four-digit years
    EXPECT_EQ(ParseShortDate("3/4/26", us), (LocalDateTime { 2026, 3, 4 }));
    EXPECT_EQ(ParseShortDate("1/1/70", us), (LocalDateTime { 1970, 1, 1 }));
    EXPECT_EQ(ParseShortDate(c.toString(QDate(1960, 5, 6), QLocale::ShortFormat).toStdString(), c),
              (LocalDateTime { 1960, 5, 6 }));
}

TEST(QtTray, MenuHasShowThenExitAndOnlyALeftClickCounts)
{
    QtTray tray(QIcon {});
    QSignalSpy left(&tray, &QtTray::leftClicked), show(&tray, &QtTray::showRequested),
        exit(&tray, &QtTray::exitRequested);
    const QList<QAction*> actions = tray.icon()->contextMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text() + actions[1]->text(), "&Show&Exit");

    for (const auto reason : { QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context })
        emit tray.icon()->activated(reason);
    for (QAction* action : actions)
        action->trigger();
    EXPECT_EQ(QList<int>({ int(left.count()), int(show.count()), int(exit.count()) }), QList<int>({ 1, 1, 1 }));
}

TEST(QtTray, ProgramIconHasASixteenPixelRendition)
{
    const QIcon icon = QtTray::ProgramIcon();
    if (icon.isNull())
        GTEST_SKIP() << "icons not embedded in this build";
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
}

TEST(CanberraSound, ReturnsAtOnceWithNoSoundServer)
{
    const auto start = std::chrono::steady_clock::now();
    CanberraSound sound;
    sound.playExclamation();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
} // namespace sentrel

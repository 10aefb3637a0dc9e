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
#include <tuple>

namespace sentrel {
namespace {

TEST(DesktopAutostart, WritesAnEntryThatStartsTheProgramHiddenAndRemovesIt)
{
    test::TempDir dir;
    const std::string path = dir / "autostart/sentrel.desktop";
    test::MakeDirs(dir / "autostart");
    test::WriteFile(path, "[Desktop Entry]\nExec=/old/sentrel /1\nHidden=true\n");
    DesktopAutostart autostart(dir / "bin/sentrel", path, "");

    autostart.AddRunEntry();
    EXPECT_EQ(test::ReadFile(path),
              "[Desktop Entry]\nType=Application\nName=Sentrel\nComment=Backs up your folders on a schedule\n"
              "Exec=\""
                  + dir.path() + "/bin/sentrel\" /1\nIcon=sentrel\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");

    autostart.RemoveRunEntry();
    EXPECT_FALSE(test::Exists(path));
    autostart.RemoveRunEntry(); // already gone
}

TEST(DesktopAutostart, QuotesTheCommandAndKeepsTheDataDirectory)
{
    test::TempDir dir;
    const std::string programDir = dir / "My \"Tools\" $HOME `x` 100% \\ back";
    test::MakeDirs(programDir);
    test::WriteFile(programDir + "/sentrel.svg", "<svg/>");

    DesktopAutostart(programDir + "/sentrel", dir / "new/sentrel.desktop", "/data/it's here").AddRunEntry();

    // Exec quoting escapes " ` $ \ and doubles %; the string escapes then
    // double every backslash.
    const std::string entry = test::ReadFile(dir / "new/sentrel.desktop");
    const std::string quoted = dir.path() + "/My \\\\\"Tools\\\\\" \\\\$HOME \\\\`x\\\\` 100%% \\\\\\\\ back";
    EXPECT_NE(entry.find("\nExec=env \"SENTREL_HOME=/data/it's here\" \"" + quoted + "/sentrel\" /1\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nIcon=" + dir.path() + "/My \"Tools\" $HOME `x` 100% \\\\ back/sentrel.svg\n"),
              std::string::npos)
        << entry;
}

TEST(DesktopAutostart, FindsItsPlaceInTheEnvironment)
{
    test::TempDir dir;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("SENTREL_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path()));
    qputenv("SENTREL_HOME", "/srv/sentrel");
    const DesktopAutostart autostart("/opt/sentrel");
    qputenv("XDG_CONFIG_HOME", oldConfig);
    oldHome.isNull() ? qunsetenv("SENTREL_HOME") : qputenv("SENTREL_HOME", oldHome);

    EXPECT_EQ(autostart.entryPath(), dir / "autostart/sentrel.desktop");
}

TEST(LocaleDateParser, ReadsTwoDigitYearsInTheirCentury)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates); // M/d/yy
    const auto date = ParseShortDate("3/4/26", us);
    ASSERT_TRUE(date);
    EXPECT_EQ(std::make_tuple(date->year, date->month, date->day), std::make_tuple(2026, 3, 4));
    EXPECT_EQ(ParseShortDate("1/1/70", us)->year, 1970);
    EXPECT_EQ(ParseShortDate("07.12.05", QLocale(QLocale::German, QLocale::Germany))->year, 2005);
    EXPECT_FALSE(ParseShortDate("13/1/26", us));

    const QLocale c(QLocale::C); // a four-digit year is left alone
    EXPECT_EQ(ParseShortDate(c.toString(QDate(1960, 5, 6), QLocale::ShortFormat).toStdString(), c)->year, 1960);
}

TEST(QtTray, MenuAndClicks)
{
    QtTray tray(QIcon {});
    QSignalSpy left(&tray, &QtTray::leftClicked);
    QSignalSpy show(&tray, &QtTray::showRequested);
    QSignalSpy exit(&tray, &QtTray::exitRequested);
    const QList<QAction*> actions = tray.icon()->contextMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "&Show");
    EXPECT_EQ(actions[1]->text(), "&Exit");

    for (const auto reason : { QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context })
        emit tray.icon()->activated(reason);
    actions[0]->trigger();
    actions[1]->trigger();
    tray.setMenuEnabled(false);
    actions[0]->trigger();
    actions[1]->trigger();
    EXPECT_EQ(std::make_tuple(left.count(), show.count(), exit.count()), std::make_tuple(1, 1, 1));
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
    CanberraSound sound;
    const auto start = std::chrono::steady_clock::now();
    sound.playExclamation();
    sound.playExclamation();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
} // namespace sentrel

#include "platform/qt/CanberraSound.h"
#include "platform/qt/DesktopAutostart.h"
#include "platform/qt/LocaleDateParser.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtTray.h"
#include "platform/qt/SignalBridge.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>

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

struct SeenBox {
    QString title;
    QString text; // as the box's label shows it
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Notes the next message box once it is open, then presses `button` on it.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton button)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, &seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->deleteLater();
        poll->stop();
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        seen = { box->windowTitle(), label ? label->text() : QString(), label ? label->textFormat() : Qt::AutoText,
                 box->icon() };
        box->button(button)->click();
    });
    poll->start(10);
}

// The event loop turned until the answer came, at most five seconds.
std::optional<bool> Answer(const std::optional<bool>& answer)
{
    QElapsedTimer waited;
    waited.start();
    while (!answer && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return answer;
}

TEST(QtDialogs, ShowTheTextAsPlainTextWithLinesBrokenAndTheirIconWithoutWaitingForTheAnswer)
{
    QtDialogs dialogs;
    SeenBox seen;
    std::optional<bool> answer;
    // The question is open and the call is back: nothing waits for the user.
    dialogs.ask("Do you want to remove the project: <i>Photos</i> &amp; more?", "Confirm",
                [&](bool yes) { answer = yes; });
    EXPECT_FALSE(answer);
    AnswerNextBox(seen, QMessageBox::Yes);
    EXPECT_EQ(Answer(answer), std::optional<bool>(true));
    EXPECT_EQ(seen.text, "Do you want to remove the project: <i>Photos</i> &amp; more?");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.title, "Confirm");
    EXPECT_EQ(seen.icon, QMessageBox::Question);

    answer.reset();
    AnswerNextBox(seen, QMessageBox::No);
    dialogs.ask("<b>x</b>", "Confirm", [&](bool yes) { answer = yes; });
    EXPECT_EQ(Answer(answer), std::optional<bool>(false));

    AnswerNextBox(seen, QMessageBox::Ok);
    dialogs.message("Can not write /data/<b>/Sentrel.prj, Permission denied\r\nsecond line", "Error",
                    MessageIcon::Error);
    std::optional<bool> closed;
    QTimer::singleShot(300, [&] { closed = !QApplication::activeModalWidget(); });
    Answer(closed);
    EXPECT_EQ(seen.text, "Can not write /data/<b>/Sentrel.prj, Permission denied\nsecond line");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

// A hang-up that comes while the program is still starting waits for the
// event loop instead of ending the process unlogged.
TEST(SignalBridge, ASignalCaughtBeforeTheBridgeExistsReachesItsEventLoop)
{
    SignalBridge::CatchSignals();
    ASSERT_EQ(::raise(SIGHUP), 0);
    SignalBridge bridge;
    QSignalSpy ended(&bridge, &SignalBridge::endOfSessionRequested);
    EXPECT_TRUE(ended.wait(2000));
    EXPECT_EQ(ended.count(), 1);
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

#include "app/App.h"
#include "platform/ExecutablePath.h"
#include "platform/SystemClock.h"
#include "platform/qt/CanberraSound.h"
#include "platform/qt/DesktopAutostart.h"
#include "platform/qt/LocaleDateParser.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFolderPicker.h"
#include "platform/qt/QtProcessControl.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtTray.h"
#include "platform/qt/QtUrlOpener.h"
#include "platform/qt/SignalBridge.h"
#include "platform/qt/SingleInstance.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <cstdlib>

using namespace sentrel;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string ResolveDataDir()
{
    DataDirInputs in;
    in.sentrelHome = Env("SENTREL_HOME");
    in.executableDir = ExecutableDir();
    in.executableDirWritable
        = !in.executableDir.empty() && IsWritableDir(in.executableDir) && !IsInstalledProgramDir(in.executableDir);
    in.xdgDataHome = Env("XDG_DATA_HOME");
    in.home = Env("HOME");
    in.workingDir = CurrentDir();
    return ChooseDataDir(in);
}

std::string CommandLine(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i)
        line.append(" ").append(argv[i]);
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    const AppPaths paths = MakeAppPaths(ResolveDataDir());

    // A second start ends here, before it shows, logs or writes anything.
    SingleInstance instance(paths.AppDir);
    if (!instance.acquire())
        return 0;
    MakePath(paths.AppDir);

    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Sentrel"));
    QApplication::setWindowIcon(QtTray::ProgramIcon());

    SystemClock clock;
    QtSettingsStore settings;
    DesktopAutostart autostart(QCoreApplication::applicationFilePath().toStdString());
    QtTray tray;
    QtDialogs dialogs;
    QtFolderPicker picker;
    CanberraSound sound;
    QtUrlOpener urls;
    QtProcessControl process(instance);

    Services services { clock,
                        settings,
                        autostart,
                        tray,
                        dialogs,
                        picker,
                        sound,
                        urls,
                        process,
                        [] { QCoreApplication::processEvents(); },
                        QLocale::system().decimalPoint().toStdString(),
                        WebPages { SENTREL_HOME_PAGE_URL, SENTREL_UPDATE_PAGE_URL },
                        [](std::string_view text) { return ParseShortDate(text); } };
    App app(services, paths);
    FormMain form(app);
    dialogs.setOwner(&form);

    SignalBridge signalBridge;
    QObject::connect(&signalBridge, &SignalBridge::endOfSessionRequested, [&app] { app.Shutdown(); });
    // The session manager's quit at logout.
    QObject::connect(&qapp, &QCoreApplication::aboutToQuit, [&app] { app.Shutdown(); });

    QObject::connect(&tray, &QtTray::leftClicked, [&app] { app.trayCommands().leftClick(); });
    QObject::connect(&tray, &QtTray::showRequested, [&app] { app.trayCommands().showCommand(); });
    // Queued, so the menu is closed before the program ends.
    QObject::connect(
        &tray, &QtTray::exitRequested, &qapp, [&app] { app.trayCommands().exitCommand([&app] { app.Shutdown(); }); },
        Qt::QueuedConnection);
    QObject::connect(&tray, &QtTray::availabilityChanged,
                     [&app](bool available) { app.trayCommands().trayAvailabilityChanged(available); });

    app.Startup(CommandLine(argc, argv));
    return QApplication::exec();
}

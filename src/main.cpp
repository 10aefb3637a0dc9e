#include "app/App.h"
#include "app/HeadlessRun.h"
#include "app/HealthCheck.h"
#include "app/RemoteControl.h"
#include "app/RunReport.h"
#include "platform/ExecutablePath.h"
#include "platform/LinuxMountTable.h"
#include "platform/SystemClock.h"
#include "platform/qt/CanberraSound.h"
#include "platform/qt/DBusControl.h"
#include "platform/qt/DesktopAutostart.h"
#include "platform/qt/LocaleDateParser.h"
#include "platform/qt/LogindPower.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtFolderPicker.h"
#include "platform/qt/QtProcessControl.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtTray.h"
#include "platform/qt/QtUrlOpener.h"
#include "platform/qt/SignalBridge.h"
#include "platform/qt/SingleInstance.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <vector>

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

// Exit codes of the commands that reach the running program.
enum ClientExit : int {
    kClientDone = 0,
    kClientUnknownProject = int(RunExit::UnknownProject),
    kClientRefused = int(RunExit::Refused),
    kClientNotRunning = 6,
    kClientUsage = int(RunExit::Usage),
};

constexpr const char* kHelp = R"(Usage: sentrel [/1]
       sentrel --run NAME
       sentrel --backup-now NAME | --stop-schedule | --start-schedule | --show | --status
       sentrel --health
       sentrel --help

Without options the tray program starts (an argument with a 1 in it starts it
hidden); a second start ends at once.

  --run NAME          back up the project NAME here, without a window or tray,
                      printing the log rows; the rows are added to the day's
                      log file
  --backup-now NAME   queue a run of NAME in the running program, starting it
                      hidden in the tray first if it is not running
  --stop-schedule     stop the running program's schedule
  --start-schedule    start it again
  --show              show the running program's window
  --status            print today's tasks of the running program, one a line:
                      project, start time and status, separated by tabs
  --health            print each timed project, one a line: project, the end
                      of its last good backup (or never), and ok, overdue or
                      failed, separated by tabs; works without the tray program
  --help              show this text

Exit codes:
  0   done; for --run a clean backup; for --health every project is ok
  1   --run: the backup finished with errors; --health: a project is overdue
      or failed
  2   --run: the backup failed; --health: the data files can not be read
  3   --run: the backup was canceled (SIGINT or SIGTERM)
  4   there is no project of that name
  5   refused: --run of a project the tray program is running, or a command
      the running program refuses (the schedule is already stopped or
      running, a project is being edited)
  6   the tray program is not running
  64  wrong use of the command line
)";

volatile std::sig_atomic_t interruptSeen = 0;

void NoteInterrupt(int)
{
    interruptSeen = 1;
}

int Fail(int code, const std::string& text)
{
    std::fprintf(stderr, "sentrel: %s\n", text.c_str());
    return code;
}

int ClientExitFor(const ControlCall& call)
{
    if (!call.reached)
        return Fail(kClientNotRunning, "Sentrel is not running");
    if (call.error.empty())
        return kClientDone;
    if (call.error.ends_with(".UnknownProject"))
        return Fail(kClientUnknownProject, call.message);
    return Fail(kClientRefused, call.message.empty() ? call.error : call.message);
}

int RunHeadless(const AppPaths& paths, const std::string& name)
{
    // The tray program may be at the same project: two copies into one
    // destination would trip over each other.
    if (ControlServiceRunning()) {
        for (const std::string& running : CallControl("Running").lines)
            if (running == name)
                return Fail(int(RunExit::Refused), "the project " + name + " is being backed up by Sentrel now");
    }
    struct sigaction action { };
    action.sa_handler = NoteInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const bool terminal = ::isatty(STDOUT_FILENO);
    bool progressOpen = false;
    HeadlessIo io;
    io.line = [&](std::string_view text) {
        if (progressOpen)
            std::fputs("\r\033[K", stdout);
        progressOpen = false;
        std::printf("%.*s\n", int(text.size()), text.data());
        std::fflush(stdout);
    };
    if (terminal)
        io.progress = [&](std::string_view text) {
            std::printf("\r\033[K%.*s", int(text.size()), text.data());
            std::fflush(stdout);
            progressOpen = true;
        };
    io.interrupted = [] { return interruptSeen != 0; };
    MakePath(paths.AppDir);
    // The tray program's options: kept versions and their pruning alike.
    QtSettingsStore settings;
    const RunExit code = HeadlessRun(paths, name, std::make_shared<SystemClock>(), ReadOptions(settings), io);
    if (progressOpen)
        std::fputs("\r\033[K", stdout);
    if (code == RunExit::UnknownProject)
        return Fail(int(code), "there is no project named " + name);
    return int(code);
}

int PrintHealth(const AppPaths& paths)
{
    const HealthCheck check = CheckHealth(paths, SystemClock().now());
    for (const std::string& error : check.errors)
        std::fprintf(stderr, "sentrel: %s\n", error.c_str());
    for (const std::string& line : check.lines)
        std::printf("%s\n", line.c_str());
    return int(check.exit);
}

// Starts the tray program hidden and waits for it on the bus.
bool StartHidden()
{
    // Away from the caller's terminal or pipes, which it would hold open.
    QProcess tray;
    tray.setProgram(QCoreApplication::applicationFilePath());
    tray.setArguments({ QStringLiteral("/1") });
    tray.setStandardInputFile(QProcess::nullDevice());
    tray.setStandardOutputFile(QProcess::nullDevice());
    tray.setStandardErrorFile(QProcess::nullDevice());
    if (!tray.startDetached())
        return false;
    for (int waited = 0; waited < 100; ++waited) {
        if (ControlServiceRunning())
            return true;
        QThread::msleep(100);
    }
    return false;
}

// Options that reach the running program or run without it; nullopt for a
// command line the tray program takes as today.
std::optional<int> RunOptions(int argc, char** argv, const AppPaths& paths)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return std::nullopt;
    const std::string& option = args[0];
    const bool takesName = option == "--run" || option == "--backup-now";
    const bool plain = option == "--stop-schedule" || option == "--start-schedule" || option == "--show"
        || option == "--status" || option == "--health" || option == "--help" || option == "-h";
    if (!takesName && !plain)
        return std::nullopt;
    if (option == "--help" || option == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() != (takesName ? 2u : 1u))
        return Fail(kClientUsage, "wrong use of " + option + "; see sentrel --help");
    if (option == "--health")
        return PrintHealth(paths);

    QCoreApplication qapp(argc, argv);
    if (option == "--run")
        return RunHeadless(paths, args[1]);
    if (option == "--backup-now") {
        if (!ControlServiceRunning() && !StartHidden())
            return Fail(kClientNotRunning, "Sentrel could not be started");
        return ClientExitFor(CallControl("BackupNow", args[1]));
    }
    const std::string method = option == "--stop-schedule" ? "StopSchedule"
        : option == "--start-schedule"                     ? "StartSchedule"
        : option == "--show"                               ? "Show"
                                                           : "Status";
    const ControlCall call = CallControl(method);
    const int code = ClientExitFor(call);
    if (code == kClientDone && method == "Status")
        for (const TaskStatus& row : call.rows)
            std::printf("%s\t%s\t%s\n", row.name.c_str(), row.start.c_str(), row.status.c_str());
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const AppPaths paths = MakeAppPaths(ResolveDataDir());
    if (const std::optional<int> code = RunOptions(argc, argv, paths))
        return *code;

    // A second start ends here, before it shows, logs or writes anything.
    SingleInstance instance(paths.AppDir);
    if (!instance.acquire())
        return 0;
    SignalBridge::CatchSignals();
    MakePath(paths.AppDir);

    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Sentrel"));
    QApplication::setWindowIcon(QtTray::ProgramIcon());

    QtSettingsStore settings;
    QtEventLoop loop;
    DesktopAutostart autostart(QCoreApplication::applicationFilePath().toStdString());
    QtTray tray;
    QtDialogs dialogs;
    QtFolderPicker picker;
    CanberraSound sound;
    QtUrlOpener urls;
    QtProcessControl process(instance);
    LinuxMountTable mounts(loop);

    Services services { std::make_shared<SystemClock>(),
                        settings,
                        autostart,
                        tray,
                        dialogs,
                        picker,
                        sound,
                        urls,
                        process,
                        loop,
                        QLocale::system().decimalPoint().toStdString(),
                        WebPages { SENTREL_HOME_PAGE_URL, SENTREL_UPDATE_PAGE_URL },
                        [](std::string_view text) { return ParseShortDate(text); },
                        &mounts };
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

    // Scripts reach the same commands as the window; without a session bus
    // the program runs as before.
    RemoteControl remote(app);
    DBusControl control(remote);
    control.publish();
    app.bookkeeping().setOnRunEnded([&app, &control](TaskId row, const std::string& name, const RunOutcome& outcome) {
        const auto at = app.tasks().indexOf(row);
        control.taskFinished({ name, at ? app.tasks().at(*at).StartTime : std::string(), OutcomeStatus(outcome) });
    });

    // A run holds off sleep until what it copied is written out; the wake-up
    // catches up missed runs (the main timer also sees it from the clock).
    LogindPower power;
    app.bookkeeping().setPower(&power);
    power.beforeSleep = [&app] { app.bookkeeping().beforeSleep(); };
    power.afterWake = [&app] { app.WakeUp(); };

    app.Startup(CommandLine(argc, argv));
    return QApplication::exec();
}

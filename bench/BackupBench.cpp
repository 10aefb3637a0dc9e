// Times backups against cp -a and rsync -a on generated trees: the whole
// program (window shown, event loop turned, as the scheduler runs a
// project) and the engine alone; and how the program scales.

#include "BenchUtil.h"
#include "ProgramHarness.h"
#include "app/RunReport.h"
#include "base/TickLoop.h"
#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "platform/NullServices.h"
#include "platform/SystemClock.h"
#include "scheduler/TodayTasks.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace sentrel;
using namespace sentrel::bench;

namespace {

// The local time stands where it is set; the tick is the system's.
class SettableClock final : public Clock {
public:
    LocalDateTime now() const override { return now_; }
    std::int64_t tickMs() const override { return system_.tickMs(); }
    void set(LocalDateTime t) { now_ = t; }

private:
    LocalDateTime now_;
    SystemClock system_;
};

struct Options_ {
    std::string base = "bench/out";
    std::string exfat; // a mounted exFAT folder for the "exfat" workload
    int reps = 3;
};
Options_ g_options;

// The engine alone: a run over the task list with no window and an event
// loop turn that does nothing.
double RunEngine(const std::string& source, const std::string& destination, const char* overwrite,
                 bool keepVersions = false)
{
    const auto clock = std::make_shared<SystemClock>();
    NullTray tray;
    NullSound sound;
    Options options;
    options.keepVersions = keepVersions;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log(*clock);
    Balloons balloons(tray, options);
    const auto ignoreList = std::make_shared<IgnoreList>();
    const std::string ignoreFile = g_options.base + "/engine-ignore.ini";
    std::ofstream(ignoreFile) << "*.tmp\r\nThumbs.db\r\n";
    ignoreList->LoadIgnoreList(ignoreFile);
    state.ScheduleRunning = true;

    ProjectRecord project;
    project.ProjectName = "Bench";
    project.ScheduleType = "Manually";
    project.Source = source;
    project.Destination = destination;
    project.IncludeSubdir = "Yes";
    project.OverwriteOption = overwrite;
    projects.append(ProjectRow { project });
    TodayTask task;
    task.ProjectName = "Bench";
    task.StartTime = std::string(kStartupTime);
    const TaskId row = tasks.appendTask(task);
    TickLoop loop;
    BackupRun run(BackupRun::Context { projects, tasks, log, options, state, ignoreList, clock, loop, "." });
    RunReport report(tasks, log, balloons, sound, options);

    Settle();
    const double start = Now();
    bool over = false;
    run.StartBackupTask(row, "Bench", [&](const RunOutcome& outcome) {
        report.render(row, "Bench", outcome);
        over = true;
    });
    loop.runUntil([&] { return over; });
    const double seconds = Now() - start;
    std::size_t failures = 0;
    for (const LogRow& entry : log.rows()) {
        if (entry.detail.starts_with("Can not create") && ++failures <= 3)
            std::fprintf(stderr, "  %s\n", entry.detail.c_str());
    }
    if (tasks.at(0).Status != "Backup finished.")
        std::fprintf(stderr, "  run ended: %s\n", tasks.at(0).Status.c_str());
    return seconds;
}

// The run ends by writing the backup to disk; cp -a leaves that to later.
double TimeSync()
{
    const double start = Now();
    Settle();
    return Now() - start;
}

void Fresh(const std::string& directory)
{
    Remove(directory);
    std::filesystem::create_directories(directory);
}

// The longest stall of the program runs, and where in its run it ended.
struct Stalls {
    Figures ms;
    Figures windowCpu; // share of the run's time
    double endedAt = 0;
    double ofSeconds = 0;
    void add(const ProgramRun& run)
    {
        if (run.longestStallMs > ms.max())
            endedAt = run.stallEndsAt, ofSeconds = run.seconds;
        ms.add(run.longestStallMs);
        windowCpu.add(run.windowCpuSeconds / run.seconds);
    }
};

void PrintStall(const Stalls& stalls)
{
    std::printf(
        "  longest event-loop stall in the program runs: %.1f ms (limit 50) %s, ended %.2f s into a %.2f s run\n",
        stalls.ms.max(), stalls.ms.max() < 50 ? "ok" : "OVER", stalls.endedAt, stalls.ofSeconds);
    std::printf("  the window's thread was busy for %.0f%% of a run (median)\n", stalls.windowCpu.median() * 100);
}

void SmallFiles(int files)
{
    const std::string& base = g_options.base;
    const std::string source = base + "/small-src";
    const std::string cp = base + "/small-cp", engine = base + "/small-engine", program = base + "/small-program";
    if (!std::filesystem::exists(source))
        MakeSmallTree(source, files);
    WarmUp(source);

    SystemClock clock;
    ProgramHarness harness(clock);
    Figures cpFull, cpSynced, engineFull, programFull, rsyncSame, engineSame, programSame;
    Stalls stalls;
    // Who goes first changes from run to run: on a shared disk the journal
    // may still be busy with what came before.
    const auto inTurn = [](int rep, const std::vector<std::function<void()>>& contenders) {
        for (std::size_t i = 0; i < contenders.size(); ++i)
            contenders[(i + std::size_t(rep)) % contenders.size()]();
    };
    for (int rep = 0; rep < g_options.reps; ++rep) {
        Remove(cp);
        Fresh(engine);
        Fresh(program);
        Settle();
        inTurn(rep,
               { [&] {
                    cpFull.add(TimeRun({ "cp", "-a", source, cp }));
                    cpSynced.add(cpFull.values.back() + TimeSync());
                },
                 [&] { engineFull.add(RunEngine(source, engine, "Old")); },
                 [&] {
                     const ProgramRun run = harness.backup(source, program, "Old");
                     programFull.add(run.seconds);
                     stalls.add(run);
                 } });
        // cp -a keeps sizes and times, so rsync finds nothing to do.
        inTurn(rep,
               { [&] {
                    rsyncSame.add(TimeRun({ "rsync", "-a", source + "/", cp + "/" }));
                },
                 [&] { engineSame.add(RunEngine(source, engine, "Old")); },
                 [&] {
                     const ProgramRun run = harness.backup(source, program, "Old");
                     programSame.add(run.seconds);
                     stalls.add(run);
                 } });
    }
    std::printf("small files: %d files of 1-16 KiB in %d directories, median of %d\n", files, files / 50,
                g_options.reps);
    Report("  full backup", programFull, &engineFull, "cp -a", cpFull, 1.0);
    Report("  full backup", programFull, &engineFull, "cp;sync", cpSynced, 1.0);
    Report("  no-change re-run (Old)", programSame, &engineSame, "rsync -a", rsyncSame, 0.7);
    PrintStall(stalls);
    for (const std::string& dir : { cp, engine, program })
        Remove(dir);
}

void LargeFiles()
{
    const std::string& base = g_options.base;
    const std::string source = base + "/large-src";
    const std::string out = base + "/large-out";
    if (!std::filesystem::exists(source))
        MakeLargeFiles(source, 8, 256);
    WarmUp(source);
    SystemClock clock;
    ProgramHarness harness(clock);
    Figures cp, cpSynced, engine, program;
    Stalls stalls;
    // Each copy is removed at once: 2 GiB more in the page cache would make
    // whoever comes next pay for reclaiming it.
    const std::vector<std::function<void()>> contenders {
        [&] {
            cp.add(TimeRun({ "cp", "-a", source, out }));
            cpSynced.add(cp.values.back() + TimeSync());
        },
        [&] {
            std::filesystem::create_directories(out);
            engine.add(RunEngine(source, out, "Old"));
        },
        [&] {
            std::filesystem::create_directories(out);
            const ProgramRun run = harness.backup(source, out, "Old");
            program.add(run.seconds);
            stalls.add(run);
        },
    };
    for (int rep = 0; rep < g_options.reps; ++rep) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            Remove(out);
            contenders[(i + std::size_t(rep)) % contenders.size()]();
            Remove(out);
        }
    }
    std::printf("large files: 8 files of 256 MiB, median of %d\n", g_options.reps);
    Report("  full backup", program, &engine, "cp -a", cp, 1.1);
    Report("  full backup", program, &engine, "cp;sync", cpSynced, 1.1);
    PrintStall(stalls);
}

void Responsiveness()
{
    const std::string& base = g_options.base;
    const std::string source = base + "/huge-src";
    const std::string out = base + "/huge-out";
    if (!std::filesystem::exists(source))
        MakeLargeFiles(source, 1, 2048);
    WarmUp(source);
    SystemClock clock;
    ProgramHarness harness(clock);
    Fresh(out);
    const ProgramRun run = harness.backup(source, out, "Old");
    std::printf("one 2 GiB file: program %.3f s\n", run.seconds);
    Stalls stalls;
    stalls.add(run);
    PrintStall(stalls);
    Remove(out);
}

struct ChildRun {
    ProgramRun run;
    double peakMiB = 0;
};

// One program run in a process of its own, under /usr/bin/time -v for its
// peak resident memory.
ChildRun RunProgramChild(const std::string& source, const std::string& destination)
{
    const std::string report = g_options.base + "/child-time.txt";
    const std::string output = g_options.base + "/child-out.txt";
    std::vector<std::string> argv { "/usr/bin/time", "-v", "-o", report, "/proc/self/exe", "--dir", g_options.base };
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0)
        argv[4] = std::string(self, std::size_t(n));
    for (const std::string& arg : { std::string("--program-run"), source, destination })
        argv.push_back(arg);
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Settle();
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(1);
    }
    ::posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "program run failed\n");
        std::exit(1);
    }

    ChildRun child;
    std::ifstream(output) >> child.run.seconds >> child.run.longestStallMs >> child.run.failures
        >> child.run.stallEndsAt >> child.run.windowCpuSeconds;
    std::ifstream times(report);
    for (std::string line; std::getline(times, line);) {
        const std::string key = "Maximum resident set size (kbytes): ";
        if (const auto at = line.find(key); at != std::string::npos)
            child.peakMiB = std::stod(line.substr(at + key.size())) / 1024;
    }
    Remove(report);
    Remove(output);
    return child;
}

void Scale(int files)
{
    const std::string& base = g_options.base;
    const std::string source = base + "/scale-src";
    const std::string cp = base + "/scale-cp", program = base + "/scale-program";
    if (!std::filesystem::exists(source))
        MakeSmallTree(source, files);
    WarmUp(source);
    Figures cpFull, cpSynced, programFull, rsyncSame, programSame, peak;
    Stalls stalls;
    for (int rep = 0; rep < g_options.reps; ++rep) {
        Remove(cp);
        Fresh(program);
        cpFull.add(TimeRun({ "cp", "-a", source, cp }));
        cpSynced.add(cpFull.values.back() + TimeSync());
        ChildRun child = RunProgramChild(source, program);
        programFull.add(child.run.seconds);
        stalls.add(child.run);
        peak.add(child.peakMiB);
        rsyncSame.add(TimeRun({ "rsync", "-a", source + "/", cp + "/" }));
        child = RunProgramChild(source, program);
        programSame.add(child.run.seconds);
        stalls.add(child.run);
        peak.add(child.peakMiB);
    }
    std::printf("scale: %d files of 1-16 KiB in %d directories, program in a process of its own, median of %d\n", files,
                files / 50, g_options.reps);
    Report("  full backup", programFull, nullptr, "cp -a", cpFull, 1.0);
    Report("  full backup", programFull, nullptr, "cp;sync", cpSynced, 1.0);
    Report("  no-change re-run (Old)", programSame, nullptr, "rsync -a", rsyncSame, 0.7);
    PrintStall(stalls);
    std::printf("  peak resident memory of the program: %.1f MiB (limit 150) %s\n", peak.max(),
                peak.max() < 150 ? "ok" : "OVER");
    Remove(cp);
    Remove(program);
}

template <class Fn> double Ms(Fn&& fn)
{
    const double start = Now();
    fn();
    return (Now() - start) * 1000;
}

// 50 "Minutely" projects of interval 1, rebuilt by the first tick of a new
// date, and the ticks of the timers over the list that gives.
void ManyTasks()
{
    SettableClock clock;
    clock.set({ 2026, 12, 7, 23, 59, 59 });
    ProgramHarness harness(clock);
    App& app = harness.app();
    for (int i = 1; i <= 50; ++i) {
        ProjectRecord project;
        project.ProjectName = "Minutely " + std::to_string(i);
        project.ScheduleType = "Minutely";
        project.IncludeSubdir = "Yes";
        project.OverwriteOption = "Old";
        project.Tag = "1";
        app.projects().append(ProjectRow { project });
    }

    clock.set({ 2026, 12, 8, 0, 0, 0 });
    const double rolloverMs = Ms([&] { app.scheduler().TimerMain(); });
    const double shownMs = Ms([&] {
        QCoreApplication::processEvents();
        harness.form().taskView()->scrollToBottom();
        QCoreApplication::processEvents();
    });
    const std::size_t rows = app.tasks().size();

    Figures main, backup, current;
    for (int second = 1; second <= 9; ++second) {
        clock.set({ 2026, 12, 8, 0, 0, 30 + second });
        main.add(Ms([&] { app.scheduler().TimerMain(); }));
        backup.add(Ms([&] { app.scheduler().TimerBackup(); }));
        current.add(Ms([&] { app.scheduler().TimerCurrent(); }));
        QCoreApplication::processEvents();
    }
    // The second in which every project's first row comes due.
    clock.set({ 2026, 12, 8, 0, 1, 0 });
    const double queueMs = Ms([&] { app.scheduler().TimerMain(); });
    std::size_t queued = 0;
    for (const TodayTask& task : app.tasks().rows())
        queued += task.Tag == kTagNeedStart;

    std::printf("task list: 50 \"Minutely\" projects of interval 1, %zu rows built at 00:00:00 by the new date\n",
                rows);
    std::printf("  new-date tick %.1f ms, shown and scrolled to the end %.1f ms\n", rolloverMs, shownMs);
    const auto line = [](const char* what, const Figures& f) {
        std::printf("  %-28s median %.3f ms, max %.3f ms (limit 10) %s\n", what, f.median(), f.max(),
                    f.max() < 10 ? "ok" : "OVER");
    };
    line("TimerMain tick", main);
    line("TimerBackup tick", backup);
    line("TimerCurrent tick", current);
    std::printf("  TimerMain tick queuing %zu rows: %.3f ms\n", queued, queueMs);
}

// The log at a million rows: one more row, shown at the end of the view.
void BigLog()
{
    SystemClock clock;
    ProgramHarness harness(clock);
    App& app = harness.app();
    harness.form().tabs()->setCurrentIndex(2);
    QAbstractItemView* view = harness.form().logView();
    const double fillMs = Ms([&] {
        while (app.log().size() < 1'000'000)
            app.log().AddLog("Docs", "Can not create /backup/Docs/file.txt, No space left on device");
        QCoreApplication::processEvents();
        view->scrollToBottom();
        QCoreApplication::processEvents();
    });
    Figures next;
    for (int i = 0; i < 9; ++i) {
        next.add(Ms([&] {
            app.log().AddLog("Docs", "Backup finished");
            QCoreApplication::processEvents();
            view->scrollToBottom();
            view->viewport()->repaint();
        }));
    }
    std::printf("log: %zu rows (filled and shown in %.0f ms)\n", app.log().size(), fillMs);
    std::printf("  one more row, scrolled to and drawn: median %.1f ms, max %.1f ms (limit 50) %s\n", next.median(),
                next.max(), next.max() < 50 ? "ok" : "OVER");
}

// A no-change re-run onto an exFAT stick: the program against rsync, which
// needs --modify-window there.
void ExfatRerun(int files)
{
    if (g_options.exfat.empty()) {
        std::fprintf(stderr, "exfat: give the mounted exFAT folder with --exfat DIR (bench/exfat.sh does)\n");
        return;
    }
    const std::string source = g_options.base + "/exfat-src";
    const std::string program = g_options.exfat + "/program", rsync = g_options.exfat + "/rsync";
    if (!std::filesystem::exists(source))
        MakePlainTree(source, files);
    WarmUp(source);
    SystemClock clock;
    ProgramHarness harness(clock);
    const std::vector<std::string> rsyncArgs { "rsync", "-a", "--modify-window=1", source + "/", rsync + "/" };
    Remove(program);
    Remove(rsync);
    Figures programFull, rsyncFull, programSame, rsyncSame;
    programFull.add(harness.backup(source, program, "Old").seconds);
    rsyncFull.add(TimeRun(rsyncArgs));
    std::size_t copiedAgain = 0;
    for (int rep = 0; rep < g_options.reps; ++rep) {
        const ProgramRun run = harness.backup(source, program, "Old");
        programSame.add(run.seconds);
        copiedAgain += run.failures;
        rsyncSame.add(TimeRun(rsyncArgs));
    }
    std::printf("exFAT: %d files of 1-16 KiB in %d directories, median of %d\n", files, files / 100, g_options.reps);
    Report("  first backup", programFull, nullptr, "rsync", rsyncFull, 1.0);
    Report("  no-change re-run (Old)", programSame, nullptr, "rsync", rsyncSame, 1.0);
    std::printf("  files the re-runs reported as failed: %zu\n", copiedAgain);
    Remove(program);
    Remove(rsync);
}

// The child of RunProgramChild: one run, its figures on standard output.
int ProgramRunChild(const std::string& source, const std::string& destination)
{
    SystemClock clock;
    ProgramHarness harness(clock);
    const ProgramRun run = harness.backup(source, destination, "Old");
    std::printf("%.6f %.3f %zu %.3f %.6f\n", run.seconds, run.longestStallMs, run.failures, run.stallEndsAt,
                run.windowCpuSeconds);
    return 0;
}

// Every 20th file of the tree gets a byte more and a time `seconds` ahead,
// so an overwrite-older run replaces it.
int ChangeFiles(const std::string& root, int seconds)
{
    int changed = 0, seen = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || seen++ % 20 != 0)
            continue;
        std::ofstream(entry.path(), std::ios::app) << 'x';
        const timespec times[2] = { { ::time(nullptr) + seconds, 0 }, { ::time(nullptr) + seconds, 0 } };
        ::utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
        ++changed;
    }
    return changed;
}

// Keeping replaced files: the cost of the option on a full backup and a
// no-change re-run, and a run that replaces 1,000 of 20,000 files against
// rsync keeping the old ones in a backup folder of its own.
void KeptVersions(int files)
{
    const std::string& base = g_options.base;
    const std::string source = base + "/versions-src";
    const std::string off = base + "/versions-off", on = base + "/versions-on", rsync = base + "/versions-rsync";
    const std::string programOff = base + "/versions-program-off", programOn = base + "/versions-program-on";
    Remove(source);
    MakePlainTree(source, files);
    WarmUp(source);
    SystemClock clock;
    ProgramHarness harness(clock);
    const auto program = [&](const std::string& destination, bool keep) {
        harness.app().options().keepVersions = keep;
        return harness.backup(source, destination, "Old").seconds;
    };
    Figures offFull, onFull, offSame, onSame, offChanged, onChanged, rsyncChanged;
    Figures programOffFull, programOnFull, programOffSame, programOnSame, programOffChanged, programOnChanged;
    int changed = 0;
    for (int rep = 0; rep < g_options.reps; ++rep) {
        for (const std::string& dir : { off, on, rsync, programOff, programOn })
            Fresh(dir);
        offFull.add(RunEngine(source, off, "Old"));
        onFull.add(RunEngine(source, on, "Old", true));
        programOffFull.add(program(programOff, false));
        programOnFull.add(program(programOn, true));
        Run({ "rsync", "-a", source + "/", rsync + "/" });
        offSame.add(RunEngine(source, off, "Old"));
        onSame.add(RunEngine(source, on, "Old", true));
        programOffSame.add(program(programOff, false));
        programOnSame.add(program(programOn, true));
        changed = ChangeFiles(source, 10 * (rep + 1));
        WarmUp(source);
        offChanged.add(RunEngine(source, off, "Old"));
        onChanged.add(RunEngine(source, on, "Old", true));
        programOffChanged.add(program(programOff, false));
        programOnChanged.add(program(programOn, true));
        rsyncChanged.add(TimeRun(
            { "rsync", "-a", "--backup", "--backup-dir=" + rsync + "/.rsync-versions", source + "/", rsync + "/" }));
    }
    std::printf("kept versions: %d files, median of %d\n", files, g_options.reps);
    std::printf("  full backup            program off %.3f s   on %.3f s   (engine alone off %.3f s   on %.3f s)\n",
                programOffFull.median(), programOnFull.median(), offFull.median(), onFull.median());
    std::printf("  no-change re-run       program off %.3f s   on %.3f s   (engine alone off %.3f s   on %.3f s)\n",
                programOffSame.median(), programOnSame.median(), offSame.median(), onSame.median());
    std::printf("  %d files replaced    program off %.3f s   on %.3f s   (engine alone off %.3f s   on %.3f s)\n"
                "                         rsync -a --backup --backup-dir %.3f s   program on / rsync %.2f\n",
                changed, programOffChanged.median(), programOnChanged.median(), offChanged.median(), onChanged.median(),
                rsyncChanged.median(), programOnChanged.median() / rsyncChanged.median());
    for (const std::string& dir : { source, off, on, rsync, programOff, programOn })
        Remove(dir);
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: sentrel_bench [--dir DIR] [--reps N] "
                 "[--exfat DIR] [small] [large] [responsive] [scale] [tasks] [log] [exfat] [versions] [all]\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display the window is drawn offscreen, as in the tests.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication qapp(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> workloads;
    std::vector<std::string> childArgs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc)
            g_options.base = argv[++i];
        else if (arg == "--exfat" && i + 1 < argc)
            g_options.exfat = argv[++i];
        else if (arg == "--reps" && i + 1 < argc)
            g_options.reps = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--program-run" && i + 2 < argc)
            childArgs = { argv[i + 1], argv[i + 2] }, i += 2;
        else if (arg.starts_with("-"))
            return Usage(), 2;
        else
            workloads.push_back(arg);
    }
    std::filesystem::create_directories(g_options.base);
    g_options.base = std::filesystem::canonical(g_options.base).string();
    if (!childArgs.empty())
        return ProgramRunChild(childArgs[0], childArgs[1]);

    if (workloads.empty())
        workloads = { "small", "large", "responsive", "tasks", "log" };
    if (workloads == std::vector<std::string> { "all" })
        workloads = { "small", "large", "responsive", "tasks", "log", "scale" };
    for (const std::string& workload : workloads) {
        if (workload == "small")
            SmallFiles(20'000);
        else if (workload == "large")
            LargeFiles();
        else if (workload == "responsive")
            Responsiveness();
        else if (workload == "scale")
            Scale(200'000);
        else if (workload == "tasks")
            ManyTasks();
        else if (workload == "log")
            BigLog();
        else if (workload == "exfat")
            ExfatRerun(5'000);
        else if (workload == "versions")
            KeptVersions(20'000);
        else
            Usage();
        std::fflush(stdout);
    }
}

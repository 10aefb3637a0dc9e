// Times a whole backup run (counting pass and copy, as the scheduler runs
// it) against cp -a and rsync -a on generated trees.

#include "engine/BackupRun.h"
#include "engine/IgnoreList.h"
#include "platform/SystemClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace sentrel;

namespace {

using Seconds = std::chrono::duration<double>;
using Steady = std::chrono::steady_clock;

class NullTray final : public Tray {
public:
    void addIcon() override { }
    void deleteIcon() override { }
    bool isAvailable() const override { return false; }
    void showBalloon(std::string_view, std::string_view, BalloonIcon) override { }
};

class NullSound final : public Sound {
public:
    void playExclamation() override { }
};

std::uint64_t g_random = 0x9E3779B97F4A7C15ull;
std::uint64_t NextRandom()
{
    g_random ^= g_random << 13;
    g_random ^= g_random >> 7;
    g_random ^= g_random << 17;
    return g_random;
}

void Fill(std::vector<char>& buffer)
{
    for (std::size_t i = 0; i + 8 <= buffer.size(); i += 8) {
        const std::uint64_t r = NextRandom();
        std::memcpy(buffer.data() + i, &r, 8);
    }
}

void WriteRandomFile(const std::string& path, std::size_t bytes, std::vector<char>& buffer)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    while (bytes > 0) {
        Fill(buffer);
        const std::size_t n = std::min(bytes, buffer.size());
        if (::write(fd, buffer.data(), n) != ssize_t(n)) {
            std::perror(path.c_str());
            std::exit(1);
        }
        bytes -= n;
    }
    ::close(fd);
}

// 20 directories of 19 subdirectories each: 400 directories, 50 files in
// each, 1 to 16 KiB, some names with spaces and bytes that are not UTF-8.
void MakeSmallTree(const std::string& root)
{
    std::filesystem::create_directories(root);
    std::vector<char> buffer(16 << 10);
    int files = 0;
    const auto fillDir = [&](const std::string& dir) {
        for (int i = 0; i < 50; ++i, ++files) {
            std::string name = "file " + std::to_string(files);
            if (files % 7 == 0)
                name += " caf\xe9 \xff";
            WriteRandomFile(dir + "/" + name + ".dat", 1024 + NextRandom() % (15 * 1024 + 1), buffer);
        }
    };
    for (int top = 0; top < 20; ++top) {
        const std::string dir = root + "/dir " + std::to_string(top) + (top % 3 == 0 ? " \xfe" : "");
        std::filesystem::create_directories(dir);
        fillDir(dir);
        for (int sub = 0; sub < 19; ++sub) {
            const std::string subdir = dir + "/sub " + std::to_string(sub);
            std::filesystem::create_directories(subdir);
            fillDir(subdir);
        }
    }
}

void MakeLargeFiles(const std::string& root, int count, std::size_t mib)
{
    std::filesystem::create_directories(root);
    std::vector<char> buffer(4 << 20);
    for (int i = 0; i < count; ++i)
        WriteRandomFile(root + "/large " + std::to_string(i) + ".bin", mib << 20, buffer);
}

void Run(std::vector<std::string> argv)
{
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0]);
        std::exit(1);
    }
}

// Reads every file once, so all contenders start from a warm cache.
void WarmUp(const std::string& root)
{
    std::vector<char> buffer(1 << 20);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) { }
        ::close(fd);
    }
}

void Remove(const std::string& path)
{
    std::filesystem::remove_all(path);
}

// Dirty pages of one contender must not slow the next one down.
void Settle()
{
    ::sync();
}

template <class Fn> double Time(Fn&& fn)
{
    Settle();
    const auto start = Steady::now();
    fn();
    return Seconds(Steady::now() - start).count();
}

struct EngineRun {
    double seconds = 0;
    std::size_t failures = 0;
    double longestGapMs = 0;
    std::size_t yields = 0;
};

// A run as the scheduler makes it, through the task row.
EngineRun RunEngine(const std::string& source, const std::string& destination, const char* overwrite, bool recordYields)
{
    SystemClock clock;
    NullTray tray;
    NullSound sound;
    Options options;
    AppState state;
    ProjectTable projects;
    TaskList tasks;
    ActivityLog log(clock);
    Balloons balloons(tray, options);
    IgnoreList ignoreList;
    char ignoreFile[] = "/tmp/sentrel-bench-ignore-XXXXXX";
    const int fd = ::mkstemp(ignoreFile);
    const char entries[] = "*.tmp\r\nThumbs.db\r\n";
    if (fd < 0 || ::write(fd, entries, sizeof entries - 1) < 0)
        std::exit(1);
    ::close(fd);
    ignoreList.LoadIgnoreList(ignoreFile);
    ::unlink(ignoreFile);

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

    std::vector<Steady::time_point> yields;
    if (recordYields)
        yields.reserve(1 << 16);
    std::function<void()> yield = [] {};
    if (recordYields)
        yield = [&] { yields.push_back(Steady::now()); };
    BackupRun run(
        BackupRun::Context { projects, tasks, log, balloons, sound, options, state, ignoreList, clock, yield, "." });

    EngineRun result;
    Settle();
    const auto start = Steady::now();
    if (recordYields)
        yields.push_back(start);
    run.RunBackupTask(row, "Bench");
    const auto end = Steady::now();
    result.seconds = Seconds(end - start).count();
    if (recordYields) {
        yields.push_back(end);
        for (std::size_t i = 1; i < yields.size(); ++i)
            result.longestGapMs = std::max(
                result.longestGapMs, std::chrono::duration<double, std::milli>(yields[i] - yields[i - 1]).count());
        result.yields = yields.size() - 2;
    }
    for (const LogRow& entry : log.rows()) {
        if (entry.detail.starts_with("Can not create")) {
            if (++result.failures <= 3)
                std::fprintf(stderr, "  %s\n", entry.detail.c_str());
        }
    }
    if (tasks.at(0).Status != "Backup finished.")
        std::fprintf(stderr, "  run ended: %s\n", tasks.at(0).Status.c_str());
    return result;
}

void Report(const char* what, double engine, const char* other, double otherSeconds, double limit)
{
    const double ratio = engine / otherSeconds;
    std::printf("%-28s sentrel %8.3f s   %-9s %8.3f s   ratio %.2f (limit %.2f) %s\n", what, engine, other,
                otherSeconds, ratio, limit, ratio <= limit ? "ok" : "OVER");
}

struct Best {
    double value = 1e300;
    void add(double v) { value = std::min(value, v); }
};

void SmallFiles(const std::string& base, int reps)
{
    const std::string source = base + "/small-src";
    if (!std::filesystem::exists(source))
        MakeSmallTree(source);
    WarmUp(source);

    Best cp, rsync, full, rsyncSame, same;
    std::size_t failures = 0;
    for (int rep = 0; rep < reps; ++rep) {
        for (const char* dir : { "/small-cp", "/small-rsync", "/small-sentrel" })
            Remove(base + dir);
        std::filesystem::create_directories(base + "/small-sentrel");
        cp.add(Time([&] { Run({ "cp", "-a", source, base + "/small-cp" }); }));
        rsync.add(Time([&] { Run({ "rsync", "-a", source + "/", base + "/small-rsync/" }); }));
        EngineRun run = RunEngine(source, base + "/small-sentrel", "Old", false);
        full.add(run.seconds);
        failures += run.failures;
        rsyncSame.add(Time([&] { Run({ "rsync", "-a", source + "/", base + "/small-rsync/" }); }));
        run = RunEngine(source, base + "/small-sentrel", "Old", false);
        same.add(run.seconds);
        failures += run.failures;
    }
    std::printf("small files: 20000 files of 1-16 KiB in 400 directories, best of %d\n", reps);
    std::printf("  rsync -a full copy: %.3f s\n", rsync.value);
    Report("  full backup", full.value, "cp -a", cp.value, 1.2);
    Report("  no-change re-run (Old)", same.value, "rsync -a", rsyncSame.value, 0.8);
    if (failures)
        std::printf("  %zu copies failed\n", failures);
    for (const char* dir : { "/small-cp", "/small-rsync", "/small-sentrel" })
        Remove(base + dir);
}

void LargeFiles(const std::string& base, int reps)
{
    const std::string source = base + "/large-src";
    if (!std::filesystem::exists(source))
        MakeLargeFiles(source, 8, 256);
    WarmUp(source);
    Best cp, rsync, engine;
    std::size_t failures = 0;
    const std::string out = base + "/large-out";
    // Each copy is removed at once: 2 GiB more in the page cache would make
    // whoever comes next pay for reclaiming it.
    const auto contenders = std::vector<std::function<void()>> {
        [&] {
            cp.add(Time([&] { Run({ "cp", "-a", source, out }); }));
        },
        [&] {
            rsync.add(Time([&] { Run({ "rsync", "-a", source + "/", out + "/" }); }));
        },
        [&] {
            std::filesystem::create_directories(out);
            const EngineRun run = RunEngine(source, out, "Old", false);
            engine.add(run.seconds);
            failures += run.failures;
        },
    };
    for (int rep = 0; rep < reps; ++rep) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            Remove(out);
            contenders[(i + std::size_t(rep)) % contenders.size()]();
            Remove(out);
        }
    }
    std::printf("large files: 8 files of 256 MiB, best of %d\n", reps);
    std::printf("  rsync -a full copy: %.3f s\n", rsync.value);
    Report("  full backup", engine.value, "cp -a", cp.value, 1.2);
    if (failures)
        std::printf("  %zu copies failed\n", failures);
}

void Responsiveness(const std::string& base)
{
    const std::string source = base + "/huge-src";
    if (!std::filesystem::exists(source))
        MakeLargeFiles(source, 1, 2048);
    WarmUp(source);
    Remove(base + "/huge-sentrel");
    std::filesystem::create_directories(base + "/huge-sentrel");
    const EngineRun run = RunEngine(source, base + "/huge-sentrel", "Old", true);
    std::printf("responsiveness: one 2 GiB file copied in %.3f s, %zu yields, longest gap %.1f ms (limit 50) %s\n",
                run.seconds, run.yields, run.longestGapMs, run.longestGapMs < 50 ? "ok" : "OVER");
    Remove(base + "/huge-sentrel");
}

} // namespace

int main(int argc, char** argv)
{
    std::string base = "/tmp/sentrel-bench";
    int reps = 3;
    std::vector<std::string> workloads;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc)
            base = argv[++i];
        else if (arg == "--reps" && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else
            workloads.push_back(arg);
    }
    if (workloads.empty())
        workloads = { "small", "large", "responsive" };
    std::filesystem::create_directories(base);
    base = std::filesystem::canonical(base).string();
    for (const std::string& workload : workloads) {
        if (workload == "small")
            SmallFiles(base, reps);
        else if (workload == "large")
            LargeFiles(base, reps);
        else if (workload == "responsive")
            Responsiveness(base);
        else
            std::fprintf(stderr, "unknown workload %s (small, large, responsive)\n", workload.c_str());
        std::fflush(stdout);
    }
}

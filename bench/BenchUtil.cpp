#include "BenchUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sentrel::bench {

namespace {
std::uint64_t g_random = 0x9E3779B97F4A7C15ull;
std::uint64_t NextRandom()
{
    g_random ^= g_random << 13;
    g_random ^= g_random >> 7;
    g_random ^= g_random << 17;
    return g_random;
}

void Fill(std::vector<char>& buffer, std::size_t bytes)
{
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
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
        const std::size_t n = std::min(bytes, buffer.size());
        Fill(buffer, n);
        if (::write(fd, buffer.data(), n) != ssize_t(n)) {
            std::perror(path.c_str());
            std::exit(1);
        }
        bytes -= n;
    }
    ::close(fd);
}
} // namespace

void MakeSmallTree(const std::string& root, int files)
{
    std::filesystem::create_directories(root);
    std::vector<char> buffer(16 << 10);
    int made = 0;
    const auto fillDir = [&](const std::string& dir) {
        for (int i = 0; i < 50; ++i, ++made) {
            std::string name = "file " + std::to_string(made);
            if (made % 7 == 0)
                name += " caf\xe9 \xff";
            WriteRandomFile(dir + "/" + name + ".dat", 1024 + NextRandom() % (15 * 1024 + 1), buffer);
        }
    };
    for (int top = 0; top < files / 1000; ++top) {
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

void MakePlainTree(const std::string& root, int files)
{
    std::vector<char> buffer(16 << 10);
    for (int i = 0; i < files; ++i) {
        const std::string dir = root + "/dir " + std::to_string(i / 100);
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/file " + std::to_string(i) + ".dat";
        WriteRandomFile(file, 1024 + NextRandom() % (15 * 1024 + 1), buffer);
        // Half of them on odd seconds, which FAT's 2-second stamps cannot keep.
        const timespec times[2] = { { 1'700'000'000 + i, 0 }, { 1'700'000'000 + i, 0 } };
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    }
}

void MakeLargeFiles(const std::string& root, int count, std::size_t mib)
{
    std::filesystem::create_directories(root);
    std::vector<char> buffer(4 << 20);
    for (int i = 0; i < count; ++i)
        WriteRandomFile(root + "/large " + std::to_string(i) + ".bin", mib << 20, buffer);
}

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

void Settle()
{
    ::sync();
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

double Now()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double TimeRun(std::vector<std::string> argv)
{
    Settle();
    const double start = Now();
    Run(std::move(argv));
    return Now() - start;
}

double Figures::median() const
{
    if (values.empty())
        return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Figures::max() const
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void Report(const char* what, const Figures& program, const Figures* engine, const char* other,
            const Figures& otherFigures, double limit)
{
    const double ratio = program.median() / otherFigures.median();
    std::printf("%-26s program %7.3f s", what, program.median());
    if (engine)
        std::printf("   engine alone %7.3f s (%.2f)", engine->median(), engine->median() / otherFigures.median());
    std::printf("   %-8s %7.3f s   ratio %.2f (limit %.2f) %s\n", other, otherFigures.median(), ratio, limit,
                ratio <= limit ? "ok" : "OVER");
}

} // namespace sentrel::bench

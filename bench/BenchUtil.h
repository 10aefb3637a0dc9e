#pragma once

// Trees, child processes and figures shared by the benchmark's workloads.

#include <cstddef>
#include <string>
#include <vector>

namespace sentrel::bench {

// Directories of 50 files of 1 to 16 KiB, 20 directories for every 1,000
// files, some names with spaces and bytes that are not UTF-8.
void MakeSmallTree(const std::string& root, int files);
// Like MakeSmallTree, with names any file system holds (exFAT, FAT).
void MakePlainTree(const std::string& root, int files);
void MakeLargeFiles(const std::string& root, int count, std::size_t mib);

// Reads every file once, so all contenders start from a warm cache.
void WarmUp(const std::string& root);
void Remove(const std::string& path);
// Dirty pages of one contender must not slow the next one down.
void Settle();

// Runs a command to its end; a failure ends the benchmark.
void Run(std::vector<std::string> argv);
// Seconds a command takes, after Settle.
double TimeRun(std::vector<std::string> argv);

double Now(); // monotonic seconds

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double median() const;
    double max() const;
};

// "  full backup   program 1.234 s   engine 1.111 s   cp -a 1.300 s   ratio 0.95 (limit 1.00) ok"
void Report(const char* what, const Figures& program, const Figures* engine, const char* other,
            const Figures& otherFigures, double limit);

} // namespace sentrel::bench

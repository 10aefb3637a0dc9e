#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace sentrel {

// Writes a file system's cached data out to its disk over and over while
// it lives, so that the disk works while a backup copies instead of only
// after; the write-out that ends the run then finds little left to do.
// The kernel reports a failed write-back once to each open file, so every
// write-out goes through the one descriptor opened here, before the copy
// starts, and the first error any of them sees is kept for finish().
class WriteBehind final {
public:
    explicit WriteBehind(const std::string& directory);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Stops the repeated write-outs and writes out once more through the
    // same descriptor. 0, or the first errno any write-out saw since the
    // start; the errno of opening the directory when that failed. May be
    // called again, for a further write-out with the same report.
    int finish();

private:
    void run();

    int fd_;
    int error_ = 0; // written by the thread until it is joined
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sentrel

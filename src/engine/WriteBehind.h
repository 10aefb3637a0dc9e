#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace sentrel {

// Writes a file system's cached data out to its disk over and over while
// it lives, so that the disk works while a backup copies instead of only
// after. The write-out that ends the run then finds little left to do.
// Errors are left to that last write-out, which reports them.
class WriteBehind final {
public:
    explicit WriteBehind(const std::string& directory);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

private:
    void run();

    int fd_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sentrel

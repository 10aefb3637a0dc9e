#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sentrel {

// Shares a loop of independent steps among the calling thread and helper
// threads kept for the pool's life.
class WorkerPool final {
public:
    using Step = std::function<void(std::size_t index, unsigned worker)>;

    // Fewer helpers when no more threads are to be had.
    explicit WorkerPool(unsigned helpers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Worker 0 is the calling thread.
    unsigned workers() const { return unsigned(helpers_.size()) + 1; }

    // Calls step for every index below count, each once, on whichever
    // worker is free; returns when all are done. When a step throws, no
    // further step starts; run returns once every worker has left its step
    // and throws the first exception on the calling thread.
    void run(std::size_t count, const Step& step);

private:
    void help(unsigned worker);
    void take(unsigned worker);

    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    const Step* step_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_ { 0 };
    std::atomic<bool> failed_ { false };
    std::exception_ptr failure_; // the first, under mutex_
    std::uint64_t round_ = 0;
    unsigned busy_ = 0;
    bool quit_ = false;
    std::vector<std::thread> helpers_;
};

} // namespace sentrel

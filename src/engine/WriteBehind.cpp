#include "engine/WriteBehind.h"

#include "base/ProcessSignalsBlocked.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace sentrel {

namespace {
// At most this often: with nothing written meanwhile a write-out returns
// at once, and the loop must not take a core from the copy.
constexpr auto kPeriod = std::chrono::milliseconds(20);
} // namespace

WriteBehind::WriteBehind(const std::string& directory)
    : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    try {
        const ProcessSignalsBlocked quiet;
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Without it finish() does all the work.
    }
}

WriteBehind::~WriteBehind()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_one();
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
}

int WriteBehind::finish()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_one();
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0 && ::syncfs(fd_) != 0 && error_ == 0)
        error_ = errno;
    return error_;
}

void WriteBehind::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto next = std::chrono::steady_clock::now() + kPeriod;
        lock.unlock();
        if (::syncfs(fd_) != 0 && error_ == 0)
            error_ = errno;
        lock.lock();
        stop_.wait_until(lock, next, [this] { return stopping_; });
    }
}

} // namespace sentrel

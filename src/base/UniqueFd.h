#pragma once

#include <unistd.h>
#include <utility>

namespace sentrel {

// A file descriptor closed when it goes out of scope, also when a throw
// passes through.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1)
        : fd_(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

} // namespace sentrel

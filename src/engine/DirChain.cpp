#include "engine/DirChain.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sentrel {

namespace {
int OpenChild(int parentFd, const char* name)
{
    return ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}
} // namespace

DirChain::DirChain(int topFd, int error)
{
    levels_.push_back({ {}, topFd, topFd < 0 ? (error ? error : ENOENT) : 0 });
    open_ = topFd >= 0 ? 1 : 0;
}

DirChain::~DirChain()
{
    for (const Level& level : levels_) {
        if (level.fd >= 0)
            ::close(level.fd);
    }
}

void DirChain::push(const char* name)
{
    const Level& parent = levels_.back();
    if (parent.error != 0) {
        levels_.push_back({ name, -1, parent.error });
        return;
    }
    const int parentFd = fd();
    const int child = parentFd < 0 ? -1 : OpenChild(parentFd, name);
    levels_.push_back({ name, child, child < 0 ? errno : 0 });
    if (child >= 0) {
        ++open_;
        closeSpare();
    }
}

void DirChain::pop()
{
    if (levels_.size() <= 1)
        return;
    if (levels_.back().fd >= 0) {
        ::close(levels_.back().fd);
        --open_;
    }
    levels_.pop_back();
}

int DirChain::fd()
{
    const Level& level = levels_.back();
    if (level.error != 0) {
        errno = level.error;
        return -1;
    }
    return level.fd >= 0 ? level.fd : reopen(levels_.size() - 1);
}

int DirChain::reopen(std::size_t index)
{
    // The top is never closed, so some ancestor is open.
    std::size_t from = index;
    while (levels_[from].fd < 0)
        --from;
    int fd = levels_[from].fd;
    for (std::size_t i = from + 1; i <= index; ++i) {
        const int next = OpenChild(fd, levels_[i].name.c_str());
        const int error = errno;
        if (fd != levels_[from].fd)
            ::close(fd);
        if (next < 0) {
            errno = error;
            return -1;
        }
        fd = next;
    }
    levels_[index].fd = fd;
    ++open_;
    closeSpare();
    return fd;
}

void DirChain::closeSpare()
{
    // The shallowest levels go first: the walk returns to them last.
    for (std::size_t i = 1; open_ > kOpenLimit && i + 1 < levels_.size(); ++i) {
        if (levels_[i].fd >= 0) {
            ::close(levels_[i].fd);
            levels_[i].fd = -1;
            --open_;
        }
    }
}

} // namespace sentrel

#include "engine/DestinationProbe.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

DestinationTraits ProbeDestination(int rootFd)
{
    DestinationTraits traits;
    // A temporary file's name of this process, so that the sweep takes one
    // left behind; its number starts with 0, as no copy's does. A new one
    // each time: the kernel may still hold the other spelling's lookup.
    static std::atomic<unsigned long> probes = 0;
    const unsigned long probe = ++probes;
    char name[64], upper[64];
    std::snprintf(name, sizeof name, ".sentrel-%ld-0%lu.tmp", long(::getpid()), probe);
    std::snprintf(upper, sizeof upper, ".SENTREL-%ld-0%lu.TMP", long(::getpid()), probe);
    struct stat st { };
    const bool upperThere = ::fstatat(rootFd, upper, &st, AT_SYMLINK_NOFOLLOW) == 0;
    const int fd = ::openat(rootFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        traits.error = errno;
        return traits;
    }
    // By name alone: FUSE drivers may give each spelling an inode number of its own.
    traits.caseInsensitive = !upperThere && ::fstatat(rootFd, upper, &st, AT_SYMLINK_NOFOLLOW) == 0;
    constexpr time_t kOddSecond = 1'000'000'001;
    const timespec odd[2] = { { kOddSecond, 0 }, { kOddSecond, 0 } };
    if (::futimens(fd, odd) == 0 && ::fstat(fd, &st) == 0 && st.st_mtim.tv_sec != kOddSecond
        && st.st_mtim.tv_sec >= kOddSecond - 1 && st.st_mtim.tv_sec <= kOddSecond + 1)
        traits.timeStep = 2;
    ::close(fd);
    ::unlinkat(rootFd, name, 0);
    return traits;
}

bool DiskUnusable(int error)
{
    switch (error) {
    case EIO:
    case ENOTCONN:
    case ECONNABORTED: // a FUSE request whose daemon died
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case EROFS:
        return true;
    default:
        return false;
    }
}

bool MetadataRefused(int error)
{
    return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

} // namespace sentrel

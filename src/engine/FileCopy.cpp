#include "engine/FileCopy.h"

#include "base/TextFile.h"
#include "engine/BackupEngine.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

namespace {
// Chunks are sized to take about this long, so the event loop gets a
// turn well within 50 ms even on a slow disk. Larger chunks gain nothing:
// the page cache copies 4 MiB in well under a millisecond, and a long call
// is the more likely to be held up by writeback throttling.
constexpr std::int64_t kChunkTargetNs = 5'000'000;
constexpr std::size_t kFirstChunk = std::size_t(4) << 20;
constexpr std::size_t kMinChunk = std::size_t(128) << 10;
constexpr std::size_t kMaxChunk = std::size_t(16) << 20;
constexpr std::size_t kBufferBytes = std::size_t(1) << 20;

std::int64_t MonotonicNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::string KindDescription(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Pipe:
        return "Not a regular file (named pipe)";
    case EntryKind::Socket:
        return "Not a regular file (socket)";
    case EntryKind::Device:
        return "Not a regular file (device)";
    case EntryKind::Directory:
        return SystemErrorText(EISDIR);
    default:
        return "Not a regular file";
    }
}

bool RangeCopyUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP;
}

// Bytes copied from `offset` on, 0 at the end of the input, or -errno.
ssize_t PReadWrite(int in, int out, char* buffer, std::size_t want, off_t offset)
{
    std::size_t done = 0;
    while (done < want) {
        const ssize_t got = ::pread(in, buffer, std::min(kBufferBytes, want - done), offset + off_t(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (got == 0)
            break;
        for (ssize_t written = 0; written < got;) {
            const ssize_t n
                = ::pwrite(out, buffer + written, std::size_t(got - written), offset + off_t(done) + written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -errno;
            }
            written += n;
        }
        done += std::size_t(got);
    }
    return ssize_t(done);
}

// Whether the file has these permission bits already: the umask or a
// default ACL may have taken some away. Asking is cheaper than setting.
bool HasMode(int fd, mode_t mode)
{
    struct stat st { };
    return ::fstat(fd, &st) == 0 && (st.st_mode & 07777) == mode;
}

// A nameless file can be given a name only through /proc.
bool CanLinkAnonymous()
{
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// The process that made a temporary file ".sentrel-<pid>-<n>.tmp", or 0
// for any other name.
long TempFileOwner(std::string_view name)
{
    constexpr std::string_view prefix = ".sentrel-", suffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(suffix))
        return 0;
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    long pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end == name.data() || end == name.data() + name.size() || *end != '-')
        return 0;
    const std::string_view counter(end + 1, std::size_t(name.data() + name.size() - end - 1));
    if (counter.empty() || counter.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return pid;
}
} // namespace

EntryKind KindOfMode(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return EntryKind::Directory;
    case S_IFLNK:
        return EntryKind::Link;
    case S_IFIFO:
        return EntryKind::Pipe;
    case S_IFSOCK:
        return EntryKind::Socket;
    case S_IFCHR:
    case S_IFBLK:
        return EntryKind::Device;
    default:
        return EntryKind::Regular;
    }
}

FileCopier::FileCopier()
    : chunkBytes_(kFirstChunk)
{
}

FileCopier::~FileCopier()
{
    abandon();
}

CopyOutcome FileCopier::copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, bool exists,
                             BackupProgress& progress, std::string& error)
{
    abandoned_ = false;
    switch (kind) {
    case EntryKind::Regular:
        return copyRegular(srcDirFd, name, dstDirFd, exists, progress, error);
    case EntryKind::Link:
        return copyLink(srcDirFd, name, dstDirFd, error);
    default:
        error = KindDescription(kind);
        return CopyOutcome::Failed;
    }
}

void FileCopier::abandon()
{
    if (tempDirFd_ >= 0)
        ::unlinkat(tempDirFd_, tempName_, 0);
    tempDirFd_ = -1;
    abandoned_ = true;
}

void FileCopier::nextTempName()
{
    static const long pid = long(::getpid());
    constexpr std::string_view prefix = ".sentrel-";
    char* p = std::copy(prefix.begin(), prefix.end(), tempName_);
    char* const end = tempName_ + sizeof tempName_ - 8;
    p = std::to_chars(p, end, pid).ptr;
    *p++ = '-';
    p = std::to_chars(p, end, ++tempCounter_).ptr;
    std::copy_n(".tmp", 5, p);
}

int FileCopier::createNamed(int dstDirFd, const std::function<int(const char*)>& create)
{
    if (!swept_) {
        sweepStale(dstDirFd);
        swept_ = true;
    }
    int failure = EEXIST;
    for (int attempt = 0; attempt < 100 && failure == EEXIST; ++attempt) {
        nextTempName();
        failure = create(tempName_);
    }
    if (failure == 0)
        tempDirFd_ = dstDirFd;
    return failure;
}

void FileCopier::sweepStale(int dstDirFd)
{
    // Only this program's own files, and only of processes that are gone:
    // a copy that a running process has in hand stays.
    const int fd = ::openat(dstDirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const long pid = TempFileOwner(entry->d_name);
        if (pid > 0 && pid != long(::getpid()) && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(dstDirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

CopyOutcome FileCopier::commitNamed(int dstDirFd, const char* name, int failure, std::string& error)
{
    if (abandoned_)
        return CopyOutcome::Canceled;
    if (failure == 0 && ::renameat(dstDirFd, tempName_, dstDirFd, name) != 0)
        failure = errno;
    if (failure != 0)
        ::unlinkat(dstDirFd, tempName_, 0);
    tempDirFd_ = -1;
    if (failure == 0)
        return CopyOutcome::Copied;
    error = SystemErrorText(failure);
    return CopyOutcome::Failed;
}

CopyOutcome FileCopier::commitAnonymous(int fd, int dstDirFd, const char* name, bool exists, int failure,
                                        std::string& error)
{
    if (abandoned_)
        return CopyOutcome::Canceled;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    const auto link
        = [&](const char* to) { return ::linkat(AT_FDCWD, self, dstDirFd, to, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno; };
    if (failure == 0) {
        // A new file takes its name at once; an old one is replaced by a
        // rename, which a link cannot do.
        failure = exists ? EEXIST : link(name);
        if (failure == EEXIST) {
            failure = createNamed(dstDirFd, link);
            if (failure == 0)
                return commitNamed(dstDirFd, name, 0, error);
        }
    }
    if (failure == 0)
        return CopyOutcome::Copied;
    error = SystemErrorText(failure);
    return CopyOutcome::Failed;
}

CopyOutcome FileCopier::copyRegular(int srcDirFd, const char* name, int dstDirFd, bool exists, BackupProgress& progress,
                                    std::string& error)
{
    // O_NONBLOCK: should a fifo have taken the file's place, opening it must not hang.
    const int in = ::openat(srcDirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    struct stat st { };
    if (::fstat(in, &st) != 0) {
        error = SystemErrorText(errno);
        ::close(in);
        return CopyOutcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = KindDescription(KindOfMode(st.st_mode));
        ::close(in);
        return CopyOutcome::Failed;
    }

    // A nameless file can take the source's permission bits at once: no
    // one can open it before it is complete.
    const mode_t mode = st.st_mode & 0777;
    int out = -1;
    const bool anonymous
        = CanLinkAnonymous() && (out = ::openat(dstDirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode)) >= 0;
    if (!anonymous) {
        const int failure = createNamed(dstDirFd, [&](const char* temp) {
            out = ::openat(dstDirFd, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            return out < 0 ? errno : 0;
        });
        if (failure != 0) {
            error = SystemErrorText(failure);
            ::close(in);
            return CopyOutcome::Failed;
        }
    }

    // Fewer blocks than the size needs: there are holes to keep.
    const bool sparse = (long long)st.st_blocks * 512 < (long long)st.st_size;
    int failure = copyData(in, out, st.st_size, sparse, progress);
    ::close(in);
    if (failure < 0) {
        ::close(out);
        abandon();
        return CopyOutcome::Canceled;
    }
    if (failure == 0 && !HasMode(out, mode) && ::fchmod(out, mode) != 0)
        failure = errno;
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (failure == 0 && ::futimens(out, times) != 0)
        failure = errno;
    if (anonymous) {
        const CopyOutcome outcome = commitAnonymous(out, dstDirFd, name, exists, failure, error);
        ::close(out);
        return outcome;
    }
    // Some file systems report write errors only here.
    if (::close(out) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    return commitNamed(dstDirFd, name, failure, error);
}

int FileCopier::copyData(int in, int out, long long size, bool sparse, BackupProgress& progress)
{
    bool useRange = true;
    if (!sparse)
        return copyRange(in, out, 0, size, useRange, progress);
    // Only the data is copied; the holes between stay holes.
    long long offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(in, off_t(offset), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // a hole up to the end
            return copyRange(in, out, offset, size - offset, useRange, progress);
        }
        if (data >= size)
            break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > size)
            hole = off_t(size);
        if (const int failure = copyRange(in, out, data, hole - data, useRange, progress))
            return failure;
        offset = hole;
        if (offset < size) {
            progress.yield();
            if (!progress.running())
                return -1;
        }
    }
    return ::ftruncate(out, off_t(size)) == 0 ? 0 : errno;
}

int FileCopier::copyRange(int in, int out, long long offset, long long length, bool& useRange, BackupProgress& progress)
{
    loff_t inOffset = offset, outOffset = offset;
    long long remaining = length;
    while (remaining > 0) {
        const std::size_t want = std::size_t(std::min<long long>(remaining, (long long)chunkBytes_));
        const std::int64_t start = MonotonicNs();
        ssize_t n;
        if (useRange) {
            n = ::copy_file_range(in, &inOffset, out, &outOffset, want, 0);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (!RangeCopyUnsupported(errno))
                    return errno;
                useRange = false;
                continue;
            }
        } else {
            if (!buffer_)
                buffer_ = std::make_unique<char[]>(kBufferBytes);
            n = PReadWrite(in, out, buffer_.get(), want, off_t(inOffset));
            if (n < 0)
                return int(-n);
            inOffset += n;
            outOffset += n;
        }
        if (n == 0)
            break; // the file shrank meanwhile
        remaining -= n;
        if (std::size_t(n) == chunkBytes_) {
            const std::int64_t elapsed = std::max<std::int64_t>(MonotonicNs() - start, 1);
            const double fitting = double(n) * double(kChunkTargetNs) / double(elapsed);
            chunkBytes_ = std::clamp(std::size_t(std::min(fitting, double(chunkBytes_) * 2)), kMinChunk, kMaxChunk);
        }
        if (remaining > 0) {
            progress.yield();
            if (!progress.running())
                return -1;
        }
    }
    return 0;
}

CopyOutcome FileCopier::copyLink(int srcDirFd, const char* name, int dstDirFd, std::string& error)
{
    struct stat st { };
    char target[PATH_MAX + 1];
    if (::fstatat(srcDirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    if (!S_ISLNK(st.st_mode)) {
        error = KindDescription(KindOfMode(st.st_mode));
        return CopyOutcome::Failed;
    }
    const ssize_t length = ::readlinkat(srcDirFd, name, target, sizeof target - 1);
    if (length < 0) {
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    target[length] = '\0';

    int failure
        = createNamed(dstDirFd, [&](const char* temp) { return ::symlinkat(target, dstDirFd, temp) == 0 ? 0 : errno; });
    if (failure != 0) {
        error = SystemErrorText(failure);
        return CopyOutcome::Failed;
    }
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (::utimensat(dstDirFd, tempName_, times, AT_SYMLINK_NOFOLLOW) != 0)
        failure = errno;
    return commitNamed(dstDirFd, name, failure, error);
}

} // namespace sentrel

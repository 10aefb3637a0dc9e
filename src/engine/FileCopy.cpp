#include "engine/FileCopy.h"

#include "base/TextFile.h"
#include "engine/BackupEngine.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <ctime>
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

// Bytes copied, 0 at the end of the input, or -errno.
ssize_t ReadWrite(int in, int out, char* buffer, std::size_t want)
{
    std::size_t done = 0;
    while (done < want) {
        const ssize_t got = ::read(in, buffer, std::min(kBufferBytes, want - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (got == 0)
            break;
        for (ssize_t written = 0; written < got;) {
            const ssize_t n = ::write(out, buffer + written, std::size_t(got - written));
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

CopyOutcome FileCopier::copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, BackupProgress& progress,
                             std::string& error)
{
    switch (kind) {
    case EntryKind::Regular:
        return copyRegular(srcDirFd, name, dstDirFd, progress, error);
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

CopyOutcome FileCopier::commitOrDiscard(int dstDirFd, const char* name, int failure, std::string& error)
{
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

CopyOutcome FileCopier::copyRegular(int srcDirFd, const char* name, int dstDirFd, BackupProgress& progress,
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

    int out = -1;
    for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
        nextTempName();
        out = ::openat(dstDirFd, tempName_, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        error = SystemErrorText(errno);
        ::close(in);
        return CopyOutcome::Failed;
    }
    tempDirFd_ = dstDirFd;

    int failure = copyData(in, out, st.st_size, progress);
    ::close(in);
    if (failure < 0) {
        ::close(out);
        abandon();
        return CopyOutcome::Canceled;
    }
    if (failure == 0 && ::fchmod(out, st.st_mode & 0777) != 0)
        failure = errno;
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (failure == 0 && ::futimens(out, times) != 0)
        failure = errno;
    // Some file systems report write errors only here.
    if (::close(out) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    return commitOrDiscard(dstDirFd, name, failure, error);
}

int FileCopier::copyData(int in, int out, long long size, BackupProgress& progress)
{
    long long remaining = size;
    bool useRange = true;
    while (remaining > 0) {
        const std::size_t want = std::size_t(std::min<long long>(remaining, (long long)chunkBytes_));
        const std::int64_t start = MonotonicNs();
        ssize_t n;
        if (useRange) {
            n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
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
            n = ReadWrite(in, out, buffer_.get(), want);
            if (n < 0)
                return int(-n);
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

    int failure = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        nextTempName();
        failure = ::symlinkat(target, dstDirFd, tempName_) == 0 ? 0 : errno;
        if (failure != EEXIST)
            break;
    }
    if (failure != 0) {
        error = SystemErrorText(failure);
        return CopyOutcome::Failed;
    }
    tempDirFd_ = dstDirFd;
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (::utimensat(dstDirFd, tempName_, times, AT_SYMLINK_NOFOLLOW) != 0)
        failure = errno;
    return commitOrDiscard(dstDirFd, name, failure, error);
}

} // namespace sentrel

#include "engine/FileCopy.h"

#include "base/DirStream.h"
#include "base/TextFile.h"
#include "base/UniqueFd.h"
#include "engine/BackupEngine.h"
#include "engine/DestinationProbe.h"
#include "engine/Versions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

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
// How much older than its source a copy is until its data is on the disk:
// far beyond FAT's two seconds and any time zone it may be read in.
constexpr time_t kProvisionalAge = 24 * 60 * 60;

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

// Bytes copied from `offset` on, 0 at the end of the input, or -errno;
// `reading` tells whose.
ssize_t PReadWrite(int in, int out, char* buffer, std::size_t want, off_t offset, bool& reading)
{
    std::size_t done = 0;
    while (done < want) {
        const ssize_t got = ::pread(in, buffer, std::min(kBufferBytes, want - done), offset + off_t(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            reading = true;
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

// Removes this program's temporary files whose process is gone; a copy
// that a running process has in hand stays. Whether any such one stays.
bool SweepStale(int dirFd)
{
    DirStream dir = DirStream::Adopt(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return true;
    bool live = false;
    while (const dirent* entry = dir.next()) {
        const long pid = TempFileOwner(entry->d_name);
        if (pid <= 0)
            continue;
        if (pid != long(::getpid()) && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(dirFd, entry->d_name, 0);
        else
            live = true;
    }
    return live;
}

std::string ReadFrom(int fd, off_t offset)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, offset)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        text.append(buffer, std::size_t(n));
        offset += n;
    }
    return text;
}

void LockFile(int fd, int operation)
{
    while (::flock(fd, operation) != 0 && errno == EINTR) { }
}
} // namespace

void SweepTempJournal(const std::string& journalPath)
{
    // One sweep at a time: each rewrites the journal from what it read.
    // One in hand covers what this one would do.
    static std::mutex sweeping;
    const std::unique_lock busy(sweeping, std::try_to_lock);
    if (!busy.owns_lock())
        return;
    const UniqueFd journal(::open(journalPath.c_str(), O_RDWR | O_CLOEXEC));
    if (journal.get() < 0)
        return;
    // Copiers append under a shared lock; the directories are swept
    // without one, since a vanished disk may hold up the sweep for long.
    LockFile(journal.get(), LOCK_EX);
    const std::string listed = ReadFrom(journal.get(), 0);
    LockFile(journal.get(), LOCK_UN);

    std::string kept;
    std::unordered_set<std::string_view> seen;
    for (std::size_t start = 0, end; start < listed.size(); start = end + 1) {
        end = std::min(listed.find('\0', start), listed.size());
        const std::string_view directory(listed.data() + start, end - start);
        if (directory.empty() || !seen.insert(directory).second)
            continue;
        const UniqueFd dir(::open(std::string(directory).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0 || SweepStale(dir.get()))
            kept.append(directory).push_back('\0');
    }

    LockFile(journal.get(), LOCK_EX);
    kept += ReadFrom(journal.get(), off_t(listed.size()));
    if (::ftruncate(journal.get(), 0) == 0 && !kept.empty())
        ::pwrite(journal.get(), kept.data(), kept.size(), 0);
    LockFile(journal.get(), LOCK_UN);
}

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

bool IsCopyTemp(std::string_view name)
{
    return name.starts_with(".sentrel-") && name.ends_with(".tmp");
}

FileCopier::FileCopier()
    : chunkBytes_(kFirstChunk)
{
}

FileCopier::~FileCopier()
{
    abandon();
    if (journalFd_ >= 0)
        ::close(journalFd_);
}

void FileCopier::setJournal(std::string path)
{
    if (journalFd_ >= 0)
        ::close(journalFd_);
    journalFd_ = -1;
    journalPath_ = std::move(path);
}

void FileCopier::enterDirectory(std::string_view path)
{
    directory_.assign(path);
    swept_ = false;
    journaled_ = false;
}

void FileCopier::journalDirectory()
{
    journaled_ = true;
    if (journalPath_.empty() || directory_.empty())
        return;
    // Kept open for the run; the sweep only ever empties the file.
    if (journalFd_ < 0)
        journalFd_ = ::open(journalPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (journalFd_ < 0)
        return;
    // NUL-ended: a path may hold any other byte. One write, at the end.
    LockFile(journalFd_, LOCK_SH);
    [[maybe_unused]] const ssize_t written = ::write(journalFd_, directory_.c_str(), directory_.size() + 1);
    LockFile(journalFd_, LOCK_UN);
}

CopyOutcome FileCopier::copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, bool exists,
                             bool keepReplaced, BackupProgress& progress, std::string& error, FinalTimes& times)
{
    abandoned_ = false;
    keepReplaced_ = keepReplaced;
    times.pending = false;
    destinationError_ = 0;
    sourceError_ = 0;
    sourceFailed_ = false;
    switch (kind) {
    case EntryKind::Regular:
        return copyRegular(srcDirFd, name, dstDirFd, exists, progress, error, times);
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
    if (!journaled_)
        journalDirectory();
    if (!swept_) {
        SweepStale(dstDirFd);
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

CopyOutcome FileCopier::commitNamed(int dstDirFd, const char* name, int failure, std::string& error)
{
    if (abandoned_)
        return CopyOutcome::Canceled;
    VersionKeeper::Kept kept = VersionKeeper::Kept::Nothing;
    if (failure == 0 && versions_ && keepReplaced_)
        failure = versions_->keep(dstDirFd, name, directory_, kept);
    if (failure == 0 && ::renameat(dstDirFd, tempName_, dstDirFd, name) != 0) {
        failure = errno;
        if (versions_)
            versions_->undo(dstDirFd, name, directory_, kept);
    }
    if (failure != 0)
        ::unlinkat(dstDirFd, tempName_, 0);
    tempDirFd_ = -1;
    if (failure == 0)
        return CopyOutcome::Copied;
    if (!sourceFailed_)
        destinationError_ = failure;
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
    if (!sourceFailed_)
        destinationError_ = failure;
    error = SystemErrorText(failure);
    return CopyOutcome::Failed;
}

CopyOutcome FileCopier::copyRegular(int srcDirFd, const char* name, int dstDirFd, bool exists, BackupProgress& progress,
                                    std::string& error, FinalTimes& times)
{
    // O_NONBLOCK: should a fifo have taken the file's place, opening it must not hang.
    const UniqueFd in(::openat(srcDirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) {
        sourceError_ = errno;
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    struct stat st { };
    if (::fstat(in.get(), &st) != 0) {
        sourceError_ = errno;
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = KindDescription(KindOfMode(st.st_mode));
        return CopyOutcome::Failed;
    }

    // A nameless file can take the source's permission bits at once: no
    // one can open it before it is complete.
    const mode_t mode = st.st_mode & 0777;
    UniqueFd out;
    const bool anonymous = CanLinkAnonymous()
        && (out.reset(::openat(dstDirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode)), out.get() >= 0);
    if (!anonymous) {
        const int failure = createNamed(dstDirFd, [&](const char* temp) {
            out.reset(::openat(dstDirFd, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            return out.get() < 0 ? errno : 0;
        });
        if (failure != 0) {
            destinationError_ = failure;
            error = SystemErrorText(failure);
            return CopyOutcome::Failed;
        }
    }

    // Fewer blocks than the size needs: there are holes to keep.
    const bool sparse = (long long)st.st_blocks * 512 < (long long)st.st_size;
    int failure = copyData(in.get(), out.get(), st.st_size, sparse, progress);
    // copy_file_range does not say which side failed: a source that can
    // no longer be read is the one.
    char probe;
    if (failure > 0 && !sourceFailed_ && ::pread(in.get(), &probe, 1, 0) < 0)
        sourceFailed_ = true;
    if (failure > 0 && sourceFailed_)
        sourceError_ = failure;
    if (failure < 0) {
        out.reset();
        abandon();
        return CopyOutcome::Canceled;
    }

    times.access = st.st_atim;
    times.modification = st.st_mtim;
    constexpr time_t earliest = std::numeric_limits<time_t>::min() + kProvisionalAge;
    const timespec provisional[2]
        = { st.st_atim, { std::max(st.st_mtim.tv_sec, earliest) - kProvisionalAge, st.st_mtim.tv_nsec } };
    struct stat written { };
    bool timesKept = true;
    if (failure == 0 && ::futimens(out.get(), provisional) != 0) {
        if (MetadataRefused(errno)) {
            timesKept = false;
            refused_ |= kTimesRefused;
        } else {
            failure = errno;
        }
    }
    // The umask or a default ACL may have taken bits away.
    if (failure == 0 && ::fstat(out.get(), &written) != 0)
        failure = errno;
    if (failure == 0 && (written.st_mode & 07777) != mode && ::fchmod(out.get(), mode) != 0) {
        if (MetadataRefused(errno) || errno == EACCES)
            refused_ |= kPermissionsRefused;
        else
            failure = errno;
    }
    // No older time to hide behind (times refused, or FAT before 1980):
    // the data goes to the disk now and the copy takes its final times at
    // once, where it can.
    if (failure == 0 && (!timesKept || written.st_mtim.tv_sec >= st.st_mtim.tv_sec)) {
        const timespec final[2] = { st.st_atim, st.st_mtim };
        // A file system without fsync has nothing to write out.
        if (::fsync(out.get()) != 0 && errno != EINVAL && !MetadataRefused(errno))
            failure = errno;
        else if (timesKept && ::futimens(out.get(), final) != 0)
            failure = errno;
    } else {
        times.pending = failure == 0;
    }
    if (anonymous) {
        const CopyOutcome outcome = commitAnonymous(out.get(), dstDirFd, name, exists, failure, error);
        if (outcome != CopyOutcome::Copied)
            times.pending = false;
        return outcome;
    }
    // Some file systems report write errors only here.
    if (::close(out.release()) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    const CopyOutcome outcome = commitNamed(dstDirFd, name, failure, error);
    if (outcome != CopyOutcome::Copied)
        times.pending = false;
    // Some drivers (fusefat) stamp a renamed file with the time of the rename.
    struct stat renamed { };
    if (times.pending && ::fstatat(dstDirFd, name, &renamed, AT_SYMLINK_NOFOLLOW) == 0
        && renamed.st_mtim.tv_sec >= st.st_mtim.tv_sec)
        ::utimensat(dstDirFd, name, provisional, AT_SYMLINK_NOFOLLOW);
    return outcome;
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
                // A disk gone on either side: read and write tell which.
                if (!RangeCopyUnsupported(errno) && !DiskUnusable(errno))
                    return errno;
                useRange = false;
                continue;
            }
        } else {
            if (!buffer_)
                buffer_ = std::make_unique<char[]>(kBufferBytes);
            n = PReadWrite(in, out, buffer_.get(), want, off_t(inOffset), sourceFailed_);
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
        sourceError_ = errno;
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    if (!S_ISLNK(st.st_mode)) {
        error = KindDescription(KindOfMode(st.st_mode));
        return CopyOutcome::Failed;
    }
    const ssize_t length = ::readlinkat(srcDirFd, name, target, sizeof target - 1);
    if (length < 0) {
        sourceError_ = errno;
        error = SystemErrorText(errno);
        return CopyOutcome::Failed;
    }
    target[length] = '\0';

    int failure
        = createNamed(dstDirFd, [&](const char* temp) { return ::symlinkat(target, dstDirFd, temp) == 0 ? 0 : errno; });
    if (failure != 0) {
        destinationError_ = failure;
        error = SystemErrorText(failure);
        return CopyOutcome::Failed;
    }
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (::utimensat(dstDirFd, tempName_, times, AT_SYMLINK_NOFOLLOW) != 0) {
        if (MetadataRefused(errno))
            refused_ |= kTimesRefused;
        else
            failure = errno;
    }
    return commitNamed(dstDirFd, name, failure, error);
}

} // namespace sentrel

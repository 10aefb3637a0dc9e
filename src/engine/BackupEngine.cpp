#include "engine/BackupEngine.h"

#include "base/TextFile.h"
#include "engine/IgnoreList.h"
#include "platform/Clock.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace sentrel {

namespace {
constexpr std::int64_t kProgressIntervalMs = 100;

class Fd {
public:
    explicit Fd(int fd = -1)
        : fd_(fd)
    {
    }
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a directory below an already open one without following any
// link on the way, so a link that took a directory's place in either
// tree never leads the walk elsewhere.
int OpenBeneath(int rootFd, std::string_view relative)
{
    while (relative.starts_with('/'))
        relative.remove_prefix(1);
    const std::string path = relative.empty() ? std::string(".") : std::string(relative);
    open_how how {};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const long fd = ::syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
    // Older kernels, and sandboxes whose filters don't know the call.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
        return int(fd);
    return ::openat(rootFd, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// d_type when the file system gives it, else the entry's own mode.
EntryKind KindOf(int dirFd, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return KindOfMode(DTTOIF(entry.d_type));
    struct stat st { };
    if (::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Regular; // gone or unreadable: the copy reports it
    return KindOfMode(st.st_mode);
}

// Creates a destination subdirectory unless one is there; 0 or the errno.
int EnsureDirectory(int dstFd, int dstError, const char* name, mode_t sourceMode)
{
    if (dstFd < 0)
        return dstError;
    struct stat existing { };
    if (::fstatat(dstFd, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode))
        return 0;
    // Owner rwx added: the backup must be able to fill it.
    const mode_t mode = (sourceMode & 0777) | S_IRWXU;
    if (::mkdirat(dstFd, name, mode) != 0)
        return errno;
    // mkdir's mode passes through the umask; the copy keeps the source's.
    ::fchmodat(dstFd, name, mode, 0);
    return 0;
}

bool IsDotDirectory(const char* name)
{
    return name[0] == '.';
}

void EnsureTrailingSlash(std::string& path)
{
    if (!path.ends_with('/'))
        path.push_back('/');
}
} // namespace

struct BackupEngine::Walk {
    BackupProgress& progress;
    bool descend;
    bool overwriteAll;
    std::string_view sourceRoot;
    std::string_view destinationRoot;
    std::string top; // the first level's directory, ending in "/"
    int topFd = -1;
    int destinationFd = -1;
    int destinationError = 0;
    bool excludeKnown = false;
    dev_t excludeDev = 0;
    ino_t excludeIno = 0;

    void exclude(const struct stat& st)
    {
        excludeKnown = true;
        excludeDev = st.st_dev;
        excludeIno = st.st_ino;
    }

    // The destination root met inside the source: walking into it would
    // copy the backup into itself.
    bool excluded(const struct stat& st) const
    {
        return excludeKnown && st.st_dev == excludeDev && st.st_ino == excludeIno;
    }

    // A subdirectory worth walking: no dot directory, no destination root.
    bool takeSubdirectory(int dirFd, const char* name, struct stat& st) const
    {
        if (IsDotDirectory(name))
            return false;
        return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && !excluded(st);
    }

    DIR* openLevel(const std::string& directory) const
    {
        if (topFd < 0)
            return nullptr;
        const int fd = OpenBeneath(topFd, std::string_view(directory).substr(top.size()));
        if (fd < 0)
            return nullptr;
        DIR* dir = ::fdopendir(fd);
        if (!dir)
            ::close(fd);
        return dir;
    }
};

std::string ProgressText(double filesDone, double filesTotal, std::string_view decimalSeparator)
{
    const auto done = static_cast<unsigned long long>(filesDone);
    const auto total = static_cast<unsigned long long>(filesTotal);
    // Hundredths of a percent, rounded half up, without the C locale's say.
    const unsigned long long hundredths = (done * 20000 + total) / (2 * total);
    std::string text = "Backing up [";
    if (hundredths == 10000 && done == total) {
        text += "100";
    } else if (hundredths == 10000) {
        // Not yet done, however close.
        text += "99";
        text += decimalSeparator;
        text += "99";
    } else {
        text += std::to_string(hundredths / 100);
        const unsigned fraction = unsigned(hundredths % 100);
        if (fraction != 0) {
            text += decimalSeparator;
            text += char('0' + fraction / 10);
            if (fraction % 10 != 0)
                text += char('0' + fraction % 10);
        }
    }
    text += "%]";
    return text;
}

std::string DestinationDirectory(std::string_view sourceDirectory, std::string_view sourceRoot,
                                 std::string_view destinationRoot)
{
    // Removed by count, not compared. The root is a prefix of every level's
    // directory, so its bytes are its characters.
    std::string_view relative
        = sourceDirectory.size() > sourceRoot.size() ? sourceDirectory.substr(sourceRoot.size()) : std::string_view();
    std::string destination(destinationRoot);
    if (!relative.starts_with('/'))
        destination.push_back('/');
    destination.append(relative);
    EnsureTrailingSlash(destination);
    return destination;
}

BackupEngine::BackupEngine(const Clock& clock, const IgnoreList& ignoreList, std::string decimalSeparator)
    : clock_(clock)
    , ignoreList_(ignoreList)
    , decimalSeparator_(std::move(decimalSeparator))
{
}

void BackupEngine::CountFiles(const std::string& directory, std::string_view includeSubdir,
                              const std::string& destinationRoot, BackupProgress& progress)
{
    if (directory.empty())
        return;
    Walk walk { progress, includeSubdir == "Yes", false, {}, destinationRoot, directory };
    EnsureTrailingSlash(walk.top);
    const Fd top(::open(walk.top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    walk.topFd = top.get();
    struct stat st { };
    if (::stat(destinationRoot.c_str(), &st) == 0)
        walk.exclude(st);
    countLevel(walk, walk.top);
}

void BackupEngine::countLevel(Walk& walk, const std::string& directory)
{
    std::vector<std::string> subdirectories;
    if (DIR* dir = walk.openLevel(directory)) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st { };
            if (KindOf(fd, *entry) != EntryKind::Directory)
                FilesTotal += 1;
            else if (walk.takeSubdirectory(fd, entry->d_name, st))
                subdirectories.emplace_back(entry->d_name);
            walk.progress.yield();
            if (!walk.progress.running())
                break;
        }
        ::closedir(dir);
    }
    if (!walk.descend)
        return;
    for (const std::string& name : subdirectories) {
        if (!walk.progress.running())
            return;
        countLevel(walk, directory + name + '/');
    }
}

void BackupEngine::CopyTree(const std::string& sourceDirectory, const std::string& destinationRoot,
                            std::string_view includeSubdir, std::string_view overwriteOption,
                            const std::string& sourceRoot, BackupProgress& progress)
{
    if (sourceDirectory.empty())
        return;
    Walk walk {
        progress, includeSubdir == "Yes", overwriteOption == "All", sourceRoot, destinationRoot, sourceDirectory
    };
    EnsureTrailingSlash(walk.top);
    const Fd top(::open(walk.top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    walk.topFd = top.get();
    const Fd destination(::open(destinationRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    walk.destinationFd = destination.get();
    walk.destinationError = destination.get() < 0 ? errno : 0;
    struct stat st { };
    if (destination.get() >= 0 && ::fstat(destination.get(), &st) == 0)
        walk.exclude(st);
    copyLevel(walk, walk.top);
}

void BackupEngine::copyLevel(Walk& walk, const std::string& sourceDirectory)
{
    BackupProgress& progress = walk.progress;
    const std::string destinationDirectory
        = DestinationDirectory(sourceDirectory, walk.sourceRoot, walk.destinationRoot);
    std::vector<std::string> subdirectories;

    DIR* dir = walk.openLevel(sourceDirectory);
    progress.setTag(sourceDirectory);
    if (dir) {
        const int srcFd = ::dirfd(dir);
        int dstError = walk.destinationError;
        const Fd dst(walk.destinationFd < 0
                         ? -1
                         : OpenBeneath(walk.destinationFd,
                                       std::string_view(destinationDirectory).substr(walk.destinationRoot.size())));
        if (walk.destinationFd >= 0 && dst.get() < 0)
            dstError = errno;

        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            const EntryKind kind = KindOf(srcFd, *entry);
            struct stat st { };
            if (kind != EntryKind::Directory) {
                copyFile(walk, srcFd, dst.get(), dstError, sourceDirectory, destinationDirectory, name, kind);
            } else if (walk.takeSubdirectory(srcFd, name, st)) {
                subdirectories.emplace_back(name);
                if (const int error = EnsureDirectory(dst.get(), dstError, name, st.st_mode))
                    progress.log("Can not create " + destinationDirectory + name + ", " + SystemErrorText(error));
            }
            progress.yield();
            if (!progress.running())
                break;
        }
        ::closedir(dir);
    }

    if (!walk.descend)
        return;
    for (const std::string& name : subdirectories) {
        if (!progress.running())
            return;
        copyLevel(walk, sourceDirectory + name + '/');
    }
}

void BackupEngine::copyFile(Walk& walk, int srcFd, int dstFd, int dstError, const std::string& sourceDirectory,
                            const std::string& destinationDirectory, const char* name, EntryKind kind)
{
    tagBuffer_.assign(sourceDirectory).append(name);
    walk.progress.setTag(tagBuffer_);
    FilesDone += 1;
    refreshProgress(walk.progress);
    if (ignoreList_.Matches(name))
        return;

    bool copy = true;
    struct stat dst { };
    if (dstFd >= 0 && !walk.overwriteAll && ::fstatat(dstFd, name, &dst, AT_SYMLINK_NOFOLLOW) == 0) {
        // Instants, not local calendar times: a change of time zone or
        // daylight saving time must not make every file look newer.
        struct stat src { };
        copy = ::fstatat(srcFd, name, &src, AT_SYMLINK_NOFOLLOW) != 0 || dst.st_mtim.tv_sec < src.st_mtim.tv_sec;
    }
    if (!copy)
        return;

    std::string error;
    CopyOutcome outcome = CopyOutcome::Failed;
    if (dstFd < 0)
        error = SystemErrorText(dstError);
    else
        outcome = copier_.copy(srcFd, name, kind, dstFd, walk.progress, error);
    if (outcome == CopyOutcome::Failed)
        walk.progress.log("Can not create " + destinationDirectory + name + ", " + error);
}

void BackupEngine::refreshProgress(BackupProgress& progress)
{
    const std::int64_t now = clock_.tickMs();
    if (now - LastProgressTick <= kProgressIntervalMs)
        return;
    if (FilesTotal != 0)
        progress.setStatus(ProgressText(FilesDone, FilesTotal, decimalSeparator_));
    LastProgressTick = now;
}

} // namespace sentrel

#include "engine/Versions.h"

#include "base/DateTime.h"
#include "base/DirStream.h"
#include "base/TextFile.h"
#include "engine/TreeWalk.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sentrel {

namespace {
constexpr int kFolderMode = 0777; // less the umask, as the user's own folders
constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// 0 when `name` is a directory in dirFd afterwards, made or not; else the errno.
int MakeFolder(int dirFd, const char* name)
{
    if (::mkdirat(dirFd, name, kFolderMode) == 0 || errno == EEXIST)
        return 0;
    return errno;
}

bool NoHardLinks(int error)
{
    // exFAT and FAT say EPERM; some FUSE and network file systems the others.
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

bool IsDirectoryEntry(int dirFd, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type == DT_DIR;
    struct stat st { };
    return ::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

long long SecondsOf(const LocalDateTime& t)
{
    return (long long)DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}
} // namespace

std::string VersionFolderName(const LocalDateTime& t)
{
    std::string name = FormatDateTime(t);
    // ":" is not allowed on FAT, exFAT and NTFS.
    for (char& c : name) {
        if (c == ':')
            c = '.';
    }
    return name;
}

std::optional<LocalDateTime> ParseVersionFolderName(std::string_view name)
{
    constexpr std::string_view layout = "dddd-dd-dd dd.dd.dd";
    if (name.size() > layout.size() && name[layout.size()] != '-')
        return std::nullopt;
    return ParseDateTimeLike(name, layout);
}

std::string RelativeDirectory(std::string_view directory, std::string_view destinationRoot)
{
    if (directory.starts_with(destinationRoot))
        directory.remove_prefix(destinationRoot.size());
    while (directory.starts_with('/'))
        directory.remove_prefix(1);
    while (directory.ends_with('/'))
        directory.remove_suffix(1);
    return std::string(directory);
}

VersionKeeper::VersionKeeper(std::string destinationRoot, const LocalDateTime& runStart)
    : root_(std::move(destinationRoot))
    , runName_(VersionFolderName(runStart))
{
}

VersionKeeper::~VersionKeeper()
{
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
    if (runFd_ >= 0)
        ::close(runFd_);
}

int VersionKeeper::runFolder(int& error)
{
    if (runFd_ >= 0)
        return runFd_;
    // Made only when the first file is kept: a run that replaces nothing
    // leaves no trace.
    const int rootFd = ::open(root_.c_str(), kOpenFlags);
    if (rootFd < 0) {
        error = errno;
        return -1;
    }
    const std::string versions(kVersionsFolder);
    error = MakeFolder(rootFd, versions.c_str());
    const int versionsFd = error == 0 ? ::openat(rootFd, versions.c_str(), kOpenFlags) : -1;
    if (error == 0 && versionsFd < 0)
        error = errno;
    ::close(rootFd);
    if (versionsFd < 0)
        return -1;
    // Another run started in the same second: a folder of its own.
    std::string name = runName_;
    for (int n = 2; ::mkdirat(versionsFd, name.c_str(), kFolderMode) != 0; ++n) {
        if (errno != EEXIST || n > 99) {
            error = errno;
            ::close(versionsFd);
            return -1;
        }
        name = runName_ + "-" + std::to_string(n);
    }
    runFd_ = ::openat(versionsFd, name.c_str(), kOpenFlags);
    error = runFd_ < 0 ? errno : 0;
    ::close(versionsFd);
    return runFd_;
}

int VersionKeeper::folderFor(const std::string& relative, int& error)
{
    if (cachedFd_ >= 0 && relative == cachedRelative_)
        return cachedFd_;
    const int run = runFolder(error);
    if (run < 0)
        return -1;
    int fd = ::fcntl(run, F_DUPFD_CLOEXEC, 0);
    for (std::size_t start = 0; start < relative.size() && fd >= 0;) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        int next = -1;
        if ((error = MakeFolder(fd, part.c_str())) == 0 && (next = ::openat(fd, part.c_str(), kOpenFlags)) < 0)
            error = errno;
        ::close(fd);
        fd = next;
    }
    if (fd < 0) {
        if (error == 0)
            error = errno;
        return -1;
    }
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
    cachedFd_ = fd;
    cachedRelative_ = relative;
    return fd;
}

int VersionKeeper::keep(int dirFd, const char* name, std::string_view directory, Kept& kept)
{
    kept = Kept::Nothing;
    struct stat st { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(st.st_mode))
        return 0; // no file to keep; the replace fails on its own
    int error = 0;
    {
        const std::lock_guard lock(mutex_);
        const int folder = folderFor(RelativeDirectory(directory, root_), error);
        if (folder < 0)
            return error;
        if (::linkat(dirFd, name, folder, name, 0) == 0) {
            kept = Kept::Linked;
        } else if (NoHardLinks(errno)) {
            if (::renameat(dirFd, name, folder, name) != 0)
                return errno;
            kept = Kept::Moved;
        } else {
            return errno;
        }
    }
    if (afterKeep)
        afterKeep();
    return 0;
}

void VersionKeeper::undo(int dirFd, const char* name, std::string_view directory, Kept kept)
{
    if (kept == Kept::Nothing)
        return;
    const std::lock_guard lock(mutex_);
    int error = 0;
    const int folder = folderFor(RelativeDirectory(directory, root_), error);
    if (folder < 0)
        return;
    if (kept == Kept::Linked)
        ::unlinkat(folder, name, 0);
    else
        ::renameat(folder, name, dirFd, name);
}

PruneResult PruneVersions(const std::string& destinationRoot, const LocalDateTime& now, int days)
{
    PruneResult result;
    const std::string path
        = destinationRoot + (destinationRoot.ends_with('/') ? "" : "/") + std::string(kVersionsFolder);
    DirStream dir = DirStream::Adopt(::open(path.c_str(), kOpenFlags));
    if (!dir) {
        if (dir.error() != ENOENT) {
            result.failed = 1;
            result.error = "Can not read " + path + ", " + SystemErrorText(dir.error());
        }
        return result;
    }
    const long long cutoff = SecondsOf(now) - (long long)days * 86400;
    std::vector<std::string> old;
    while (const dirent* entry = dir.next()) {
        const std::optional<LocalDateTime> date = ParseVersionFolderName(entry->d_name);
        if (date && SecondsOf(*date) < cutoff && IsDirectoryEntry(dir.fd(), *entry))
            old.emplace_back(entry->d_name);
    }
    for (const std::string& name : old) {
        const RemoveOutcome removed = RemoveTree(dir.fd(), name);
        result.removed += removed.files;
        result.failed += removed.failed;
        if (removed.failed > 0 && result.error.empty())
            result.error
                = "Can not remove " + path + "/" + removed.firstPath + ", " + SystemErrorText(removed.firstError);
    }
    return result;
}

std::vector<std::string> PruneLogRows(const PruneResult& result)
{
    std::vector<std::string> rows;
    if (result.removed > 0)
        rows.push_back("Removed " + std::to_string(result.removed) + " old version" + (result.removed == 1 ? "" : "s"));
    if (!result.error.empty()) {
        rows.push_back(result.error);
        if (result.failed > 1)
            rows.back() += " (and " + std::to_string(result.failed - 1) + " more)";
    }
    return rows;
}

} // namespace sentrel

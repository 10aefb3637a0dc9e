#include "engine/BackupEngine.h"

#include "base/CaseFold.h"
#include "base/DirStream.h"
#include "base/TextFile.h"
#include "base/UniqueFd.h"
#include "base/WorkerPool.h"
#include "engine/DirChain.h"
#include "engine/IgnoreList.h"
#include "engine/TreeWalk.h"
#include "engine/Versions.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sentrel {

namespace {
constexpr std::int64_t kProgressIntervalMs = 100;
// Entries listed before they are copied: enough to keep the workers busy,
// few enough that a huge folder costs little memory.
constexpr std::size_t kBatchEntries = 256;
// A destination unmounted lazily still takes copies, into a file system no
// one will see again: its root is looked at this often.
constexpr unsigned kRootCheckFiles = 100;
constexpr std::int64_t kRootCheckMs = 1000;

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

// A destination directory's permission bits: the source's, with owner rwx
// so that the backup can fill it.
mode_t DirectoryMode(mode_t sourceMode)
{
    return (sourceMode & 0777) | S_IRWXU;
}

// Creates a destination subdirectory unless one is there, and brings the
// permission bits of one that is there in line with its source's, so a
// folder made private later is private in the backup too. 0 or the errno.
int EnsureDirectory(int dstFd, int dstError, const char* name, mode_t sourceMode)
{
    if (dstFd < 0)
        return dstError;
    const mode_t mode = DirectoryMode(sourceMode);
    struct stat existing { };
    if (::fstatat(dstFd, name, &existing, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(existing.st_mode)) {
        if ((existing.st_mode & 0777) != mode)
            ::fchmodat(dstFd, name, (existing.st_mode & 07000) | mode, AT_SYMLINK_NOFOLLOW);
        return 0;
    }
    if (::mkdirat(dstFd, name, mode) != 0)
        return errno;
    // mkdir's mode passes through the umask; the copy keeps the source's.
    ::fchmodat(dstFd, name, mode, 0);
    return 0;
}

// A path for the log: without the trailing "/" a directory is held with.
std::string_view WithoutTrailingSlash(std::string_view path)
{
    if (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path;
}

// A directory whose path may be longer than the system takes at once:
// then opened a component at a time.
int OpenDirectory(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    UniqueFd dir(::open(path.starts_with('/') ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t start = 0; start < path.size() && dir.get() >= 0;) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            dir.reset(::openat(dir.get(), path.substr(start, end - start).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        start = end + 1;
    }
    return dir.release();
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
    DirChain& source;
    DirChain* destination; // none in the counting pass
    std::string path; // the level in hand's source directory, ending in "/"
    std::string destinationPath; // and its destination directory
    int destinationCreateError = 0; // why the level in hand's destination could not be made
    bool backUpDotFolders = false;
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

    bool atRoot() const { return path.size() <= sourceRoot.size() + 1; }

    // Out for the program's own reasons, so never named as left out:
    // another backup's kept versions, a copy's temporary file.
    bool ownFolder(std::string_view name) const { return IsCopyTemp(name) || (name == kVersionsFolder && atRoot()); }

    // Out only for the dot its name begins with.
    bool leftOutForDot(std::string_view name) const
    {
        return !backUpDotFolders && name.starts_with('.') && !ownFolder(name);
    }

    bool walksName(std::string_view name) const
    {
        return !ownFolder(name) && (backUpDotFolders || !name.starts_with('.'));
    }

    // A subdirectory worth walking: one whose name is, and no destination root.
    bool takeSubdirectory(int dirFd, const char* name, struct stat& st) const
    {
        if (!walksName(name))
            return false;
        return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && !excluded(st);
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

std::string TimesFailureText(const TimesFailure& failure)
{
    std::string what = failure.count == 1 ? failure.directory + failure.name
                                          : std::to_string(failure.count) + " files in " + failure.directory;
    return "Can not set the time of " + what + ", " + SystemErrorText(failure.error);
}

void LeftOutDotFolders::add(std::string relative)
{
    // The row names two of them, or three when there are no more.
    if (first.size() < 3)
        first.push_back(std::move(relative));
    ++count;
}

std::string LeftOutDotFoldersText(const LeftOutDotFolders& folders)
{
    const std::vector<std::string>& names = folders.first;
    const std::size_t shown = folders.count > 3 ? std::min<std::size_t>(2, names.size()) : names.size();
    std::string text = "Folders whose names begin with a dot are not backed up: ";
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && shown == folders.count ? " and " : ", ";
        text += names[i];
    }
    if (folders.count > shown)
        text += " and " + std::to_string(folders.count - shown) + " more";
    return text;
}

bool DiskGone(int error)
{
    return error != EROFS && DiskUnusable(error);
}

BackupEngine::BackupEngine(std::shared_ptr<const Clock> clock, std::shared_ptr<const IgnoreList> ignore,
                           std::string decimalSeparator)
    : clock_(std::move(clock))
    , ignore_(std::move(ignore))
    , decimalSeparator_(std::move(decimalSeparator))
{
    setCopyThreads(1);
}

BackupEngine::~BackupEngine() = default;

void BackupEngine::setCopyThreads(unsigned threads)
{
    // The helpers are kept from run to run.
    if (pool_ && pool_->workers() == std::max(threads, 1u))
        return;
    pool_ = std::make_unique<WorkerPool>(threads > 1 ? threads - 1 : 0);
    copiers_.resize(pool_->workers());
    tags_.resize(pool_->workers());
    owed_.resize(pool_->workers());
    workerIgnore_.resize(pool_->workers());
    for (auto& copier : copiers_) {
        if (!copier)
            copier = std::make_unique<FileCopier>();
    }
}

void BackupEngine::abandon()
{
    for (auto& copier : copiers_)
        copier->abandon();
}

void BackupEngine::setVersions(VersionKeeper* versions)
{
    versions_ = versions;
}

void BackupEngine::setTempJournal(std::string path)
{
    tempJournal_ = std::move(path);
}

std::vector<TimesFailure> BackupEngine::ApplyFinalTimes()
{
    std::vector<TimesFailure> failed;
    for (OwedTimes& owed : owed_) {
        // Each directory opened once, not each path walked again.
        std::size_t open = SIZE_MAX;
        UniqueFd dir;
        int openError = 0;
        for (const OwedTimes::File& file : owed.files) {
            if (file.directory != open) {
                open = file.directory;
                dir.reset(OpenDirectory(owed.directories[open]));
                openError = dir.get() < 0 ? errno : 0;
            }
            const int error = dir.get() < 0                                                       ? openError
                : ::utimensat(dir.get(), file.name.c_str(), file.times, AT_SYMLINK_NOFOLLOW) != 0 ? errno
                                                                                                  : 0;
            if (error == 0)
                continue;
            if (failed.empty() || failed.back().directory != owed.directories[open])
                failed.push_back({ owed.directories[open], file.name, 0, error });
            ++failed.back().count;
        }
    }
    DiscardFinalTimes();
    return failed;
}

void BackupEngine::DiscardFinalTimes()
{
    for (OwedTimes& owed : owed_) {
        owed.directories = {};
        owed.files = {};
    }
}

namespace {
int OpenTop(const std::string& path, int& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    return fd;
}
} // namespace

void BackupEngine::CountFiles(const std::string& directory, std::string_view includeSubdir,
                              const std::string& destinationRoot, BackupProgress& progress)
{
    if (directory.empty())
        return;
    int error = 0;
    std::string top = directory;
    EnsureTrailingSlash(top);
    DirChain source(OpenTop(top, error), error);
    Walk walk {
        progress, includeSubdir == "Yes", false, directory, destinationRoot, source, nullptr, std::move(top), {}
    };
    walk.backUpDotFolders = backUpDotFolders_;
    struct stat st { };
    if (::stat(destinationRoot.c_str(), &st) == 0)
        walk.exclude(st);
    walkTree(walk, false);
}

void BackupEngine::CopyTree(const std::string& sourceDirectory, const std::string& destinationRoot,
                            std::string_view includeSubdir, std::string_view overwriteOption,
                            const std::string& sourceRoot, BackupProgress& progress, int destinationRootFd)
{
    if (sourceDirectory.empty())
        return;
    int sourceError = 0, destinationError = 0;
    std::string top = sourceDirectory;
    EnsureTrailingSlash(top);
    DirChain source(OpenTop(top, sourceError), sourceError);
    DirChain destination(OpenTop(destinationRoot, destinationError), destinationError);
    destinationLost_ = 0;
    destinationMoved_ = false;
    sourceLost_ = 0;
    sourceRootError_ = 0;
    cutShort_ = false;
    destinationRootFd_ = destinationRootFd;
    destinationRootPath_ = destinationRoot;
    filesSinceRootCheck_ = 0;
    lastRootCheckMs_ = clock_->tickMs();
    destination_ = {};
    std::string destinationPath = DestinationDirectory(top, sourceRoot, destinationRoot);
    Walk walk { progress,     includeSubdir == "Yes", overwriteOption == "All",  sourceRoot, destinationRoot, source,
                &destination, std::move(top),         std::move(destinationPath) };
    walk.backUpDotFolders = backUpDotFolders_;
    leftOutDot_ = {};
    for (auto& copier : copiers_) {
        copier->setJournal(tempJournal_);
        copier->setVersions(versions_);
    }

    struct stat dst {
    }, src {};
    const int dstFd = destination.fd();
    if (dstFd >= 0 && ::fstat(dstFd, &dst) == 0) {
        walk.exclude(dst);
        // The root may be a folder the user made: it loses what the source
        // root keeps from others, but gains nothing.
        const int srcFd = source.fd();
        if (srcFd >= 0 && ::fstat(srcFd, &src) == 0 && S_ISDIR(dst.st_mode)) {
            const mode_t extra = dst.st_mode & 0077 & ~src.st_mode;
            if (extra != 0)
                ::fchmod(dstFd, dst.st_mode & 07777 & ~extra);
        }
    }
    if (dstFd >= 0) {
        destination_ = ProbeDestination(dstFd);
        if (DiskUnusable(destination_.error))
            loseDestination(destination_.error);
    } else if (DiskUnusable(destinationError)) {
        loseDestination(destinationError);
    }
    if (!destinationLost_)
        walkTree(walk, true);

    const std::string root(WithoutTrailingSlash(destinationRoot));
    if (const int lost = destinationLost_.load())
        progress.log("Can not write " + root + ", " + SystemErrorText(lost));
    else if (const int gone = sourceLost_.load())
        progress.log("Can not read " + std::string(WithoutTrailingSlash(sourceDirectory)) + ", "
                     + SystemErrorText(gone));
    unsigned refused = 0;
    for (auto& copier : copiers_)
        refused |= copier->takeRefused();
    // Once a run, and no failure: the data is there.
    if (refused == FileCopier::kPermissionsRefused)
        progress.note("The destination does not keep permissions: " + root);
    else if (refused == FileCopier::kTimesRefused)
        progress.note("The destination does not keep time stamps: " + root);
    else if (refused != 0)
        progress.note("The destination does not keep permissions or time stamps: " + root);
    if (leftOutDot_.count != 0)
        progress.note(LeftOutDotFoldersText(leftOutDot_));
}

void BackupEngine::loseDestination(int error)
{
    int none = 0;
    destinationLost_.compare_exchange_strong(none, error);
}

void BackupEngine::loseSource(int error)
{
    int none = 0;
    sourceLost_.compare_exchange_strong(none, error);
}

bool BackupEngine::going(const BackupProgress& progress)
{
    if (destinationLost_.load() != 0 || sourceLost_.load() != 0 || destinationMoved_.load())
        return false;
    if (progress.running())
        return true;
    cutShort_ = true;
    return false;
}

void BackupEngine::checkDestinationRoot(std::int64_t now)
{
    std::int64_t last = lastRootCheckMs_.load();
    if (++filesSinceRootCheck_ < kRootCheckFiles && now - last < kRootCheckMs)
        return;
    // One worker looks; the others go on.
    if (!lastRootCheckMs_.compare_exchange_strong(last, now))
        return;
    filesSinceRootCheck_ = 0;
    struct stat opened {
    }, current {};
    if (::fstat(destinationRootFd_, &opened) != 0 || ::stat(destinationRootPath_.c_str(), &current) != 0
        || opened.st_dev != current.st_dev || opened.st_ino != current.st_ino)
        destinationMoved_ = true;
}

void BackupEngine::walkTree(Walk& walk, bool copying)
{
    // The walker keeps the source's chain; the destination's follows it here.
    class Visitor final : public TreeVisitor {
    public:
        Visitor(BackupEngine& engine, Walk& walk, bool copying)
            : engine_(engine)
            , walk_(walk)
            , copying_(copying)
        {
        }

        void visit(TreeLevel& level) override
        {
            if (level.depth() > 0) {
                const std::string name(level.name());
                walk_.destinationCreateError = level.data();
                walk_.path.append(name).push_back('/');
                walk_.destinationPath.append(name).push_back('/');
                if (walk_.destination)
                    walk_.destination->push(name.c_str());
            }
            std::vector<Subdirectory> subdirectories;
            if (copying_)
                engine_.copyLevel(walk_, subdirectories);
            else
                engine_.countLevel(walk_, subdirectories);
            if (!walk_.descend)
                return;
            for (Subdirectory& subdirectory : subdirectories)
                level.descend(std::move(subdirectory.name), subdirectory.createError);
        }

        void left(TreeLevel&, const std::string& name, int) override
        {
            if (walk_.destination)
                walk_.destination->pop();
            walk_.path.resize(walk_.path.size() - name.size() - 1);
            walk_.destinationPath.resize(walk_.destinationPath.size() - name.size() - 1);
        }

        // Asked only when there is a subdirectory still to walk, so a stop
        // noted here passed something over.
        bool going() override { return copying_ ? engine_.going(walk_.progress) : walk_.progress.running(); }

    private:
        BackupEngine& engine_;
        Walk& walk_;
        bool copying_;
    };

    Visitor visitor(*this, walk, copying);
    WalkTree(walk.source, visitor);
}

void BackupEngine::countLevel(Walk& walk, std::vector<Subdirectory>& subdirectories)
{
    const int fd = walk.source.fd();
    DirStream dir = DirStream::Duplicate(fd);
    if (!dir)
        return; // the copy reports it
    while (const dirent* entry = dir.next()) {
        struct stat st { };
        if (KindOf(fd, *entry) != EntryKind::Directory)
            FilesTotal += 1;
        else if (walk.takeSubdirectory(fd, entry->d_name, st))
            subdirectories.push_back({ entry->d_name, 0 });
        walk.progress.yield();
        if (!walk.progress.running())
            break;
    }
}

void BackupEngine::copyLevel(Walk& walk, std::vector<Subdirectory>& subdirectories)
{
    BackupProgress& progress = walk.progress;
    const int srcFd = walk.source.fd();
    DirStream dir = DirStream::Duplicate(srcFd);
    progress.setTag(walk.path);
    const auto unreadable = [&](int error) {
        // The root unreadable or the source's disk gone: the run fails.
        if (walk.atRoot())
            sourceRootError_ = error;
        else if (DiskGone(error))
            return loseSource(error);
        progress.log("Can not read " + std::string(WithoutTrailingSlash(walk.path)) + ", " + SystemErrorText(error));
    };
    if (!dir) {
        unreadable(dir.error());
        return;
    }
    const int dstFd = walk.destination->fd();
    int dstError = dstFd < 0 ? errno : 0;
    // Missing because it could not be made: that is the reason to give.
    if (dstError == ENOENT && walk.destinationCreateError != 0)
        dstError = walk.destinationCreateError;
    if (DiskUnusable(dstError)) {
        loseDestination(dstError);
        return;
    }
    for (auto& copier : copiers_)
        copier->enterDirectory(walk.destinationPath);
    // Destination names met in this level, folded, with the source names
    // that took them.
    std::unordered_map<std::u32string, std::string> taken;

    // Listed a batch at a time, copied by the workers, reported in the
    // listing's order.
    int readError = 0;
    for (bool more = true; more && going(progress);) {
        batch_.clear();
        while (batch_.size() < kBatchEntries) {
            const dirent* entry = dir.next();
            if (!entry) {
                readError = errno;
                more = false;
                break;
            }
            batch_.push_back({ entry->d_name, KindOf(srcFd, *entry), false, false, 0, {} });
        }
        // An edit of the list reaches the run from the next batch on.
        batchIgnore_ = ignore_->matcher();
        if (destination_.caseInsensitive)
            findCaseTwins(walk, taken);
        try {
            pool_->run(batch_.size(), [&](std::size_t i, unsigned worker) {
                // After a stop the rest of the batch is passed over.
                if (going(progress) && !batch_[i].caseTwin)
                    copyEntry(walk, batch_[i], worker, srcFd, dstFd, dstError);
            });
        } catch (...) {
            // Out of memory, most likely: no temporary file may outlive it.
            abandon();
            throw;
        }
        for (Entry& entry : batch_) {
            if (!entry.failure.empty())
                progress.log(entry.failure);
            if (entry.leftOutDot) {
                std::string relative = RelativeDirectory(walk.path, walk.sourceRoot);
                leftOutDot_.add(relative.empty() ? entry.name : relative + "/" + entry.name);
            }
            if (entry.subdirectory)
                subdirectories.push_back({ std::move(entry.name), entry.createError });
        }
    }
    if (readError != 0)
        unreadable(readError);
}

void BackupEngine::copyEntry(Walk& walk, Entry& entry, unsigned worker, int srcFd, int dstFd, int dstError)
{
    struct stat st { };
    if (entry.kind != EntryKind::Directory) {
        copyFile(walk, entry, worker, srcFd, dstFd, dstError);
    } else if (versions_ && entry.name == kVersionsFolder && walk.atRoot()) {
        // Another backup's kept versions: copied here they would pass for this one's.
        entry.failure = "Skipped " + walk.path + entry.name + ", a folder of kept versions";
    } else if (walk.leftOutForDot(entry.name)) {
        entry.leftOutDot = true;
    } else if (walk.takeSubdirectory(srcFd, entry.name.c_str(), st)) {
        entry.subdirectory = true;
        entry.createError = EnsureDirectory(dstFd, dstError, entry.name.c_str(), st.st_mode);
        if (DiskUnusable(entry.createError))
            loseDestination(entry.createError);
        else if (entry.createError != 0)
            entry.failure
                = "Can not create " + walk.destinationPath + entry.name + ", " + SystemErrorText(entry.createError);
    }
    walk.progress.yield();
}

void BackupEngine::copyFile(Walk& walk, Entry& entry, unsigned worker, int srcFd, int dstFd, int dstError)
{
    const char* name = entry.name.c_str();
    FilesDone += 1;
    // One reading of the clock a file serves the progress and the root's check.
    const std::int64_t now = clock_->tickMs();
    if (destinationRootFd_ >= 0)
        checkDestinationRoot(now);
    tags_[worker].assign(walk.path).append(name);
    walk.progress.setTag(tags_[worker]);
    refreshProgress(walk.progress, now);
    WorkerIgnore& ignore = workerIgnore_[worker];
    if (const std::uint64_t generation = ignore_->generation(); generation != ignore.generation) {
        ignore.matcher = ignore_->matcher();
        ignore.generation = generation;
    }
    // Another run's copy in hand (a source may hold a destination) is no
    // file of the user's.
    if (IsCopyTemp(entry.name) || ignore.matcher->Matches(name))
        return;

    bool copy = true;
    bool exists = walk.overwriteAll; // most files are there on a re-run
    struct stat dst { };
    if (dstFd >= 0 && !walk.overwriteAll) {
        exists = ::fstatat(dstFd, name, &dst, AT_SYMLINK_NOFOLLOW) == 0;
        if (!exists && DiskUnusable(errno))
            return loseDestination(errno);
        if (exists) {
            struct stat src { };
            copy = ::fstatat(srcFd, name, &src, AT_SYMLINK_NOFOLLOW) != 0 || outOfDate(dst, src);
            // Up to date, but a file made private later is private in the
            // backup too.
            if (!copy && S_ISREG(src.st_mode) && S_ISREG(dst.st_mode) && (src.st_mode & 0777) != (dst.st_mode & 0777))
                ::fchmodat(dstFd, name, src.st_mode & 0777, AT_SYMLINK_NOFOLLOW);
        }
    }
    if (!copy)
        return;
    // "All" copies an unchanged file again: the copy it replaces is the
    // same, and keeping it would fill the disk with a whole backup a run.
    bool keepReplaced = true;
    if (versions_ && walk.overwriteAll && dstFd >= 0) {
        struct stat src { };
        keepReplaced = ::fstatat(dstFd, name, &dst, AT_SYMLINK_NOFOLLOW) != 0
            || ::fstatat(srcFd, name, &src, AT_SYMLINK_NOFOLLOW) != 0 || !sameCopy(dst, src);
    }

    std::string error;
    CopyOutcome outcome = CopyOutcome::Failed;
    FinalTimes times;
    if (dstFd < 0)
        error = SystemErrorText(dstError);
    else
        outcome
            = copiers_[worker]->copy(srcFd, name, entry.kind, dstFd, exists, keepReplaced, walk.progress, error, times);
    const int destinationError = dstFd < 0 ? dstError : copiers_[worker]->destinationError();
    const int sourceError = dstFd < 0 ? 0 : copiers_[worker]->sourceError();
    if (outcome == CopyOutcome::Canceled)
        cutShort_ = true;
    else if (outcome == CopyOutcome::Failed && DiskUnusable(destinationError))
        loseDestination(destinationError);
    else if (outcome == CopyOutcome::Failed && DiskGone(sourceError))
        loseSource(sourceError);
    else if (outcome == CopyOutcome::Failed)
        entry.failure = "Can not create " + walk.destinationPath + name + ", " + error;
    if (times.pending)
        owe(worker, walk.destinationPath, entry.name, times);
}

void BackupEngine::findCaseTwins(Walk& walk, std::unordered_map<std::u32string, std::string>& taken)
{
    std::u32string folded;
    for (Entry& entry : batch_) {
        // Only what would be copied takes a name: no folder left out, no
        // ignored or temporary file.
        const bool directory = entry.kind == EntryKind::Directory;
        if (directory ? !walk.walksName(entry.name)
                      : IsCopyTemp(entry.name) || batchIgnore_->Matches(entry.name.c_str()))
            continue;
        FoldCase(entry.name, folded);
        const auto [first, added] = taken.try_emplace(folded, entry.name);
        if (added)
            continue;
        // Copied, it would overwrite or merge into the other one.
        entry.caseTwin = true;
        entry.failure = "Can not create " + walk.destinationPath + entry.name + ", the name differs only in case from "
            + first->second;
        if (!directory)
            FilesDone += 1;
    }
}

bool BackupEngine::outOfDate(const struct stat& copy, const struct stat& source) const
{
    // Instants, not local calendar times: a change of time zone or daylight
    // saving time must not make every file look newer.
    const time_t step = destination_.timeStep;
    if (step <= 1)
        return copy.st_mtim.tv_sec < source.st_mtim.tv_sec;
    // Kept to the step, an odd second would look older on every run. Within
    // one step only a change of size tells a changed file.
    const auto slot = [step](time_t t) { return t >= 0 ? t / step : -((-t + step - 1) / step); };
    const time_t copySlot = slot(copy.st_mtim.tv_sec), sourceSlot = slot(source.st_mtim.tv_sec);
    return copySlot < sourceSlot || (copySlot == sourceSlot && copy.st_size != source.st_size);
}

bool BackupEngine::sameCopy(const struct stat& copy, const struct stat& source) const
{
    return S_ISREG(copy.st_mode) && S_ISREG(source.st_mode) && copy.st_size == source.st_size
        && !outOfDate(copy, source) && !outOfDate(source, copy);
}

void BackupEngine::owe(unsigned worker, const std::string& directory, const std::string& name, const FinalTimes& times)
{
    OwedTimes& owed = owed_[worker];
    if (owed.directories.empty() || owed.directories.back() != directory)
        owed.directories.push_back(directory);
    owed.files.push_back({ owed.directories.size() - 1, name, { times.access, times.modification } });
}

void BackupEngine::refreshProgress(BackupProgress& progress, std::int64_t now)
{
    std::int64_t last = LastProgressTick.load();
    // One worker of those that come at the same moment shows it.
    if (now - last <= kProgressIntervalMs || !LastProgressTick.compare_exchange_strong(last, now))
        return;
    if (FilesTotal != 0)
        progress.setStatus(ProgressText(FilesDone, FilesTotal, decimalSeparator_));
}

} // namespace sentrel

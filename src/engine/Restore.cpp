#include "engine/Restore.h"

#include "base/BackgroundJob.h"
#include "base/DateTime.h"
#include "base/DirStream.h"
#include "base/TextFile.h"
#include "base/UniqueFd.h"
#include "engine/BackupEngine.h"
#include "engine/DirChain.h"
#include "engine/FileCopy.h"
#include "engine/TreeWalk.h"
#include "engine/Versions.h"
#include "platform/EventLoop.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::string Joined(std::string_view a, std::string_view b)
{
    std::string path(a);
    if (b.empty())
        return path;
    if (!path.empty() && !path.ends_with('/'))
        path.push_back('/');
    path.append(b);
    return path;
}

std::string_view LastName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

// Lists one tree of the backup: its own, or one run's kept versions.
class IndexVisitor final : public TreeVisitor {
public:
    IndexVisitor(BackupIndex& index, std::string top, std::string version, bool dotFolders,
                 std::atomic<std::size_t>* listed, const std::atomic<bool>* cancel)
        : index_(index)
        , top_(std::move(top))
        , version_(std::move(version))
        , dotFolders_(dotFolders)
        , listed_(listed)
        , cancel_(cancel)
    {
    }

    void visit(TreeLevel& level) override
    {
        if (level.depth() > 0)
            index_.folders.push_back(level.path());
        const int fd = level.fd();
        DirStream dir = DirStream::Duplicate(fd);
        while (const dirent* entry = dir ? dir.next() : nullptr) {
            if (!going())
                return level.stop();
            const std::string_view name = entry->d_name;
            struct stat st { };
            if (IsCopyTemp(name) || ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                // The backup's only one of its own is the versions at the
                // top; the others are the user's, there if backed up.
                if (dotFolders_ ? (level.depth() > 0 || name != kVersionsFolder) : !name.starts_with('.'))
                    level.descend(entry->d_name);
                continue;
            }
            const std::string relative = Joined(level.path(), name);
            index_.files[relative].push_back(
                { Joined(top_, relative), version_, (long long)st.st_size, std::int64_t(st.st_mtim.tv_sec) });
            if (listed_)
                ++*listed_;
        }
    }

    bool going() override { return !cancel_ || !*cancel_; }

private:
    BackupIndex& index_;
    std::string top_;
    std::string version_;
    bool dotFolders_;
    std::atomic<std::size_t>* listed_;
    const std::atomic<bool>* cancel_;
};

void IndexTree(int topFd, IndexVisitor& visitor)
{
    const int error = errno;
    DirChain chain(topFd, error);
    if (topFd >= 0)
        WalkTree(chain, visitor);
}

// Opens `path` below `fd` a name at a time, following links as a path
// would; with `create`, the missing folders are made. -1 with errno set.
int OpenBelow(int fd, std::string_view path, bool create)
{
    UniqueFd dir(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    for (std::size_t start = 0; start < path.size() && dir.get() >= 0;) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string part(path.substr(start, end - start));
        start = end + 1;
        if (part.empty())
            continue;
        int next = ::openat(dir.get(), part.c_str(), kDirectoryFlags);
        if (next < 0 && errno == ENOENT && create && (::mkdirat(dir.get(), part.c_str(), 0777) == 0 || errno == EEXIST))
            next = ::openat(dir.get(), part.c_str(), kDirectoryFlags);
        const int error = errno;
        dir.reset(next);
        errno = error;
    }
    return dir.release();
}

// The folders of the files in hand, the last one kept open for the next
// file in it or below it. A path longer than the system takes at once is
// opened a name at a time.
class Folders final {
public:
    explicit Folders(bool create)
        : create_(create)
    {
    }

    // -1 with errno set.
    int open(const std::string& path)
    {
        if (fd_.get() >= 0 && path == path_)
            return fd_.get();
        int fd = -1;
        if (fd_.get() >= 0 && path.starts_with(path_) && path.size() > path_.size() && path[path_.size()] == '/') {
            fd = OpenBelow(fd_.get(), std::string_view(path).substr(path_.size()), create_);
        } else {
            fd = ::open(path.c_str(), kDirectoryFlags);
            if (fd < 0 && (errno == ENAMETOOLONG || (create_ && errno == ENOENT))) {
                const UniqueFd top(::open(path.starts_with('/') ? "/" : ".", kDirectoryFlags));
                fd = top.get() < 0 ? -1 : OpenBelow(top.get(), path, create_);
            }
        }
        if (fd < 0)
            return -1;
        fd_.reset(fd);
        path_ = path;
        return fd;
    }

private:
    bool create_;
    std::string path_;
    UniqueFd fd_;
};

// What the copier reports to: only whether the job was given up.
class RestoreProgress final : public BackupProgress {
public:
    explicit RestoreProgress(const std::atomic<bool>& cancel)
        : cancel_(cancel)
    {
    }
    void setTag(std::string_view) override { }
    void setStatus(std::string_view) override { }
    void log(std::string_view) override { }
    void yield() override { }
    bool running() const override { return !cancel_; }

private:
    const std::atomic<bool>& cancel_;
};

// What the job's threads touch: theirs to keep, should the job be given up.
struct Work {
    std::vector<RestoreItem> items;
    std::vector<char> newer;
    std::vector<char> exists;
    std::vector<std::size_t> chosen;
    RestoreOutcome outcome;
    std::atomic<bool> cancel = false;
};

void Compare(Work& work)
{
    Folders sources(false), targets(false);
    work.newer.assign(work.items.size(), 0);
    work.exists.assign(work.items.size(), 0);
    for (std::size_t i = 0; i < work.items.size() && !work.cancel; ++i) {
        const RestoreItem& item = work.items[i];
        const std::string name(LastName(item.from));
        struct stat target {
        }, copy {};
        const int targetFd = targets.open(item.into);
        work.exists[i] = targetFd >= 0 && ::fstatat(targetFd, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
        const int copyFd = work.exists[i] ? sources.open(ParentOf(item.from)) : -1;
        work.newer[i] = copyFd >= 0 && ::fstatat(copyFd, name.c_str(), &copy, AT_SYMLINK_NOFOLLOW) == 0
            && target.st_mtim.tv_sec > copy.st_mtim.tv_sec;
    }
}

// A copied file keeps a provisional time until its data is on the disk
// (see FileCopier): a restore waits for that here.
int ApplyTimes(int dirFd, const char* name, const FinalTimes& times)
{
    const UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const timespec final[2] = { times.access, times.modification };
    if (fd.get() < 0 || (::fsync(fd.get()) != 0 && errno != EINVAL) || ::futimens(fd.get(), final) != 0)
        return errno;
    return 0;
}

// Empty or the failure's description.
std::string RestoreOne(FileCopier& copier, Folders& sources, Folders& targets, const RestoreItem& item,
                       BackupProgress& progress, bool exists, bool& canceled)
{
    const std::string name(LastName(item.from));
    const auto cannotRead = [&](const std::string& why) { return "Can not read " + item.from + ", " + why; };
    const auto cannotCreate = [&](const std::string& why) { return "Can not create " + item.to() + ", " + why; };
    const int srcFd = sources.open(ParentOf(item.from));
    struct stat st { };
    if (srcFd < 0 || ::fstatat(srcFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return cannotRead(SystemErrorText(errno));
    const int dstFd = targets.open(item.into);
    if (dstFd < 0)
        return cannotCreate(SystemErrorText(errno));
    copier.enterDirectory(item.into);
    std::string error;
    FinalTimes times;
    const CopyOutcome outcome
        = copier.copy(srcFd, name.c_str(), KindOfMode(st.st_mode), dstFd, exists, false, progress, error, times);
    canceled = outcome == CopyOutcome::Canceled;
    if (outcome == CopyOutcome::Failed)
        return copier.destinationError() != 0 ? cannotCreate(error) : cannotRead(error);
    if (outcome == CopyOutcome::Copied && times.pending) {
        if (const int failure = ApplyTimes(dstFd, name.c_str(), times))
            return cannotCreate(SystemErrorText(failure));
    }
    return {};
}

void Copy(Work& work)
{
    FileCopier copier;
    RestoreProgress progress(work.cancel);
    Folders sources(false), targets(true);
    for (const std::size_t i : work.chosen) {
        if (work.cancel)
            break;
        bool canceled = false;
        std::string failure = RestoreOne(copier, sources, targets, work.items[i], progress, work.exists[i], canceled);
        if (canceled)
            break;
        if (failure.empty())
            ++work.outcome.restored;
        else
            work.outcome.failures.push_back(std::move(failure));
    }
}

std::string DescribeException(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}
} // namespace

BackupIndex IndexBackup(const std::string& destinationRoot, std::atomic<std::size_t>* listed,
                        const std::atomic<bool>* cancel, bool dotFolders)
{
    BackupIndex index;
    const UniqueFd root(::open(destinationRoot.c_str(), kDirectoryFlags));
    if (root.get() < 0)
        return index;
    IndexVisitor own(index, destinationRoot, {}, dotFolders, listed, cancel);
    IndexTree(::fcntl(root.get(), F_DUPFD_CLOEXEC, 0), own);

    const std::string versionsName(kVersionsFolder);
    const UniqueFd versions(::openat(root.get(), versionsName.c_str(), kDirectoryFlags | O_NOFOLLOW));
    std::vector<std::string> runs;
    DirStream dir = DirStream::Duplicate(versions.get());
    while (const dirent* entry = dir ? dir.next() : nullptr) {
        if (ParseVersionFolderName(entry->d_name))
            runs.emplace_back(entry->d_name);
    }
    // Newest first, each after the backup's own copy.
    std::sort(runs.rbegin(), runs.rend());
    for (const std::string& run : runs) {
        if (cancel && *cancel)
            break;
        IndexVisitor visitor(index, Joined(Joined(destinationRoot, versionsName), run), run, dotFolders, listed,
                             cancel);
        IndexTree(::openat(versions.get(), run.c_str(), kDirectoryFlags | O_NOFOLLOW), visitor);
    }
    std::sort(index.folders.begin(), index.folders.end());
    index.folders.erase(std::unique(index.folders.begin(), index.folders.end()), index.folders.end());
    return index;
}

std::string CopyLabel(const BackupCopy& copy)
{
    if (copy.version.empty())
        return "Backup copy";
    const std::optional<LocalDateTime> date = ParseVersionFolderName(copy.version);
    return date ? FormatDateTime(*date) : copy.version;
}

std::string SizeText(long long bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = { "KB", "MB", "GB", "TB" };
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(units); ++unit)
        value /= 1024;
    // One decimal at most, rounded half up.
    const long long tenths = (long long)(value * 10 + 0.5);
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0)
        text += "." + std::to_string(tenths % 10);
    return text + " " + units[unit];
}

std::string RestoreTarget(std::string_view relative, std::string_view sourceRoot, std::string_view pickedFolder)
{
    if (pickedFolder.empty())
        return Joined(sourceRoot, relative);
    return Joined(pickedFolder, LastName(relative));
}

std::string RestoreItem::to() const
{
    return Joined(into, LastName(from));
}

std::vector<RestoreItem> RestoreFileItems(const BackupCopy& copy, const std::string& target)
{
    return { { copy.path, ParentOf(target) } };
}

std::vector<RestoreItem> RestoreFolderItems(const BackupIndex& index, std::string_view relative,
                                            const std::string& target)
{
    std::vector<RestoreItem> items;
    const std::string prefix = relative.empty() ? std::string() : std::string(relative) + "/";
    for (auto it = index.files.lower_bound(prefix); it != index.files.end() && it->first.starts_with(prefix); ++it) {
        // The backup's own copy; a file only in the versions was replaced
        // by a folder, which is the one to restore.
        if (it->second.front().version.empty())
            items.push_back({ it->second.front().path, ParentOf(Joined(target, it->first.substr(prefix.size()))) });
    }
    return items;
}

// Lives on in the loop's ticks and the question in hand; once abandoned,
// they end without a word.
struct RestoreJob::State {
    State(EventLoop& loop, AskReplace ask, std::function<void(RestoreOutcome)> done)
        : loop(loop)
        , ask(std::move(ask))
        , done(std::move(done))
        , work(std::make_shared<Work>())
    {
    }
    ~State()
    {
        if (job)
            job->giveUp();
    }

    // Runs `step` on a thread of its own, then `then` on the loop's thread.
    static void beside(const std::shared_ptr<State>& state, void (*step)(Work&),
                       void (*then)(const std::shared_ptr<State>&))
    {
        state->job = std::make_unique<BackgroundJob>([work = state->work, step] { step(*work); });
        state->loop.every(kPollInterval, [state, then] {
            if (state->abandoned)
                return false;
            bool failed = false;
            try {
                if (!state->job->waitFor(std::chrono::milliseconds(0)))
                    return true;
            } catch (...) {
                // What the step left half done is not gone on with.
                state->work->outcome.failures.push_back("Can not restore, "
                                                        + DescribeException(std::current_exception()));
                failed = true;
            }
            state->job.reset();
            (failed ? &finish : then)(state);
            return false;
        });
    }

    static void askNext(const std::shared_ptr<State>& state)
    {
        Work& work = *state->work;
        for (; state->asking < work.items.size(); ++state->asking) {
            const std::size_t i = state->asking;
            if (!work.newer[i]) {
                work.chosen.push_back(i);
                continue;
            }
            ++state->asking;
            auto answeredOnce = std::make_shared<bool>(false);
            state->ask("The file " + work.items[i].to() + " is newer than the copy in the backup.\r\nReplace it?",
                       [state, i, answeredOnce](bool yes) {
                           if (state->abandoned || std::exchange(*answeredOnce, true))
                               return;
                           if (yes)
                               state->work->chosen.push_back(i);
                           else
                               ++state->declined;
                           // The next question from the loop, not from inside this answer.
                           state->loop.every(std::chrono::milliseconds(0), [state] {
                               if (!state->abandoned)
                                   askNext(state);
                               return false;
                           });
                       });
            return;
        }
        beside(state, &Copy, &finish);
    }

    static void finish(const std::shared_ptr<State>& state)
    {
        RestoreOutcome outcome = std::move(state->work->outcome);
        outcome.declined = state->declined;
        state->finished = true;
        const auto done = std::move(state->done);
        done(std::move(outcome));
    }

    EventLoop& loop;
    AskReplace ask;
    std::function<void(RestoreOutcome)> done;
    std::shared_ptr<Work> work;
    std::unique_ptr<BackgroundJob> job;
    std::size_t asking = 0; // the next item to ask about
    int declined = 0;
    bool abandoned = false;
    bool finished = false;
};

RestoreJob::RestoreJob(EventLoop& loop, std::vector<RestoreItem> items, AskReplace ask,
                       std::function<void(RestoreOutcome)> done)
    : state_(std::make_shared<State>(loop, std::move(ask), std::move(done)))
{
    state_->work->items = std::move(items);
    // Compared first, then asked about, then written: no question waits on a disk.
    State::beside(state_, &Compare, &State::askNext);
}

RestoreJob::~RestoreJob()
{
    state_->abandoned = true;
    state_->work->cancel = true;
    if (state_->job)
        state_->job->giveUp();
}

bool RestoreJob::finished() const
{
    return state_->finished;
}

} // namespace sentrel

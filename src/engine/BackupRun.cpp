#include "engine/BackupRun.h"

#include "base/BackgroundJob.h"
#include "base/FileSystem.h"
#include "base/TextFile.h"
#include "base/UniqueFd.h"
#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "engine/ProgressRelay.h"
#include "engine/Versions.h"
#include "engine/WriteBehind.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr auto kTurnInterval = std::chrono::milliseconds(10);
constexpr int kCopyNice = 10;
constexpr auto kAbandonWait = std::chrono::seconds(3);
constexpr auto kStopPatience = std::chrono::milliseconds(2500);
// A share that takes longer than this to answer whether a folder is there
// is taken as not there; a sleeping disk wakes well within it.
constexpr auto kCheckPatience = std::chrono::seconds(20);

// By stat alone: the current directory is the whole process's.
bool IsDirectory(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A new destination root keeps the source root's permission bits, with
// owner rwx so that the backup can fill it; a private folder stays private.
void MakeDestinationRoot(const std::string& destination, const std::string& source)
{
    struct stat st { };
    const mode_t mode = S_IRWXU | (::stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? st.st_mode & 0777 : 0);
    // mkdir's mode passes through the umask.
    if (::mkdir(destination.c_str(), mode) == 0)
        ::chmod(destination.c_str(), mode);
}

// Whether the path still leads to the directory that was opened: a disk
// pulled and another put in its place is not where the copies went.
bool SameDirectory(int fd, const std::string& path)
{
    struct stat opened {
    }, now {};
    return fd >= 0 && ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &now) == 0 && opened.st_dev == now.st_dev
        && opened.st_ino == now.st_ino;
}

std::string DescribeException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

RunOutcome Failed(RunFailure failure, std::string path, std::string reason = {}, bool started = false)
{
    RunOutcome outcome;
    outcome.end = RunEnd::Failed;
    outcome.failure = failure;
    outcome.path = std::move(path);
    outcome.reason = std::move(reason);
    outcome.started = started;
    return outcome;
}

RunOutcome Canceled(bool started)
{
    RunOutcome outcome;
    outcome.end = RunEnd::Canceled;
    outcome.started = started;
    return outcome;
}

// Takes the relayed reports to the task row, wherever it is now.
class RowProgress final : public BackupProgress {
public:
    RowProgress(TaskList& tasks, ActivityLog& log, TaskId row, const std::string& projectName)
        : tasks_(tasks)
        , log_(log)
        , row_(row)
        , projectName_(projectName)
    {
    }

    void setTag(std::string_view path) override { tasks_.setTag(row_, path); }
    void setStatus(std::string_view text) override { tasks_.setStatus(row_, text); }
    void log(std::string_view detail) override { log_.AddLog(projectName_, detail); }
    void yield() override { }
    bool running() const override { return true; }

private:
    TaskList& tasks_;
    ActivityLog& log_;
    TaskId row_;
    const std::string& projectName_;
};

constexpr const char* kSourceKey = "Source";
constexpr const char* kDestinationKey = "Destination";
} // namespace

// What a run is to do, taken when it starts: the project may change or go
// while it runs.
struct BackupRun::Plan {
    std::string source, destination, includeSubdir, overwriteOption;
    int keepDays = 0;
    bool backUpDotFolders = false;
    LocalDateTime start;
    std::optional<std::string> sourceMount, destinationMount; // as at the last good run
    std::string journal;
    unsigned threads = 1;
    std::shared_ptr<const Clock> clock;
};

// What the run's thread and the window's thread share. The thread holds it
// too, so a run given up in a system call keeps all it uses.
struct BackupRun::Job {
    explicit Job(std::shared_ptr<BackupEngine> engine)
        : engineOwner(std::move(engine))
        , engine(*engineOwner)
    {
    }

    RunOutcome execute(const Plan& plan);
    RunOutcome copy(const Plan& plan, const std::string& sourceMount, const std::string& destinationMount);

    std::shared_ptr<BackupEngine> engineOwner;
    BackupEngine& engine;
    ProgressRelay relay;
    std::atomic<bool> destinationChecked = false; // the source's check in hand
    std::atomic<bool> copying = false; // past the checks
    RunOutcome outcome; // the thread's; read once it is done
};

// Lets the run's thread tell the window's loop that it is done, until the
// window's side stops listening: a thread given up must not reach a loop
// that may be gone.
struct Doorbell {
    std::mutex mutex;
    EventLoop* loop = nullptr;
    std::function<void()> ring;

    void press()
    {
        const std::lock_guard lock(mutex);
        if (loop)
            loop->post(ring);
    }
    void unhook()
    {
        const std::lock_guard lock(mutex);
        loop = nullptr;
        ring = nullptr;
    }
};

struct BackupRun::Watch {
    BackupRun* owner; // none once the run was given up or its owner went
    TaskId row;
    std::string projectName;
    Plan plan;
    RunDone done;
    std::shared_ptr<Job> job;
    std::unique_ptr<BackgroundJob> thread;
    std::shared_ptr<Doorbell> doorbell = std::make_shared<Doorbell>();
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
};

RunOutcome BackupRun::Job::execute(const Plan& plan)
{
    // A drive that is not mounted leaves its mount folder, or the folder it
    // lives in, on the disk below: no backup goes there, none comes from there.
    const std::string destinationMount = MountPointOf(plan.destination);
    if (plan.destinationMount && destinationMount != *plan.destinationMount)
        return Failed(RunFailure::TargetMissing, plan.destination);
    if (!IsDirectory(plan.destination))
        MakeDestinationRoot(plan.destination, plan.source);
    if (!IsDirectory(plan.destination))
        return Failed(RunFailure::TargetMissing, plan.destination);
    destinationChecked = true;
    const std::string sourceMount = MountPointOf(plan.source);
    if ((plan.sourceMount && sourceMount != *plan.sourceMount) || !IsDirectory(plan.source))
        return Failed(RunFailure::SourceMissing, plan.source);
    copying = true;
    relay.note("Start backup");
    return copy(plan, sourceMount, destinationMount);
}

RunOutcome BackupRun::Job::copy(const Plan& plan, const std::string& sourceMount, const std::string& destinationMount)
{
    if (!relay.running())
        return Canceled(true);
    // The copy gives way to the window and to the user's other programs;
    // the threads it starts inherit that.
    ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), kCopyNice);
    engine.setCopyThreads(plan.threads);
    engine.setTempJournal(plan.journal);
    engine.setBackUpDotFolders(plan.backUpDotFolders);
    engine.FilesTotal = 0;
    engine.FilesDone = 0;
    if (!plan.journal.empty())
        SweepTempJournal(plan.journal);
    // Opened before the first copy, so no write-back error of the run
    // escapes them.
    const UniqueFd root(::open(plan.destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    WriteBehind writeBehind(plan.destination);
    std::optional<VersionKeeper> versions;
    engine.setVersions(plan.keepDays > 0 ? &versions.emplace(plan.destination, plan.start) : nullptr);
    engine.CountFiles(plan.source, plan.includeSubdir, plan.destination, relay);
    engine.CopyTree(plan.source, plan.destination, plan.includeSubdir, plan.overwriteOption, plan.source, relay,
                    root.get());
    engine.setVersions(nullptr);

    // Written out also after a stop, so that what was copied counts as
    // copied; copies left with their provisional times are copied again.
    int writeError = engine.DestinationLost();
    if (writeError == 0)
        writeError = writeBehind.finish();
    const bool moved = writeError == 0 && (engine.DestinationMoved() || !SameDirectory(root.get(), plan.destination));
    std::vector<TimesFailure> timesFailed;
    if (writeError != 0 || moved) {
        engine.DiscardFinalTimes();
    } else {
        // The data is on the disk: now the copies may look up to date.
        timesFailed = engine.ApplyFinalTimes();
        writeError = writeBehind.finish();
    }
    if (writeError != 0)
        return Failed(RunFailure::TargetUnwritable, plan.destination, SystemErrorText(writeError), true);
    if (moved)
        return Failed(RunFailure::TargetMissing, plan.destination, {}, true);
    if (const int error = engine.SourceRootError())
        return Failed(error == ENOENT || error == ENOTDIR ? RunFailure::SourceMissing : RunFailure::SourceUnreadable,
                      plan.source, SystemErrorText(error), true);
    if (const int lost = engine.SourceLost())
        return Failed(RunFailure::SourceUnreadable, plan.source, SystemErrorText(lost), true);
    for (const TimesFailure& failure : timesFailed)
        relay.log(TimesFailureText(failure));
    // A stop that came once every file was in hand changes nothing.
    if (engine.CutShort())
        return Canceled(true);

    if (plan.keepDays > 0 && relay.running()) {
        const PruneResult pruned = PruneVersions(plan.destination, plan.clock->now(), plan.keepDays);
        // What went is told even when some of it stayed; what stayed counts.
        const std::vector<std::string> rows = PruneLogRows(pruned);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!pruned.error.empty() && i + 1 == rows.size())
                relay.log(rows[i]);
            else
                relay.note(rows[i]);
        }
    }
    RunOutcome outcome;
    outcome.errors = relay.failures();
    outcome.end = outcome.errors > 0 ? RunEnd::FinishedWithErrors : RunEnd::Finished;
    outcome.started = true;
    outcome.sourceMount = sourceMount;
    outcome.destinationMount = destinationMount;
    return outcome;
}

BackupRun::BackupRun(Context context)
    : c_(std::move(context))
    , stopPatience_(kStopPatience)
    , checkPatience_(kCheckPatience)
{
}

BackupRun::~BackupRun()
{
    // The loop may tick once more: it finds no owner.
    if (watch_) {
        watch_->owner = nullptr;
        watch_->doorbell->unhook();
        watch_->job->relay.setRunning(false);
        watch_->thread->giveUp();
    }
}

unsigned BackupRun::CopyThreads()
{
    // Copying many small files is mostly the kernel's work for each file,
    // which spreads over the cores; a slow disk or a network share also
    // gains from more than one request in flight.
    return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

void BackupRun::setPatience(std::chrono::milliseconds afterStop, std::chrono::milliseconds forChecks)
{
    stopPatience_ = afterStop;
    checkPatience_ = forChecks;
}

std::optional<std::string> BackupRun::knownMount(const std::string& projectName, const char* folderKey,
                                                 const std::string& folder) const
{
    // Only for the folder it was seen with: a new one may be anywhere.
    if (!c_.projectState || c_.projectState->get(projectName, folderKey) != folder)
        return std::nullopt;
    return c_.projectState->get(projectName, std::string(folderKey) + "Mount");
}

void BackupRun::StartBackupTask(TaskId row, const std::string& projectName, RunDone done)
{
    auto watch = std::make_shared<Watch>();
    watch->owner = this;
    watch->row = row;
    watch->projectName = projectName;
    watch->done = std::move(done);
    Plan& plan = watch->plan;
    if (const ProjectRecord* project = c_.projects.findByName(projectName)) {
        plan.source = project->Source;
        plan.destination = project->Destination;
        plan.includeSubdir = project->IncludeSubdir;
        plan.overwriteOption = project->OverwriteOption;
    }
    plan.keepDays = c_.options.keepVersions ? c_.options.keepVersionsDays : 0;
    plan.backUpDotFolders = c_.options.backUpDotFolders;
    plan.start = c_.clock->now();
    plan.sourceMount = knownMount(projectName, kSourceKey, plan.source);
    plan.destinationMount = knownMount(projectName, kDestinationKey, plan.destination);
    plan.journal = c_.tempJournal;
    plan.threads = CopyThreads();
    plan.clock = c_.clock;

    // The engine and its copy threads serve run after run, unless a run
    // given up may still be using them.
    std::shared_ptr<BackupEngine> engine = std::move(spareEngine_);
    if (!engine)
        engine = std::make_shared<BackupEngine>(c_.clock, c_.ignoreList, c_.decimalSeparator);
    watch->job = std::make_shared<Job>(std::move(engine));
    watch->job->relay.setRunning(!stopRequested());
    watch->doorbell->loop = &c_.loop;
    watch->doorbell->ring = [weak = std::weak_ptr<Watch>(watch)] {
        if (const std::shared_ptr<Watch> watch = weak.lock(); watch && watch->owner)
            watch->owner->tick(*watch);
    };
    watch->thread = std::make_unique<BackgroundJob>([job = watch->job, plan, doorbell = watch->doorbell] {
        try {
            job->outcome = job->execute(plan);
        } catch (...) {
            // Whatever broke, the row gets an outcome and the next one runs.
            job->engine.abandon();
            job->outcome
                = Failed(RunFailure::Broken, {}, DescribeException(std::current_exception()), job->copying.load());
        }
        doorbell->press();
    });
    watch_ = watch;
    c_.loop.every(kTurnInterval, [watch] { return watch->owner && watch->owner->tick(*watch); });
}

bool BackupRun::tick(Watch& watch)
{
    Job& job = *watch.job;
    RowProgress row(c_.tasks, c_.log, watch.row, watch.projectName);
    job.relay.deliverTo(row);
    const auto now = std::chrono::steady_clock::now();
    if (stopRequested()) {
        // A stop reaches the engine before its next file.
        job.relay.setRunning(false);
        if (!watch.stoppedAt)
            watch.stoppedAt = now;
    }
    if (watch.thread->waitFor(std::chrono::milliseconds(0))) {
        job.relay.deliverTo(row);
        spareEngine_ = job.engineOwner;
        finish(watch, job.outcome);
        return false;
    }
    // It goes on alone, told to stop, and keeps what it uses.
    if (watch.stoppedAt && now - *watch.stoppedAt > stopPatience_) {
        job.relay.setRunning(false);
        watch.thread->giveUp();
        finish(watch, Canceled(job.copying));
        return false;
    }
    if (!job.copying && now - watch.started > checkPatience_) {
        job.relay.setRunning(false);
        watch.thread->giveUp();
        // The folder whose check did not answer is the one not found.
        finish(watch,
               job.destinationChecked ? Failed(RunFailure::SourceMissing, watch.plan.source)
                                      : Failed(RunFailure::TargetMissing, watch.plan.destination));
        return false;
    }
    return true;
}

void BackupRun::finish(Watch& watch, const RunOutcome& outcome)
{
    // Kept alive through the call: the completion may start the next run.
    const std::shared_ptr<Watch> keep = watch_;
    watch_.reset();
    watch.owner = nullptr;
    watch.doorbell->unhook();
    if (outcome.whole())
        rememberMounts(watch, outcome);
    if (watch.done)
        watch.done(outcome);
}

void BackupRun::rememberMounts(const Watch& watch, const RunOutcome& outcome)
{
    if (!c_.projectState)
        return;
    bool changed = false;
    const auto remember = [&](const char* folderKey, const std::string& folder, const std::string& mount) {
        if (mount.empty() || knownMount(watch.projectName, folderKey, folder) == mount)
            return;
        c_.projectState->set(watch.projectName, folderKey, folder);
        c_.projectState->set(watch.projectName, std::string(folderKey) + "Mount", mount);
        changed = true;
    };
    remember(kDestinationKey, watch.plan.destination, outcome.destinationMount);
    remember(kSourceKey, watch.plan.source, outcome.sourceMount);
    if (changed)
        SaveProjectState(*c_.projectState, c_.log);
}

void BackupRun::abandon()
{
    abandoned_ = true;
    if (!watch_)
        return;
    Job& job = *watch_->job;
    job.relay.setRunning(false);
    // A copy stuck in a system call (a network share gone) must not keep
    // the program from ending; a nameless partial copy ends with it.
    if (watch_->thread->waitFor(kAbandonWait))
        job.engine.abandon();
}

} // namespace sentrel

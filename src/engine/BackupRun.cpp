#include "engine/BackupRun.h"

#include "base/BackgroundJob.h"
#include "base/FileSystem.h"
#include "base/TextFile.h"
#include "base/UniqueFd.h"
#include "engine/Versions.h"
#include "engine/WriteBehind.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr std::string_view kTargetMissing = "Backup failed: target backup directory or disk not found.";
constexpr std::string_view kSourceMissing = "Backup failed: source directory not found.";
constexpr std::string_view kTargetMissingWarning = "Warning: target backup directory or disk not found:";
constexpr std::string_view kSourceMissingWarning = "Warning: source directory not found:";

constexpr auto kTurnInterval = std::chrono::milliseconds(10);
constexpr int kCopyNice = 10;
constexpr auto kAbandonWait = std::chrono::seconds(3);
constexpr auto kStopPatience = std::chrono::milliseconds(2500);
// A share that takes longer than this to answer whether a folder is there
// is taken as not there; a sleeping disk wakes well within it.
constexpr auto kCheckPatience = std::chrono::seconds(20);
constexpr auto kNoLimit = std::chrono::milliseconds::max();

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

std::string Plural(int count, std::string_view one)
{
    return std::to_string(count) + " " + std::string(one) + (count == 1 ? "" : "s");
}

// Takes the engine's reports to the task row, wherever it is now, and
// counts the failures it logs.
class RowProgress final : public BackupProgress {
public:
    RowProgress(const BackupRun::Context& c, TaskId row, const std::string& projectName)
        : c_(c)
        , row_(row)
        , projectName_(projectName)
    {
    }

    void setTag(std::string_view path) override { c_.tasks.setTag(row_, path); }
    void setStatus(std::string_view text) override { c_.tasks.setStatus(row_, text); }
    void log(std::string_view detail) override
    {
        ++errors;
        c_.log.AddLog(projectName_, detail);
    }
    void note(std::string_view detail) override { c_.log.AddLog(projectName_, detail); }
    void yield() override { }
    bool running() const override { return true; }

    int errors = 0;

private:
    const BackupRun::Context& c_;
    TaskId row_;
    const std::string& projectName_;
};

// What the copy thread found, read once it is done.
struct CopyResult {
    int writeError = 0;
    bool destinationGone = false;
    std::vector<std::string> versionsLog; // what pruning the kept versions did
};

// Whether the path still leads to the directory that was opened: a disk
// pulled and another put in its place is not where the copies went.
bool SameDirectory(int fd, const std::string& path)
{
    struct stat opened {
    }, now {};
    return fd >= 0 && ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &now) == 0 && opened.st_dev == now.st_dev
        && opened.st_ino == now.st_ino;
}

// What the checks have reached, read also while they hang.
struct CheckResult {
    std::string mountPoint; // read once they are done
    std::atomic<bool> destinationThere = false;
    std::atomic<bool> sourceThere = false;
};

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
} // namespace

// What a run's thread uses. It is shared with that thread, so a copy
// given up in a system call keeps its engine while a new run gets another.
struct BackupRun::Worker {
    Worker(const Clock& clock, const IgnoreList& ignoreList, std::string decimalSeparator)
        : engine(clock, ignoreList, std::move(decimalSeparator))
    {
    }
    BackupEngine engine;
    ProgressRelay relay;
};

BackupRun::BackupRun(Context context)
    : c_(std::move(context))
    , worker_(std::make_shared<Worker>(c_.clock, c_.ignoreList, c_.decimalSeparator))
    , stopPatience_(kStopPatience)
    , checkPatience_(kCheckPatience)
{
}

BackupRun::~BackupRun() = default;

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

bool BackupRun::stopSeen()
{
    // Once seen, a Start pressed while the run winds down changes nothing.
    stopped_ = stopped_ || abandoned_ || !c_.state.ScheduleRunning;
    return stopped_;
}

bool BackupRun::runBeside(std::function<void(Worker&)> work, BackupProgress& row, std::chrono::milliseconds limit)
{
    const std::shared_ptr<Worker> worker = worker_;
    worker->relay.setRunning(!stopSeen());
    BackgroundJob job([worker, work = std::move(work)] { work(*worker); });
    job_ = &job;
    const auto started = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    const auto turn = [&] {
        worker->relay.deliverTo(row);
        if (c_.yield)
            c_.yield();
        const auto now = std::chrono::steady_clock::now();
        if (stopSeen()) {
            // A stop reaches the engine before its next file.
            worker->relay.setRunning(false);
            if (!stoppedAt)
                stoppedAt = now;
        }
        return !(stoppedAt && now - *stoppedAt > stopPatience_)
            && std::chrono::duration_cast<std::chrono::milliseconds>(now - started) <= limit;
    };
    bool done = false;
    try {
        done = job.waitTurning(turn, kTurnInterval);
    } catch (...) {
        job_ = nullptr;
        worker->relay.deliverTo(row);
        throw;
    }
    job_ = nullptr;
    if (!done) {
        // It goes on alone, told to stop; the next run gets an engine of
        // its own.
        worker->relay.setRunning(false);
        worker_ = std::make_shared<Worker>(c_.clock, c_.ignoreList, c_.decimalSeparator);
        return false;
    }
    worker->relay.deliverTo(row);
    return true;
}

void BackupRun::RunBackupTask(TaskId row, const std::string& projectName)
{
    stopped_ = false;
    try {
        run(row, projectName);
    } catch (...) {
        // Whatever broke, the row gets an outcome and the next one runs.
        const std::string cause = DescribeException(std::current_exception());
        fail(row, projectName, { "Backup failed: " + cause + ".", "Warning: the backup stopped on an error:", cause },
             true);
    }
}

void BackupRun::run(TaskId row, const std::string& projectName)
{
    // Copies: the project table may change while the event loop turns.
    std::string source, destination, includeSubdir, overwriteOption;
    if (const ProjectRecord* project = c_.projects.findByName(projectName)) {
        source = project->Source;
        destination = project->Destination;
        includeSubdir = project->IncludeSubdir;
        overwriteOption = project->OverwriteOption;
    }
    RowProgress progress(c_, row, projectName);

    const auto checks = std::make_shared<CheckResult>();
    const bool answered = runBeside(
        [checks, source, destination, knownMount = knownMountPoint(projectName, destination)](Worker&) {
            // A drive that is not mounted leaves its mount folder, or the
            // folder it lives in, on the disk below: no backup goes there.
            checks->mountPoint = MountPointOf(destination);
            if (knownMount && checks->mountPoint != *knownMount)
                return;
            if (!IsDirectory(destination))
                MakeDestinationRoot(destination, source);
            checks->destinationThere = IsDirectory(destination);
            if (checks->destinationThere)
                checks->sourceThere = IsDirectory(source);
        },
        progress, checkPatience_);
    if (!answered && stopped_)
        return report(row, projectName, Outcome::Canceled, 0);
    if (!checks->destinationThere)
        return fail(row, projectName, { std::string(kTargetMissing), std::string(kTargetMissingWarning), destination },
                    false);
    const std::string mountPoint = checks->mountPoint;
    if (!checks->sourceThere)
        return fail(row, projectName, { std::string(kSourceMissing), std::string(kSourceMissingWarning), source },
                    false);

    c_.log.AddLog(projectName, "Start backup");
    const auto result = std::make_shared<CopyResult>();
    const bool done = runBeside(
        [result, source, destination, includeSubdir, overwriteOption, journal = c_.tempJournal, threads = CopyThreads(),
         keepDays = c_.options.keepVersions ? c_.options.keepVersionsDays : 0, start = c_.clock.now(),
         &clock = c_.clock](Worker& w) {
            // The copy gives way to the window and to the user's other
            // programs; the threads it starts inherit that.
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), kCopyNice);
            BackupEngine& engine = w.engine;
            engine.setCopyThreads(threads);
            engine.setTempJournal(journal);
            if (!journal.empty())
                SweepTempJournal(journal);
            engine.FilesTotal = 0;
            engine.FilesDone = 0;
            // Opened before the first copy, so no write-back error of the
            // run escapes them.
            const UniqueFd root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            WriteBehind writeBehind(destination);
            std::optional<VersionKeeper> versions;
            engine.setVersions(keepDays > 0 ? &versions.emplace(destination, start) : nullptr);
            engine.CountFiles(source, includeSubdir, destination, w.relay);
            engine.CopyTree(source, destination, includeSubdir, overwriteOption, source, w.relay);
            engine.setVersions(nullptr);
            // Also after a stop, so that what was copied counts as copied;
            // copies left with their provisional times are copied again.
            if ((result->writeError = engine.DestinationLost()) != 0
                || (result->writeError = writeBehind.finish()) != 0) {
                engine.DiscardFinalTimes();
            } else if (!SameDirectory(root.get(), destination)) {
                result->destinationGone = true;
                engine.DiscardFinalTimes();
            } else {
                // The data is on the disk: now the copies may look up to date.
                engine.ApplyFinalTimes();
                result->writeError = writeBehind.finish();
            }
            if (keepDays > 0 && w.relay.running() && result->writeError == 0 && !result->destinationGone)
                result->versionsLog = PruneLogRows(PruneVersions(destination, clock.now(), keepDays));
        },
        progress, kNoLimit);

    if (done && result->destinationGone)
        return fail(row, projectName, { std::string(kTargetMissing), std::string(kTargetMissingWarning), destination },
                    true);
    if (done && result->writeError != 0) {
        const std::string reason = SystemErrorText(result->writeError);
        return fail(row, projectName,
                    { "Backup failed: target backup directory or disk can not be written, " + reason + ".",
                      "Warning: target backup directory or disk can not be written:", destination },
                    true);
    }
    if (done) {
        for (const std::string& row : result->versionsLog)
            c_.log.AddLog(projectName, row);
    }
    const Outcome outcome = stopSeen() || !done ? Outcome::Canceled : Outcome::Finished;
    if (outcome == Outcome::Finished)
        rememberMountPoint(projectName, destination, mountPoint);
    report(row, projectName, outcome, progress.errors);
}

std::optional<std::string> BackupRun::knownMountPoint(const std::string& projectName,
                                                      const std::string& destination) const
{
    // Only for the destination it was seen with: a new one may be anywhere.
    if (!c_.projectState || c_.projectState->get(projectName, "Destination") != destination)
        return std::nullopt;
    return c_.projectState->get(projectName, "DestinationMount");
}

void BackupRun::rememberMountPoint(const std::string& projectName, const std::string& destination,
                                   const std::string& mountPoint)
{
    if (!c_.projectState || mountPoint.empty() || knownMountPoint(projectName, destination) == mountPoint)
        return;
    c_.projectState->set(projectName, "Destination", destination);
    c_.projectState->set(projectName, "DestinationMount", mountPoint);
    SaveProjectState(*c_.projectState, c_.log);
}

void BackupRun::report(TaskId row, const std::string& projectName, Outcome outcome, int errors)
{
    const bool finished = outcome == Outcome::Finished;
    std::string text = finished ? "Backup finished" : "Backup canceled";
    if (finished && errors > 0)
        text += " with " + Plural(errors, "error");
    c_.tasks.setStatus(row, text + ".");
    c_.tasks.setCurrentFile(row, "");
    c_.tasks.setImage(row, finished ? TaskImage::Finished : TaskImage::Failed);
    c_.log.AddLog(projectName, text);
    c_.balloons.TrayBalloon(projectName + " - " + text, kAppTitle,
                            finished && errors > 0 ? BalloonIcon::Warning : BalloonIcon::Information);
    c_.tasks.setTag(row, kTagFinished);
    if (c_.options.playSound)
        c_.sound.playExclamation();
}

void BackupRun::fail(TaskId row, const std::string& projectName, const Failure& failure, bool started)
{
    c_.log.AddLog(projectName, failure.detail);
    c_.balloons.TrayBalloon(projectName + " - Backup failed\r\n" + failure.warning + "\r\n" + failure.path, kAppTitle,
                            BalloonIcon::Error);
    c_.tasks.setStatus(row, failure.detail);
    c_.tasks.setImage(row, TaskImage::Failed);
    if (started) {
        // The row must not look as if it were still copying.
        c_.tasks.setCurrentFile(row, "");
        c_.tasks.setTag(row, kTagFinished);
    }
    c_.sound.playExclamation();
}

void BackupRun::abandon()
{
    // For good: the program is ending.
    abandoned_ = true;
    worker_->relay.setRunning(false);
    // A copy stuck in a system call (a network share gone) must not keep
    // the program from ending; a nameless partial copy ends with it.
    if (!job_ || job_->waitFor(kAbandonWait))
        worker_->engine.abandon();
}

} // namespace sentrel

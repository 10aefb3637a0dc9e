#include "engine/BackupRun.h"

#include "base/BackgroundJob.h"
#include "base/TextFile.h"
#include "engine/WriteBehind.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr std::string_view kTargetMissing = "Backup failed: target backup directory or disk not found.";
constexpr std::string_view kSourceMissing = "Backup failed: source directory not found.";

// By stat alone: the current directory is the whole process's.
bool DirExists(const std::string& path)
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

constexpr auto kTurnInterval = std::chrono::milliseconds(10);
constexpr int kCopyNice = 10;
constexpr auto kAbandonWait = std::chrono::seconds(3);

// Writes out everything cached for the destination's file system, so a
// run that reports success has its copies on the disk. 0 or the errno.
int SyncFileSystem(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

// Takes the engine's reports to the task row, wherever it is now.
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
    void log(std::string_view detail) override { c_.log.AddLog(projectName_, detail); }
    void yield() override { }
    bool running() const override { return c_.state.ScheduleRunning; }

private:
    const BackupRun::Context& c_;
    TaskId row_;
    const std::string& projectName_;
};
} // namespace

BackupRun::BackupRun(Context context)
    : c_(std::move(context))
    , engine_(c_.clock, c_.ignoreList, c_.decimalSeparator)
{
}

unsigned BackupRun::CopyThreads()
{
    // Copying many small files is mostly the kernel's work for each file,
    // which spreads over the cores; a slow disk or a network share also
    // gains from more than one request in flight.
    return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

void BackupRun::runBeside(const std::function<void()>& work, BackupProgress& row)
{
    relay_.setRunning(c_.state.ScheduleRunning && !abandoned_);
    BackgroundJob job(work);
    job_ = &job;
    job.waitTurning(
        [&] {
            relay_.deliverTo(row);
            if (c_.yield)
                c_.yield();
            // A stop handled in the turn reaches the engine before its next file.
            relay_.setRunning(c_.state.ScheduleRunning && !abandoned_);
        },
        kTurnInterval);
    job_ = nullptr;
    relay_.deliverTo(row);
}

void BackupRun::RunBackupTask(TaskId row, const std::string& projectName)
{
    // Copies: the project table may change while the event loop turns.
    std::string source, destination, includeSubdir, overwriteOption;
    if (const ProjectRecord* project = c_.projects.findByName(projectName)) {
        source = project->Source;
        destination = project->Destination;
        includeSubdir = project->IncludeSubdir;
        overwriteOption = project->OverwriteOption;
    }

    const auto fail = [&](std::string_view detail, std::string_view warning, const std::string& path) {
        c_.log.AddLog(projectName, detail);
        c_.balloons.TrayBalloon(projectName + " - Backup failed\r\n" + std::string(warning) + "\r\n" + path, kAppTitle,
                                BalloonIcon::Error);
        c_.tasks.setStatus(row, detail);
        c_.tasks.setImage(row, TaskImage::Failed);
        c_.sound.playExclamation();
    };

    if (!DirExists(destination)) {
        MakeDestinationRoot(destination, source);
        if (!DirExists(destination))
            return fail(kTargetMissing, "Warning: target backup directory or disk not found:", destination);
    }
    if (!DirExists(source))
        return fail(kSourceMissing, "Warning: source directory not found:", source);

    c_.log.AddLog(projectName, "Start backup");
    engine_.FilesTotal = 0;
    engine_.FilesDone = 0;
    RowProgress progress(c_, row, projectName);
    runBeside(
        [&] {
            // The copy gives way to the window and to the user's other
            // programs; the threads it starts inherit that.
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), kCopyNice);
            engine_.setCopyThreads(CopyThreads());
            // Made and ended on the job's thread: ending waits for a write-out.
            WriteBehind writeBehind(destination);
            engine_.CountFiles(source, includeSubdir, destination, relay_);
            engine_.CopyTree(source, destination, includeSubdir, overwriteOption, source, relay_);
        },
        progress);

    const bool finished = c_.state.ScheduleRunning && !abandoned_;
    if (finished) {
        int error = 0;
        runBeside([&] { error = SyncFileSystem(destination); }, progress);
        if (error != 0)
            c_.log.AddLog(projectName, "Can not write " + destination + ", " + SystemErrorText(error));
    }
    c_.tasks.setStatus(row, finished ? "Backup finished." : "Backup canceled.");
    c_.tasks.setCurrentFile(row, "");
    c_.tasks.setImage(row, finished ? TaskImage::Finished : TaskImage::Failed);
    c_.log.AddLog(projectName, finished ? "Backup finished" : "Backup canceled");
    c_.balloons.TrayBalloon(projectName + (finished ? " - Backup finished" : " - Backup canceled"), kAppTitle,
                            BalloonIcon::Information);
    c_.tasks.setTag(row, kTagFinished);
    if (c_.options.playSound)
        c_.sound.playExclamation();
}

void BackupRun::abandon()
{
    // For good: the program is ending.
    abandoned_ = true;
    relay_.setRunning(false);
    // A copy stuck in a system call (a network share gone) must not keep
    // the program from ending; a nameless partial copy ends with it.
    if (!job_ || job_->waitFor(kAbandonWait))
        engine_.abandon();
}

} // namespace sentrel

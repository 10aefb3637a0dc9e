#pragma once

#include "engine/BackupEngine.h"
#include "engine/IgnoreList.h"
#include "engine/ProgressRelay.h"
#include "platform/Sound.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "scheduler/TaskRunner.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Balloons.h"
#include "shell/Options.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace sentrel {

class BackgroundJob;

// The run of one task from its checks to its outcome. Everything that
// touches the source or the destination is done on a thread of its own
// while this one keeps the event loop turning and carries the reports to
// the row and the log. The outcome is decided once, from what the run saw.
class BackupRun final : public TaskRunner {
public:
    struct Context {
        const ProjectTable& projects;
        TaskList& tasks;
        ActivityLog& log;
        Balloons& balloons;
        Sound& sound;
        const Options& options;
        AppState& state;
        const IgnoreList& ignoreList;
        const Clock& clock;
        std::function<void()> yield; // lets the event loop run, about every 10 ms of a run
        std::string decimalSeparator;
        std::string tempJournal = {}; // where copies note the folders of their temporary files
        ProjectState* projectState = nullptr; // where each destination's file system is remembered
    };

    explicit BackupRun(Context context);
    ~BackupRun() override;

    void RunBackupTask(TaskId row, const std::string& projectName) override;

    // How many files a run copies at a time.
    static unsigned CopyThreads();

    // Stops a run in progress and waits a little until its partial copies
    // are removed, for an exit in the middle of a run.
    void abandon();

    // How long a stopped run waits for a copy stuck in a system call before
    // giving it up, and how long the checks of the folders may take.
    void setPatience(std::chrono::milliseconds afterStop, std::chrono::milliseconds forChecks);

private:
    struct Worker;
    enum class Outcome { Finished, Canceled, Failed };
    struct Failure {
        std::string detail; // the row's and the log's text
        std::string warning; // the balloon's second line
        std::string path;
    };

    void run(TaskId row, const std::string& projectName);
    // Does `work` beside the event loop, with the reports carried over.
    // False when the work was given up: it stayed away too long after a
    // stop, or longer than `limit`.
    bool runBeside(std::function<void(Worker&)> work, BackupProgress& row, std::chrono::milliseconds limit);
    // Latches a stop of the schedule or an exit for the rest of the run.
    bool stopSeen();
    void report(TaskId row, const std::string& projectName, Outcome outcome, int errors);
    std::optional<std::string> knownMountPoint(const std::string& projectName, const std::string& destination) const;
    void rememberMountPoint(const std::string& projectName, const std::string& destination,
                            const std::string& mountPoint);
    void fail(TaskId row, const std::string& projectName, const Failure& failure, bool started);

    Context c_;
    std::shared_ptr<Worker> worker_; // kept from run to run unless given up
    BackgroundJob* job_ = nullptr; // the work in hand
    bool stopped_ = false; // this run's
    bool abandoned_ = false;
    std::chrono::milliseconds stopPatience_;
    std::chrono::milliseconds checkPatience_;
};

} // namespace sentrel

#include "engine/BackupRun.h"

#include <sys/stat.h>

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

// Forwards the engine's reports to the task row, wherever it is now.
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
    void yield() override
    {
        if (c_.yield)
            c_.yield();
    }
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

void BackupRun::RunBackupTask(TaskId row, const std::string& projectName)
{
    // Copies: the project table may change while the engine yields.
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
        ::mkdir(destination.c_str(), 0777);
        if (!DirExists(destination))
            return fail(kTargetMissing, "Warning: target backup directory or disk not found:", destination);
    }
    if (!DirExists(source))
        return fail(kSourceMissing, "Warning: source directory not found:", source);

    c_.log.AddLog(projectName, "Start backup");
    engine_.FilesTotal = 0;
    engine_.FilesDone = 0;
    RowProgress progress(c_, row, projectName);
    engine_.CountFiles(source, includeSubdir, destination, progress);
    engine_.CopyTree(source, destination, includeSubdir, overwriteOption, source, progress);

    const bool finished = c_.state.ScheduleRunning;
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
    engine_.abandon();
}

} // namespace sentrel

#include "app/RunReport.h"

namespace sentrel {

namespace {
std::string Plural(int count, std::string_view one)
{
    return std::to_string(count) + " " + std::string(one) + (count == 1 ? "" : "s");
}

// The failure as the status says it, without the period, and as the
// balloon's second line says it.
struct FailureTexts {
    std::string cause;
    std::string warning;
};

FailureTexts TextsFor(const RunOutcome& outcome)
{
    switch (outcome.failure) {
    case RunFailure::SourceMissing:
        return { "source directory not found", "Warning: source directory not found:" };
    case RunFailure::TargetUnwritable:
        return { "target backup directory or disk can not be written, " + outcome.reason,
                 "Warning: target backup directory or disk can not be written:" };
    case RunFailure::SourceUnreadable:
        return { "source directory can not be read, " + outcome.reason, "Warning: source directory can not be read:" };
    case RunFailure::Broken:
        return { outcome.reason, "Warning: the backup stopped on an error:" };
    case RunFailure::TargetMissing:
    case RunFailure::None:
        break;
    }
    return { "target backup directory or disk not found", "Warning: target backup directory or disk not found:" };
}

// The log's text: the status without its period.
std::string OutcomeLogText(const RunOutcome& outcome)
{
    switch (outcome.end) {
    case RunEnd::Finished:
        return "Backup finished";
    case RunEnd::FinishedWithErrors:
        return "Backup finished with " + Plural(outcome.errors, "error");
    case RunEnd::Canceled:
        return "Backup canceled";
    case RunEnd::Failed:
        break;
    }
    return "Backup failed: " + TextsFor(outcome).cause;
}
} // namespace

std::string OutcomeStatus(const RunOutcome& outcome)
{
    return OutcomeLogText(outcome) + ".";
}

void RunReport::render(TaskId row, const std::string& projectName, const RunOutcome& outcome)
{
    if (outcome.end == RunEnd::Failed)
        return renderFailure(row, projectName, outcome);
    const std::string text = OutcomeLogText(outcome);
    tasks_.setStatus(row, text + ".");
    tasks_.setCurrentFile(row, "");
    tasks_.setImage(row, outcome.end == RunEnd::Canceled ? TaskImage::Failed : TaskImage::Finished);
    log_.AddLog(projectName, text);
    balloons_.TrayBalloon(projectName + " - " + text, kAppTitle,
                          outcome.end == RunEnd::FinishedWithErrors ? BalloonIcon::Warning : BalloonIcon::Information);
    tasks_.setTag(row, kTagFinished);
    if (options_.playSound)
        sound_.playExclamation();
}

void RunReport::renderFailure(TaskId row, const std::string& projectName, const RunOutcome& outcome)
{
    const FailureTexts texts = TextsFor(outcome);
    const std::string detail = "Backup failed: " + texts.cause + ".";
    log_.AddLog(projectName, detail);
    const std::string& path = outcome.failure == RunFailure::Broken ? outcome.reason : outcome.path;
    balloons_.TrayBalloon(projectName + " - Backup failed\r\n" + texts.warning + "\r\n" + path, kAppTitle,
                          BalloonIcon::Error);
    tasks_.setStatus(row, detail);
    tasks_.setImage(row, TaskImage::Failed);
    if (outcome.started) {
        // The row must not look as if it were still copying.
        tasks_.setCurrentFile(row, "");
        tasks_.setTag(row, kTagFinished);
    }
    // A failure sounds whatever the option says: something needs doing.
    sound_.playExclamation();
}

} // namespace sentrel

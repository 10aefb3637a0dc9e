#include "app/FolderCheck.h"

#include "base/BackgroundJob.h"
#include "base/FileSystem.h"

#include <atomic>
#include <memory>

namespace sentrel {

namespace {
struct Asked {
    std::unique_ptr<BackgroundJob> job;
    std::shared_ptr<std::atomic<bool>> exists = std::make_shared<std::atomic<bool>>(false);
};
} // namespace

void CheckFolders(EventLoop& loop, std::vector<std::string> paths, std::chrono::milliseconds limit,
                  std::function<void(FolderAnswers)> answered)
{
    auto asked = std::make_shared<std::vector<Asked>>(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Asked& one = (*asked)[i];
        one.job
            = std::make_unique<BackgroundJob>([path = paths[i], exists = one.exists] { *exists = DirExists(path); });
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    loop.every(std::chrono::milliseconds(10), [asked, deadline, answered = std::move(answered)] {
        bool all = true;
        for (Asked& one : *asked)
            all = all && one.job->waitFor(std::chrono::milliseconds(0));
        const bool late = std::chrono::steady_clock::now() >= deadline;
        if (!all && !late)
            return true;
        FolderAnswers answers;
        for (Asked& one : *asked) {
            if (one.job->waitFor(std::chrono::milliseconds(0))) {
                answers.emplace_back(one.exists->load());
            } else {
                one.job->giveUp();
                answers.emplace_back(std::nullopt);
            }
        }
        answered(std::move(answers));
        return false;
    });
}

} // namespace sentrel

#include "app/FolderCheck.h"

#include "base/BackgroundJob.h"
#include "base/FileSystem.h"

#include <atomic>
#include <memory>

namespace sentrel {

std::optional<bool> DirExistsWithin(const std::string& path, std::chrono::milliseconds limit,
                                    const std::function<void()>& yield)
{
    const auto exists = std::make_shared<std::atomic<bool>>(false);
    BackgroundJob job([path, exists] { *exists = DirExists(path); });
    const auto start = std::chrono::steady_clock::now();
    const bool answered = job.waitTurning(
        [&] {
            if (yield)
                yield();
            return std::chrono::steady_clock::now() - start < limit;
        },
        std::chrono::milliseconds(10));
    if (!answered)
        return std::nullopt;
    return exists->load();
}

} // namespace sentrel

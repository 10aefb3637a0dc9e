#include "engine/ProgressRelay.h"

#include <utility>

namespace sentrel {

void ProgressRelay::setTag(std::string_view path)
{
    const std::lock_guard lock(mutex_);
    tag_.assign(path);
    tagChanged_ = true;
}

void ProgressRelay::setStatus(std::string_view text)
{
    const std::lock_guard lock(mutex_);
    status_.assign(text);
    statusChanged_ = true;
}

void ProgressRelay::log(std::string_view detail)
{
    ++failures_;
    const std::lock_guard lock(mutex_);
    logs_.emplace_back(false, detail);
}

void ProgressRelay::note(std::string_view detail)
{
    const std::lock_guard lock(mutex_);
    logs_.emplace_back(true, detail);
}

void ProgressRelay::deliverTo(BackupProgress& owner)
{
    std::vector<std::pair<bool, std::string>> logs;
    std::string tag, status;
    bool tagChanged, statusChanged;
    {
        const std::lock_guard lock(mutex_);
        logs.swap(logs_);
        tag = tag_;
        status = status_;
        tagChanged = std::exchange(tagChanged_, false);
        statusChanged = std::exchange(statusChanged_, false);
    }
    for (const auto& [isNote, detail] : logs) {
        if (isNote)
            owner.note(detail);
        else
            owner.log(detail);
    }
    if (statusChanged)
        owner.setStatus(status);
    if (tagChanged)
        owner.setTag(tag);
}

} // namespace sentrel

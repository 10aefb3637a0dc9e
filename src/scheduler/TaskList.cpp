#include "scheduler/TaskList.h"

namespace sentrel {

TaskId TaskList::appendTask(TodayTask task)
{
    task.id = nextId_++;
    const TaskId id = task.id;
    append(std::move(task));
    return id;
}

std::optional<std::size_t> TaskList::indexOf(TaskId id) const
{
    // The engine asks for the same row for every file: try the last answer first.
    if (lastFound_ < size() && at(lastFound_).id == id)
        return lastFound_;
    for (std::size_t i = 0; i < size(); ++i) {
        if (at(i).id == id) {
            lastFound_ = i;
            return i;
        }
    }
    return std::nullopt;
}

void TaskList::setStatus(TaskId id, std::string_view status)
{
    if (const auto i = indexOf(id))
        update(*i, [&](TodayTask& row) { row.Status = status; });
}

void TaskList::setCurrentFile(TaskId id, std::string_view path)
{
    if (const auto i = indexOf(id))
        update(*i, [&](TodayTask& row) { row.CurrentFile = path; });
}

void TaskList::setImage(TaskId id, TaskImage image)
{
    if (const auto i = indexOf(id))
        update(*i, [&](TodayTask& row) { row.Image = image; });
}

void TaskList::setTag(TaskId id, std::string_view tag)
{
    // The tag is not shown, so views are not told.
    if (const auto i = indexOf(id))
        quietAt(*i).Tag = tag;
}

} // namespace sentrel

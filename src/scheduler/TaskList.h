#pragma once

#include "base/Table.h"
#include "scheduler/TodayTask.h"

#include <optional>

namespace sentrel {

// Today's task list. Rows are addressed by position, but a running row is
// followed by its id, so its progress reaches it wherever it moves and is
// dropped once it is gone.
class TaskList : public Table<TodayTask> {
public:
    // Appends the row with a fresh id and returns that id.
    TaskId appendTask(TodayTask task);

    std::optional<std::size_t> indexOf(TaskId id) const;

    // Writers by id; nothing happens when the row is gone.
    void setStatus(TaskId id, std::string_view status);
    void setCurrentFile(TaskId id, std::string_view path);
    void setImage(TaskId id, TaskImage image);
    void setTag(TaskId id, std::string_view tag);

private:
    TaskId nextId_ = 1;
    mutable std::size_t lastFound_ = 0;
};

} // namespace sentrel

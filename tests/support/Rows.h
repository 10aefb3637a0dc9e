#pragma once

#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"

#include <string>
#include <vector>

namespace sentrel::test {

inline ProjectRecord Project(std::string name, std::string kind, std::string start, std::string tag = {})
{
    ProjectRecord p;
    p.ProjectName = std::move(name);
    p.ScheduleType = std::move(kind);
    p.StartTime = std::move(start);
    p.Tag = std::move(tag);
    return p;
}

inline TodayTask Task(std::string name, std::string start = {}, std::string tag = {}, std::string status = {})
{
    TodayTask t;
    t.ProjectName = std::move(name);
    t.StartTime = std::move(start);
    t.Tag = std::move(tag);
    t.Status = std::move(status);
    return t;
}

inline std::vector<std::string> Names(const TaskList& tasks)
{
    std::vector<std::string> names;
    for (const TodayTask& row : tasks.rows())
        names.push_back(row.ProjectName);
    return names;
}

} // namespace sentrel::test

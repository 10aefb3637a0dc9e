#pragma once

#include "base/Table.h"
#include "projects/ProjectRecord.h"

#include <optional>
#include <string_view>

namespace sentrel {

struct ProjectRow {
    ProjectRecord record;
    bool selected = false;
};

class ProjectTable : public Table<ProjectRow> {
public:
    // The first project of exactly this name (case-sensitive).
    const ProjectRecord* findByName(std::string_view name) const;
};

} // namespace sentrel

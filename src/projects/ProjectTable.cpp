#include "projects/ProjectTable.h"

namespace sentrel {

const ProjectRecord* ProjectTable::findByName(std::string_view name) const
{
    for (const ProjectRow& row : rows()) {
        if (row.record.ProjectName == name)
            return &row.record;
    }
    return nullptr;
}

} // namespace sentrel

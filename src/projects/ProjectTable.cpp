#include "projects/ProjectTable.h"

#include "base/CaseFold.h"

namespace sentrel {

const ProjectRecord* ProjectTable::findByName(std::string_view name) const
{
    for (const ProjectRow& row : rows()) {
        if (row.record.ProjectName == name)
            return &row.record;
    }
    return nullptr;
}

const std::string& ProjectTable::Column(const ProjectRecord& r, int column)
{
    const std::string* fields[] = { &r.ProjectName,   &r.ScheduleType, &r.Source,          &r.Destination,
                                    &r.IncludeSubdir, &r.StartTime,    &r.OverwriteOption, &r.Remark };
    return *fields[column >= 0 && column < kColumnCount ? column : 0];
}

void ProjectTable::SortBy(int column)
{
    if (column < 0 || column >= kColumnCount)
        return;
    sortColumn_ = column;
    ascending_ = !ascending_;
    sorted_ = true;
    keepSorted();
}

void ProjectTable::addProject(ProjectRecord record)
{
    append(ProjectRow { std::move(record) });
    keepSorted();
}

void ProjectTable::replaceProject(std::size_t row, ProjectRecord record)
{
    update(row, [&](ProjectRow& r) { r.record = std::move(record); });
    keepSorted();
}

void ProjectTable::keepSorted()
{
    if (!sorted_)
        return;
    sortRows([this](const ProjectRow& a, const ProjectRow& b) {
        const int order = CompareIgnoringCase(Column(a.record, sortColumn_), Column(b.record, sortColumn_));
        return ascending_ ? order < 0 : order > 0;
    });
}

} // namespace sentrel

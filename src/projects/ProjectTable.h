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

// The projects in the order the user sees and the file is written. Once the
// user has sorted by a column, rows added or changed later take their
// sorted place too.
class ProjectTable : public Table<ProjectRow> {
public:
    static constexpr int kColumnCount = 8; // the shown fields; the tag is not a column

    // The first project of exactly this name (case-sensitive).
    const ProjectRecord* findByName(std::string_view name) const;

    // A header click: that column, in the direction opposite to the last
    // sort, whichever column that was.
    void SortBy(int column);
    std::optional<int> sortColumn() const { return sorted_ ? std::optional<int>(sortColumn_) : std::nullopt; }
    bool sortAscending() const { return ascending_; }

    void addProject(ProjectRecord record);
    void replaceProject(std::size_t row, ProjectRecord record);

    static const std::string& Column(const ProjectRecord& record, int column);

private:
    void keepSorted();

    bool sorted_ = false;
    int sortColumn_ = 0;
    bool ascending_ = false; // so the first click sorts ascending
};

} // namespace sentrel

#pragma once

#include "base/TextFile.h"
#include "projects/ProjectRecord.h"
#include "projects/ProjectTable.h"

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// One line of "Sentrel.prj" (nothing for a blank or short line).
std::optional<ProjectRecord> ParseProjectLine(std::string_view line);
// The nine fields joined by "|", CR LF ended.
std::string FormatProjectLine(const ProjectRecord& record);

// Appends the file's projects to the table. A file that is there but is
// not read leaves the reason in `error`.
void LoadProjectList(const std::string& path, ProjectTable& table, std::string* error = nullptr);
// Replaces the file with the table, in table order.
WriteError SaveProjectList(const std::string& path, const ProjectTable& table);

} // namespace sentrel

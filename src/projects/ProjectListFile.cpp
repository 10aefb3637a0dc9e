#include "projects/ProjectListFile.h"

#include <array>

namespace sentrel {

namespace {
constexpr std::size_t kFieldCount = 9;
constexpr char kSeparator = '|';
} // namespace

std::optional<ProjectRecord> ParseProjectLine(std::string_view line)
{
    const std::string trimmed = TrimSpaces(line);
    if (trimmed.empty())
        return std::nullopt;

    std::array<std::string, kFieldCount> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (count < kFieldCount) {
        const std::size_t end = trimmed.find(kSeparator, start);
        fields[count++] = trimmed.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (count < kFieldCount)
        return std::nullopt;

    return ProjectRecord { std::move(fields[0]), std::move(fields[1]), std::move(fields[2]),
                           std::move(fields[3]), std::move(fields[4]), std::move(fields[5]),
                           std::move(fields[6]), std::move(fields[7]), std::move(fields[8]) };
}

std::string FormatProjectLine(const ProjectRecord& r)
{
    std::string line;
    for (const std::string* field : { &r.ProjectName, &r.ScheduleType, &r.Source, &r.Destination, &r.IncludeSubdir,
                                      &r.StartTime, &r.OverwriteOption, &r.Remark }) {
        line += *field;
        line += kSeparator;
    }
    line += r.Tag;
    line += "\r\n";
    return line;
}

void LoadProjectList(const std::string& path, ProjectTable& table, std::string* error)
{
    const auto lines = ReadTextLines(path, error);
    if (!lines)
        return;
    for (const std::string& line : *lines) {
        if (auto record = ParseProjectLine(line))
            table.append(ProjectRow { std::move(*record) });
    }
}

WriteError SaveProjectList(const std::string& path, const ProjectTable& table)
{
    std::string content;
    for (const ProjectRow& row : table.rows())
        content += FormatProjectLine(row.record);
    return WriteFileAtomically(path, content);
}

} // namespace sentrel

#include "projects/ProjectState.h"

namespace sentrel {

void ProjectState::Load(const std::string& path)
{
    path_ = path;
    values_.clear();
    const auto lines = ReadTextLines(path);
    if (!lines)
        return;
    for (const std::string& line : *lines) {
        const std::size_t first = line.find('|');
        const std::size_t second = first == std::string::npos ? first : line.find('|', first + 1);
        if (second != std::string::npos)
            values_[line.substr(0, first)][line.substr(first + 1, second - first - 1)] = line.substr(second + 1);
    }
}

WriteError ProjectState::Save() const
{
    std::string content;
    for (const auto& [project, values] : values_) {
        for (const auto& [key, value] : values)
            content += project + "|" + key + "|" + value + "\r\n";
    }
    return WriteFileAtomically(path_, content);
}

std::optional<std::string> ProjectState::get(std::string_view project, std::string_view key) const
{
    const auto values = values_.find(project);
    if (values == values_.end())
        return std::nullopt;
    const auto value = values->second.find(key);
    if (value == values->second.end())
        return std::nullopt;
    return value->second;
}

void ProjectState::set(const std::string& project, const std::string& key, std::string value)
{
    values_[project][key] = std::move(value);
}

void ProjectState::rename(const std::string& from, const std::string& to)
{
    if (from == to)
        return;
    auto node = values_.extract(from);
    if (node.empty())
        return;
    node.key() = to;
    values_.erase(to);
    values_.insert(std::move(node));
}

void ProjectState::remove(const std::string& project)
{
    values_.erase(project);
}

void SaveProjectState(const ProjectState& state, ActivityLog& log)
{
    if (!state.path().empty())
        LogWriteError(log, state.path(), state.Save());
}

} // namespace sentrel

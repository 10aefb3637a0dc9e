#include "projects/ProjectState.h"

#include <sys/stat.h>

namespace sentrel {

std::optional<ProjectState::Values> ProjectState::Read(const std::string& path, std::string* error)
{
    std::string reason;
    const auto lines = ReadTextLines(path, &reason);
    if (error)
        *error = reason;
    if (!lines)
        return reason.empty() ? std::optional<Values>(Values()) : std::nullopt;
    Values values;
    for (const std::string& line : *lines) {
        const std::size_t first = line.find('|');
        const std::size_t second = first == std::string::npos ? first : line.find('|', first + 1);
        if (second != std::string::npos)
            values[line.substr(0, first)][line.substr(first + 1, second - first - 1)] = line.substr(second + 1);
    }
    return values;
}

std::optional<ProjectState::Stamp> ProjectState::StampOf(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return Stamp { std::uint64_t(st.st_ino), std::int64_t(st.st_size), std::int64_t(st.st_mtim.tv_sec),
                   std::int64_t(st.st_mtim.tv_nsec) };
}

std::string ProjectState::Load(const std::string& path)
{
    path_ = path;
    stamp_ = StampOf(path);
    std::string error;
    values_ = Read(path, &error).value_or(Values());
    unsaved_.clear();
    return error;
}

WriteError ProjectState::Save()
{
    // A file that is there but can not be read is not replaced by less.
    Values merged = Read(path_).value_or(values_);
    for (const auto& change : unsaved_)
        change(merged);
    std::string content;
    for (const auto& [project, values] : merged) {
        for (const auto& [key, value] : values)
            content += project + "|" + key + "|" + value + "\r\n";
    }
    WriteError error = WriteFileAtomically(path_, content);
    if (!error) {
        values_ = std::move(merged);
        unsaved_.clear();
        stamp_ = StampOf(path_);
    }
    return error;
}

void ProjectState::Refresh()
{
    const std::optional<Stamp> stamp = StampOf(path_);
    if (path_.empty() || !stamp || stamp == stamp_)
        return;
    std::optional<Values> values = Read(path_);
    if (!values)
        return;
    for (const auto& change : unsaved_)
        change(*values);
    values_ = std::move(*values);
    stamp_ = stamp;
}

void ProjectState::change(std::function<void(Values&)> change)
{
    change(values_);
    unsaved_.push_back(std::move(change));
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
    change([=](Values& values) { values[project][key] = value; });
}

void ProjectState::unset(const std::string& project, const std::string& key)
{
    change([=](Values& values) {
        const auto found = values.find(project);
        if (found != values.end())
            found->second.erase(key);
    });
}

void ProjectState::rename(const std::string& from, const std::string& to)
{
    if (from == to)
        return;
    change([=](Values& values) {
        auto node = values.extract(from);
        if (node.empty())
            return;
        node.key() = to;
        values.erase(to);
        values.insert(std::move(node));
    });
}

void ProjectState::remove(const std::string& project)
{
    change([=](Values& values) { values.erase(project); });
}

void SaveProjectState(ProjectState& state, ActivityLog& log)
{
    if (!state.path().empty())
        LogWriteError(log, state.path(), state.Save());
}

} // namespace sentrel

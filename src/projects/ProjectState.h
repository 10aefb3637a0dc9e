#pragma once

#include "base/TextFile.h"
#include "shell/ActivityLog.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace sentrel {

// What the program keeps about each project beside the user's list: where
// its destination lived at its last good run and the like. One line a value,
// "name|key|value"; a name holds no "|", a value may.
class ProjectState final {
public:
    // A missing or unreadable file leaves the state empty; the reason an
    // existing file could not be read is returned.
    std::string Load(const std::string& path);
    // Replaces the file it was loaded from with the file as it is now and
    // this program's changes since its last save on top: a headless run
    // and the tray program share the file. Failed changes are kept for the
    // next save.
    WriteError Save();
    // Takes in what another program (a headless run) saved since, with this
    // program's unsaved changes on top; a look at the file's stamp when
    // nothing changed.
    void Refresh();
    const std::string& path() const { return path_; }

    std::optional<std::string> get(std::string_view project, std::string_view key) const;
    void set(const std::string& project, const std::string& key, std::string value);
    void unset(const std::string& project, const std::string& key);
    void rename(const std::string& from, const std::string& to);
    void remove(const std::string& project);

private:
    using Values = std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>>;
    static std::optional<Values> Read(const std::string& path, std::string* error = nullptr);
    void change(std::function<void(Values&)> change);
    // The file's identity, size and time: another save replaces it.
    using Stamp = std::tuple<std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;
    static std::optional<Stamp> StampOf(const std::string& path);

    std::string path_;
    std::optional<Stamp> stamp_;
    Values values_;
    std::vector<std::function<void(Values&)>> unsaved_;
};

// Saves the state file, logging a failure.
void SaveProjectState(ProjectState& state, ActivityLog& log);

} // namespace sentrel

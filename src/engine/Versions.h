#pragma once

#include "platform/Clock.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// The folder inside a destination root that holds the files runs replaced,
// one subfolder per run, named after the run's start.
inline constexpr std::string_view kVersionsFolder = ".sentrel-versions";

// "yyyy-mm-dd hh.mm.ss": sorts by date and is a valid name everywhere.
std::string VersionFolderName(const LocalDateTime& t);
// The date of a run's folder; a suffix after the date (two runs in one
// second) is allowed. Nothing for any other name.
std::optional<LocalDateTime> ParseVersionFolderName(std::string_view name);

// The relative path of a destination directory below the destination root,
// without leading or trailing "/"; empty for the root itself.
std::string RelativeDirectory(std::string_view directory, std::string_view destinationRoot);

// Keeps the destination files one run replaces. A file is kept without
// copying its data: a hard link is made before the new copy takes its name,
// so a crash leaves both. Where the file system has no hard links the old
// file itself is moved into the versions folder just before, so a crash
// leaves at least the old one there. Several copy workers may call it.
class VersionKeeper final {
public:
    VersionKeeper(std::string destinationRoot, const LocalDateTime& runStart);
    ~VersionKeeper();
    VersionKeeper(const VersionKeeper&) = delete;
    VersionKeeper& operator=(const VersionKeeper&) = delete;

    enum class Kept { Nothing, Linked, Moved };

    // Keeps entry `name` of dirFd, the destination directory at path
    // `directory`, before it is replaced. Nothing to keep when there is no
    // such entry. 0 or the errno: then the entry must not be replaced.
    int keep(int dirFd, const char* name, std::string_view directory, Kept& kept);
    // Undoes a keep whose replace then failed: a moved file goes back.
    void undo(int dirFd, const char* name, std::string_view directory, Kept kept);

    // Called after each keep, before the replace: for tests.
    std::function<void()> afterKeep;

private:
    // The run's folder for a relative directory, made as needed; -1 with
    // `error` set on failure. Called with the mutex held.
    int folderFor(const std::string& relative, int& error);
    int runFolder(int& error);

    std::mutex mutex_;
    std::string root_;
    std::string runName_;
    int runFd_ = -1;
    std::string cachedRelative_;
    int cachedFd_ = -1;
};

struct PruneResult {
    int removed = 0; // files
    int failed = 0; // entries and folders that could not be removed or read
    std::string error; // the first failure, for the log
};

// Removes the run folders older than `days` days before `now`, judged by
// their names.
PruneResult PruneVersions(const std::string& destinationRoot, const LocalDateTime& now, int days);
// The log rows: "Removed 3 old versions" when something was removed, then
// the first failure, if any; none when nothing happened.
std::vector<std::string> PruneLogRows(const PruneResult& result);

} // namespace sentrel

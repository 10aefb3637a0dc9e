#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class EventLoop;

// One copy of a file in a backup: the backup's own, or a version a run kept.
struct BackupCopy {
    std::string path; // where it is
    std::string version; // the run folder's name; empty for the backup's own
    long long size = 0;
    std::int64_t mtime = 0; // seconds
};

// What a backup holds, by path relative to its destination root.
struct BackupIndex {
    std::vector<std::string> folders; // sorted, the root left out
    // The backup's own copy first, if there is one, then the versions newest first.
    std::map<std::string, std::vector<BackupCopy>> files;
};

// Lists a backup and its kept versions, adding to `listed` as it goes, for
// a progress display; gives up early once `cancel` is set. Folders whose
// names begin with a dot are listed only with `dotFolders`, as the backup
// copies them only then.
BackupIndex IndexBackup(const std::string& destinationRoot, std::atomic<std::size_t>* listed = nullptr,
                        const std::atomic<bool>* cancel = nullptr, bool dotFolders = false);

// "Backup copy" or the version's date, "2026-03-02 09:00:05".
std::string CopyLabel(const BackupCopy& copy);
// "512 bytes", "1.5 KB", "20.3 MB": for the list of copies.
std::string SizeText(long long bytes);

// Where a file or folder goes: its place below the source root, or, in a
// folder the user picked, its own name there.
std::string RestoreTarget(std::string_view relative, std::string_view sourceRoot, std::string_view pickedFolder = {});

// A file to restore: the copy `from` goes into folder `into` under its own
// name, the folders above it made as needed.
struct RestoreItem {
    std::string from;
    std::string into;

    std::string to() const;
};

// The items that restore a file's chosen copy to `target`, which ends in
// the file's name, or a folder's files (their backup copies) whole into
// `target`; relative "" is the whole backup.
std::vector<RestoreItem> RestoreFileItems(const BackupCopy& copy, const std::string& target);
std::vector<RestoreItem> RestoreFolderItems(const BackupIndex& index, std::string_view relative,
                                            const std::string& target);

struct RestoreOutcome {
    int restored = 0;
    int declined = 0; // newer files the user kept
    std::vector<std::string> failures; // one line each
};

// Asks the user a question; `answered` is called once with the answer,
// now or later.
using AskReplace = std::function<void(std::string text, std::function<void(bool yes)> answered)>;

// Restores files as a job: the constructor returns at once. The files are
// compared on a thread of the job's own, then the user is asked, one
// question after another, about each file that is newer than its copy,
// then the chosen ones are copied on another thread, each through a
// temporary file that takes its name once complete. The end is one call of
// `done` on `loop`'s thread.
class RestoreJob final {
public:
    RestoreJob(EventLoop& loop, std::vector<RestoreItem> items, AskReplace ask,
               std::function<void(RestoreOutcome)> done);
    // Gives the job up: the file in hand is not written, no more questions
    // are asked and `done` is not called.
    ~RestoreJob();
    RestoreJob(const RestoreJob&) = delete;
    RestoreJob& operator=(const RestoreJob&) = delete;

    bool finished() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace sentrel

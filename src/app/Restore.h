#pragma once

#include "platform/Dialogs.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

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
// a progress display; gives up early once `cancel` is set.
BackupIndex IndexBackup(const std::string& destinationRoot, std::atomic<std::size_t>* listed = nullptr,
                        const std::atomic<bool>* cancel = nullptr);

// "Backup copy" or the version's date, "2026-03-02 09:00:05".
std::string CopyLabel(const BackupCopy& copy);
// "512 bytes", "1.5 KB", "20.3 MB": for the list of copies.
std::string SizeText(long long bytes);

// Where a file or folder goes: its place below the source root, or, in a
// folder the user picked, its own name there.
std::string RestoreTarget(std::string_view relative, std::string_view sourceRoot, std::string_view pickedFolder = {});

// Copies `from` to `to` with its times and permission bits, through a
// temporary file beside `to`, so `to` is never half written; a link is made
// again as a link. Makes the missing folders above it. Empty or the
// failure's description.
std::string RestoreFile(const std::string& from, const std::string& to);

struct RestoreOutcome {
    int restored = 0;
    int declined = 0; // newer files the user kept
    std::vector<std::string> failures; // one line each
};

// Restores files, asking before it replaces one that is newer than its
// copy. The files are touched only on a thread of their own, while `yield`
// lets the window's event loop run; the questions are asked here.
class Restorer final {
public:
    struct Item {
        std::string from; // a copy in the backup
        std::string to;
    };

    Restorer(Dialogs& dialogs, std::function<void()> yield);

    RestoreOutcome restore(std::vector<Item> items);

    // The items that restore a file's chosen copy, or a folder's files
    // (their backup copies) whole; relative "" is the whole backup.
    static std::vector<Item> FileItems(const BackupCopy& copy, const std::string& target);
    static std::vector<Item> FolderItems(const BackupIndex& index, std::string_view relative,
                                         const std::string& target);

private:
    // Runs `work` on a thread of its own while the event loop turns.
    void beside(const std::function<void()>& work);

    Dialogs& dialogs_;
    std::function<void()> yield_;
};

} // namespace sentrel

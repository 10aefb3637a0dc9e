#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace sentrel {

class BackupProgress;

enum class EntryKind { Regular, Link, Pipe, Socket, Device, Directory };

EntryKind KindOfMode(unsigned mode);

enum class CopyOutcome { Copied, Failed, Canceled };

// Copies single directory entries. The destination is never written in
// place: the copy goes to a private temporary file beside it, which is
// renamed over the destination once complete, so a failed, interrupted or
// canceled copy leaves the previous backup as it was.
class FileCopier final {
public:
    FileCopier();
    ~FileCopier();
    FileCopier(const FileCopier&) = delete;
    FileCopier& operator=(const FileCopier&) = delete;

    // Copies entry `name` of the directory srcDirFd to the same name in
    // dstDirFd, keeping its last-write time and permission bits. Links are
    // recreated, not followed. Between chunks of a long file it yields and
    // gives up when the schedule was stopped. On failure `error` holds the
    // description.
    CopyOutcome copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, BackupProgress& progress,
                     std::string& error);

    // Removes the temporary file of a copy in hand.
    void abandon();

private:
    CopyOutcome copyRegular(int srcDirFd, const char* name, int dstDirFd, BackupProgress& progress, std::string& error);
    CopyOutcome copyLink(int srcDirFd, const char* name, int dstDirFd, std::string& error);
    // 0 when done, -1 when canceled, else an errno value.
    int copyData(int in, int out, long long size, BackupProgress& progress);
    void nextTempName();
    CopyOutcome commitOrDiscard(int dstDirFd, const char* name, int failure, std::string& error);

    char tempName_[48] = {};
    int tempDirFd_ = -1; // set while a temporary file exists
    unsigned long tempCounter_ = 0;
    std::size_t chunkBytes_;
    std::unique_ptr<char[]> buffer_;
};

} // namespace sentrel

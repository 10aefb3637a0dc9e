#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace sentrel {

class BackupProgress;

enum class EntryKind { Regular, Link, Pipe, Socket, Device, Directory };

EntryKind KindOfMode(unsigned mode);

enum class CopyOutcome { Copied, Failed, Canceled };

// Copies single directory entries. The destination is never written in
// place: the copy goes to a private temporary file, which takes the
// destination's name once complete, so a failed, interrupted or canceled
// copy leaves the previous backup as it was. Where the file system allows,
// the temporary file has no name until then, so not even a crash can leave
// it behind; elsewhere a named one is used, and those that crashed copies
// left are removed when a later copy writes into the same directory.
class FileCopier final {
public:
    FileCopier();
    ~FileCopier();
    FileCopier(const FileCopier&) = delete;
    FileCopier& operator=(const FileCopier&) = delete;

    // Copies entry `name` of the directory srcDirFd to the same name in
    // dstDirFd, keeping its last-write time and permission bits, and the
    // holes of a sparse file. Links are recreated, not followed. Between
    // chunks of a long file it yields and gives up when the schedule was
    // stopped. `exists` guesses whether the destination is there. On
    // failure `error` holds the description.
    CopyOutcome copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, bool exists,
                     BackupProgress& progress, std::string& error);

    // The next copies go to another directory.
    void enterDirectory() { swept_ = false; }

    // Removes the temporary file of a copy in hand.
    void abandon();

private:
    CopyOutcome copyRegular(int srcDirFd, const char* name, int dstDirFd, bool exists, BackupProgress& progress,
                            std::string& error);
    CopyOutcome copyLink(int srcDirFd, const char* name, int dstDirFd, std::string& error);
    // 0 when done, -1 when canceled, else an errno value.
    int copyData(int in, int out, long long size, bool sparse, BackupProgress& progress);
    int copyRange(int in, int out, long long offset, long long length, bool& useRange, BackupProgress& progress);
    void nextTempName();
    // A named temporary file: 0 or the errno.
    int createNamed(int dstDirFd, const std::function<int(const char*)>& create);
    void sweepStale(int dstDirFd);
    CopyOutcome commitNamed(int dstDirFd, const char* name, int failure, std::string& error);
    CopyOutcome commitAnonymous(int fd, int dstDirFd, const char* name, bool exists, int failure, std::string& error);

    char tempName_[48] = {};
    int tempDirFd_ = -1; // set while a named temporary file exists
    bool abandoned_ = false;
    bool swept_ = false;
    unsigned long tempCounter_ = 0;
    std::size_t chunkBytes_;
    std::unique_ptr<char[]> buffer_;
};

} // namespace sentrel

#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <time.h>
#include <utility>

namespace sentrel {

class BackupProgress;
class VersionKeeper;

enum class EntryKind { Regular, Link, Pipe, Socket, Device, Directory };

EntryKind KindOfMode(unsigned mode);

// A name of the kind the copier gives its temporary files.
bool IsCopyTemp(std::string_view name);

enum class CopyOutcome { Copied, Failed, Canceled };

// The source's access and modification times, owed to a copy whose data
// may not be on the disk yet.
struct FinalTimes {
    timespec access {};
    timespec modification {};
    bool pending = false;
};

// Removes the temporary files that exited or crashed copies left in the
// directories listed in the journal (see FileCopier::setJournal), then
// empties it but for the directories that could not be opened or still hold
// a running process's file. Any other file stays as it is.
void SweepTempJournal(const std::string& journalPath);

// Copies single directory entries. The destination is never written in
// place: the copy goes to a private temporary file, which takes the
// destination's name once complete, so a failed, interrupted or canceled
// copy leaves the previous backup as it was. Where the file system allows,
// the temporary file has no name until then, so not even a crash can leave
// it behind; elsewhere a named one is used, and those that crashed copies
// left are removed when a later copy writes into the same directory, or by
// SweepTempJournal.
//
// A copied file first gets a modification time well before its source's,
// so that until its data is known to be on the disk, a power cut cannot
// leave it looking up to date; the source's times are handed back to be
// set once the file system has been written out.
//
// A destination that refuses permission bits or times (a share, a phone,
// FAT without Unix attributes) still gets the data: the copy keeps what
// the file system gives it. One whose times are refused can not look older
// than its source, so its data is written out before it takes its name; it
// then bears the time of the copy, and "Old" copies it again only once its
// source is changed after that.
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
    // failure `error` holds the description. A copied regular file leaves
    // its source's times in `times`; links and files on a file system that
    // cannot hold an older time get theirs at once. `keepReplaced` off: a
    // destination file the copy replaces is not kept as a version.
    CopyOutcome copy(int srcDirFd, const char* name, EntryKind kind, int dstDirFd, bool exists, bool keepReplaced,
                     BackupProgress& progress, std::string& error, FinalTimes& times);

    // Before the first named temporary file in a directory, its path goes
    // to the end of this file, so that one left by a crash can be found.
    // Empty: none.
    void setJournal(std::string path);

    // The next copies go to the directory at `path`.
    void enterDirectory(std::string_view path);

    // Removes the temporary file of a copy in hand.
    void abandon();

    // The errno of the last copy's failure when the destination failed it,
    // else 0.
    int destinationError() const { return destinationError_; }
    // The errno of the last copy's failure when the source failed it, else 0.
    int sourceError() const { return sourceError_; }

    enum Refused : unsigned { kPermissionsRefused = 1, kTimesRefused = 2 };
    // What the destination refused to keep since the last call.
    unsigned takeRefused() { return std::exchange(refused_, 0u); }
    // Where a replaced file is kept before its name is taken; none: not kept.
    void setVersions(VersionKeeper* versions) { versions_ = versions; }

private:
    CopyOutcome copyRegular(int srcDirFd, const char* name, int dstDirFd, bool exists, BackupProgress& progress,
                            std::string& error, FinalTimes& times);
    CopyOutcome copyLink(int srcDirFd, const char* name, int dstDirFd, std::string& error);
    // 0 when done, -1 when canceled, else an errno value.
    int copyData(int in, int out, long long size, bool sparse, BackupProgress& progress);
    int copyRange(int in, int out, long long offset, long long length, bool& useRange, BackupProgress& progress);
    void nextTempName();
    // A named temporary file: 0 or the errno.
    int createNamed(int dstDirFd, const std::function<int(const char*)>& create);
    void journalDirectory();
    CopyOutcome commitNamed(int dstDirFd, const char* name, int failure, std::string& error);
    CopyOutcome commitAnonymous(int fd, int dstDirFd, const char* name, bool exists, int failure, std::string& error);

    int destinationError_ = 0;
    int sourceError_ = 0;
    bool sourceFailed_ = false; // the failure in hand is the source's
    unsigned refused_ = 0;
    char tempName_[48] = {};
    int tempDirFd_ = -1; // set while a named temporary file exists
    bool abandoned_ = false;
    bool swept_ = false;
    bool journaled_ = false;
    std::string directory_;
    std::string journalPath_;
    int journalFd_ = -1;
    unsigned long tempCounter_ = 0;
    std::size_t chunkBytes_;
    std::unique_ptr<char[]> buffer_;
    VersionKeeper* versions_ = nullptr;
    bool keepReplaced_ = true;
};

} // namespace sentrel

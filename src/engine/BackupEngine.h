#pragma once

#include "engine/DestinationProbe.h"
#include "engine/FileCopy.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace sentrel {

class Clock;
class IgnoreList;
class IgnoreMatcher;
class VersionKeeper;
class WorkerPool;

// Where the engine reports while it walks; a run points it at its task
// row and the log.
class BackupProgress {
public:
    virtual ~BackupProgress() = default;
    virtual void setTag(std::string_view path) = 0; // the directory or file in hand
    virtual void setStatus(std::string_view text) = 0;
    virtual void log(std::string_view detail) = 0; // a failure: counted as one
    // A row about the run as a whole that is no failure of a file.
    virtual void note(std::string_view detail) { log(detail); }
    virtual void yield() = 0; // between entries and chunks: a caller on the window's thread may turn its event loop
    virtual bool running() const = 0; // false once the schedule was stopped
};

// "Backing up [12.5%]": the share of files done, to at most two decimals.
std::string ProgressText(double filesDone, double filesTotal, std::string_view decimalSeparator);

// The level's destination directory: the destination root followed by the
// part of the source directory below the source root, ending in "/".
std::string DestinationDirectory(std::string_view sourceDirectory, std::string_view sourceRoot,
                                 std::string_view destinationRoot);

// Copies in one destination directory whose source times could not be set.
struct TimesFailure {
    std::string directory;
    std::string name; // the first of them
    int count = 0;
    int error = 0;
};
// "Can not set the time of <file>, <reason>", or of "N files in <directory>".
std::string TimesFailureText(const TimesFailure& failure);

// The folders a walk left out because their names begin with a dot, by
// path below the source root: the first few met, and how many in all.
struct LeftOutDotFolders {
    std::vector<std::string> first; // as many as the row names
    std::size_t count = 0;

    void add(std::string relative);
};
// "Folders whose names begin with a dot are not backed up: .git, .config
// and 3 more".
std::string LeftOutDotFoldersText(const LeftOutDotFolders& folders);

// Errors by which a disk says it is gone, whichever side it is on.
bool DiskGone(int error);

// Counts and copies one source tree. Paths are native bytes with "/" as
// the separator; links are copied as links and never followed.
class BackupEngine final {
public:
    // Shares the clock and the list with whoever else holds them: a run
    // given up in a system call may outlive its caller.
    BackupEngine(std::shared_ptr<const Clock> clock, std::shared_ptr<const IgnoreList> ignore,
                 std::string decimalSeparator);
    ~BackupEngine();

    // Shared by all runs, so runs must not overlap. A run resets the two
    // counts; the tick stays.
    double FilesTotal = 0;
    std::atomic<double> FilesDone = 0;
    std::atomic<std::int64_t> LastProgressTick = 0;

    // Adds to FilesTotal the files CopyTree will meet. The destination root
    // is named so that a destination inside the source is left out here as
    // it is there.
    void CountFiles(const std::string& directory, std::string_view includeSubdir, const std::string& destinationRoot,
                    BackupProgress& progress);

    // A destination that fails as a disk gone or read-only does (see
    // DiskUnusable), or a source whose disk went (DiskGone), ends the walk
    // at once, with one row for it. Given the destination root's handle,
    // the walk also ends soon after the root's path stops leading there (a
    // drive unmounted lazily).
    void CopyTree(const std::string& sourceDirectory, const std::string& destinationRoot,
                  std::string_view includeSubdir, std::string_view overwriteOption, const std::string& sourceRoot,
                  BackupProgress& progress, int destinationRootFd = -1);

    // The errno by which the last CopyTree lost its destination, or 0.
    int DestinationLost() const { return destinationLost_.load(); }
    // Its root's path led elsewhere during the walk.
    bool DestinationMoved() const { return destinationMoved_.load(); }
    // The errno by which the source's disk went, or 0.
    int SourceLost() const { return sourceLost_.load(); }
    // Why the source root itself could not be opened or listed, or 0.
    int SourceRootError() const { return sourceRootError_; }
    // A stop passed over something the walk had still to copy.
    bool CutShort() const { return cutShort_.load(); }

    // Files of a level are copied this many at a time. With more than one,
    // the progress is called from as many threads at once.
    void setCopyThreads(unsigned threads);

    // Removes the temporary files of the copies in hand.
    void abandon();

    // Keeps each file a copy replaces there (see VersionKeeper); none: not kept.
    void setVersions(VersionKeeper* versions);

    // Off: folders whose names begin with a dot are neither counted nor
    // copied, and CopyTree notes them in one row. Either way the folder of
    // kept versions at the source root and the copier's temporary files
    // stay out.
    void setBackUpDotFolders(bool on) { backUpDotFolders_ = on; }

    // Before the first named temporary file in a directory, the directory
    // is listed at the end of this file, for SweepTempJournal. Empty: none.
    void setTempJournal(std::string path);

    // Copied files keep a time well before their source's until their data
    // is on the disk (see FileCopier); their source's times wait here, over
    // any number of CopyTree calls. Sets them by path and forgets them;
    // gives those that could not be set, by directory.
    std::vector<TimesFailure> ApplyFinalTimes();
    // Forgets them: the copies stay older than their sources, so that the
    // next run copies them again.
    void DiscardFinalTimes();

private:
    struct Walk;
    struct Entry {
        std::string name;
        EntryKind kind;
        bool subdirectory = false; // one to walk
        bool caseTwin = false; // its destination entry is an earlier entry's
        int createError = 0; // of a subdirectory's destination
        std::string failure; // the log row, if any
        bool leftOutDot = false; // a dot folder not backed up
    };
    struct Subdirectory {
        std::string name;
        int createError = 0; // why its destination could not be made
    };

    // Lists each level, then descends into the subdirectories it met, depth
    // first; `copying` tells the copy from the counting pass.
    void walkTree(Walk& walk, bool copying);
    void countLevel(Walk& walk, std::vector<Subdirectory>& subdirectories);
    void copyLevel(Walk& walk, std::vector<Subdirectory>& subdirectories);
    void findCaseTwins(Walk& walk, std::unordered_map<std::u32string, std::string>& taken);
    bool outOfDate(const struct stat& copy, const struct stat& source) const;
    // The copy holds what the source holds, as far as size and time tell.
    bool sameCopy(const struct stat& copy, const struct stat& source) const;
    void loseDestination(int error);
    void loseSource(int error);
    // Whether the walk goes on; a stop is noted when there was more to do.
    bool going(const BackupProgress& progress);
    void checkDestinationRoot(std::int64_t now);
    void copyEntry(Walk& walk, Entry& entry, unsigned worker, int srcFd, int dstFd, int dstError);
    void copyFile(Walk& walk, Entry& entry, unsigned worker, int srcFd, int dstFd, int dstError);
    void refreshProgress(BackupProgress& progress, std::int64_t now);
    void owe(unsigned worker, const std::string& directory, const std::string& name, const FinalTimes& times);

    // The times owed to one worker's copies, in the order copied.
    struct OwedTimes {
        struct File {
            std::size_t directory; // into directories
            std::string name;
            timespec times[2];
        };
        std::vector<std::string> directories;
        std::vector<File> files;
    };

    std::shared_ptr<const Clock> clock_;
    std::shared_ptr<const IgnoreList> ignore_;
    std::shared_ptr<const IgnoreMatcher> batchIgnore_; // the list as the batch in hand was listed
    struct WorkerIgnore {
        std::shared_ptr<const IgnoreMatcher> matcher;
        std::uint64_t generation = ~std::uint64_t(0);
    };
    std::vector<WorkerIgnore> workerIgnore_; // one for each worker: an edit reaches the next file
    std::string decimalSeparator_;
    std::unique_ptr<WorkerPool> pool_;
    std::vector<std::unique_ptr<FileCopier>> copiers_; // one for each worker
    std::vector<Entry> batch_;
    std::vector<std::string> tags_; // one for each worker
    std::vector<OwedTimes> owed_; // one for each worker
    std::string tempJournal_;
    DestinationTraits destination_;
    std::atomic<int> destinationLost_ = 0;
    std::atomic<bool> destinationMoved_ = false;
    std::atomic<int> sourceLost_ = 0;
    int sourceRootError_ = 0;
    std::atomic<bool> cutShort_ = false;
    // Where the root's path should lead, looked at every so many files.
    int destinationRootFd_ = -1;
    std::string destinationRootPath_;
    std::atomic<unsigned> filesSinceRootCheck_ = 0;
    std::atomic<std::int64_t> lastRootCheckMs_ = 0;
    VersionKeeper* versions_ = nullptr;
    bool backUpDotFolders_ = false;
    LeftOutDotFolders leftOutDot_; // the walk in hand's
};

} // namespace sentrel

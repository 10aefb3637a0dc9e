#pragma once

#include <string>

namespace sentrel {

// How a run ended: decided once, by the run, from what it saw; everything
// that shows or acts on it renders this value.
enum class RunEnd { Finished, FinishedWithErrors, Canceled, Failed };

// Why a run failed.
enum class RunFailure {
    None,
    TargetMissing, // not there, not answering, or on another file system than before
    SourceMissing,
    TargetUnwritable, // the destination's disk refused or lost the copies
    SourceUnreadable, // the source could not be listed, or its disk went away
    Broken, // the run itself broke (out of memory, say)
};

struct RunOutcome {
    RunEnd end = RunEnd::Failed;
    int errors = 0; // rows of files not copied
    RunFailure failure = RunFailure::None;
    std::string reason; // the system's words for the failure
    std::string path; // the folder the failure is about
    bool started = false; // the copy began
    // Where the two folders were mounted, for a run that got its copy whole.
    std::string sourceMount;
    std::string destinationMount;

    bool whole() const { return end == RunEnd::Finished || end == RunEnd::FinishedWithErrors; }
};

} // namespace sentrel

#pragma once

#include "platform/Clock.h"
#include "projects/ProjectRecord.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"
#include "shell/Options.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace sentrel {

// A mounted file system settles (the desktop's automounter may remount it)
// before its backup starts.
inline constexpr std::int64_t kArrivalDelayMs = 5000;

// Whether a project should run now that its destination is back: its last
// run today did not find the destination, or, with missed runs caught up,
// a due time has passed since its last good run.
bool DueOnArrival(const ProjectRecord& project, const ProjectState& state, bool runMissed, const LocalDateTime& now);

// Whether `mountPoint`, one of `mountPoints`, is the file system that holds
// `destination`: the one it lived on at its last good run, or else the
// deepest mount point above it.
bool HoldsDestination(const std::string& mountPoint, const std::vector<std::string>& mountPoints,
                      const std::string& destination, const std::string& knownMount);

// Queues one run of each due project whose destination's file system has
// just been mounted.
class DriveArrival final {
public:
    struct Context {
        TaskList& tasks;
        const ProjectTable& projects;
        const ProjectState& state;
        const Options& options;
        const AppState& app;
        ActivityLog& log;
        const Clock& clock;
    };

    explicit DriveArrival(Context context)
        : c_(context)
    {
    }

    // What is mounted at start has not arrived.
    void start(std::vector<std::string> mountPoints);
    void mountsChanged(std::vector<std::string> mountPoints);
    // Queues the projects whose file system has settled.
    void tick();

private:
    struct Arrival {
        std::string project;
        std::string mountPoint;
        std::int64_t dueMs;
    };
    bool wanted(const ProjectRecord& project) const;

    Context c_;
    std::vector<std::string> mounts_;
    std::vector<Arrival> waiting_;
};

} // namespace sentrel

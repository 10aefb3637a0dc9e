#pragma once

// The program as the user runs it: the real App with its main window shown,
// its timers running and its event loop turned by the run as in the
// program, on whichever Qt platform is set (offscreen by default).

#include "app/App.h"
#include "ui/FormMain.h"

#include <QTimer>

#include <memory>
#include <string>

namespace sentrel::bench {

struct ProgramRun {
    double seconds = 0; // the backup timer's tick that ran the project
    double longestStallMs = 0; // largest gap between two firings of a 1 ms timer
    double stallEndsAt = 0; // seconds into the run
    double windowCpuSeconds = 0; // spent by the window's thread
    std::size_t failures = 0; // copies the log reports as failed
    std::string status; // the row's Status afterwards
};

// Records the longest time the event loop went without serving a 1 ms timer.
class StallMeter {
public:
    StallMeter();
    void start();
    // Stops and gives the longest gap in milliseconds, up to now.
    double stop();
    // When the longest gap ended, in seconds from the start.
    double longestEndedAt() const { return longestEnd_ - start_; }

private:
    void gap(double now);

    QTimer timer_;
    double start_ = 0;
    double last_ = 0;
    double longest_ = 0;
    double longestEnd_ = 0;
};

class ProgramHarness {
public:
    explicit ProgramHarness(const Clock& clock);
    ~ProgramHarness();

    App& app() { return *app_; }
    FormMain& form() { return *form_; }

    // Queues a row of a "Manually" project over source and destination, as
    // Backup Now does, and runs it through the backup timer's tick.
    ProgramRun backup(const std::string& source, const std::string& destination, const char* overwrite);

private:
    struct Platform;
    const Clock& clock_;
    std::unique_ptr<Platform> platform_;
    std::string dataDir_;
    std::unique_ptr<App> app_;
    std::unique_ptr<FormMain> form_;
    int projects_ = 0;
};

} // namespace sentrel::bench

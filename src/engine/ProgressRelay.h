#pragma once

#include "engine/BackupEngine.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sentrel {

// Carries the reports of an engine working on another thread to the
// thread that owns the task row and the log. Only the latest tag and
// status are kept: the row shows the newest, however many came between.
class ProgressRelay final : public BackupProgress {
public:
    // The engine's side.
    void setTag(std::string_view path) override;
    void setStatus(std::string_view text) override;
    void log(std::string_view detail) override;
    void note(std::string_view detail) override;
    void yield() override { }
    bool running() const override { return running_.load(std::memory_order_relaxed); }

    // The owner's side: what came since the last delivery, log rows first.
    void deliverTo(BackupProgress& owner);
    void setRunning(bool running) { running_.store(running, std::memory_order_relaxed); }
    // The failures logged so far: the run's error count.
    int failures() const { return failures_.load(); }

private:
    std::mutex mutex_;
    std::string tag_, status_;
    bool tagChanged_ = false, statusChanged_ = false;
    std::vector<std::pair<bool, std::string>> logs_; // a note or not, and the row
    std::atomic<bool> running_ { true };
    std::atomic<int> failures_ { 0 };
};

} // namespace sentrel

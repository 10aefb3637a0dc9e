#pragma once

#include "engine/BackupEngine.h"

#include <functional>
#include <string>
#include <vector>

namespace sentrel::test {

// Keeps what the engine reports; onYield may stop the schedule.
class RecordingProgress final : public BackupProgress {
public:
    void setTag(std::string_view path) override { tags.emplace_back(path); }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void log(std::string_view detail) override { logs.emplace_back(detail); }
    void yield() override
    {
        if (onYield)
            onYield();
    }
    bool running() const override { return scheduleRunning; }

    std::vector<std::string> tags;
    std::vector<std::string> statuses;
    std::vector<std::string> logs;
    std::function<void()> onYield;
    bool scheduleRunning = true;
};

} // namespace sentrel::test

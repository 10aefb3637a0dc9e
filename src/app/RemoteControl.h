#pragma once

#include "app/App.h"
#include "platform/ControlService.h"

namespace sentrel {

// The program's commands as scripts reach them: the window's own, without
// the questions.
class RemoteControl final : public ControlHandler {
public:
    explicit RemoteControl(App& app)
        : app_(app)
    {
    }

    ControlReply backupNow(const std::string& name) override;
    ControlReply stopSchedule() override;
    ControlReply startSchedule() override;
    void show() override;
    std::vector<TaskStatus> status() const override;
    std::vector<std::string> running() const override;
    std::vector<std::string> health() const override;

private:
    App& app_;
};

} // namespace sentrel

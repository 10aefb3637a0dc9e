#pragma once

#include "platform/ProcessControl.h"

namespace sentrel {

class SingleInstance;

class QtProcessControl final : public ProcessControl {
public:
    explicit QtProcessControl(SingleInstance& instance)
        : instance_(instance)
    {
    }

    void endProcess(int status) override;

private:
    SingleInstance& instance_;
};

} // namespace sentrel

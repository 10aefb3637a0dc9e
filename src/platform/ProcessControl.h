#pragma once

namespace sentrel {

class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // Ends the process at once, abandoning whatever is still running.
    virtual void endProcess(int status) = 0;
};

} // namespace sentrel

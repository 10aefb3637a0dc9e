#pragma once

#include <csignal>

namespace sentrel {

// A termination or hang-up sent to the process goes to any one thread that
// does not block it. A thread stuck in the kernel on a hung share would take
// it and never run the handler, and the program would not end. Threads that
// touch the disks are therefore started inside this guard: they inherit a
// mask that leaves such signals to the thread that started the program.
class ProcessSignalsBlocked final {
public:
    ProcessSignalsBlocked();
    ~ProcessSignalsBlocked();
    ProcessSignalsBlocked(const ProcessSignalsBlocked&) = delete;
    ProcessSignalsBlocked& operator=(const ProcessSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

} // namespace sentrel

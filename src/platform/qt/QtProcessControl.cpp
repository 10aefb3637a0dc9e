#include "platform/qt/QtProcessControl.h"

#include "platform/qt/SingleInstance.h"

#include <cstdio>
#include <unistd.h>

namespace sentrel {

void QtProcessControl::endProcess(int status)
{
    // Ends at once, also from inside a copy's event-loop turn: nothing of
    // the interrupted run may continue after the exit was logged.
    instance_.release();
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace sentrel

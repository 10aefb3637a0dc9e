#include "platform/qt/QtProcessControl.h"

#include "platform/qt/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace sentrel {

void QtProcessControl::endProcess(int status)
{
    // Ends at once, also from inside a copy's event-loop turn: nothing of
    // the interrupted run may continue after the exit was logged.
    instance_.release();
    std::fflush(nullptr);
#ifdef SENTREL_NORMAL_EXIT
    // Leak-checking builds: the event loop ends and main returns, so all of
    // the program is torn down under the checker's eyes. A run in progress
    // is not stopped here.
    QCoreApplication::exit(status);
#else
    ::_exit(status);
#endif
}

} // namespace sentrel

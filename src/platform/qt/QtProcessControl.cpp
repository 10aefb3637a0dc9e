#include "platform/qt/QtProcessControl.h"

#include "platform/qt/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

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
    // is not stopped here. The exit is repeated until it takes: asked for
    // inside a dialog's loop at start-up, it would end only that loop.
    QCoreApplication::exit(status);
    auto* again = new QTimer(QCoreApplication::instance());
    QObject::connect(again, &QTimer::timeout, [status] { QCoreApplication::exit(status); });
    again->start(10);
#else
    ::_exit(status);
#endif
}

} // namespace sentrel

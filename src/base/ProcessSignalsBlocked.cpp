#include "base/ProcessSignalsBlocked.h"

#include <initializer_list>
#include <pthread.h>

namespace sentrel {

ProcessSignalsBlocked::ProcessSignalsBlocked()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : { SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGCHLD })
        sigaddset(&signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

ProcessSignalsBlocked::~ProcessSignalsBlocked()
{
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace sentrel

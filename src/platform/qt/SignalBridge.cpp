#include "platform/qt/SignalBridge.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sentrel {

int SignalBridge::pipe_[2] = { -1, -1 };

void SignalBridge::CatchSignals()
{
    if (pipe_[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe_) != 0)
        return;
    ::fcntl(pipe_[1], F_SETFL, O_NONBLOCK);
    struct sigaction action { };
    action.sa_handler = &SignalBridge::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : { SIGTERM, SIGHUP, SIGINT })
        ::sigaction(signal, &action, nullptr);
}

SignalBridge::SignalBridge(QObject* parent)
    : QObject(parent)
{
    CatchSignals();
    if (pipe_[0] < 0)
        return;
    // A signal caught before the event loop ran is still in the socket.
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte;
        if (::read(pipe_[0], &byte, 1) > 0)
            emit endOfSessionRequested();
    });
}

SignalBridge::~SignalBridge()
{
    for (int signal : { SIGTERM, SIGHUP, SIGINT })
        std::signal(signal, SIG_DFL);
}

void SignalBridge::onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(pipe_[1], &byte, 1);
}

} // namespace sentrel

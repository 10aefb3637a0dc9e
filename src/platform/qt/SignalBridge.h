#pragma once

#include <QObject>

class QSocketNotifier;

namespace sentrel {

// Turns SIGTERM, SIGHUP and SIGINT into a signal on the event loop, where
// the shutdown can run safely.
class SignalBridge final : public QObject {
    Q_OBJECT

public:
    // From here on the signals wait for the bridge instead of ending the
    // process: called as early as start-up allows, a logout during it
    // still gets an orderly exit.
    static void CatchSignals();

    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void endOfSessionRequested();

private:
    static void onSignal(int);
    static int pipe_[2];
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace sentrel

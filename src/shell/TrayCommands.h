#pragma once

#include "platform/Tray.h"
#include "shell/AppState.h"
#include "shell/MainWindowView.h"

#include <functional>

namespace sentrel {

// What the tray icon and the window's minimize and close boxes do. The window
// hides into the tray only while there is a tray to bring it back from;
// otherwise it stays minimized in the task bar.
class TrayCommands final {
public:
    TrayCommands(const AppState& state, const Tray& tray, MainWindowView* view = nullptr)
        : state_(state)
        , tray_(tray)
        , view_(view)
    {
    }

    void setView(MainWindowView* view) { view_ = view; }

    // The icon's left click: hides a shown window, brings back a hidden one.
    void leftClick();
    // The menu's "&Show".
    void showCommand();
    // The menu's "&Exit": shuts down with no question.
    void exitCommand(const std::function<void()>& shutdown);

    // The window was minimized by its minimize box.
    void windowMinimized();
    // The close box: hidden at once where a tray can bring it back, so no
    // late iconic state from the window manager can undo the next show.
    void closeRequested();
    // Start-up with "1" on the command line.
    void startHidden();
    // The tray went away or came back while the program runs.
    void trayAvailabilityChanged(bool available);

private:
    bool ignored() const { return !view_ || state_.EditorOpen; }
    void putAway();

    const AppState& state_;
    const Tray& tray_;
    MainWindowView* view_;
};

} // namespace sentrel

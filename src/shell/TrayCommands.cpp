#include "shell/TrayCommands.h"

namespace sentrel {

void TrayCommands::leftClick()
{
    if (ignored())
        return;
    if (view_->isWindowVisible())
        putAway();
    else
        view_->restoreWindow();
}

void TrayCommands::showCommand()
{
    if (!ignored())
        view_->restoreWindow();
}

void TrayCommands::exitCommand(const std::function<void()>& shutdown)
{
    if (!state_.EditorOpen && shutdown)
        shutdown();
}

void TrayCommands::windowMinimized()
{
    // While the editor is open the tray ignores clicks, so a hidden window
    // could not come back.
    if (view_ && !state_.EditorOpen && tray_.isAvailable())
        view_->hideWindow();
}

void TrayCommands::closeRequested()
{
    if (view_)
        putAway();
}

void TrayCommands::startHidden()
{
    if (view_)
        putAway();
}

void TrayCommands::trayAvailabilityChanged(bool available)
{
    // A hidden window with no tray left could never be shown again.
    if (view_ && !available && !view_->isWindowVisible())
        view_->minimizeWindow();
}

void TrayCommands::putAway()
{
    if (tray_.isAvailable())
        view_->hideWindow();
    else
        view_->minimizeWindow();
}

} // namespace sentrel

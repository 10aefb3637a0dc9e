#pragma once

#include <string>

namespace sentrel {

// What the shell asks of the main window.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    virtual void minimizeWindow() = 0;
    virtual void restoreWindow() = 0;
    virtual bool isWindowVisible() const = 0;
    // The options changed behind the check boxes' back (read at start-up).
    virtual void optionsChanged() = 0;
    // Text colour and the two schedule buttons.
    virtual void scheduleStateChanged(bool running) = 0;
    // TimerMain and TimerBackup on or off.
    virtual void setScheduleTimers(bool on) = 0;
    // Opens the project editor without waiting for it to close, so a backup
    // in progress goes on.
    virtual void openProjectEditor() = 0;
    virtual void showTasksTab() = 0;
    // Opens the restore window over a project's backup, without waiting.
    virtual void openRestore(const std::string& projectName) = 0;
};

} // namespace sentrel

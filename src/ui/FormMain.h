#pragma once

#include "shell/MainWindowView.h"

#include <QTimer>
#include <QWidget>

class QTabWidget;
class QTreeView;
class QCheckBox;
class QToolBar;

namespace sentrel {

class App;
class ProjectTableModel;
class TaskTableModel;
class LogTableModel;
class TableModel;

class FormMain final : public QWidget, public MainWindowView {
    Q_OBJECT

public:
    explicit FormMain(App& app, QWidget* parent = nullptr);
    ~FormMain() override;

    // MainWindowView
    void showWindow() override;
    void hideWindow() override;
    void minimizeWindow() override;
    void restoreWindow() override;
    bool isWindowVisible() const override;
    void optionsChanged() override;
    void scheduleStateChanged(bool running) override;
    void setScheduleTimers(bool on) override;
    void openProjectEditor() override;
    void showTasksTab() override;

    QTabWidget* tabs() const { return tabs_; }
    QTreeView* projectView() const { return LVProj; }
    QTreeView* taskView() const { return LVTask; }
    QTreeView* logView() const { return LVLog; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeProjectsPage();
    QWidget* makeTasksPage();
    QWidget* makeLogPage();
    QWidget* makeOptionsPage();
    QWidget* makeAboutPage();
    QTreeView* makeList(TableModel* model, QWidget* parent);
    static void LayOut(QWidget* page, QToolBar* toolbar, QTreeView* list);
    void syncSelection(QTreeView* view);

    App& app_;
    ProjectTableModel* projectModel_;
    TaskTableModel* taskModel_;
    LogTableModel* logModel_;
    QTabWidget* tabs_ = nullptr;
    QTreeView* LVProj = nullptr;
    QTreeView* LVTask = nullptr;
    QTreeView* LVLog = nullptr;
    QCheckBox* CheckStart = nullptr;
    QCheckBox* CheckSound = nullptr;
    QCheckBox* CheckBalloon = nullptr;
    QCheckBox* CheckLog = nullptr;
    QTimer TimerMain;
    QTimer TimerBackup;
    QTimer TimerCurrent;
};

} // namespace sentrel

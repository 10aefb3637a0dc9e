#pragma once

#include "shell/MainWindowView.h"

#include <QTimer>
#include <QWidget>

class QAbstractItemView;
class QAction;
class QHeaderView;
class QCheckBox;
class QLineEdit;
class QListView;
class QSpinBox;
class QTabWidget;
class QTableView;
class QToolBar;
class QTreeView;

namespace sentrel {

class App;
class IgnoreListModel;
class LogTableModel;
class ProjectTableModel;
class TableModel;
class TaskTableModel;

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
    void openRestore(const std::string& projectName) override;

    QTabWidget* tabs() const { return tabs_; }
    QTreeView* projectView() const { return LVProj; }
    QTreeView* taskView() const { return LVTask; }
    QTableView* logView() const { return LVLog; }
    QListView* ignoreView() const { return List1; }
    QLineEdit* ignoreText() const { return Text1; }
    // The toolbar button of a command id (the two toolbars share ids).
    QAction* mainAction(int id) const;
    QAction* subAction(int id) const;
    bool timersRunning() const { return TimerMain.isActive() && TimerBackup.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeProjectsPage();
    QWidget* makeTasksPage();
    QWidget* makeLogPage();
    QWidget* makeOptionsPage();
    QWidget* makeAboutPage();
    QWidget* makeIgnoreEditor(QWidget* page);
    QLayout* makeVersionsOption(QWidget* page);
    void showVersionsOption();
    QToolBar* makeToolbar(const QString& name, QWidget* page);
    QAction* addCommand(QToolBar* toolbar, int id, const QString& caption, const char* themeIcon, int fallbackIcon,
                        bool main);
    QTreeView* makeList(TableModel* model, const QString& name, QWidget* parent);
    QTableView* makeLog(TableModel* model, const QString& name, QWidget* parent);
    static void SetUpColumns(QHeaderView* header, const TableModel* model);
    static void LayOut(QWidget* page, QToolBar* toolbar, QAbstractItemView* list);
    void syncSelection(QTreeView* view);
    void showCoreSelection(QTreeView* view);
    void addIgnoreEntry();
    void removeIgnoreEntry();

    App& app_;
    ProjectTableModel* projectModel_;
    TaskTableModel* taskModel_;
    LogTableModel* logModel_;
    IgnoreListModel* ignoreModel_;
    QTabWidget* tabs_ = nullptr;
    QTreeView* LVProj = nullptr;
    QTreeView* LVTask = nullptr;
    QTableView* LVLog = nullptr;
    QListView* List1 = nullptr;
    QLineEdit* Text1 = nullptr;
    bool text1Focused_ = false;
    QList<QAction*> mainActions_;
    QList<QAction*> subActions_;
    QCheckBox* CheckStart = nullptr;
    QCheckBox* CheckSound = nullptr;
    QCheckBox* CheckBalloon = nullptr;
    QCheckBox* CheckLog = nullptr;
    QCheckBox* CheckVersions = nullptr;
    QSpinBox* SpinVersionDays = nullptr;
    QCheckBox* CheckRunMissed = nullptr;
    QCheckBox* CheckDotFolders = nullptr;
    QTimer TimerMain;
    QTimer TimerBackup;
    QTimer TimerCurrent;
    QTimer TimerWatch; // never switched off
};

} // namespace sentrel

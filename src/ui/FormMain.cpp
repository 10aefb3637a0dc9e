#include "ui/FormMain.h"

#include "app/App.h"
#include "ui/LogTableModel.h"
#include "ui/ProjectTableModel.h"
#include "ui/TaskTableModel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace sentrel {

FormMain::FormMain(App& app, QWidget* parent)
    : QWidget(parent)
    , app_(app)
    , projectModel_(new ProjectTableModel(app.projects(), this))
    , taskModel_(new TaskTableModel(app.tasks(), this))
    , logModel_(new LogTableModel(app.log(), this))
{
    setWindowTitle(QStringLiteral("Sentrel"));
    resize(747, 461);

    tabs_ = new QTabWidget(this);
    tabs_->setDocumentMode(false);
    tabs_->addTab(makeProjectsPage(), tr("Projects"));
    tabs_->addTab(makeTasksPage(), tr("Today's tasks"));
    tabs_->addTab(makeLogPage(), tr("Log"));
    tabs_->addTab(makeOptionsPage(), tr("Options"));
    tabs_->addTab(makeAboutPage(), tr("About..."));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(tabs_);

    TimerMain.setInterval(500);
    TimerBackup.setInterval(1000);
    TimerCurrent.setInterval(100);
    connect(&TimerMain, &QTimer::timeout, this, [this] { app_.scheduler().TimerMain(); });
    connect(&TimerBackup, &QTimer::timeout, this, [this] { app_.scheduler().TimerBackup(); });
    connect(&TimerCurrent, &QTimer::timeout, this, [this] { app_.scheduler().TimerCurrent(); });
    TimerMain.start();
    TimerBackup.start();
    TimerCurrent.start();

    app_.setView(this);
}

FormMain::~FormMain()
{
    app_.setView(nullptr);
}

QTreeView* FormMain::makeList(TableModel* model, QWidget* parent)
{
    auto* view = new QTreeView(parent);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(true);
    const double scale = logicalDpiX() / 96.0;
    const QFontMetrics metrics(view->font());
    for (int i = 0; i < int(model->columns().size()); ++i) {
        const ColumnSpec& column = model->columns()[std::size_t(i)];
        const int needed = column.widest.isEmpty() ? 0 : metrics.horizontalAdvance(column.widest) + 16;
        view->setColumnWidth(i, std::max(int(column.width * scale), needed));
    }
    return view;
}

void FormMain::syncSelection(QTreeView* view)
{
    const auto* selection = view->selectionModel();
    if (view == LVProj) {
        for (std::size_t i = 0; i < app_.projects().size(); ++i)
            app_.projects().setSelected(i, selection->isRowSelected(int(i), {}));
    } else if (view == LVTask) {
        for (std::size_t i = 0; i < app_.tasks().size(); ++i)
            app_.tasks().setSelected(i, selection->isRowSelected(int(i), {}));
    }
}

void FormMain::LayOut(QWidget* page, QToolBar* toolbar, QTreeView* list)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (toolbar)
        layout->addWidget(toolbar);
    layout->addWidget(list);
}

QWidget* FormMain::makeProjectsPage()
{
    auto* page = new QWidget;
    auto* toolbar = new QToolBar(QStringLiteral("maintoolbar"), page);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (const QString& caption : { tr("Add"), tr("Remove"), tr("Edit"), tr("Backup Now") })
        toolbar->addAction(caption)->setEnabled(false);
    toolbar->addAction(tr("Exit"), this, [this] { app_.Exit(); });

    LVProj = makeList(projectModel_, page);
    LVProj->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(LVProj->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncSelection(LVProj); });

    LayOut(page, toolbar, LVProj);
    return page;
}

QWidget* FormMain::makeTasksPage()
{
    auto* page = new QWidget;
    auto* toolbar = new QToolBar(QStringLiteral("Subtoolbar"), page);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (const QString& caption : { tr("Start Schedule"), tr("Stop Schedule"), tr("Remove Task") })
        toolbar->addAction(caption)->setEnabled(false);

    LVTask = makeList(taskModel_, page);
    LVTask->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(LVTask->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncSelection(LVTask); });

    LayOut(page, toolbar, LVTask);
    return page;
}

QWidget* FormMain::makeLogPage()
{
    auto* page = new QWidget;
    LVLog = makeList(logModel_, page);
    LVLog->setSelectionMode(QAbstractItemView::SingleSelection);
    LayOut(page, nullptr, LVLog);
    return page;
}

QWidget* FormMain::makeOptionsPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    const auto addOption = [&](const QString& caption, bool Options::*option) {
        auto* box = new QCheckBox(caption, page);
        connect(box, &QCheckBox::toggled, this, [this, option](bool checked) { app_.options().*option = checked; });
        layout->addWidget(box);
        return box;
    };
    CheckStart = addOption(tr("Start with the desktop session"), &Options::startWithSession);
    CheckSound = addOption(tr("Play sound when backup finished"), &Options::playSound);
    CheckBalloon = addOption(tr("Enable tray balloon notification"), &Options::showBalloon);
    CheckLog = addOption(tr("Log to file"), &Options::saveLog);
    layout->addStretch();
    optionsChanged();
    return page;
}

QWidget* FormMain::makeAboutPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* picture = new QLabel(page);
    picture->setPixmap(windowIcon().pixmap(64, 64));
    auto* name = new QLabel(QStringLiteral("Sentrel"), page);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 1.8);
    font.setBold(true);
    name->setFont(font);
    layout->addStretch();
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(QStringLiteral("Version: 3.4"), page), 0, Qt::AlignHCenter);
    auto* Label4 = new QLabel(page);
    const QString homePage = QString::fromStdString(app_.updateReminder().homePage());
    Label4->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(homePage.toHtmlEscaped()));
    Label4->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(Label4, &QLabel::linkActivated, this, [this] { app_.updateReminder().OpenHomePage(); });
    layout->addWidget(Label4, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(tr("Backs up your folders on a schedule."), page), 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

void FormMain::showWindow()
{
    show();
    repaint();
}

void FormMain::hideWindow()
{
    hide();
}

void FormMain::minimizeWindow()
{
    showMinimized();
}

void FormMain::restoreWindow()
{
    showNormal();
    raise();
    activateWindow();
}

bool FormMain::isWindowVisible() const
{
    return isVisible();
}

void FormMain::optionsChanged()
{
    const Options& options = app_.options();
    const std::pair<QCheckBox*, bool> boxes[] = { { CheckStart, options.startWithSession },
                                                  { CheckSound, options.playSound },
                                                  { CheckBalloon, options.showBalloon },
                                                  { CheckLog, options.saveLog } };
    for (const auto& [box, checked] : boxes) {
        const QSignalBlocker blocker(box);
        box->setChecked(checked);
    }
}

void FormMain::scheduleStateChanged(bool) { }
void FormMain::setScheduleTimers(bool) { }
void FormMain::openProjectEditor() { }
void FormMain::showTasksTab() { }

void FormMain::closeEvent(QCloseEvent* event)
{
    // The close box only minimizes; Exit ends the program.
    if (event->spontaneous()) {
        event->ignore();
        app_.trayCommands().closeRequested();
        return;
    }
    QWidget::closeEvent(event);
}

void FormMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Hiding inside the state change itself is unreliable with some window
    // managers.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(
            this, [this] { app_.trayCommands().windowMinimized(); }, Qt::QueuedConnection);
}

} // namespace sentrel

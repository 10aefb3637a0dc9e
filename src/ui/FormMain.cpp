#include "ui/FormMain.h"

#include "app/App.h"
#include "app/CommandIds.h"
#include "ui/ElidedTextTooltip.h"
#include "ui/FormProject.h"
#include "ui/FormRestore.h"
#include "ui/IgnoreListModel.h"
#include "ui/LogTableModel.h"
#include "ui/ProjectTableModel.h"
#include "ui/TaskTableModel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
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
    , ignoreModel_(new IgnoreListModel(app.ignoreList(), this))
{
    setWindowTitle(QStringLiteral("Sentrel"));
    resize(747, 461);

    tabs_ = new QTabWidget(this);
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
    TimerWatch.setInterval(1000);
    connect(&TimerMain, &QTimer::timeout, this, [this] { app_.scheduler().TimerMain(); });
    connect(&TimerBackup, &QTimer::timeout, this, [this] { app_.scheduler().TimerBackup(); });
    connect(&TimerCurrent, &QTimer::timeout, this, [this] { app_.scheduler().TimerCurrent(); });
    connect(&TimerWatch, &QTimer::timeout, this, [this] { app_.TimerWatch(); });
    TimerMain.start();
    TimerBackup.start();
    TimerCurrent.start();
    TimerWatch.start();

    app_.setView(this);
}

FormMain::~FormMain()
{
    app_.setView(nullptr);
}

QTreeView* FormMain::makeList(TableModel* model, const QString& name, QWidget* parent)
{
    auto* view = new QTreeView(parent);
    view->setAccessibleName(name);
    view->setModel(model);
    view->setItemDelegate(new ElidedTextTooltip(view));
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetUpColumns(view->header(), model);
    return view;
}

// The log grows without limit: a table view appends a row to a million in
// about a millisecond, where a tree view lays every row out again.
QTableView* FormMain::makeLog(TableModel* model, const QString& name, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setAccessibleName(name);
    view->setModel(model);
    view->setItemDelegate(new ElidedTextTooltip(view));
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetUpColumns(view->horizontalHeader(), model);
    return view;
}

void FormMain::SetUpColumns(QHeaderView* header, const TableModel* model)
{
    header->setStretchLastSection(true);
    header->setSectionsMovable(false);
    const double scale = header->logicalDpiX() / 96.0;
    const QFontMetrics metrics(header->font());
    for (int i = 0; i < int(model->columns().size()); ++i) {
        const ColumnSpec& column = model->columns()[std::size_t(i)];
        const int needed = column.widest.isEmpty() ? 0 : metrics.horizontalAdvance(column.widest) + 16;
        header->resizeSection(i, std::max(int(column.width * scale), needed));
    }
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

// After a re-order the view shows the row the user had selected.
void FormMain::showCoreSelection(QTreeView* view)
{
    const auto selected = app_.projects().selectedIndex();
    if (view != LVProj || !selected)
        return;
    const QModelIndex index = projectModel_->index(int(*selected), 0);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

void FormMain::LayOut(QWidget* page, QToolBar* toolbar, QAbstractItemView* list)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (toolbar)
        layout->addWidget(toolbar);
    layout->addWidget(list);
}

QToolBar* FormMain::makeToolbar(const QString& name, QWidget* page)
{
    auto* toolbar = new QToolBar(name, page);
    toolbar->setAccessibleName(name);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->setIconSize(QSize(16, 16));
    return toolbar;
}

QAction* FormMain::addCommand(QToolBar* toolbar, int id, const QString& caption, const char* themeIcon,
                              int fallbackIcon, bool main)
{
    const QIcon icon
        = QIcon::fromTheme(QLatin1String(themeIcon), style()->standardIcon(QStyle::StandardPixmap(fallbackIcon)));
    QAction* action = toolbar->addAction(icon, caption);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id, main] {
        if (main)
            app_.commands().MainToolbar(id);
        else
            app_.commands().SubToolbar(id);
    });
    (main ? mainActions_ : subActions_).append(action);
    return action;
}

QAction* FormMain::mainAction(int id) const
{
    for (QAction* action : mainActions_) {
        if (action->data().toInt() == id)
            return action;
    }
    return nullptr;
}

QAction* FormMain::subAction(int id) const
{
    for (QAction* action : subActions_) {
        if (action->data().toInt() == id)
            return action;
    }
    return nullptr;
}

QWidget* FormMain::makeProjectsPage()
{
    auto* page = new QWidget;
    QToolBar* toolbar = makeToolbar(tr("Project commands"), page);
    addCommand(toolbar, ID_ADD, tr("Add"), "list-add", QStyle::SP_FileDialogNewFolder, true);
    addCommand(toolbar, ID_REMOVE, tr("Remove"), "list-remove", QStyle::SP_TrashIcon, true);
    addCommand(toolbar, ID_EDIT, tr("Edit"), "document-properties", QStyle::SP_FileDialogDetailedView, true);
    addCommand(toolbar, ID_BACKUPNOW, tr("Backup Now"), "document-save", QStyle::SP_DialogSaveButton, true);
    addCommand(toolbar, ID_RESTORE, tr("Restore..."), "document-revert", QStyle::SP_BrowserReload, true);
    addCommand(toolbar, ID_EXIT, tr("Exit"), "application-exit", QStyle::SP_DialogCloseButton, true);

    LVProj = makeList(projectModel_, tr("Projects"), page);
    LVProj->setSelectionMode(QAbstractItemView::SingleSelection);
    LVProj->header()->setSectionsClickable(true);
    connect(LVProj->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncSelection(LVProj); });
    connect(LVProj, &QTreeView::doubleClicked, this, [this] { app_.commands().EditProject(); });
    connect(LVProj->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        app_.commands().SortProjects(column);
        LVProj->header()->setSortIndicatorShown(true);
        LVProj->header()->setSortIndicator(column,
                                           app_.projects().sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(projectModel_, &QAbstractItemModel::modelReset, this, [this] { showCoreSelection(LVProj); });

    LayOut(page, toolbar, LVProj);
    return page;
}

QWidget* FormMain::makeTasksPage()
{
    auto* page = new QWidget;
    QToolBar* toolbar = makeToolbar(tr("Schedule commands"), page);
    addCommand(toolbar, ID_STARTSCHEDULE, tr("Start Schedule"), "media-playback-start", QStyle::SP_MediaPlay, false)
        ->setEnabled(false);
    addCommand(toolbar, ID_STOPSCHEDULE, tr("Stop Schedule"), "media-playback-stop", QStyle::SP_MediaStop, false);
    addCommand(toolbar, ID_REMOVETASK, tr("Remove Task"), "edit-delete", QStyle::SP_TrashIcon, false);

    LVTask = makeList(taskModel_, tr("Today's tasks"), page);
    LVTask->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(LVTask->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncSelection(LVTask); });

    LayOut(page, toolbar, LVTask);
    return page;
}

QWidget* FormMain::makeLogPage()
{
    auto* page = new QWidget;
    LVLog = makeLog(logModel_, tr("Log"), page);
    LayOut(page, nullptr, LVLog);
    return page;
}

QWidget* FormMain::makeIgnoreEditor(QWidget* page)
{
    auto* Frame4 = new QGroupBox(tr("Don't backup these files:"), page);
    auto* layout = new QVBoxLayout(Frame4);
    List1 = new QListView(Frame4);
    List1->setAccessibleName(tr("Files not backed up"));
    List1->setModel(ignoreModel_);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->installEventFilter(this);
    layout->addWidget(List1);

    auto* row = new QHBoxLayout;
    Text1 = new QLineEdit(tr("Input filename here then press \"+\" or Enter"), Frame4);
    Text1->setAccessibleName(tr("File name or *.extension to leave out"));
    Text1->installEventFilter(this);
    connect(Text1, &QLineEdit::returnPressed, this, &FormMain::addIgnoreEntry);
    auto* CmdAddFile = new QPushButton(QStringLiteral("+"), Frame4);
    CmdAddFile->setAccessibleName(tr("Add file name"));
    CmdAddFile->setToolTip(tr("Add file name"));
    CmdAddFile->setFocusPolicy(Qt::NoFocus);
    connect(CmdAddFile, &QPushButton::clicked, this, &FormMain::addIgnoreEntry);
    auto* CmdRemoveFile = new QPushButton(QStringLiteral("-"), Frame4);
    CmdRemoveFile->setAccessibleName(tr("Remove file name"));
    CmdRemoveFile->setToolTip(tr("Remove the selected file name"));
    connect(CmdRemoveFile, &QPushButton::clicked, this, &FormMain::removeIgnoreEntry);
    for (QPushButton* button : { CmdAddFile, CmdRemoveFile })
        button->setFixedWidth(button->sizeHint().height() + 8);
    row->addWidget(Text1);
    row->addWidget(CmdAddFile);
    row->addWidget(CmdRemoveFile);
    layout->addLayout(row);
    return Frame4;
}

void FormMain::addIgnoreEntry()
{
    const IgnoreAdd outcome = app_.commands().AddIgnoreEntry(Text1->text().toStdString());
    switch (outcome.result) {
    case IgnoreAddResult::Added:
        Text1->clear();
        break;
    case IgnoreAddResult::HasQuote:
        Text1->setFocus(Qt::OtherFocusReason);
        break;
    case IgnoreAddResult::Empty:
    case IgnoreAddResult::Duplicate:
        Text1->setText(QString::fromStdString(outcome.text));
        break;
    }
}

void FormMain::removeIgnoreEntry()
{
    const QModelIndexList selected = List1->selectionModel()->selectedRows();
    for (std::size_t i = 0; i < app_.ignoreList().size(); ++i)
        app_.ignoreList().setSelected(i, !selected.isEmpty() && selected.constFirst().row() == int(i));
    app_.commands().RemoveIgnoreEntry();
}

QWidget* FormMain::makeOptionsPage()
{
    auto* page = new QWidget;
    auto* columns = new QHBoxLayout(page);
    columns->addWidget(makeIgnoreEditor(page), 1);

    auto* options = new QVBoxLayout;
    const auto addOption = [&](const QString& caption, bool Options::*option) {
        auto* box = new QCheckBox(caption, page);
        connect(box, &QCheckBox::toggled, this, [this, option](bool checked) { app_.options().*option = checked; });
        options->addWidget(box);
        return box;
    };
    CheckStart = addOption(tr("Start with the desktop session"), &Options::startWithSession);
    CheckSound = addOption(tr("Play sound when backup finished"), &Options::playSound);
    CheckBalloon = addOption(tr("Enable tray balloon notification"), &Options::showBalloon);
    CheckLog = addOption(tr("Log to file"), &Options::saveLog);
    // Through the App: turning it on is a moment the state file notes.
    CheckRunMissed
        = new QCheckBox(tr("Run missed backups after start-up, wake-up or when their disk comes back"), page);
    connect(CheckRunMissed, &QCheckBox::toggled, this, [this](bool checked) { app_.setRunMissed(checked); });
    options->addWidget(CheckRunMissed);
    CheckDotFolders = addOption(tr("Back up folders whose names begin with a dot"), &Options::backUpDotFolders);
    options->addLayout(makeVersionsOption(page));
    options->addStretch();
    columns->addLayout(options);
    optionsChanged();
    return page;
}

QLayout* FormMain::makeVersionsOption(QWidget* page)
{
    auto* row = new QHBoxLayout;
    CheckVersions = new QCheckBox(tr("Keep replaced files for"), page);
    SpinVersionDays = new QSpinBox(page);
    SpinVersionDays->setRange(kMinKeepDays, kMaxKeepDays);
    SpinVersionDays->setAccessibleName(tr("Days to keep replaced files"));
    connect(CheckVersions, &QCheckBox::toggled, this, [this](bool checked) {
        app_.options().keepVersions = checked;
        SpinVersionDays->setEnabled(checked);
    });
    connect(SpinVersionDays, &QSpinBox::valueChanged, this,
            [this](int days) { app_.options().keepVersionsDays = days; });
    row->addWidget(CheckVersions);
    row->addWidget(SpinVersionDays);
    row->addWidget(new QLabel(tr("days"), page));
    row->addStretch();
    return row;
}

void FormMain::showVersionsOption()
{
    const QSignalBlocker checkBlocker(CheckVersions), spinBlocker(SpinVersionDays);
    CheckVersions->setChecked(app_.options().keepVersions);
    SpinVersionDays->setValue(app_.options().keepVersionsDays);
    SpinVersionDays->setEnabled(app_.options().keepVersions);
}

QWidget* FormMain::makeAboutPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* picture = new QLabel(page);
    picture->setPixmap(windowIcon().pixmap(64, 64));
    picture->setAccessibleName(tr("Sentrel icon"));
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
    Label4->setAccessibleName(tr("Home page: %1").arg(homePage));
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
    const std::pair<QCheckBox*, bool> boxes[]
        = { { CheckStart, options.startWithSession }, { CheckSound, options.playSound },
            { CheckBalloon, options.showBalloon },    { CheckLog, options.saveLog },
            { CheckRunMissed, options.runMissed },    { CheckDotFolders, options.backUpDotFolders } };
    for (const auto& [box, checked] : boxes) {
        const QSignalBlocker blocker(box);
        box->setChecked(checked);
    }
    showVersionsOption();
}

void FormMain::scheduleStateChanged(bool running)
{
    taskModel_->setGreyed(!running);
    subAction(ID_STARTSCHEDULE)->setEnabled(!running);
    subAction(ID_STOPSCHEDULE)->setEnabled(running);
}

void FormMain::setScheduleTimers(bool on)
{
    for (QTimer* timer : { &TimerMain, &TimerBackup }) {
        if (on)
            timer->start();
        else
            timer->stop();
    }
}

void FormMain::openProjectEditor()
{
    // Window-modal and not waited for: a backup goes on while the editor
    // is open.
    auto* editor = new FormProject(app_.editor(), this);
    editor->setWindowModality(Qt::WindowModal);
    editor->open();
}

void FormMain::openRestore(const std::string& projectName)
{
    const ProjectRecord* project = app_.projects().findByName(projectName);
    if (!project)
        return;
    const Services& s = app_.services();
    auto* restore = new FormRestore(
        { s.dialogs, s.picker, s.loop, project->Source, project->Destination, app_.options().backUpDotFolders }, this);
    restore->setWindowTitle(tr("Restore - %1").arg(QString::fromStdString(projectName)));
    restore->setWindowModality(Qt::WindowModal);
    restore->open();
}

void FormMain::showTasksTab()
{
    tabs_->setCurrentIndex(1);
}

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

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    // The hint in the box goes at its first focus and never comes back.
    if (watched == Text1 && event->type() == QEvent::FocusIn && !text1Focused_) {
        text1Focused_ = true;
        Text1->clear();
    }
    if (watched == List1 && event->type() == QEvent::KeyRelease
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
        removeIgnoreEntry();
    return QWidget::eventFilter(watched, event);
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

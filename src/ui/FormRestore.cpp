#include "ui/FormRestore.h"

#include "base/BackgroundJob.h"
#include "platform/EventLoop.h"
#include "shell/AppState.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace sentrel {

namespace {
constexpr int kRelativeRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

QString FileCount(unsigned long long count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

std::string LastName(const std::string& relative)
{
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}
} // namespace

FormRestore::FormRestore(Context context, QWidget* parent)
    : QDialog(parent)
    , c_(std::move(context))
    , cancel_(std::make_shared<std::atomic<bool>>(false))
{
    setWindowTitle(tr("Restore"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 420);

    TreeBackup = new QTreeWidget(this);
    TreeBackup->setAccessibleName(tr("Backup"));
    TreeBackup->setHeaderLabels({ tr("Name") });
    ListCopies = new QTreeWidget(this);
    ListCopies->setAccessibleName(tr("Copies"));
    ListCopies->setRootIsDecorated(false);
    ListCopies->setHeaderLabels({ tr("Copy"), tr("Size") });
    ListCopies->header()->resizeSection(0, 180);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(TreeBackup);
    splitter->addWidget(ListCopies);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    LabelStatus = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    CmdRestore = buttons->addButton(tr("Restore"), QDialogButtonBox::ActionRole);
    CmdRestore->setToolTip(tr("Put the chosen copy back in its place in the source"));
    CmdRestoreTo = buttons->addButton(tr("Restore to..."), QDialogButtonBox::ActionRole);
    CmdClose = buttons->addButton(QDialogButtonBox::Close);
    for (QPushButton* button : { CmdRestore, CmdRestoreTo })
        button->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text("Backup: " + c_.destination), this));
    layout->addWidget(splitter, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(LabelStatus, 1);
    row->addWidget(buttons);
    layout->addLayout(row);

    connect(TreeBackup, &QTreeWidget::currentItemChanged, this, [this] { showCopies(); });
    connect(CmdRestore, &QPushButton::clicked, this, [this] { restoreTo({}); });
    connect(CmdRestoreTo, &QPushButton::clicked, this, [this] {
        const QPointer<FormRestore> self(this);
        c_.picker.BrowseForFolder("Restore to", c_.source, [self](std::string picked) {
            if (self && !picked.empty())
                self->restoreTo(picked);
        });
    });
    connect(CmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

FormRestore::~FormRestore()
{
    *cancel_ = true;
}

void FormRestore::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!loaded_)
        QTimer::singleShot(0, this, &FormRestore::load);
}

void FormRestore::done(int result)
{
    // A listing in hand stops at its next file.
    *cancel_ = true;
    QDialog::done(result);
}

void FormRestore::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    listing_ = true;
    struct Listing {
        std::atomic<std::size_t> listed = 0;
        BackupIndex index;
    };
    auto listing = std::make_shared<Listing>();
    // Owns what it touches: given up when the window closes, it ends alone.
    auto job = std::make_shared<BackgroundJob>(
        [listing, cancel = cancel_, destination = c_.destination, dotFolders = c_.dotFolders] {
            listing->index = IndexBackup(destination, &listing->listed, cancel.get(), dotFolders);
        });
    c_.loop.every(kProgressInterval, [self = QPointer<FormRestore>(this), job, listing, cancel = cancel_] {
        if (!self || *cancel) {
            job->giveUp();
            return false;
        }
        bool done = false;
        try {
            done = job->waitFor(std::chrono::milliseconds(0));
        } catch (const std::exception& e) {
            self->listing_ = false;
            self->LabelStatus->setText(tr("The backup could not be read: %1").arg(e.what()));
            return false;
        }
        if (!done) {
            self->LabelStatus->setText(tr("Reading the backup... %1").arg(FileCount(listing->listed.load())));
            return true;
        }
        self->listing_ = false;
        self->index_ = std::move(listing->index);
        self->fillTree();
        self->LabelStatus->setText(self->index_.files.empty() ? tr("The backup holds no files.")
                                                              : FileCount(self->index_.files.size()));
        return false;
    });
}

void FormRestore::fillTree()
{
    TreeBackup->clear();
    auto* root = new QTreeWidgetItem(TreeBackup, { Text(c_.destination) });
    root->setData(0, kRelativeRole, QString());
    root->setData(0, kFolderRole, true);
    std::map<std::string, QTreeWidgetItem*> folders { { "", root } };
    const auto parentOf = [&](const std::string& relative) {
        const std::size_t slash = relative.rfind('/');
        const auto it = folders.find(slash == std::string::npos ? "" : relative.substr(0, slash));
        return it == folders.end() ? root : it->second;
    };
    // Sorted, so a folder comes before what it holds.
    for (const std::string& folder : index_.folders) {
        auto* item = new QTreeWidgetItem(parentOf(folder), { Text(LastName(folder)) });
        item->setData(0, kRelativeRole, Text(folder));
        item->setData(0, kFolderRole, true);
        folders[folder] = item;
    }
    for (const auto& [file, copies] : index_.files) {
        auto* item = new QTreeWidgetItem(parentOf(file), { Text(LastName(file)) });
        item->setData(0, kRelativeRole, Text(file));
        item->setData(0, kFolderRole, false);
    }
    root->setExpanded(true);
    TreeBackup->setCurrentItem(root);
}

void FormRestore::showCopies()
{
    ListCopies->clear();
    const QTreeWidgetItem* item = TreeBackup->currentItem();
    for (QPushButton* button : { CmdRestore, CmdRestoreTo })
        button->setEnabled(item != nullptr);
    if (!item || item->data(0, kFolderRole).toBool())
        return;
    const auto it = index_.files.find(item->data(0, kRelativeRole).toString().toStdString());
    if (it == index_.files.end())
        return;
    for (const BackupCopy& copy : it->second)
        new QTreeWidgetItem(ListCopies, { Text(CopyLabel(copy)), Text(SizeText(copy.size)) });
    ListCopies->setCurrentItem(ListCopies->topLevelItem(0));
}

void FormRestore::restoreTo(const std::string& picked)
{
    const QTreeWidgetItem* item = TreeBackup->currentItem();
    if (!item)
        return;
    const std::string relative = item->data(0, kRelativeRole).toString().toStdString();
    const std::string target = RestoreTarget(relative, c_.source, picked);
    std::vector<RestoreItem> items;
    if (item->data(0, kFolderRole).toBool()) {
        items = RestoreFolderItems(index_, relative, target);
    } else {
        const auto it = index_.files.find(relative);
        const int row = ListCopies->indexOfTopLevelItem(ListCopies->currentItem());
        if (it == index_.files.end() || row < 0 || std::size_t(row) >= it->second.size())
            return;
        items = RestoreFileItems(it->second[std::size_t(row)], target);
    }

    if (restore_ && !restore_->finished())
        return;
    setEnabled(false);
    LabelStatus->setText(tr("Restoring..."));
    // The job asks nothing once given up, and it is given up with this window.
    AskReplace ask
        = [this](std::string text, std::function<void(bool)> answered) {
        c_.dialogs.ask(text, kAppTitle, std::move(answered));
    };
    restore_ = std::make_unique<RestoreJob>(c_.loop, std::move(items), std::move(ask),
                                            [this, target](RestoreOutcome outcome) { restored(outcome, target); });
}

void FormRestore::restored(const RestoreOutcome& outcome, const std::string& target)
{
    setEnabled(true);
    LabelStatus->setText(tr("Restored %1 to %2").arg(FileCount(unsigned(outcome.restored))).arg(Text(target)));
    if (!outcome.failures.empty()) {
        std::string text = "Some files could not be restored:";
        for (std::size_t i = 0; i < outcome.failures.size() && i < 10; ++i)
            text += "\r\n" + outcome.failures[i];
        c_.dialogs.message(text, kAppTitle, MessageIcon::Warning);
    }
}

} // namespace sentrel

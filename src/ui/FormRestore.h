#pragma once

#include "engine/Restore.h"
#include "platform/Dialogs.h"
#include "platform/FolderPicker.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sentrel {

// Shows a project's backup, its folders and files and, for a file, the
// backup's copy and each kept version; restores the chosen one to its place
// in the source or to a folder the user picks. The rules are Restore's.
class FormRestore final : public QDialog {
    Q_OBJECT

public:
    struct Context {
        Dialogs& dialogs;
        FolderPicker& picker;
        EventLoop& loop; // where the listing and the restores end
        std::string source;
        std::string destination;
        bool dotFolders = false; // the backup holds folders whose names begin with a dot
    };

    FormRestore(Context context, QWidget* parent);
    ~FormRestore() override;

    // Starts listing the backup off the window's thread, showing how far
    // it got; returns at once.
    void load();
    // Listing or restoring.
    bool busy() const { return listing_ || (restore_ && !restore_->finished()); }

    QTreeWidget* TreeBackup = nullptr;
    QTreeWidget* ListCopies = nullptr;
    QLabel* LabelStatus = nullptr;
    QPushButton* CmdRestore = nullptr;
    QPushButton* CmdRestoreTo = nullptr;
    QPushButton* CmdClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void fillTree();
    void showCopies();
    // To its place in the source when `picked` is empty.
    void restoreTo(const std::string& picked);

    void restored(const RestoreOutcome& outcome, const std::string& target);

    Context c_;
    BackupIndex index_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    bool loaded_ = false;
    bool listing_ = false;
    std::unique_ptr<RestoreJob> restore_;
};

} // namespace sentrel

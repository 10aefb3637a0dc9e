#pragma once

#include "app/Restore.h"
#include "platform/FolderPicker.h"

#include <QDialog>

#include <atomic>
#include <functional>
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
        std::function<void()> yield; // lets the event loop run during long work
        std::string source;
        std::string destination;
    };

    FormRestore(Context context, QWidget* parent);
    ~FormRestore() override;

    // Lists the backup off the window's thread, showing how far it got.
    void load();

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

    Context c_;
    BackupIndex index_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    bool loaded_ = false;
};

} // namespace sentrel

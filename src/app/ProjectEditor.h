#pragma once

#include "app/FolderCheck.h"
#include "base/TextFile.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"
#include "platform/FolderPicker.h"
#include "platform/Tray.h"
#include "projects/EditorRules.h"
#include "projects/ProjectState.h"
#include "projects/ProjectTable.h"
#include "scheduler/TaskList.h"
#include "shell/ActivityLog.h"
#include "shell/AppState.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sentrel {

// What the editor asks of its dialog.
class EditorView {
public:
    virtual ~EditorView() = default;
    // The controls follow the state (after trimming, a chosen folder).
    virtual void showState(const EditorState& state) = 0;
    virtual void focusField(EditorField field) = 0;
    // After a successful save.
    virtual void closeEditor() = 0;
};

// One opening of the project editor, from its load to its close.
class ProjectEditor final {
public:
    struct Context {
        AppState& state;
        ProjectTable& projects;
        TaskList& tasks;
        const Clock& clock;
        Dialogs& dialogs;
        FolderPicker& picker;
        Tray& tray;
        std::string projectFile;
        ActivityLog& log;
        EventLoop& loop; // where the folders' answers come back
        ProjectState* projectState = nullptr; // follows renames; notes each save
    };

    explicit ProjectEditor(Context context)
        : c_(std::move(context))
    {
    }
    ~ProjectEditor() { *alive_ = false; }
    ProjectEditor(const ProjectEditor&) = delete;
    ProjectEditor& operator=(const ProjectEditor&) = delete;

    // The dialog loaded: the controls' first state, by EditMode.
    const EditorState& Open(EditorView& view);
    // The dialog closed, saved or not.
    void Close();
    bool isOpen() const { return view_ != nullptr; }

    // "Add new project" or "Edit project".
    std::string caption() const;
    // The controls write through to it.
    EditorState& state() { return state_; }

    void BrowseSource() { Browse(EditorField::Source); }
    void BrowseDestination() { Browse(EditorField::Destination); }
    // Checks, stores and closes; or tells the user why not and stays open.
    // The folders are asked about beside the window: it ends later.
    void Save();
    bool checking() const { return checking_; }

private:
    void Browse(EditorField field);
    void Store(ProjectRecord record);
    void finishSave(const std::vector<std::string>& asked, const FolderAnswers& answers);
    std::string unreadable(const std::string& path) const;

    Context c_;
    EditorView* view_ = nullptr;
    EditorState state_;
    std::optional<std::size_t> editedRow_;
    // Tells a late folder answer from an earlier opening apart.
    unsigned opening_ = 0;
    bool checking_ = false;
    std::string unanswered_;
    // Whether this editor is still there when a folder's answer comes.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sentrel

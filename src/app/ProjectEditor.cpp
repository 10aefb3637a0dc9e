#include "app/ProjectEditor.h"

#include "app/DataFileSave.h"
#include "app/FolderCheck.h"
#include "app/RunBookkeeping.h"
#include "projects/ProjectListFile.h"
#include "scheduler/MissedRuns.h"
#include "scheduler/TodayTasks.h"
#include "shell/ActivityLog.h"

namespace sentrel {

namespace {
constexpr std::string_view kAdd = "add";
constexpr std::string_view kEdit = "edit";
// A sleeping disk wakes within it; a share that takes longer is taken as gone.
constexpr auto kFolderPatience = std::chrono::seconds(5);

// The folder to preselect: a trailing "/" goes, except the root's.
std::string InitialFolder(std::string text)
{
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}
} // namespace

const EditorState& ProjectEditor::Open(EditorView& view)
{
    view_ = &view;
    ++opening_;
    c_.state.EditorOpen = true;
    c_.tray.setMenuEnabled(false);

    state_ = EditorState {};
    editedRow_.reset();
    if (c_.state.EditMode == kEdit) {
        editedRow_ = c_.projects.selectedIndex();
        if (editedRow_)
            state_ = EditorStateFor(c_.projects.at(*editedRow_).record);
    }
    return state_;
}

void ProjectEditor::Close()
{
    if (!view_)
        return;
    view_ = nullptr;
    c_.state.EditorOpen = false;
    c_.tray.setMenuEnabled(true);
}

std::string ProjectEditor::caption() const
{
    if (c_.state.EditMode == kAdd)
        return "Add new project";
    if (c_.state.EditMode == kEdit)
        return "Edit project";
    return std::string(kAppTitle);
}

void ProjectEditor::Browse(EditorField field)
{
    if (!view_)
        return;
    const bool source = field == EditorField::Source;
    const std::string title = source ? "Please select the source directory" : "Please select the destination directory";
    const unsigned opening = opening_;
    c_.picker.BrowseForFolder(
        title, InitialFolder(source ? state_.source : state_.destination), [this, source, opening](std::string path) {
            if (!view_ || opening != opening_ || path.empty())
                return;
            CheckFolders(c_.loop, { path }, kFolderPatience,
                         [this, alive = alive_, source, opening, path](FolderAnswers answers) {
                             if (!*alive)
                                 return;
                             if (!answers[0].value_or(false)) {
                                 if (!answers[0])
                                     unanswered_ = path;
                                 c_.dialogs.message(unreadable(path), "Error", MessageIcon::Error);
                                 return;
                             }
                             if (!view_ || opening != opening_)
                                 return;
                             (source ? state_.source : state_.destination) = path;
                             view_->showState(state_);
                         });
        });
}

std::string ProjectEditor::unreadable(const std::string& path) const
{
    std::string text = "Can not read " + path;
    if (path == unanswered_)
        text += ", the folder does not answer";
    return text;
}

void ProjectEditor::Save()
{
    // A second Save while the folders are being asked about waits its turn.
    if (!view_ || checking_)
        return;
    unanswered_.clear();
    // The folders the checks would ask about, all of them at once.
    std::vector<std::string> asked;
    EditorState trial = state_;
    CheckSave(trial, { c_.state.EditMode, c_.projects, editedRow_, [&asked](const std::string& path) {
                          asked.push_back(path);
                          return true;
                      } });
    if (asked.empty())
        return finishSave(asked, {});
    checking_ = true;
    const unsigned opening = opening_;
    CheckFolders(c_.loop, asked, kFolderPatience, [this, alive = alive_, opening, asked](FolderAnswers answers) {
        if (!*alive)
            return;
        checking_ = false;
        if (view_ && opening == opening_)
            finishSave(asked, answers);
    });
}

void ProjectEditor::finishSave(const std::vector<std::string>& asked, const FolderAnswers& answers)
{
    const auto answerFor = [&](const std::string& path) -> std::optional<bool> {
        for (std::size_t i = 0; i < asked.size(); ++i)
            if (asked[i] == path)
                return answers[i];
        return false;
    };
    auto outcome = CheckSave(state_, { c_.state.EditMode, c_.projects, editedRow_, [&](const std::string& path) {
                                          const std::optional<bool> exists = answerFor(path);
                                          if (!exists)
                                              unanswered_ = path;
                                          return exists.value_or(false);
                                      } });
    view_->showState(state_);

    if (auto* refusal = std::get_if<SaveRefusal>(&outcome)) {
        if (!unanswered_.empty() && refusal->text == "Can not read " + unanswered_)
            refusal->text = unreadable(unanswered_);
        c_.dialogs.message(refusal->text, refusal->title, refusal->icon);
        if (!view_)
            return;
        switch (refusal->then) {
        case AfterRefusal::Focus:
            view_->focusField(refusal->focus);
            break;
        case AfterRefusal::BrowseSource:
            BrowseSource();
            break;
        case AfterRefusal::BrowseDestination:
            BrowseDestination();
            break;
        }
        return;
    }
    Store(std::move(std::get<ProjectRecord>(outcome)));
    if (EditorView* view = view_)
        view->closeEditor();
}

void ProjectEditor::Store(ProjectRecord record)
{
    const std::string mode = c_.state.EditMode;
    const bool adding = mode == kAdd;
    const bool editing = mode == kEdit && editedRow_ && *editedRow_ < c_.projects.size();
    if (adding || editing) {
        const ProjectRecord added = record;
        const std::string oldName = editing ? c_.projects.at(*editedRow_).record.ProjectName : added.ProjectName;
        if (adding) {
            c_.projects.addProject(std::move(record));
        } else {
            RemoveProjectTasks(c_.tasks, c_.projects);
            c_.projects.replaceProject(*editedRow_, std::move(record));
        }
        if (c_.projectState) {
            // A renamed project keeps its history; a changed schedule counts
            // its missed runs from now.
            c_.projectState->rename(oldName, added.ProjectName);
            c_.projectState->set(added.ProjectName, std::string(kStateSince), NowText(c_.clock));
            SaveProjectState(*c_.projectState, c_.log);
        }
        AddProjectTasks(c_.tasks, c_.clock, NowText(c_.clock), added.ProjectName, added.StartTime, added.ScheduleType,
                        added.Tag);
    }
    // Kept in the table even if the file is not written: the user is told,
    // and the next save of the list retries.
    c_.state.ProjectListUnsaved
        = !CheckWritten(SaveProjectList(c_.projectFile, c_.projects), c_.projectFile, c_.dialogs, c_.log);
}

} // namespace sentrel

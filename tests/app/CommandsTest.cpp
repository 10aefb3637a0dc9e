#include "app/CommandIds.h"
#include "support/AppFixture.h"
#include "support/Rows.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::AppFixture;
using Calls = std::vector<std::string>;

// An editor dialog that remembers what it was told.
struct RecordingEditorView final : EditorView {
    void showState(const EditorState& s) override { shown = s; }
    void focusField(EditorField field) override { focused = field; }
    void closeEditor() override { closed = true; }

    EditorState shown;
    std::optional<EditorField> focused;
    bool closed = false;
};

struct Started : AppFixture {
    Started()
    {
        MakeDirs(dataDir / "src");
        MakeDirs(dataDir / "dst");
        test::WriteFile(dataDir / "Sentrel.prj",
                        "Docs|Daily|/a|/b|Yes|12:00|Old|Every day|\r\n"
                        "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\n"
                        "Mail|Manually|/m|/n|No||All|Manually backup|\r\n");
        app->Startup("");
        app->tasks().clear(); // today's rows of these projects are not what the tests look at
        journal.clear();
    }
    static void MakeDirs(const std::string& path) { test::MakeDirs(path); }
    std::string file() const { return test::ReadFile(dataDir / "Sentrel.prj"); }
    void select(std::size_t row) { app->projects().setSelected(row, true); }
};

TEST(Commands, ToolbarIdsDispatchAndUnknownOnesAreIgnored)
{
    Started f;
    f.app->commands().MainToolbar(ID_ADD);
    EXPECT_EQ(f.app->state().EditMode, "add");
    f.app->commands().MainToolbar(ID_EDIT); // nothing selected
    f.app->commands().MainToolbar(1026);
    f.app->commands().SubToolbar(1023);
    f.app->commands().MainToolbar(ID_EXIT); // answered No
    EXPECT_EQ(f.journal, (Calls { "view.editor", "dialogs.ask Do you want to exit?" }));

    f.select(1);
    f.app->commands().MainToolbar(ID_EDIT);
    EXPECT_EQ(f.app->state().EditMode, "edit");
}

TEST(Commands, RestoreOpensTheWindowOverTheSelectedProjectOnly)
{
    Started f;
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.dialogs.shown.back().text, "Please select a project");
    f.select(2);
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.journal, (Calls { "view.restore Mail" }));
    f.app->projects().clear();
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.dialogs.shown.back().text, "Please add a project");
}

TEST(Commands, RemoveAsksThenRemovesTheProjectAndItsTasksExactlyAndSaves)
{
    Started f;
    f.app->commands().RemoveProject(); // nothing selected: nothing asked
    EXPECT_TRUE(f.dialogs.shown.empty());

    f.app->tasks().appendTask(test::Task("Docs"));
    f.app->tasks().appendTask(test::Task("docs"));
    f.app->tasks().appendTask(test::Task("Docs"));
    f.select(0);
    f.app->commands().RemoveProject(); // No
    EXPECT_EQ(f.dialogs.shown.back().text, "Do you want to remove the project: Docs?");
    EXPECT_EQ(f.dialogs.shown.back().title, "Confirm");
    EXPECT_EQ(f.app->projects().size(), 3u);

    f.dialogs.answers = { true };
    f.app->commands().RemoveProject();
    EXPECT_EQ(f.app->projects().size(), 2u);
    EXPECT_EQ(test::Names(f.app->tasks()), (std::vector<std::string> { "docs" }));
    EXPECT_EQ(f.file(),
              "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\nMail|Manually|/m|/n|No||All|Manually backup|\r\n");
}

TEST(Commands, SortingSharesOneDirectionAndKeepsLaterProjectsInPlace)
{
    Started f;
    const auto names = [&] {
        std::vector<std::string> n;
        for (const ProjectRow& row : f.app->projects().rows())
            n.push_back(row.record.ProjectName);
        return n;
    };
    f.app->commands().SortProjects(2); // Source ascending
    EXPECT_EQ(names(), (std::vector<std::string> { "Docs", "docs", "Mail" }));
    f.app->commands().SortProjects(2); // descending
    EXPECT_EQ(names(), (std::vector<std::string> { "Mail", "docs", "Docs" }));
    f.app->commands().SortProjects(7); // Remark: the direction flips again, to ascending
    EXPECT_EQ(names(), (std::vector<std::string> { "docs", "Docs", "Mail" }));
    f.app->commands().SortProjects(0);
    EXPECT_FALSE(f.app->projects().sortAscending());

    // A project added afterwards takes its sorted place, and the file follows.
    f.app->state().EditMode = "add";
    RecordingEditorView view;
    f.app->editor().Open(view);
    f.app->editor().state() = EditorState {};
    f.app->editor().state().name = "Notes";
    f.app->editor().state().source = f.dataDir / "src";
    f.app->editor().state().destination = f.dataDir / "dst";
    f.app->editor().Save();
    EXPECT_EQ(names(), (std::vector<std::string> { "Notes", "Mail", "docs", "Docs" }));
    EXPECT_TRUE(f.file().starts_with("Notes|Daily|"));
}

TEST(Commands, BackupNowTellsWhatIsMissingThenAsksAndQueuesARow)
{
    AppFixture empty;
    empty.app->Startup("");
    empty.app->commands().BackupNow();
    EXPECT_EQ(empty.dialogs.shown.back().text, "Please add a project");
    EXPECT_EQ(empty.dialogs.shown.back().icon, MessageIcon::Information);

    Started f;
    f.app->commands().BackupNow();
    EXPECT_EQ(f.dialogs.shown.back().text, "Please select a project");
    EXPECT_EQ(f.dialogs.shown.back().title, "Sentrel");

    f.select(2);
    f.app->commands().BackupNow(); // No
    EXPECT_EQ(f.dialogs.shown.back().text, "Do you want to start project 'Mail' now?\r\nSource: /m\r\nDestination: /n");
    EXPECT_TRUE(f.app->tasks().empty());

    f.dialogs.answers = { true, true };
    f.app->commands().BackupNow();
    f.app->commands().BackupNow();
    ASSERT_EQ(f.app->tasks().size(), 2u);
    const TodayTask& row = f.app->tasks().at(0);
    EXPECT_EQ(row.ProjectName, "Mail");
    EXPECT_EQ(row.StartTime, "2026-12-07 10:00:00");
    EXPECT_EQ(row.Tag, "Need start");
    EXPECT_EQ(row.Image, TaskImage::None);
    EXPECT_TRUE(row.Status.empty());
    EXPECT_EQ(f.journal.back(), "view.tasks tab");
}

TEST(Commands, StopAndStartScheduleAndRemoveSelectedTasks)
{
    Started f;
    f.app->commands().SubToolbar(ID_STOPSCHEDULE);
    EXPECT_FALSE(f.app->state().ScheduleRunning);
    f.app->commands().SubToolbar(ID_STARTSCHEDULE);
    EXPECT_TRUE(f.app->state().ScheduleRunning);
    EXPECT_EQ(f.journal, (Calls { "view.timers off", "view.stopped", "view.timers on", "view.running" }));
    const auto& log = f.app->log();
    EXPECT_EQ(log.at(log.size() - 2).detail, "Schedule stopped");
    EXPECT_EQ(log.at(log.size() - 1).detail, "Schedule started");
    EXPECT_EQ(log.at(log.size() - 1).projectName, "  ");
    EXPECT_EQ(f.tray.balloons.back().text, "Schedule started");

    f.app->tasks().clear();
    f.app->commands().RemoveTask(); // empty: nothing asked
    EXPECT_TRUE(f.dialogs.shown.empty());
    for (const char* name : { "1", "2", "3", "4", "5" })
        f.app->tasks().appendTask(test::Task(name));
    f.app->commands().RemoveTask(); // none selected, No
    EXPECT_EQ(f.dialogs.shown.back().text, "Do you want to remove selected tasks?");
    f.app->tasks().setSelected(1, true);
    f.app->tasks().setSelected(3, true);
    f.dialogs.answers = { true };
    f.app->commands().RemoveTask();
    EXPECT_EQ(test::Names(f.app->tasks()), (std::vector<std::string> { "1", "3", "5" }));
}

TEST(Commands, StopScheduleCancelsTheRunAndRemoveTaskMayDeleteTheRunningRow)
{
    Started f;
    test::WriteFile(f.dataDir / "src/a", "a");
    test::WriteFile(f.dataDir / "src/b", "b");
    f.app->projects().addProject({ "Run", "Manually", f.dataDir / "src", f.dataDir / "dst", "Yes", "", "Old", "", "" });
    const auto queue = [&](const char* name) {
        TodayTask row = test::Task(name, "", "Need start");
        return f.app->tasks().appendTask(row);
    };

    queue("Run");
    f.onYield = [&] {
        if (f.app->state().ScheduleRunning)
            f.app->commands().SubToolbar(ID_STOPSCHEDULE);
    };
    f.app->scheduler().TimerBackup();
    EXPECT_EQ(f.app->tasks().at(0).Status, "Backup canceled.");
    EXPECT_EQ(f.app->tasks().at(0).Image, TaskImage::Failed);
    EXPECT_EQ(f.app->log().at(f.app->log().size() - 1).detail, "Backup canceled");

    // Deleting the running row with its neighbour leaves the run going and
    // the remaining row untouched.
    f.app->commands().SubToolbar(ID_STARTSCHEDULE);
    f.app->tasks().clear();
    queue("Run");
    queue("Other");
    f.dialogs.answers = { true };
    f.onYield = [&] {
        if (f.app->tasks().size() == 2) {
            f.app->tasks().setSelected(0, true);
            f.app->commands().RemoveTask();
        }
    };
    f.app->scheduler().TimerBackup();
    ASSERT_EQ(f.app->tasks().size(), 1u);
    EXPECT_EQ(f.app->tasks().at(0).ProjectName, "Other");
    EXPECT_EQ(f.app->log().at(f.app->log().size() - 1).detail, "Backup finished");
    EXPECT_TRUE(test::Exists(f.dataDir / "dst/b"));
}

TEST(ProjectEditor, AddAndEditStoreTheRecordMoveTodaysRowsAndSave)
{
    Started f;
    RecordingEditorView view;
    f.app->state().EditMode = "add";
    EXPECT_EQ(f.app->editor().Open(view).name, "New Project");
    EXPECT_TRUE(f.app->state().EditorOpen);
    EXPECT_EQ(f.app->editor().caption(), "Add new project");
    EditorState& s = f.app->editor().state();
    s.name = " Photos ";
    s.source = f.dataDir / "src";
    s.destination = f.dataDir / "dst";
    s.time = "23:59";
    f.clock.set({ 2026, 12, 7, 14, 0, 0 });
    f.app->editor().Save();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(view.shown.name, "Photos");
    f.app->editor().Close();
    EXPECT_FALSE(f.app->state().EditorOpen);
    EXPECT_EQ(f.app->projects().at(3).record.ProjectName, "Photos");
    ASSERT_EQ(f.app->tasks().size(), 1u);
    EXPECT_EQ(f.app->tasks().at(0).StartTime, "2026-12-07 23:59:00");
    EXPECT_TRUE(f.file().ends_with("Photos|Daily|" + (f.dataDir / "src") + "|" + (f.dataDir / "dst")
                                   + "|Yes|23:59|Old|Every day|\r\n"));

    // Renamed: its rows go, new ones come under the new name.
    f.select(3);
    f.app->state().EditMode = "edit";
    RecordingEditorView editView;
    EXPECT_EQ(f.app->editor().Open(editView).name, "Photos");
    EXPECT_EQ(f.app->editor().caption(), "Edit project");
    f.app->editor().state().name = "Pictures";
    f.app->editor().Save();
    EXPECT_TRUE(editView.closed);
    f.app->editor().Close();
    EXPECT_EQ(test::Names(f.app->tasks()), (std::vector<std::string> { "Pictures" }));
    EXPECT_EQ(f.app->projects().at(3).record.ProjectName, "Pictures");
    EXPECT_EQ(f.app->projects().size(), 4u);
    EXPECT_EQ(f.journal, (Calls { "tray.menu off", "tray.menu on", "tray.menu off", "tray.menu on" }));
}

// A directory in the file's place: a save fails whoever runs the tests.
void BlockFile(const std::string& path)
{
    std::filesystem::remove(path);
    test::MakeDirs(path + "/blocked");
}

TEST(Commands, AFailedSaveOfTheProjectListIsToldAndLoggedAndTheNextSaveWritesAll)
{
    Started f;
    const std::string prj = f.dataDir / "Sentrel.prj";
    const std::string failure = "Can not write " + prj + ", Is a directory";
    const auto told = [&] {
        const test::ShownMessage shown = f.dialogs.shown.back();
        const LogRow& logged = f.app->log().at(f.app->log().size() - 1);
        return shown.text == failure && shown.title == "Error" && shown.icon == MessageIcon::Error
            && logged.projectName == kProgramName && logged.detail == failure;
    };
    BlockFile(prj);

    // Added: the row stays, the editor closes.
    RecordingEditorView view;
    f.app->state().EditMode = "add";
    f.app->editor().Open(view);
    EditorState& s = f.app->editor().state();
    s.name = "Photos";
    s.source = f.dataDir / "src";
    s.destination = f.dataDir / "dst";
    f.app->editor().Save();
    f.app->editor().Close();
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(told());
    EXPECT_EQ(f.app->projects().size(), 4u);

    f.dialogs.shown.clear();
    f.dialogs.answers = { true };
    f.select(0);
    f.app->commands().RemoveProject();
    EXPECT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_TRUE(told());
    EXPECT_EQ(f.app->projects().size(), 3u);

    // Writable again: an edit saves the whole table, the earlier changes with it.
    std::filesystem::remove_all(prj);
    f.dialogs.shown.clear();
    f.select(2);
    f.app->state().EditMode = "edit";
    RecordingEditorView editView;
    f.app->editor().Open(editView);
    f.app->editor().state().time = "23:30";
    f.app->editor().Save();
    EXPECT_TRUE(f.dialogs.shown.empty());
    EXPECT_EQ(f.file(),
              "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\nMail|Manually|/m|/n|No||All|Manually backup|\r\n"
              "Photos|Daily|"
                  + s.source + "|" + s.destination + "|Yes|23:30|Old|Every day|\r\n");
}

TEST(Commands, AChangeThatCouldNotBeSavedIsWrittenAtExitOnceTheFileCanBe)
{
    Started f;
    const std::string prj = f.dataDir / "Sentrel.prj";
    BlockFile(prj);
    RecordingEditorView view;
    f.app->state().EditMode = "add";
    f.app->editor().Open(view);
    f.app->editor().state().name = "Photos";
    f.app->editor().state().source = f.dataDir / "src";
    f.app->editor().state().destination = f.dataDir / "dst";
    f.app->editor().Save();
    f.app->editor().Close();
    std::filesystem::remove_all(prj);
    f.app->Shutdown();
    EXPECT_NE(f.file().find("Photos|Daily|"), std::string::npos);
}

TEST(Commands, IgnoreEntriesAreSavedAtOnceAndAFailedSaveIsToldAndKept)
{
    Started f;
    const std::string ini = f.dataDir / "Ignore.ini";
    EXPECT_EQ(f.app->commands().AddIgnoreEntry(" *.tmp ").result, IgnoreAddResult::Added);
    EXPECT_EQ(f.app->commands().AddIgnoreEntry("*.TMP").result, IgnoreAddResult::Duplicate);
    EXPECT_EQ(test::ReadFile(ini), "*.tmp\r\n");
    EXPECT_FALSE(f.app->commands().RemoveIgnoreEntry()); // nothing selected
    EXPECT_TRUE(f.dialogs.shown.empty());

    BlockFile(ini);
    const std::string failure = "Can not write " + ini + ", Is a directory";
    EXPECT_EQ(f.app->commands().AddIgnoreEntry("cache.db").result, IgnoreAddResult::Added);
    ASSERT_EQ(f.dialogs.shown.size(), 1u);
    EXPECT_EQ(f.dialogs.shown[0].text, failure);
    EXPECT_EQ(f.dialogs.shown[0].title, "Error");
    EXPECT_EQ(f.dialogs.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(f.app->log().at(f.app->log().size() - 1).detail, failure);
    EXPECT_TRUE(f.app->ignoreList().Matches("cache.db"));

    f.app->ignoreList().setSelected(0, true);
    EXPECT_TRUE(f.app->commands().RemoveIgnoreEntry());
    EXPECT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_EQ(f.app->log().at(f.app->log().size() - 1).detail, failure);

    std::filesystem::remove_all(ini);
    f.app->commands().AddIgnoreEntry("Thumbs.db");
    EXPECT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_EQ(test::ReadFile(ini), "cache.db\r\nThumbs.db\r\n");
}

TEST(Commands, AnIgnoreEntryAddedDuringARunAppliesToTheFilesMetAfterwards)
{
    Started f;
    const std::string src = f.dataDir / "src", dst = f.dataDir / "dst";
    constexpr int kTopFiles = 100;
    for (int i = 0; i < kTopFiles; ++i)
        test::WriteFile(src + "/file" + std::to_string(i), "x");
    test::MakeDirs(src + "/later");
    test::WriteFile(src + "/later/skipped.tmp", "x");
    test::WriteFile(src + "/later/kept.txt", "x");
    f.clock.setTickReadDelay(std::chrono::milliseconds(2)); // each file takes a while
    f.app->projects().addProject({ "Run", "Manually", src, dst, "Yes", "", "All", "", "" });
    f.app->tasks().appendTask(test::Task("Run", "", "Need start"));

    long topFilesAtEdit = -1;
    f.onYield = [&] {
        if (topFilesAtEdit >= 0 || !test::Exists(dst + "/file0"))
            return;
        f.app->commands().AddIgnoreEntry("*.TMP");
        topFilesAtEdit = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dst))
            topFilesAtEdit += entry.is_regular_file();
    };
    f.app->scheduler().TimerBackup();
    ASSERT_GE(topFilesAtEdit, 0);
    EXPECT_LT(topFilesAtEdit, kTopFiles); // the edit came while the first level was copied
    EXPECT_EQ(f.app->tasks().at(0).Status, "Backup finished.");
    EXPECT_TRUE(test::Exists(dst + "/later/kept.txt"));
    EXPECT_FALSE(test::Exists(dst + "/later/skipped.tmp"));
}

TEST(Commands, AnIgnoreEntryAddedDuringARunAppliesFromTheNextFileOfTheSameFolder)
{
    Started f;
    const std::string src = f.dataDir / "src", dst = f.dataDir / "dst";
    constexpr int kFiles = 100;
    for (int i = 0; i < kFiles; ++i)
        test::WriteFile(src + "/file" + std::to_string(i) + ".tmp", "x");
    f.clock.setTickReadDelay(std::chrono::milliseconds(2));
    f.app->projects().addProject({ "Run", "Manually", src, dst, "Yes", "", "All", "", "" });
    f.app->tasks().appendTask(test::Task("Run", "", "Need start"));
    const auto copied = [&] {
        const auto entries = std::filesystem::directory_iterator(dst);
        return std::distance(begin(entries), end(entries));
    };
    long copiedAtEdit = -1;
    f.onYield = [&] {
        if (copiedAtEdit < 0 && test::Exists(dst) && copied() > 0) {
            f.app->commands().AddIgnoreEntry("*.TMP");
            copiedAtEdit = copied();
        }
    };
    f.app->scheduler().TimerBackup();
    ASSERT_GT(copiedAtEdit, 0);
    // The files in hand at the edit, and those begun while it was made.
    EXPECT_LE(copied(), copiedAtEdit + 2 * long(BackupRun::CopyThreads()));
}

TEST(ProjectEditor, RefusalsTellTheUserAndEmptyDirectoriesOpenThePicker)
{
    Started f;
    RecordingEditorView view;
    f.app->state().EditMode = "add";
    f.app->editor().Open(view);
    f.journal.clear();

    f.app->editor().Save(); // no source: the message, then the picker, and no save
    EXPECT_EQ(f.dialogs.shown.back().text, "Please select the source directory");
    EXPECT_EQ(f.journal.back(), "picker Please select the source directory at ");
    EXPECT_FALSE(view.closed);

    // The picker's answer fills the box; a folder that vanished is refused.
    f.picker.answers = { f.dataDir / "src", "/no/such/dir" };
    f.app->editor().BrowseSource();
    EXPECT_EQ(view.shown.source, f.dataDir / "src");
    f.app->editor().state().destination = "/no/such/";
    f.app->editor().BrowseDestination();
    EXPECT_EQ(f.journal.back(), "picker Please select the destination directory at /no/such");
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read /no/such/dir");
    EXPECT_EQ(f.dialogs.shown.back().title, "Error");
    EXPECT_EQ(view.shown.destination, "");

    f.app->editor().Save(); // "/no/such/" does not exist
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read /no/such/");
    EXPECT_EQ(view.focused, EditorField::Destination);

    f.app->editor().state().destination = f.dataDir / "dst";
    f.app->editor().state().name = "DOCS";
    f.app->editor().Save();
    EXPECT_EQ(view.focused, EditorField::Name);
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(f.app->projects().size(), 3u);

    // Cancel changes nothing, and a late answer from the picker is dropped.
    f.app->editor().Close();
    f.app->editor().BrowseSource();
    EXPECT_EQ(f.app->projects().size(), 3u);
    EXPECT_FALSE(f.app->state().EditorOpen);
}

} // namespace
} // namespace sentrel

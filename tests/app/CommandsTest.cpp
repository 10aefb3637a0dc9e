#include "app/CommandIds.h"
#include "support/AppFixture.h"
#include "support/FuseMount.h"
#include "support/Rows.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace std::chrono_literals;
using test::AppFixture;
using Calls = std::vector<std::string>;
using Names = std::vector<std::string>;

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
        test::MakeDirs(dataDir / "src");
        test::MakeDirs(dataDir / "dst");
        test::WriteFile(dataDir / "Sentrel.prj",
                        "Docs|Daily|/a|/b|Yes|12:00|Old|Every day|\r\n"
                        "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\n"
                        "Mail|Manually|/m|/n|No||All|Manually backup|\r\n");
        app->Startup("");
        app->tasks().clear(); // today's rows of these projects are not what the tests look at
        journal.clear();
    }
    std::string file() const { return test::ReadFile(dataDir / "Sentrel.prj"); }
    void select(std::size_t row) { app->projects().setSelected(row, true); }
    EditorState& open(const char* mode)
    {
        view = {};
        app->state().EditMode = mode;
        app->editor().Open(view);
        return app->editor().state();
    }
    // A daily project over src and dst, saved through the editor.
    void add(const std::string& name)
    {
        EditorState& s = open("add");
        s.name = name;
        s.source = dataDir / "src";
        s.destination = dataDir / "dst";
        app->editor().Save();
        settle();
        app->editor().Close();
    }
    // A manual project over src and dst.
    void addRun(const std::string& name, const char* overwrite = "Old")
    {
        app->projects().addProject(
            { name, "Manually", dataDir / "src", dataDir / "dst", "Yes", "", overwrite, "", "" });
    }
    void queue(const std::string& name) { app->tasks().appendTask(test::Task(name, "", "Need start")); }
    const LogRow& lastLog() const { return app->log().at(app->log().size() - 1); }

    RecordingEditorView view;
};

// A directory in the file's place: a save fails whoever runs the tests.
void BlockFile(const std::string& path)
{
    std::filesystem::remove(path);
    test::MakeDirs(path + "/blocked");
}

TEST(Commands, ToolbarIdsDispatchAndCommandsAskForWhatTheyNeed)
{
    Started f;
    f.app->commands().MainToolbar(ID_ADD);
    EXPECT_EQ(f.app->state().EditMode, "add");
    f.app->commands().MainToolbar(ID_EDIT); // nothing selected
    f.app->commands().MainToolbar(1026);
    f.app->commands().SubToolbar(1023);
    f.app->commands().MainToolbar(ID_EXIT); // answered No
    EXPECT_EQ(f.journal, (Calls { "view.editor", "dialogs.ask Do you want to exit?" }));
    EXPECT_EQ(f.dialogs.shown.back().title, "Sentrel");
    EXPECT_FALSE(f.process.exitStatus);
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.dialogs.shown.back().text, "Please select a project");

    f.select(2);
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.journal.back(), "view.restore Mail");
    f.app->commands().MainToolbar(ID_EDIT);
    EXPECT_EQ(f.app->state().EditMode, "edit");
    f.app->projects().clear();
    f.app->commands().MainToolbar(ID_RESTORE);
    EXPECT_EQ(f.dialogs.shown.back().text, "Please add a project");
    f.dialogs.answers = { true };
    f.app->commands().MainToolbar(ID_EXIT);
    EXPECT_EQ(f.process.exitStatus, 0);
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
    EXPECT_EQ(test::Names(f.app->tasks()), (Names { "docs" }));
    EXPECT_EQ(f.file(),
              "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\nMail|Manually|/m|/n|No||All|Manually backup|\r\n");
}

TEST(Commands, SortingSharesOneDirectionAndKeepsLaterProjectsInPlace)
{
    Started f;
    const auto names = [&] {
        Names n;
        for (const ProjectRow& row : f.app->projects().rows())
            n.push_back(row.record.ProjectName);
        return n;
    };
    f.app->commands().SortProjects(2); // Source ascending
    EXPECT_EQ(names(), (Names { "Docs", "docs", "Mail" }));
    f.app->commands().SortProjects(2); // descending
    EXPECT_EQ(names(), (Names { "Mail", "docs", "Docs" }));
    f.app->commands().SortProjects(7); // Remark: the direction flips again, to ascending
    EXPECT_EQ(names(), (Names { "docs", "Docs", "Mail" }));
    f.app->commands().SortProjects(0);
    EXPECT_FALSE(f.app->projects().sortAscending());

    // A project added afterwards takes its sorted place, and the file follows.
    f.add("Notes");
    EXPECT_EQ(names(), (Names { "Notes", "Mail", "docs", "Docs" }));
    EXPECT_TRUE(f.file().starts_with("Notes|Daily|"));
}

TEST(Commands, BackupNowTellsWhatIsMissingThenAsksAndQueuesARow)
{
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

    f.app->projects().clear();
    f.app->commands().BackupNow();
    EXPECT_EQ(f.dialogs.shown.back().text, "Please add a project");
    EXPECT_EQ(f.dialogs.shown.back().icon, MessageIcon::Information);
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
    EXPECT_EQ(f.lastLog().detail, "Schedule started");
    EXPECT_EQ(f.lastLog().projectName, "  ");
    EXPECT_EQ(f.tray.balloons.back().text, "Schedule started");

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
    EXPECT_EQ(test::Names(f.app->tasks()), (Names { "1", "3", "5" }));
}

TEST(Commands, StopScheduleCancelsTheRunAndRemoveTaskMayDeleteTheRunningRow)
{
    Started f;
    for (int i = 0; i < 20; ++i)
        test::WriteFile(f.dataDir / ("src/f" + std::to_string(i)), "data");
    test::WriteFile(f.dataDir / "src/b", "b");
    // Each file takes a while: the stop comes before the copy is whole.
    f.clock.setTickReadDelay(20ms);
    f.addRun("Run");
    f.queue("Run");
    f.onYield = [&] {
        if (f.app->state().ScheduleRunning)
            f.app->commands().SubToolbar(ID_STOPSCHEDULE);
    };
    f.runBackups();
    EXPECT_EQ(f.app->tasks().at(0).Status, "Backup canceled.");
    EXPECT_EQ(f.app->tasks().at(0).Image, TaskImage::Failed);
    EXPECT_EQ(f.lastLog().detail, "Backup canceled");

    // Deleting the running row with its neighbour leaves the run going and
    // the remaining row untouched.
    f.app->commands().SubToolbar(ID_STARTSCHEDULE);
    f.app->tasks().clear();
    f.queue("Run");
    f.queue("Other");
    f.dialogs.answers = { true };
    f.onYield = [&] {
        if (f.app->tasks().size() == 2) {
            f.app->tasks().setSelected(0, true);
            f.app->commands().RemoveTask();
        }
    };
    f.runBackups();
    ASSERT_EQ(f.app->tasks().size(), 1u);
    EXPECT_EQ(f.app->tasks().at(0).ProjectName, "Other");
    EXPECT_EQ(f.lastLog().detail, "Backup finished");
    EXPECT_TRUE(test::Exists(f.dataDir / "dst/b"));
}

TEST(ProjectEditor, AddAndEditStoreTheRecordMoveTodaysRowsAndSave)
{
    Started f;
    EditorState& s = f.open("add");
    EXPECT_EQ(s.name, "New Project");
    s.name = " Photos ";
    s.source = f.dataDir / "src";
    s.destination = f.dataDir / "dst";
    s.time = "23:59";
    f.clock.set({ 2026, 12, 7, 14, 0, 0 });
    f.app->editor().Save();
    f.settle();
    EXPECT_TRUE(f.view.closed);
    EXPECT_EQ(f.view.shown.name, "Photos");
    f.app->editor().Close();
    EXPECT_EQ(f.app->projects().at(3).record.ProjectName, "Photos");
    ASSERT_EQ(f.app->tasks().size(), 1u);
    EXPECT_EQ(f.app->tasks().at(0).StartTime, "2026-12-07 23:59:00");
    EXPECT_TRUE(f.file().ends_with("Photos|Daily|" + (f.dataDir / "src") + "|" + (f.dataDir / "dst")
                                   + "|Yes|23:59|Old|Every day|\r\n"));

    // Renamed: its rows go, new ones come under the new name.
    f.select(3);
    EXPECT_EQ(f.open("edit").name, "Photos");
    f.app->editor().state().name = "Pictures";
    f.app->editor().Save();
    f.settle();
    EXPECT_TRUE(f.view.closed);
    f.app->editor().Close();
    EXPECT_EQ(test::Names(f.app->tasks()), (Names { "Pictures" }));
    EXPECT_EQ(f.app->projects().at(3).record.ProjectName, "Pictures");
    EXPECT_EQ(f.app->projects().size(), 4u);
    EXPECT_EQ(f.journal, (Calls { "tray.menu off", "tray.menu on", "tray.menu off", "tray.menu on" }));
}

TEST(Commands, AFailedSaveOfTheProjectListIsToldAndLoggedAndTheNextSaveOrTheExitWritesAll)
{
    Started f;
    const std::string prj = f.dataDir / "Sentrel.prj";
    const std::string failure = "Can not write " + prj + ", Is a directory";
    const auto told = [&] {
        const test::ShownMessage shown = f.dialogs.shown.back();
        return shown.text == failure && shown.title == "Error" && shown.icon == MessageIcon::Error
            && f.lastLog().projectName == kProgramName && f.lastLog().detail == failure;
    };
    BlockFile(prj);

    // Added: the row stays, the editor closes.
    f.add("Photos");
    EXPECT_TRUE(f.view.closed);
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
    f.open("edit").time = "23:30";
    f.app->editor().Save();
    f.settle();
    f.app->editor().Close();
    EXPECT_TRUE(f.dialogs.shown.empty());
    EXPECT_EQ(f.file(),
              "docs|Hourly|/c|/d|Yes|-|Old|Every 5 hours|5\r\nMail|Manually|/m|/n|No||All|Manually backup|\r\n"
              "Photos|Daily|"
                  + (f.dataDir / "src") + "|" + (f.dataDir / "dst") + "|Yes|23:30|Old|Every day|\r\n");

    // A change that could not be saved is written at exit once the file can be.
    BlockFile(prj);
    f.add("Notes");
    std::filesystem::remove_all(prj);
    f.app->Shutdown();
    EXPECT_NE(f.file().find("Notes|Daily|"), std::string::npos);
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
    EXPECT_EQ(f.lastLog().detail, failure);
    EXPECT_TRUE(f.app->ignoreList().Matches("cache.db"));

    f.app->ignoreList().setSelected(0, true);
    EXPECT_TRUE(f.app->commands().RemoveIgnoreEntry());
    EXPECT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_EQ(f.lastLog().detail, failure);

    std::filesystem::remove_all(ini);
    f.app->commands().AddIgnoreEntry("Thumbs.db");
    EXPECT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_EQ(test::ReadFile(ini), "cache.db\r\nThumbs.db\r\n");
}

TEST(Commands, AnIgnoreEntryAddedDuringARunAppliesFromTheNextFileMet)
{
    Started f;
    const std::string src = f.dataDir / "src", dst = f.dataDir / "dst";
    constexpr long kTopFiles = 100;
    for (int i = 0; i < kTopFiles; ++i)
        test::WriteFile(src + "/file" + std::to_string(i) + ".tmp", "x");
    test::MakeDirs(src + "/later");
    test::WriteFile(src + "/later/skipped.tmp", "x");
    test::WriteFile(src + "/later/kept.txt", "x");
    f.clock.setTickReadDelay(std::chrono::milliseconds(2)); // each file takes a while
    f.addRun("Run", "All");
    f.queue("Run");
    const auto copied = [&] {
        long files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dst))
            files += entry.is_regular_file();
        return files;
    };
    long copiedAtEdit = -1;
    f.onYield = [&] {
        if (copiedAtEdit < 0 && copied() > 0) {
            f.app->commands().AddIgnoreEntry("*.TMP");
            copiedAtEdit = copied();
        }
    };
    f.runBackups();
    ASSERT_TRUE(copiedAtEdit > 0 && copiedAtEdit < kTopFiles) << copiedAtEdit;
    EXPECT_EQ(f.app->tasks().at(0).Status, "Backup finished.");
    // The files in hand at the edit, and those begun while it was made; the
    // folder met afterwards is filtered whole.
    EXPECT_LE(copied(), copiedAtEdit + 2 * long(BackupRun::CopyThreads()));
    EXPECT_TRUE(test::Exists(dst + "/later/kept.txt"));
    EXPECT_FALSE(test::Exists(dst + "/later/skipped.tmp"));
}

TEST(ProjectEditor, RefusalsTellTheUserAndEmptyDirectoriesOpenThePicker)
{
    Started f;
    f.open("add");
    f.journal.clear();

    f.app->editor().Save(); // no source: the message, then the picker, and no save
    f.settle();
    EXPECT_EQ(f.dialogs.shown.back().text, "Please select the source directory");
    EXPECT_EQ(f.journal.back(), "picker Please select the source directory at ");
    EXPECT_FALSE(f.view.closed);

    // The picker's answer fills the box; a folder that vanished is refused.
    f.picker.answers = { f.dataDir / "src", "/no/such/dir" };
    f.app->editor().BrowseSource();
    f.settle();
    EXPECT_EQ(f.view.shown.source, f.dataDir / "src");
    f.app->editor().state().destination = "/no/such/";
    f.app->editor().BrowseDestination();
    f.settle();
    EXPECT_EQ(f.journal.back(), "picker Please select the destination directory at /no/such");
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read /no/such/dir");
    EXPECT_EQ(f.dialogs.shown.back().title, "Error");
    EXPECT_EQ(f.view.shown.destination, "");

    f.app->editor().Save(); // "/no/such/" does not exist
    f.settle();
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read /no/such/");
    EXPECT_EQ(f.view.focused, EditorField::Destination);

    f.app->editor().state().destination = f.dataDir / "dst";
    f.app->editor().state().name = "DOCS";
    f.app->editor().Save();
    f.settle();
    EXPECT_EQ(f.view.focused, EditorField::Name);
    EXPECT_FALSE(f.view.closed);
    EXPECT_EQ(f.app->projects().size(), 3u);

    // Cancel changes nothing, and a late answer from the picker is dropped.
    f.app->editor().Close();
    f.app->editor().BrowseSource();
    f.settle();
    EXPECT_EQ(f.app->projects().size(), 3u);
    EXPECT_FALSE(f.app->state().EditorOpen);
}

TEST(ProjectEditor, AShareThatDoesNotAnswerIsToldWhileTheWindowGoesOn)
{
    if (const std::string why = test::FuseMount::Unavailable(test::FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    Started f;
    test::FuseMount share(test::FuseMount::Kind::Sshfs, f.dataDir / "share");
    ASSERT_EQ(share.error(), "");
    EditorState& s = f.open("add");
    s.name = "Notes";
    s.source = f.dataDir / "src";
    s.destination = share.path();

    share.freeze();
    const int yieldsBefore = f.yields;
    const auto start = std::chrono::steady_clock::now();
    f.app->editor().Save();
    f.settle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_GT(f.yields - yieldsBefore, 100); // the event loop turned all along
    ASSERT_FALSE(f.dialogs.shown.empty());
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read " + share.path() + ", the folder does not answer");
    EXPECT_FALSE(f.view.closed);
    share.thaw();

    f.app->editor().Save();
    f.settle();
    EXPECT_TRUE(f.view.closed);
}

} // namespace
} // namespace sentrel

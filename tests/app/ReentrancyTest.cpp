#include "support/AppFixture.h"
#include "support/Rows.h"

#include <chrono>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace std::chrono_literals;

// A program whose questions stay open until answered, with a project whose
// backup lasts many turns of the event loop.
struct Asking : test::AppFixture {
    explicit Asking(const std::string& start = "")
    {
        test::MakeDirs(dataDir / "src");
        for (int i = 0; i < 40; ++i)
            test::WriteFile(dataDir / ("src/f" + std::to_string(i)), "data");
        test::MakeDirs(dataDir / "dst");
        test::WriteFile(dataDir / "Sentrel.prj",
                        "Docs|Daily|" + (dataDir / "src") + "|" + (dataDir / "dst") + "|Yes|" + start
                            + "|Old|Every day|\r\n");
        dialogs.holdQuestions = true;
        clock.setTickReadDelay(10ms);
    }
    const TodayTask& row() const { return app->tasks().at(0); }
    bool questionOpen() const { return !dialogs.open.empty(); }
};

// Questions and runs go on side by side: neither waits for the other.
TEST(Reentrancy, AStartupRunGoesOnWhileTheUpdateQuestionIsOpenAndTheAnswerComesAfter)
{
    Asking f("Startup");
    f.settings.values["LastCheckUpdate"] = "2026-01-01";
    f.restart();
    f.app->Startup("");
    ASSERT_TRUE(f.questionOpen());
    f.runBackups();
    EXPECT_EQ(f.row().Status, "Backup finished.");
    EXPECT_TRUE(f.questionOpen());
    EXPECT_EQ(f.app->state().LastCheckUpdate, "2026-01-01");
    f.dialogs.answerOpen(false);
    EXPECT_EQ(f.app->state().LastCheckUpdate, "2026-12-07");
}

TEST(Reentrancy, ARunGoesOnWhileTheExitQuestionIsOpenAndYesEndsTheProgramAtOnce)
{
    Asking f;
    f.app->Startup("");
    f.app->commands().QueueBackup("Docs");
    f.app->scheduler().TimerBackup();
    f.app->Exit();
    ASSERT_TRUE(f.questionOpen());
    // The percentage moves on while the question waits (it shows every 100 ms).
    f.onYield = [&] { f.clock.advanceMs(50); };
    std::string seen;
    ASSERT_TRUE(f.turnUntil([&] { return f.row().Status.starts_with("Backing up ["); }, 10s));
    seen = f.row().Status;
    ASSERT_TRUE(f.turnUntil([&] { return f.row().Status != seen; }, 10s));
    EXPECT_TRUE(f.app->scheduler().runInProgress());

    const auto answered = std::chrono::steady_clock::now();
    f.dialogs.answerOpen(true);
    EXPECT_EQ(f.process.exitStatus, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - answered, 1s);
    EXPECT_EQ(f.app->log().at(f.app->log().size() - 1).detail, "Sentrel exited");
}

TEST(Reentrancy, ARunThatStartsDuringTheEditorsFolderCheckLeavesTheCheckItsTime)
{
    Asking f;
    f.app->Startup("");
    f.app->commands().QueueBackup("Docs");
    struct View final : EditorView {
        void showState(const EditorState&) override { }
        void focusField(EditorField) override { }
        void closeEditor() override { closed = true; }
        bool closed = false;
    } view;
    f.app->state().EditMode = "add";
    f.app->editor().Open(view);
    EditorState& s = f.app->editor().state();
    s.name = "Notes";
    s.source = f.dataDir / "src";
    s.destination = f.dataDir / "notes";
    test::MakeDirs(s.destination);
    f.app->editor().Save();
    f.app->scheduler().TimerBackup(); // the run comes due while the folders are asked about
    EXPECT_TRUE(f.turnUntil([&] { return view.closed; }, 10s));
    EXPECT_TRUE(f.app->scheduler().runInProgress());
    EXPECT_TRUE(f.dialogs.shown.empty()) << f.dialogs.shown.back().text;
    EXPECT_NE(f.app->projects().findByName("Notes"), nullptr);
    f.turnUntil([&] { return !f.app->scheduler().runInProgress(); });
    EXPECT_EQ(f.row().Status, "Backup finished.");
}

} // namespace
} // namespace sentrel

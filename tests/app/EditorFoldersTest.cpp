#include "support/AppFixture.h"
#include "support/FuseMount.h"

#include <chrono>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace std::chrono_literals;

struct NullEditorView final : EditorView {
    void showState(const EditorState&) override { }
    void focusField(EditorField) override { }
    void closeEditor() override { closed = true; }
    bool closed = false;
};

TEST(EditorFolders, AShareThatDoesNotAnswerIsToldWhileTheWindowGoesOn)
{
    if (const std::string why = test::FuseMount::Unavailable(test::FuseMount::Kind::Sshfs); !why.empty())
        GTEST_SKIP() << "sshfs share: " << why;
    test::AppFixture f;
    test::FuseMount share(test::FuseMount::Kind::Sshfs, f.dataDir / "share");
    ASSERT_EQ(share.error(), "");
    test::MakeDirs(f.dataDir / "src");
    f.app->Startup("");
    f.app->state().EditMode = "add";
    NullEditorView view;
    f.app->editor().Open(view);
    f.app->editor().state().name = "Notes";
    f.app->editor().state().source = f.dataDir / "src";
    f.app->editor().state().destination = share.path();

    share.freeze();
    const int yieldsBefore = f.yields;
    const auto start = std::chrono::steady_clock::now();
    f.app->editor().Save();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_GT(f.yields - yieldsBefore, 100); // the event loop turned all along
    ASSERT_FALSE(f.dialogs.shown.empty());
    EXPECT_EQ(f.dialogs.shown.back().text, "Can not read " + share.path() + ", the folder does not answer");
    EXPECT_FALSE(view.closed);
    share.thaw();

    f.app->editor().Save();
    EXPECT_TRUE(view.closed);
}

} // namespace
} // namespace sentrel

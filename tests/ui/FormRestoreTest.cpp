#include "ui/FormRestore.h"

#include "app/App.h"
#include "app/CommandIds.h"
#include "support/AppFixture.h"
#include "ui/FormMain.h"
#include "ui/UiLoop.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::ReadFile;
using test::WriteFile;

// A backup of src in dst, with one run's kept version of a.txt.
struct Restoring : test::AppFixture {
    Restoring()
        : AppFixture(&test::UiLoop())
    {
        test::MakeDirs(dataDir / "src/docs");
        test::MakeDirs(dataDir / "dst/docs");
        test::MakeDirs(dataDir / "dst/.sentrel-versions/2026-03-02 09.00.00/docs");
        WriteFile(dataDir / "dst/docs/a.txt", "current");
        WriteFile(dataDir / "dst/docs/b.txt", "bee");
        WriteFile(dataDir / "dst/.sentrel-versions/2026-03-02 09.00.00/docs/a.txt", "earlier");
        for (const char* file :
             { "dst/docs/a.txt", "dst/docs/b.txt", "dst/.sentrel-versions/2026-03-02 09.00.00/docs/a.txt" })
            test::SetMtime(dataDir / file, 1000);
        WriteFile(dataDir / "Sentrel.prj",
                  "Docs|Manually|" + dataDir / "src" + "|" + dataDir / "dst" + "|Yes||Old|Manually backup|\r\n");
        form = std::make_unique<FormMain>(*app);
        app->Startup("");
    }

    FormRestore* open()
    {
        app->projects().setSelected(0, true);
        form->mainAction(ID_RESTORE)->trigger();
        auto* restore = form->findChild<FormRestore*>();
        if (restore) {
            restore->load();
            EXPECT_TRUE(restore->busy()) << "listed in the background";
            settle(restore);
        }
        return restore;
    }

    // Waits for the listing or restore in hand, the event loop turning.
    static void settle(FormRestore* r)
    {
        EXPECT_TRUE(QTest::qWaitFor([r] { return !r->busy(); }, 10000));
    }

    void click(FormRestore* r, QPushButton* button) const
    {
        QTest::mouseClick(button, Qt::LeftButton);
        // Started, not done: the click returns before any file is touched.
        EXPECT_TRUE(r->busy());
        settle(r);
    }

    QTreeWidgetItem* item(FormRestore* r, const QString& path) const
    {
        QTreeWidgetItem* at = r->TreeBackup->topLevelItem(0);
        for (const QString& name : path.split('/', Qt::SkipEmptyParts)) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; at && i < at->childCount(); ++i) {
                if (at->child(i)->text(0) == name)
                    next = at->child(i);
            }
            at = next;
        }
        return at;
    }

    QStringList copies(FormRestore* r) const
    {
        QStringList rows;
        for (int i = 0; i < r->ListCopies->topLevelItemCount(); ++i)
            rows << r->ListCopies->topLevelItem(i)->text(0) + " | " + r->ListCopies->topLevelItem(i)->text(1);
        return rows;
    }

    std::unique_ptr<FormMain> form;
};

TEST(FormRestore, ShowsTheBackupAndRestoresTheChosenCopyToItsPlaceOrAPickedFolder)
{
    Restoring w;
    WriteFile(w.dataDir / "src/docs/b.txt", "edited");
    FormRestore* r = w.open();
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->isVisible());
    EXPECT_EQ(r->windowTitle(), "Restore - Docs");
    EXPECT_EQ(r->LabelStatus->text(), "2 files");
    ASSERT_NE(w.item(r, "docs/a.txt"), nullptr);
    EXPECT_EQ(w.item(r, ".sentrel-versions"), nullptr);

    r->TreeBackup->setCurrentItem(w.item(r, "docs/a.txt"));
    EXPECT_EQ(w.copies(r), (QStringList { "Backup copy | 7 bytes", "2026-03-02 09:00:00 | 7 bytes" }));
    r->ListCopies->setCurrentItem(r->ListCopies->topLevelItem(1));
    w.click(r, r->CmdRestore);
    EXPECT_EQ(ReadFile(w.dataDir / "src/docs/a.txt"), "earlier");
    EXPECT_EQ(r->LabelStatus->text(), "Restored 1 file to " + QString::fromStdString(w.dataDir / "src/docs/a.txt"));

    // A folder whole, to a folder the user picks.
    w.picker.answers = { w.dataDir / "picked" };
    test::MakeDirs(w.dataDir / "picked");
    r->TreeBackup->setCurrentItem(w.item(r, "docs"));
    EXPECT_TRUE(w.copies(r).isEmpty());
    w.click(r, r->CmdRestoreTo);
    EXPECT_EQ(ReadFile(w.dataDir / "picked/docs/a.txt"), "current");
    EXPECT_EQ(ReadFile(w.dataDir / "picked/docs/b.txt"), "bee");
    EXPECT_TRUE(w.dialogs.shown.empty());

    // A newer file at its place is kept unless the user says Yes.
    r->TreeBackup->setCurrentItem(w.item(r, "docs/b.txt"));
    w.click(r, r->CmdRestore);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(ReadFile(w.dataDir / "src/docs/b.txt"), "edited");
    w.dialogs.answers = { true };
    w.click(r, r->CmdRestore);
    EXPECT_EQ(ReadFile(w.dataDir / "src/docs/b.txt"), "bee");
}

} // namespace
} // namespace sentrel

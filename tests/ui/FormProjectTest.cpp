#include "ui/FormProject.h"

#include "app/App.h"
#include "app/CommandIds.h"
#include "support/AppFixture.h"
#include "ui/FormMain.h"
#include "ui/UiLoop.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

struct Window : test::AppFixture {
    Window()
        : AppFixture(&test::UiLoop())
    {
        test::MakeDirs(dataDir / "src/sub");
        test::MakeDirs(dataDir / "dst");
        for (int i = 0; i < 20; ++i)
            test::WriteFile(dataDir / ("src/sub/f" + std::to_string(i)), "data");
        form = std::make_unique<FormMain>(*app);
        app->Startup("");
    }
    // The editor the last command opened, if it is still open.
    FormProject* editor() const { return form->findChild<FormProject*>(); }
    void press(int id) const { form->mainAction(id)->trigger(); }
    // The folders asked about, through the application's event loop.
    void settle()
    {
        EXPECT_TRUE(test::TurnUntil([this] { return !app->editor().checking(); }));
    }
    void runBackups()
    {
        app->scheduler().TimerBackup();
        EXPECT_TRUE(test::TurnUntil([this] {
            if (onYield)
                onYield();
            return !app->scheduler().runInProgress();
        }));
    }

    std::unique_ptr<FormMain> form;
};

TEST(FormProject, FillingTheControlsAndSavingStoresTheProject)
{
    Window w;
    w.press(ID_ADD);
    FormProject* e = w.editor();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->windowTitle(), "Add new project");
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->windowModality(), Qt::WindowModal);
    EXPECT_EQ(e->TextName->text(), "New Project");
    EXPECT_TRUE(e->OptionS[2]->isChecked());
    EXPECT_TRUE(e->OptionStart2->isChecked());
    EXPECT_TRUE(e->CheckSub->isChecked());
    EXPECT_TRUE(e->OptionOW2->isChecked());
    EXPECT_TRUE(w.app->state().EditorOpen);

    e->TextName->setText("Docs");
    e->TextSource->setText(QString::fromStdString(w.dataDir / "src"));
    e->TextDest->setText(QString::fromStdString(w.dataDir / "dst"));
    e->OptionS[3]->click();
    e->CheckWeek[2]->click();
    e->CheckWeek[7]->click();
    e->OptionOW1->click();
    e->CheckSub->click();
    e->TextTime->setText("7:5");
    e->CmdSave->click();
    w.settle();
    QApplication::processEvents();

    EXPECT_EQ(w.editor(), nullptr);
    EXPECT_FALSE(w.app->state().EditorOpen);
    ASSERT_EQ(w.app->projects().size(), 1u);
    EXPECT_EQ(w.app->projects().at(0).record,
              (ProjectRecord { "Docs", "Weekly", w.dataDir / "src", w.dataDir / "dst", "No", "07:05", "All", "Tue Sun ",
                               "2 7" }));
    EXPECT_EQ(w.form->projectView()->model()->index(0, 7).data().toString(), "Tue Sun ");

    // Editing opens with the stored fields; the title bar's close box changes nothing.
    w.app->projects().addProject({ "Hours", "Hourly", "/s", "/d", "Yes", "-", "Old", "Every 5 hours", "5" });
    QApplication::processEvents();
    w.form->projectView()->setCurrentIndex(w.form->projectView()->model()->index(1, 0));
    w.press(ID_EDIT);
    e = w.editor();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->windowTitle(), "Edit project");
    EXPECT_TRUE(e->OptionS[1]->isChecked());
    EXPECT_EQ(e->ComboHour->currentText(), "5");
    EXPECT_TRUE(e->CheckSub->isChecked());
    EXPECT_TRUE(e->OptionOW2->isChecked());
    EXPECT_FALSE(e->Frame2->isVisibleTo(e));
    e->close();
    QApplication::processEvents();
    EXPECT_FALSE(w.app->state().EditorOpen);
    EXPECT_EQ(w.app->projects().at(1).record.Tag, "5");
}

TEST(FormProject, PanelsFollowTheScheduleOptionAndBoxesNormalise)
{
    Window w;
    w.press(ID_ADD);
    FormProject* e = w.editor();
    ASSERT_NE(e, nullptr);
    const auto shown = [&] {
        std::vector<int> panels;
        for (int i = 0; i < 5; ++i) {
            if (e->PicS[std::size_t(i)]->isVisibleTo(e))
                panels.push_back(i);
        }
        return panels;
    };
    EXPECT_EQ(shown(), (std::vector<int> { 2 }));
    for (int kind = 0; kind < 6; ++kind) {
        e->OptionS[std::size_t(kind)]->click();
        EXPECT_EQ(shown(), kind == 5 ? std::vector<int> {} : std::vector<int> { kind }) << kind;
        EXPECT_EQ(e->Frame2->isVisibleTo(e), kind >= 2 && kind <= 4) << kind;
    }

    e->ComboHour->setEditText("100");
    EXPECT_EQ(e->ComboHour->currentText(), "48");
    e->ComboMinute->setEditText("0");
    EXPECT_EQ(e->ComboMinute->currentText(), "1");
    EXPECT_EQ(w.app->editor().state().minutes, "1");

    // Leaving the time box brings it to HH:MM.
    e->OptionS[2]->click();
    e->TextTime->setText("24:00");
    QFocusEvent focusOut(QEvent::FocusOut);
    QApplication::sendEvent(e->TextTime, &focusOut);
    EXPECT_EQ(e->TextTime->text(), "23:00");

    e->CmdCancel->click();
    QApplication::processEvents();
    EXPECT_TRUE(w.app->projects().empty());
    EXPECT_FALSE(w.app->state().EditorOpen);
}

TEST(FormMain, ScheduleButtonsStopAndStartTheTimersAndGreyTheTasks)
{
    Window w;
    const QAction* start = w.form->subAction(ID_STARTSCHEDULE);
    const QAction* stop = w.form->subAction(ID_STOPSCHEDULE);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(w.form->timersRunning());

    w.form->subAction(ID_STOPSCHEDULE)->trigger();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(w.form->timersRunning());
    w.app->tasks().appendTask({});
    QApplication::processEvents();
    const QModelIndex cell = w.form->taskView()->model()->index(0, 0);
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QBrush>().color(),
              QApplication::palette().color(QPalette::Disabled, QPalette::Text));

    w.form->subAction(ID_STARTSCHEDULE)->trigger();
    EXPECT_TRUE(w.form->timersRunning());
    EXPECT_FALSE(cell.data(Qt::ForegroundRole).isValid());
}

TEST(FormMain, ABackupRunsOnWhileTheEditorIsOpen)
{
    Window w;
    w.app->projects().addProject(
        { "Docs", "Manually", w.dataDir / "src", w.dataDir / "dst", "Yes", "", "Old", "Manually backup", "" });
    TodayTask row;
    row.ProjectName = "Docs";
    row.Tag = "Need start";
    w.app->tasks().appendTask(row);

    // The user opens the editor in the middle of the run.
    bool opened = false;
    w.onYield = [&] {
        if (!opened) {
            opened = true;
            QTimer::singleShot(0, w.form.get(), [&] { w.press(ID_ADD); });
        }
        QApplication::processEvents();
    };
    // Should the editor ever wait for its close, it is closed so the test ends.
    QTimer::singleShot(5000, w.form.get(), [&] {
        if (w.editor())
            w.editor()->reject();
    });
    w.runBackups();

    EXPECT_EQ(w.app->tasks().at(0).Status, "Backup finished.");
    ASSERT_NE(w.editor(), nullptr);
    EXPECT_TRUE(w.editor()->isVisible());
    EXPECT_TRUE(test::Exists(w.dataDir / "dst/sub/f19"));
}

TEST(FormMain, IgnoreListEditorAddsAndRemovesEntriesAndRewritesTheFile)
{
    Window w;
    w.form->tabs()->setCurrentIndex(3);
    w.form->show();
    QLineEdit* text = w.form->ignoreText();
    EXPECT_EQ(text->text(), "Input filename here then press \"+\" or Enter");
    text->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(text->text(), "");

    QTest::keyClicks(text, " Thumbs.db ");
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, "*.tmp");
    QTest::keyClick(text, Qt::Key_Enter);
    QTest::keyClicks(text, "thumbs.DB");
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(text->text(), "thumbs.DB"); // already listed: left in the box
    EXPECT_EQ(test::ReadFile(w.dataDir / "Ignore.ini"), "Thumbs.db\r\n*.tmp\r\n");

    QApplication::processEvents(); // the view hears of appends once per event-loop turn
    QListView* list = w.form->ignoreView();
    list->setCurrentIndex(list->model()->index(0, 0));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(test::ReadFile(w.dataDir / "Ignore.ini"), "*.tmp\r\n");
    EXPECT_EQ(list->model()->rowCount(), 1);

    // An entry that cannot be saved is told, and still listed and taken from the box.
    const std::string ini = w.dataDir / "Ignore.ini";
    std::filesystem::remove(ini);
    test::MakeDirs(ini + "/blocked");
    text->clear();
    QTest::keyClicks(text, "cache.db");
    QTest::keyClick(text, Qt::Key_Return);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].text, "Can not write " + ini + ", Is a directory");
    EXPECT_TRUE(text->text().isEmpty());
    QApplication::processEvents();
    EXPECT_EQ(list->model()->rowCount(), 2);
}

TEST(FormMain, BackupNowQueuesARowAndShowsTodaysTasks)
{
    Window w;
    w.app->projects().addProject({ "Docs", "Manually", "/s", "/d", "Yes", "", "Old", "Manually backup", "" });
    QApplication::processEvents();
    w.form->projectView()->setCurrentIndex(w.form->projectView()->model()->index(0, 0));
    w.dialogs.answers = { true };
    w.press(ID_BACKUPNOW);
    EXPECT_EQ(w.form->tabs()->currentIndex(), 1);
    ASSERT_EQ(w.app->tasks().size(), 1u);
    EXPECT_EQ(w.app->tasks().at(0).Tag, "Need start");

    // Sorting keeps the user's selection on the same project.
    w.app->projects().addProject({ "Alpha", "Manually", "/s", "/d", "Yes", "", "Old", "Manually backup", "" });
    emit w.form->projectView()->header()->sectionClicked(0);
    EXPECT_EQ(w.app->projects().at(0).record.ProjectName, "Alpha");
    EXPECT_EQ(w.form->projectView()->currentIndex().row(), 1);
    EXPECT_EQ(w.app->projects().selectedIndex(), 1u);
}

} // namespace
} // namespace sentrel

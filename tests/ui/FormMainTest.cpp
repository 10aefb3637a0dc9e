#include "ui/FormMain.h"

#include "support/AppFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

#include <gtest/gtest.h>

namespace sentrel {
namespace {

QStringList Headers(const QAbstractItemView* view)
{
    QStringList titles;
    for (int i = 0; i < view->model()->columnCount(); ++i)
        titles << view->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    return titles;
}

TEST(FormMain, ShowsTheTabsTablesAndOptionsAndSharesTheSelectionAndTheOptions)
{
    test::AppFixture f;
    f.settings.values["PlaySound"] = "No";
    f.settings.values["KeepVersionsDays"] = "14";
    f.settings.values["DotFolders"] = "Yes";
    test::WriteFile(f.dataDir / "Sentrel.prj",
                    "A|Daily|/a|/b|Yes|12:00|Old|Every day|\r\n"
                    "B|Daily|/c|/d|Yes|12:00|Old|Every day|\r\n");
    FormMain form(*f.app);
    f.app->Startup("");
    QApplication::processEvents();

    QStringList tabs;
    for (int i = 0; i < form.tabs()->count(); ++i)
        tabs << form.tabs()->tabText(i);
    EXPECT_EQ(tabs, (QStringList { "Projects", "Today's tasks", "Log", "Options", "About..." }));
    EXPECT_EQ(Headers(form.projectView()),
              (QStringList { "Project Name", "Schedule Type", "Source", "Destination", "Include subdir", "Start time",
                             "Overwrite option", "Remark" }));
    EXPECT_EQ(Headers(form.taskView()), (QStringList { "Project Name", "Start time", "Status", "Current file" }));
    EXPECT_EQ(Headers(form.logView()), (QStringList { "Project Name", "Time", "Detail" }));
    EXPECT_EQ(form.projectView()->model()->index(1, 2).data().toString(), "/c");
    EXPECT_EQ(form.logView()->model()->index(0, 2).data().toString(), "Sentrel started");

    form.projectView()->setCurrentIndex(form.projectView()->model()->index(1, 0));
    EXPECT_EQ(f.app->projects().selectedIndex(), 1u);

    // The option boxes and the day count are the live options.
    const auto boxes = form.findChildren<QCheckBox*>();
    QStringList captions;
    for (const QCheckBox* box : boxes)
        captions << box->text();
    EXPECT_EQ(captions,
              (QStringList { "Start with the desktop session", "Play sound when backup finished",
                             "Enable tray balloon notification", "Log to file",
                             "Run missed backups after start-up, wake-up or when their disk comes back",
                             "Back up folders whose names begin with a dot", "Keep replaced files for" }));
    auto* days = form.findChild<QSpinBox*>();
    ASSERT_NE(days, nullptr);
    EXPECT_FALSE(boxes[1]->isChecked());
    EXPECT_FALSE(boxes[4]->isChecked()); // off unless asked for
    EXPECT_TRUE(boxes[5]->isChecked());
    EXPECT_FALSE(boxes[6]->isChecked());
    EXPECT_FALSE(days->isEnabled());
    EXPECT_EQ(days->value(), 14);
    EXPECT_EQ(days->maximum(), 3650);
    for (const int box : { 1, 3, 4, 5, 6 })
        boxes[box]->click();
    days->setValue(90);
    EXPECT_TRUE(f.app->options().playSound);
    EXPECT_FALSE(f.app->options().saveLog);
    EXPECT_TRUE(f.app->options().runMissed);
    EXPECT_FALSE(f.app->options().backUpDotFolders);
    EXPECT_TRUE(f.app->options().keepVersions);
    EXPECT_EQ(f.app->options().keepVersionsDays, 90);
    EXPECT_TRUE(days->isEnabled());
}

TEST(FormMain, MinimizingHidesIntoTheTrayOnlyWhenThereIsOne)
{
    test::AppFixture f;
    FormMain form(*f.app);
    f.app->Startup("");
    form.showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());

    f.tray.available = false;
    form.showNormal();
    form.showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(form.isVisible() && form.isMinimized());
}

} // namespace
} // namespace sentrel

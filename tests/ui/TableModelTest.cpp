#include "support/FakeClock.h"
#include "support/Rows.h"
#include "ui/LogTableModel.h"
#include "ui/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::Task;

QString Cell(const QAbstractItemModel& model, int row, int column)
{
    return model.index(row, column).data().toString();
}

TEST(TableModel, FollowsTheCoreRowsThroughEveryKindOfChange)
{
    TaskList tasks;
    TaskTableModel model(tasks);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    const TaskId a = tasks.appendTask(Task("A", "2026-12-07 12:00:00"));
    tasks.appendTask(Task("B", " Startup"));
    tasks.appendTask(Task("C"));
    QApplication::processEvents();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Cell(model, 1, 1), " Startup");

    tasks.setStatus(a, "Backing up [50%]");
    EXPECT_EQ(Cell(model, 0, 2), "Backing up [50%]");

    // A removal while appends are still unannounced.
    tasks.appendTask(Task("D"));
    tasks.removeAt(1);
    QApplication::processEvents();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Cell(model, 1, 0), "C");
    EXPECT_EQ(Cell(model, 2, 0), "D");

    tasks.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(TableModel, AMillionLogRowsStayResponsive)
{
    test::FakeClock clock;
    ActivityLog log(clock);
    LogTableModel model(log);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(700, 400);
    view.show();
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 1'000'000; ++i)
        log.AddLog("Docs", "Can not create /backup/file, No space left on device");
    QApplication::processEvents();
    view.scrollToBottom();
    view.repaint();
    const qint64 burstMs = timer.restart();
    EXPECT_EQ(model.rowCount(), 1'000'000);
    EXPECT_EQ(Cell(model, 999'999, 0), "Docs");
    // One more row after the burst reaches the view within one event-loop turn.
    log.AddLog("  ", "Sentrel exited");
    QApplication::processEvents();
    view.repaint();
    EXPECT_EQ(model.rowCount(), 1'000'001);
    std::printf("1,000,000 log rows shown in %lld ms, the next row in %lld ms\n", static_cast<long long>(burstMs),
                static_cast<long long>(timer.elapsed()));
}

} // namespace
} // namespace sentrel

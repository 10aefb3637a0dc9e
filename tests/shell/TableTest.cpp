#include "shell/Table.h"

#include "scheduler/TaskList.h"
#include "support/Rows.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using test::Task;

struct Row {
    std::string text;
    bool selected = false;
};

std::vector<std::string> Texts(const Table<Row>& table)
{
    std::vector<std::string> texts;
    for (const Row& row : table.rows())
        texts.push_back(row.text);
    return texts;
}

// Records the protocol a view relies on: every change is announced before
// and after, with the table already changed at the "after" call.
class RecordingObserver final : public TableObserver {
public:
    explicit RecordingObserver(const Table<Row>& table)
        : table_(table)
    {
    }
    void beginInsert(std::size_t first, std::size_t count) override { note("insert", first, count); }
    void endInsert() override { note("inserted", table_.size()); }
    void beginRemove(std::size_t first, std::size_t count) override { note("remove", first, count); }
    void endRemove() override { note("removed", table_.size()); }
    void rowChanged(std::size_t row) override { note("changed", row); }
    void beginReset() override { note("reset", table_.size()); }
    void endReset() override { note("was reset", table_.size()); }

    std::vector<std::string> calls;

private:
    void note(const char* what, std::size_t a, std::size_t b = 0)
    {
        calls.push_back(std::string(what) + " " + std::to_string(a) + (b ? " " + std::to_string(b) : ""));
    }
    const Table<Row>& table_;
};

TEST(Table, RemovalShiftsLaterRowsUp)
{
    Table<Row> table;
    for (const char* text : { "1", "2", "3", "4", "5" })
        table.append({ text });
    table.removeAt(1);
    EXPECT_EQ(Texts(table), (std::vector<std::string> { "1", "3", "4", "5" }));
    table.removeAt(9); // past the end: nothing
    EXPECT_EQ(table.size(), 4u);
}

TEST(Table, LastToFirstRemovalTakesAdjacentMatches)
{
    Table<Row> table;
    for (const char* text : { "a", "b", "b", "c", "b", "b" })
        table.append({ text });
    table.removeIf([](const Row& row) { return row.text == "b"; });
    EXPECT_EQ(Texts(table), (std::vector<std::string> { "a", "c" }));
}

TEST(Table, SelectionIsTheFirstSelectedRow)
{
    Table<Row> table;
    EXPECT_FALSE(table.selectedIndex());
    for (const char* text : { "a", "b", "c" })
        table.append({ text });
    EXPECT_FALSE(table.selectedIndex());
    table.setSelected(2, true);
    table.setSelected(1, true);
    EXPECT_EQ(table.selectedIndex(), 1u);
}

TEST(Table, ObserverHearsOfEveryChangeAroundIt)
{
    Table<Row> table;
    RecordingObserver observer(table);
    table.setObserver(&observer);
    table.append({ "a" });
    table.append({ "b" });
    table.update(1, [](Row& row) { row.text = "B"; });
    table.quietAt(0).text = "A"; // not shown: no call
    table.removeAt(0);
    table.clear();
    EXPECT_EQ(observer.calls,
              (std::vector<std::string> { "insert 0 1", "inserted 1", "insert 1 1", "inserted 2", "changed 1",
                                          "remove 0 1", "removed 1", "reset 1", "was reset 0" }));
}

TEST(TaskList, RowIdentitySurvivesMovesAndEndsWithTheRow)
{
    TaskList tasks;
    tasks.appendTask(Task("A"));
    const TaskId running = tasks.appendTask(Task("B"));
    tasks.appendTask(Task("C"));

    tasks.removeAt(0);
    tasks.appendTask(Task("D"));
    tasks.setStatus(running, "Backing up [50%]");
    tasks.setTag(running, "/src/file");
    EXPECT_EQ(tasks.at(0).Status, "Backing up [50%]");
    EXPECT_EQ(tasks.at(0).Tag, "/src/file");

    tasks.removeAt(0);
    tasks.setStatus(running, "Backup finished.");
    for (const TodayTask& row : tasks.rows())
        EXPECT_EQ(row.Status, "");

    // A rebuilt list never reuses an id.
    tasks.clear();
    tasks.appendTask(Task("B"));
    tasks.setStatus(running, "Backup finished.");
    EXPECT_EQ(tasks.at(0).Status, "");
}

} // namespace
} // namespace sentrel

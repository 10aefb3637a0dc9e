#include "base/Table.h"

#include "scheduler/TaskList.h"
#include "support/Rows.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

// Records the protocol a view relies on: every change is announced before
// and after, with the table already changed at the "after" call.
class RecordingObserver final : public TableObserver {
public:
    explicit RecordingObserver(const TaskList& table)
        : table_(table)
    {
    }
    void beginInsert(std::size_t first, std::size_t) override { note("insert", first); }
    void endInsert() override { note("inserted", table_.size()); }
    void beginRemove(std::size_t first, std::size_t) override { note("remove", first); }
    void endRemove() override { note("removed", table_.size()); }
    void rowChanged(std::size_t row) override { note("changed", row); }
    void beginReset() override { note("reset", table_.size()); }
    void endReset() override { note("was reset", table_.size()); }

    std::vector<std::string> calls;

private:
    void note(const char* what, std::size_t n) { calls.push_back(what + (" " + std::to_string(n))); }
    const TaskList& table_;
};

TEST(Table, RemovalShiftsLaterRowsUpAndViewsHearOfEveryChange)
{
    TaskList tasks;
    RecordingObserver observer(tasks);
    tasks.setObserver(&observer);
    for (const char* name : { "a", "b", "b", "c", "b" })
        tasks.appendTask(test::Task(name));
    tasks.setStatus(tasks.at(3).id, "Backing up...");
    tasks.setTag(tasks.at(3).id, "/src/file"); // not shown: no call
    tasks.removeIf([](const TodayTask& row) { return row.ProjectName == "b"; });
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "a", "c" }));
    tasks.clear();
    // A rebuild is one reset, however many rows it appends.
    tasks.rebuild([&] {
        tasks.appendTask(test::Task("d"));
        tasks.appendTask(test::Task("e"));
    });
    EXPECT_EQ(test::Names(tasks), (std::vector<std::string> { "d", "e" }));

    EXPECT_EQ(
        observer.calls,
        (std::vector<std::string> { "insert 0",    "inserted 1", "insert 1",   "inserted 2", "insert 2",  "inserted 3",
                                    "insert 3",    "inserted 4", "insert 4",   "inserted 5", "changed 3", "remove 4",
                                    "removed 4",   "remove 2",   "removed 3",  "remove 1",   "removed 2", "reset 2",
                                    "was reset 0", "reset 0",    "was reset 2" }));
}

TEST(TaskList, RowIdentitySurvivesMovesAndEndsWithTheRow)
{
    TaskList tasks;
    tasks.appendTask(test::Task("A"));
    const TaskId running = tasks.appendTask(test::Task("B"));
    tasks.removeAt(0);
    tasks.appendTask(test::Task("C"));
    tasks.setStatus(running, "Backing up [50%]");
    EXPECT_EQ(tasks.at(0).Status, "Backing up [50%]");

    tasks.removeAt(0);
    tasks.setStatus(running, "Backup finished.");
    EXPECT_EQ(tasks.at(0).Status, "");
    // A rebuilt list never reuses an id.
    tasks.clear();
    tasks.appendTask(test::Task("B"));
    tasks.setStatus(running, "Backup finished.");
    EXPECT_EQ(tasks.at(0).Status, "");
}

} // namespace
} // namespace sentrel

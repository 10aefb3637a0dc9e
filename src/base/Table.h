#pragma once

#include "base/TableObserver.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace sentrel {

// The ordered rows of one list (projects, today's tasks, the log). This is
// the only copy of the rows; views read them through a TableObserver.
// Positions are 0-based. Removing a row moves every later row up by one.
template <class Row> class Table {
public:
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const Row& at(std::size_t i) const { return rows_.at(i); }
    const std::vector<Row>& rows() const { return rows_; }

    void setObserver(TableObserver* observer) { observer_ = observer; }

    void append(Row row)
    {
        if (observer_)
            observer_->beginInsert(rows_.size(), 1);
        rows_.push_back(std::move(row));
        if (observer_)
            observer_->endInsert();
    }

    void removeAt(std::size_t i)
    {
        if (i >= rows_.size())
            return;
        if (observer_)
            observer_->beginRemove(i, 1);
        rows_.erase(rows_.begin() + std::ptrdiff_t(i));
        if (observer_)
            observer_->endRemove();
    }

    // Walks from the last row to the first so positions still to be visited
    // do not shift.
    template <class Pred> void removeIf(Pred pred)
    {
        for (std::size_t i = rows_.size(); i-- > 0;) {
            if (pred(rows_[i]))
                removeAt(i);
        }
    }

    void clear()
    {
        if (observer_)
            observer_->beginReset();
        rows_.clear();
        if (observer_)
            observer_->endReset();
    }

    // Empties the table and lets `fill` append the new rows. The views are
    // told once: a row at a time, a day's list of many thousand rows would
    // take them far longer than building it.
    template <class Fill> void rebuild(Fill&& fill)
    {
        TableObserver* const observer = std::exchange(observer_, nullptr);
        if (observer)
            observer->beginReset();
        rows_.clear();
        fill();
        observer_ = observer;
        if (observer)
            observer->endReset();
    }

    // Changes a shown part of a row.
    template <class Fn> void update(std::size_t i, Fn&& fn)
    {
        if (i >= rows_.size())
            return;
        fn(rows_[i]);
        if (observer_)
            observer_->rowChanged(i);
    }

    // Re-orders every row, keeping the order of equal ones.
    template <class Less> void sortRows(Less less)
    {
        if (observer_)
            observer_->beginReset();
        std::stable_sort(rows_.begin(), rows_.end(), less);
        if (observer_)
            observer_->endReset();
    }

    // Changes a part no view shows (a tag, the selection) without telling
    // the views.
    Row& quietAt(std::size_t i) { return rows_.at(i); }

    std::optional<std::size_t> selectedIndex() const
    {
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].selected)
                return i;
        }
        return std::nullopt;
    }

    void setSelected(std::size_t i, bool selected)
    {
        if (i < rows_.size())
            rows_[i].selected = selected;
    }

private:
    std::vector<Row> rows_;
    TableObserver* observer_ = nullptr;
};

} // namespace sentrel

#pragma once

#include "base/Table.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <functional>
#include <vector>

namespace sentrel {

struct ColumnSpec {
    QString title;
    int width; // pixels at 96 dots per inch
    Qt::Alignment alignment;
    QString widest = {}; // a text the column must show whole
};

// A view's window onto one core table. It keeps no rows of its own, only
// how many of them the view has been told of: appends are announced in one
// batch per event-loop turn, so a burst of a million log rows costs one
// notification.
class TableModel : public QAbstractTableModel, public TableObserver {
    Q_OBJECT

public:
    // Watches the table from now until the model is destroyed.
    template <class Row>
    TableModel(std::vector<ColumnSpec> columns, Table<Row>& table, QObject* parent)
        : TableModel(
            std::move(columns), [&table] { return table.size(); },
            [&table](TableObserver* observer) { table.setObserver(observer); }, parent)
    {
    }
    ~TableModel() override;

    const std::vector<ColumnSpec>& columns() const { return columns_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Tells the view of appends not yet announced.
    void flushAppends();

    void beginInsert(std::size_t first, std::size_t count) override;
    void endInsert() override;
    void beginRemove(std::size_t first, std::size_t count) override;
    void endRemove() override;
    void rowChanged(std::size_t row) override;
    void beginReset() override;
    void endReset() override;

protected:
    virtual QString cellText(std::size_t row, int column) const = 0;
    virtual QVariant decoration(std::size_t, int) const { return {}; }
    virtual QVariant otherData(std::size_t, int, int) const { return {}; }

private:
    TableModel(std::vector<ColumnSpec> columns, std::function<std::size_t()> coreRowCount,
               std::function<void(TableObserver*)> attach, QObject* parent);

    std::vector<ColumnSpec> columns_;
    std::function<std::size_t()> coreRowCount_;
    std::function<void(TableObserver*)> attach_;
    std::size_t shownRows_ = 0;
    std::size_t removing_ = 0;
    QTimer flushTimer_;
};

} // namespace sentrel

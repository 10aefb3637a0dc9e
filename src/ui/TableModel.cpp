#include "ui/TableModel.h"

namespace sentrel {

TableModel::TableModel(std::vector<ColumnSpec> columns, std::function<std::size_t()> coreRowCount,
                       std::function<void(TableObserver*)> attach, QObject* parent)
    : QAbstractTableModel(parent)
    , columns_(std::move(columns))
    , coreRowCount_(std::move(coreRowCount))
    , attach_(std::move(attach))
    , shownRows_(coreRowCount_())
{
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &TableModel::flushAppends);
    attach_(this);
}

TableModel::~TableModel()
{
    attach_(nullptr);
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shownRows_);
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return {};
    if (role == Qt::DisplayRole)
        return columns_[std::size_t(section)].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns_[std::size_t(section)].alignment | Qt::AlignVCenter);
    return {};
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= shownRows_)
        return {};
    const auto row = std::size_t(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columns_[std::size_t(index.column())].alignment | Qt::AlignVCenter);
    case Qt::DecorationRole:
        return decoration(row, index.column());
    default:
        return otherData(row, index.column(), role);
    }
}

void TableModel::flushAppends()
{
    flushTimer_.stop();
    const std::size_t coreRows = coreRowCount_();
    if (coreRows <= shownRows_)
        return;
    beginInsertRows({}, int(shownRows_), int(coreRows - 1));
    shownRows_ = coreRows;
    endInsertRows();
}

void TableModel::beginInsert(std::size_t, std::size_t)
{
    // Tables only append; the view hears of it with the next batch.
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void TableModel::endInsert() { }

void TableModel::beginRemove(std::size_t first, std::size_t count)
{
    flushAppends();
    removing_ = count;
    beginRemoveRows({}, int(first), int(first + count - 1));
}

void TableModel::endRemove()
{
    shownRows_ -= removing_;
    removing_ = 0;
    endRemoveRows();
}

void TableModel::rowChanged(std::size_t row)
{
    if (row < shownRows_)
        emit dataChanged(index(int(row), 0), index(int(row), columnCount() - 1));
}

void TableModel::beginReset()
{
    flushTimer_.stop();
    beginResetModel();
}

void TableModel::endReset()
{
    shownRows_ = coreRowCount_();
    endResetModel();
}

} // namespace sentrel

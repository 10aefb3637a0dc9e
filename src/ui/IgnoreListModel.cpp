#include "ui/IgnoreListModel.h"

namespace sentrel {

IgnoreListModel::IgnoreListModel(IgnoreList& list, QObject* parent)
    : TableModel({ { tr("File name"), 200, Qt::AlignLeft } }, list, parent)
    , list_(list)
{
}

QString IgnoreListModel::cellText(std::size_t row, int) const
{
    return QString::fromStdString(list_.at(row).text);
}

} // namespace sentrel

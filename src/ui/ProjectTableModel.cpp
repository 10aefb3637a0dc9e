#include "ui/ProjectTableModel.h"

namespace sentrel {

ProjectTableModel::ProjectTableModel(ProjectTable& table, QObject* parent)
    : TableModel({ { tr("Project Name"), 143, Qt::AlignLeft },
                   { tr("Schedule Type"), 123, Qt::AlignLeft },
                   { tr("Source"), 229, Qt::AlignLeft },
                   { tr("Destination"), 229, Qt::AlignLeft },
                   { tr("Include subdir"), 93, Qt::AlignHCenter },
                   { tr("Start time"), 96, Qt::AlignHCenter },
                   { tr("Overwrite option"), 133, Qt::AlignHCenter },
                   { tr("Remark"), 229, Qt::AlignLeft } },
                 table, parent)
    , table_(table)
{
}

QString ProjectTableModel::cellText(std::size_t row, int column) const
{
    return QString::fromStdString(ProjectTable::Column(table_.at(row).record, column));
}

} // namespace sentrel

#include "ui/LogTableModel.h"

namespace sentrel {

LogTableModel::LogTableModel(ActivityLog& log, QObject* parent)
    : TableModel({ { tr("Project Name"), 133, Qt::AlignLeft },
                   { tr("Time"), 133, Qt::AlignLeft, QStringLiteral("0000-00-00 00:00:00") },
                   { tr("Detail"), 363, Qt::AlignLeft } },
                 log, parent)
    , log_(log)
{
}

QString LogTableModel::cellText(std::size_t row, int column) const
{
    const LogRow& r = log_.at(row);
    const std::string* fields[] = { &r.projectName, &r.time, &r.detail };
    return QString::fromStdString(*fields[column]);
}

} // namespace sentrel

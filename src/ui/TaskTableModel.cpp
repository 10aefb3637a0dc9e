#include "ui/TaskTableModel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace sentrel {

namespace {
QIcon Dot(const QColor& colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(140));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}
} // namespace

TaskTableModel::TaskTableModel(TaskList& tasks, QObject* parent)
    : TableModel({ { tr("Project Name"), 143, Qt::AlignLeft },
                   { tr("Start time"), 229, Qt::AlignHCenter, QStringLiteral("0000-00-00 00:00:00") },
                   { tr("Status"), 163, Qt::AlignLeft },
                   { tr("Current file"), 429, Qt::AlignLeft } },
                 tasks, parent)
    , tasks_(tasks)
    , images_ { QIcon(), Dot(QColor(0xb0, 0xb0, 0xb0)), Dot(QColor(0x2f, 0x80, 0xed)), Dot(QColor(0x27, 0xae, 0x60)),
                Dot(QColor(0xeb, 0x57, 0x57)) }
{
}

QString TaskTableModel::cellText(std::size_t row, int column) const
{
    const TodayTask& t = tasks_.at(row);
    const std::string* fields[] = { &t.ProjectName, &t.StartTime, &t.Status, &t.CurrentFile };
    return QString::fromStdString(*fields[column]);
}

QVariant TaskTableModel::decoration(std::size_t row, int column) const
{
    if (column != 0)
        return {};
    const auto image = std::size_t(tasks_.at(row).Image);
    return image < images_.size() && image != 0 ? QVariant(images_[image]) : QVariant();
}

} // namespace sentrel

namespace sentrel {

void TaskTableModel::setGreyed(bool greyed)
{
    if (greyed_ == greyed)
        return;
    greyed_ = greyed;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), { Qt::ForegroundRole });
}

QVariant TaskTableModel::otherData(std::size_t row, int column, int role) const
{
    if (role == Qt::ForegroundRole && greyed_)
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    // The state dot, for those who cannot see it.
    if ((role == Qt::AccessibleDescriptionRole || role == Qt::ToolTipRole) && column == 0) {
        switch (tasks_.at(row).Image) {
        case TaskImage::Waiting:
            return tr("Waiting");
        case TaskImage::Running:
            return tr("Running");
        case TaskImage::Finished:
            return tr("Finished");
        case TaskImage::Failed:
            return tr("Failed");
        case TaskImage::None:
            return tr("Queued");
        }
    }
    return {};
}

} // namespace sentrel

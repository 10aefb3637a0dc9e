#include "ui/ElidedTextTooltip.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace sentrel {

bool ElidedTextTooltip::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QSize needed = sizeHint(cell, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty() && needed.width() > option.rect.width()) {
        QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
        return true;
    }
    const QString tip = index.data(Qt::ToolTipRole).toString();
    if (!tip.isEmpty()) {
        QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
        return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

} // namespace sentrel

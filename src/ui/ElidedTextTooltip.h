#pragma once

#include <QStyledItemDelegate>

namespace sentrel {

// Shows a cell's whole text as a tooltip when the cell is too narrow for it.
class ElidedTextTooltip final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

} // namespace sentrel

#pragma once

#include "engine/IgnoreList.h"
#include "ui/TableModel.h"

namespace sentrel {

// The entries of the ignore list, one column.
class IgnoreListModel final : public TableModel {
    Q_OBJECT

public:
    explicit IgnoreListModel(IgnoreList& list, QObject* parent = nullptr);

protected:
    QString cellText(std::size_t row, int column) const override;

private:
    IgnoreList& list_;
};

} // namespace sentrel

#pragma once

#include "shell/ActivityLog.h"
#include "ui/TableModel.h"

namespace sentrel {

class LogTableModel final : public TableModel {
    Q_OBJECT

public:
    explicit LogTableModel(ActivityLog& log, QObject* parent = nullptr);

protected:
    QString cellText(std::size_t row, int column) const override;

private:
    ActivityLog& log_;
};

} // namespace sentrel

#pragma once

#include "scheduler/TaskList.h"
#include "ui/TableModel.h"

#include <QIcon>

#include <array>

namespace sentrel {

class TaskTableModel final : public TableModel {
    Q_OBJECT

public:
    explicit TaskTableModel(TaskList& tasks, QObject* parent = nullptr);

protected:
    QString cellText(std::size_t row, int column) const override;
    QVariant decoration(std::size_t row, int column) const override;

private:
    TaskList& tasks_;
    std::array<QIcon, 5> images_;
};

} // namespace sentrel

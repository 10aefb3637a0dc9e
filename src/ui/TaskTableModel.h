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

    // Grey text while the schedule is stopped.
    void setGreyed(bool greyed);

protected:
    QString cellText(std::size_t row, int column) const override;
    QVariant decoration(std::size_t row, int column) const override;
    QVariant otherData(std::size_t row, int column, int role) const override;

private:
    TaskList& tasks_;
    std::array<QIcon, 5> images_;
    bool greyed_ = false;
};

} // namespace sentrel

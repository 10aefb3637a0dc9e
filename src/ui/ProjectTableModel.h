#pragma once

#include "projects/ProjectTable.h"
#include "ui/TableModel.h"

namespace sentrel {

class ProjectTableModel final : public TableModel {
    Q_OBJECT

public:
    explicit ProjectTableModel(ProjectTable& table, QObject* parent = nullptr);

protected:
    QString cellText(std::size_t row, int column) const override;

private:
    ProjectTable& table_;
};

} // namespace sentrel

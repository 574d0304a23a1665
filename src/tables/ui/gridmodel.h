#pragma once
// The record grid's model over the workspace's dataset. Rows are read on demand by their index
// among the visible records, so a table of any size shows at once and the dataset's cursor never
// moves for painting. The sorted column's cells are painted aqua. The model learns of changes
// through a data source of its own: a new table resets it; a record added or deleted changes the
// row count at the end; anything else repaints.

#include "tables/workspace.h"

#include <QAbstractTableModel>
#include <memory>

namespace qf::tables {

class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TGridModel(TTableWorkspace &Workspace, QObject *Parent = nullptr);
    ~TGridModel() override;

    int rowCount(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;

    // Reads the dataset again: reset when its shape changed, else a repaint.
    void Refresh();

signals:
    // After every change the dataset reported (the grid follows its cursor).
    void DataChanged();

private:
    TTableWorkspace &FWorkspace;
    std::unique_ptr<TDataSource> FSource;
    int FRows = 0;
    int FColumns = 0;
    const void *FTable = nullptr;
};

} // namespace qf::tables

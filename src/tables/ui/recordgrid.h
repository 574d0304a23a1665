#pragma once
// Binds the window's record grid (a QTableView) to the workspace: our model, the title clicks,
// the column widths the workspace reads and sets, and the current row kept on the dataset's
// cursor both ways (a click moves the cursor; a move of the cursor moves the grid).

#include "tables/ui/gridmodel.h"

#include <QObject>
#include <functional>

class QTableView;

namespace qf::tables {

class TRecordGrid : public QObject {
    Q_OBJECT
public:
    TRecordGrid(TTableWorkspace &Workspace, QTableView *View, QObject *Parent = nullptr);

    QTableView *View() const { return FView; }

    // Binds the workspace's column hooks to this grid.
    void BindWorkspace();

    // A failed move of the cursor (the record being edited cannot be posted).
    std::function<void(const QString &Message)> OnError;

signals:
    void TitleClicked(int Column);

private:
    void ModelReset();
    void FollowCursor();
    void CurrentRowChanged(int Row);

    TTableWorkspace &FWorkspace;
    QTableView *FView;
    TGridModel *FModel;
    bool FFollowing = false;
};

} // namespace qf::tables

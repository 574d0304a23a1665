#include "tables/ui/gridmodel.h"

#include <QBrush>
#include <QColor>

namespace qf::tables {

TGridModel::TGridModel(TTableWorkspace &Workspace, QObject *Parent)
    : QAbstractTableModel(Parent), FWorkspace(Workspace),
      FSource(std::make_unique<TDataSource>(&Workspace.ADOQuery1()))
{
    FSource->OnDataChange = [this] { Refresh(); };
    FSource->OnStateChange = [this] { Refresh(); };
    Refresh();
}

TGridModel::~TGridModel() = default;

void TGridModel::Refresh()
{
    const TADOQuery &Q = FWorkspace.ADOQuery1();
    const int Rows = Q.Active() ? Q.RecordCount() : 0;
    const int Columns = Q.Active() ? Q.FieldCount() : 0;
    const void *Table = Q.Source();
    if (Columns != FColumns || Table != FTable) {
        beginResetModel();
        FRows = Rows;
        FColumns = Columns;
        FTable = Table;
        endResetModel();
        emit DataChanged();
        return;
    }
    // A record added or deleted: the count changes at the end and every row is read again, so
    // the grid keeps its column widths and position (a reset would drop them).
    if (Rows > FRows) {
        beginInsertRows({}, FRows, Rows - 1);
        FRows = Rows;
        endInsertRows();
    } else if (Rows < FRows) {
        beginRemoveRows({}, Rows, FRows - 1);
        FRows = Rows;
        endRemoveRows();
    }
    if (Rows > 0 && Columns > 0) {
        emit dataChanged(index(0, 0), index(Rows - 1, Columns - 1),
                         {Qt::DisplayRole, Qt::BackgroundRole});
    }
    emit DataChanged();
}

int TGridModel::rowCount(const QModelIndex &Parent) const { return Parent.isValid() ? 0 : FRows; }
int TGridModel::columnCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : FColumns;
}

QVariant TGridModel::data(const QModelIndex &Index, int Role) const
{
    const TADOQuery &Q = FWorkspace.ADOQuery1();
    if (!Index.isValid() || !Q.Active() || Index.column() >= Q.FieldCount())
        return {};
    switch (Role) {
    case Qt::DisplayRole: {
        QString Text = Q.RowText(Index.row(), Index.column());
        if (Q.Fields(Index.column()).DataType() == ftMemo) {
            // A memo shows its first line; the record editor shows the whole text.
            const qsizetype Break = Text.indexOf(QLatin1Char('\n'));
            if (Break >= 0)
                Text = Text.left(Break).trimmed() + QStringLiteral("...");
            if (Text.size() > 200)
                Text = Text.left(200) + QStringLiteral("...");
        }
        return Text;
    }
    case Qt::TextAlignmentRole:
        return MapFieldTypeToDbf(Q.Fields(Index.column()).DataType()) == dtN
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::BackgroundRole:
        if (!FWorkspace.FSortField.isEmpty() &&
            Q.Fields(Index.column()).FieldName() == FWorkspace.FSortField)
            return QBrush(QColor(Qt::cyan));
        return {};
    default: return {};
    }
}

QVariant TGridModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    const TADOQuery &Q = FWorkspace.ADOQuery1();
    if (Role != Qt::DisplayRole || !Q.Active())
        return {};
    if (Orientation == Qt::Horizontal)
        return Section < Q.FieldCount() ? Q.Fields(Section).FieldName() : QVariant();
    return {};
}

} // namespace qf::tables

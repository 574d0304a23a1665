#include "tables/ui/recordgrid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace qf::tables {

TRecordGrid::TRecordGrid(TTableWorkspace &Workspace, QTableView *View, QObject *Parent)
    : QObject(Parent), FWorkspace(Workspace), FView(View), FModel(new TGridModel(Workspace, this))
{
    FView->setModel(FModel);
    FView->setSortingEnabled(false); // the dataset sorts; the titles only tell it to
    FView->setSelectionBehavior(QAbstractItemView::SelectItems);
    FView->setSelectionMode(QAbstractItemView::SingleSelection);
    FView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FView->setWordWrap(false);
    QHeaderView *Header = FView->horizontalHeader();
    Header->setSectionsClickable(true);
    Header->setSectionResizeMode(QHeaderView::Interactive);
    // Every row has the same height: the view then needs no measuring per row.
    FView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FView->verticalHeader()->setDefaultSectionSize(FView->fontMetrics().height() + 6);
    connect(Header, &QHeaderView::sectionClicked, this, &TRecordGrid::TitleClicked);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TRecordGrid::ModelReset);
    connect(FModel, &TGridModel::DataChanged, this, &TRecordGrid::FollowCursor);
    connect(FView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &Current) { CurrentRowChanged(Current.row()); });
    ModelReset();
}

void TRecordGrid::BindWorkspace()
{
    FWorkspace.GetColumnWidth = [this](int Column) {
        return Column < FModel->columnCount() ? FView->columnWidth(Column) : 0;
    };
    FWorkspace.SetColumnWidth = [this](int Column, int Width) {
        if (Column < FModel->columnCount())
            FView->setColumnWidth(Column, std::min(Width, 4000));
    };
    FWorkspace.GetCurrentColumn = [this] { return FView->currentIndex().column(); };
    FWorkspace.SetCurrentColumn = [this](int Column) {
        if (Column >= FModel->columnCount())
            return;
        const int Row = std::max(0, FView->currentIndex().row());
        FFollowing = true;
        FView->setCurrentIndex(FModel->index(Row, Column));
        FFollowing = false;
    };
}

void TRecordGrid::ModelReset()
{
    // The grid's own widths: the field's width in characters, within reason.
    const TADOQuery &Q = FWorkspace.ADOQuery1();
    const QFontMetrics Metrics = FView->fontMetrics();
    const int Char = Metrics.horizontalAdvance(QLatin1Char('0'));
    for (int i = 0; i < FModel->columnCount(); ++i) {
        const TField &Field = Q.Fields(i);
        int Chars = int(Field.FieldName().size());
        switch (MapFieldTypeToDbf(Field.DataType())) {
        case dtC: Chars = std::max(Chars, Field.Size()); break;
        case dtN: Chars = std::max(Chars, 10); break;
        case dtD: Chars = std::max(Chars, 10); break;
        case dtM: Chars = std::max(Chars, 20); break;
        default: break;
        }
        FView->setColumnWidth(i, std::clamp(Chars, 4, 40) * Char + 12);
    }
    FollowCursor();
}

void TRecordGrid::FollowCursor()
{
    const int RecNo = FWorkspace.ADOQuery1().RecNo();
    if (RecNo < 1 || RecNo > FModel->rowCount())
        return;
    const QModelIndex Current = FView->currentIndex();
    if (Current.isValid() && Current.row() == RecNo - 1)
        return;
    FFollowing = true;
    FView->setCurrentIndex(FModel->index(RecNo - 1, std::max(0, Current.column())));
    FFollowing = false;
}

void TRecordGrid::CurrentRowChanged(int Row)
{
    TADOQuery &Q = FWorkspace.ADOQuery1();
    if (FFollowing || Row < 0 || !Q.Active() || Q.RecNo() == Row + 1)
        return;
    try {
        Q.SetRecNo(Row + 1);
    } catch (const EDatabaseError &E) {
        if (OnError)
            OnError(E.Message());
        FollowCursor();
    }
}

} // namespace qf::tables

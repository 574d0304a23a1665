#include "tables/ui/recordgrid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace qf::tables {

TRecordGrid::TRecordGrid(TTableWorkspace &Workspace, QTableView *View, QObject *Parent)
    : QObject(Parent), workspace_(Workspace), view_(View), model_(new TGridModel(Workspace, this))
{
    view_->setModel(model_);
    view_->setSortingEnabled(false); // the dataset sorts; the titles only tell it to
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    QHeaderView *Header = view_->horizontalHeader();
    Header->setSectionsClickable(true);
    Header->setSectionResizeMode(QHeaderView::Interactive);
    // Every row has the same height: the view then needs no measuring per row.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    connect(Header, &QHeaderView::sectionClicked, this, &TRecordGrid::TitleClicked);
    connect(model_, &QAbstractItemModel::modelReset, this, &TRecordGrid::ModelReset);
    connect(model_, &TGridModel::DataChanged, this, &TRecordGrid::FollowCursor);
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &Current) { CurrentRowChanged(Current.row()); });
    ModelReset();
}

void TRecordGrid::BindWorkspace()
{
    workspace_.GetColumnWidth = [this](int Column) {
        return Column < model_->columnCount() ? view_->columnWidth(Column) : 0;
    };
    workspace_.SetColumnWidth = [this](int Column, int Width) {
        if (Column < model_->columnCount())
            view_->setColumnWidth(Column, std::min(Width, 4000));
    };
    workspace_.GetCurrentColumn = [this] { return view_->currentIndex().column(); };
    workspace_.SetCurrentColumn = [this](int Column) {
        if (Column >= model_->columnCount())
            return;
        const int Row = std::max(0, view_->currentIndex().row());
        following_ = true;
        view_->setCurrentIndex(model_->index(Row, Column));
        following_ = false;
    };
}

void TRecordGrid::ModelReset()
{
    // The grid's own widths: the field's width in characters, within reason.
    const TADOQuery &Q = workspace_.ADOQuery1();
    const QFontMetrics Metrics = view_->fontMetrics();
    const int Char = Metrics.horizontalAdvance(QLatin1Char('0'));
    for (int i = 0; i < model_->columnCount(); ++i) {
        const TField &Field = Q.Fields(i);
        int Chars = int(Field.FieldName().size());
        switch (MapFieldTypeToDbf(Field.DataType())) {
        case dtC: Chars = std::max(Chars, Field.Size()); break;
        case dtN: Chars = std::max(Chars, 10); break;
        case dtD: Chars = std::max(Chars, 10); break;
        case dtM: Chars = std::max(Chars, 20); break;
        default: break;
        }
        view_->setColumnWidth(i, std::clamp(Chars, 4, 40) * Char + 12);
    }
    FollowCursor();
}

void TRecordGrid::FollowCursor()
{
    const int RecNo = workspace_.ADOQuery1().RecNo();
    if (RecNo < 1 || RecNo > model_->rowCount())
        return;
    const QModelIndex Current = view_->currentIndex();
    if (Current.isValid() && Current.row() == RecNo - 1)
        return;
    following_ = true;
    view_->setCurrentIndex(model_->index(RecNo - 1, std::max(0, Current.column())));
    following_ = false;
}

void TRecordGrid::CurrentRowChanged(int Row)
{
    TADOQuery &Q = workspace_.ADOQuery1();
    if (following_ || Row < 0 || !Q.Active() || Q.RecNo() == Row + 1)
        return;
    try {
        Q.SetRecNo(Row + 1);
    } catch (const EDatabaseError &E) {
        if (OnError)
            OnError(E.Message());
        FollowCursor();
    }
}

}  // namespace qf::tables

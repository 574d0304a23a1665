#include "tables/ui/editdb.h"

#include "tables/recordcommands.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace qf::tables {

namespace {
int TagOf(const QObject *Editor) { return Editor ? Editor->property("Tag").toInt() : -1; }

// Characters a number field's values can take, whatever its first records held.
int NumberChars(const TField &Field)
{
    switch (Field.DataType()) {
    case ftSmallint:
    case ftWord: return 6;
    case ftInteger:
    case ftAutoInc: return 11;
    case ftLargeint: return 20;
    default: return Field.Size();
    }
}

// The widest text a date takes in the field's format.
int DateChars()
{
    static const int Chars = [] {
        int Widest = 0;
        for (int Month = 1; Month <= 12; ++Month)
            Widest = std::max<int>(Widest,
                                   int(DateTimeToStr(DateToSerial(QDate(2000, Month, 28))).size()));
        return Widest;
    }();
    return Chars;
}

// A pick list in the order completion offers it: an entry equal to the typed text first (so that
// typing 10.1 keeps 10.1 rather than completing to an earlier 10.11), the others in list order.
class TPickOrder : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetTyped(const QString &Text)
    {
        if (Text == FTyped)
            return;
        FTyped = Text;
        invalidate();
    }

protected:
    bool lessThan(const QModelIndex &Left, const QModelIndex &Right) const override
    {
        const bool LeftEqual = Equal(Left), RightEqual = Equal(Right);
        if (LeftEqual != RightEqual)
            return LeftEqual;
        return Left.row() < Right.row();
    }

private:
    bool Equal(const QModelIndex &Index) const
    {
        return !FTyped.isEmpty() &&
               Index.data().toString().compare(FTyped, Qt::CaseInsensitive) == 0;
    }
    QString FTyped;
};

// The completer tells the order what was typed just before it looks for a completion.
class TPickCompleter : public QCompleter {
public:
    TPickCompleter(QAbstractItemModel *List, QObject *Parent)
        : QCompleter(Parent), FOrder(new TPickOrder(this))
    {
        FOrder->setSourceModel(List);
        FOrder->sort(0);
        setModel(FOrder);
    }
    QStringList splitPath(const QString &Path) const override
    {
        FOrder->SetTyped(Path);
        return QCompleter::splitPath(Path);
    }

private:
    TPickOrder *FOrder;
};

// Pixels an editor needs to show Chars characters whole, with its frame, arrow or scroll bar.
int EditorPixels(QWidget *Editor, int Chars)
{
    const QFontMetrics Metrics(Editor->font());
    // One character more than asked: proportional letters are not all of the average width.
    const int Text = (Chars + 1) * std::max(Metrics.averageCharWidth(),
                                            Metrics.horizontalAdvance(QLatin1Char('0')));
    if (auto *Combo = qobject_cast<QComboBox *>(Editor)) {
        QStyleOptionComboBox Option;
        Option.initFrom(Combo);
        Option.editable = true;
        Option.frame = Combo->hasFrame();
        // The line edit inside keeps a margin of its own on both sides.
        return Combo->style()
            ->sizeFromContents(QStyle::CT_ComboBox, &Option, QSize(Text + 6, Metrics.height()),
                               Combo)
            .width();
    }
    if (qobject_cast<QPlainTextEdit *>(Editor))
        return Text + Editor->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12;
    return std::max(Text, Editor->sizeHint().width());
}
} // namespace

TEditDB::TEditDB(TTableWorkspace &Workspace, QWidget *Parent)
    : QDialog(Parent), FWs(Workspace), FDataSource(new TDataSource(&Workspace.ADOQuery1()))
{
    setObjectName(QStringLiteral("EditDB"));
    setWindowTitle(QStringLiteral("Edit Record"));
    setSizeGripEnabled(true);
    resize(560, 360);
    auto *L = new QVBoxLayout(this);
    L->setContentsMargins(0, 0, 0, 0);
    L->setSpacing(0);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidget(new QWidget);
    ScrollBox1->setWidgetResizable(false);
    L->addWidget(ScrollBox1, 1);

    auto *Panel = new QWidget(this);
    auto *P = new QHBoxLayout(Panel);
    auto NavButton = [&](const char *Name, const QString &Text, const QString &Tip) {
        auto *B = new QToolButton(Panel);
        B->setObjectName(QString::fromLatin1(Name));
        B->setText(Text);
        B->setToolTip(Tip);
        P->addWidget(B);
        return B;
    };
    NavFirst = NavButton("NavFirst", QStringLiteral("|<"), QStringLiteral("First record"));
    NavPrior = NavButton("NavPrior", QStringLiteral("<"), QStringLiteral("Prior record"));
    NavNext = NavButton("NavNext", QStringLiteral(">"), QStringLiteral("Next record"));
    NavLast = NavButton("NavLast", QStringLiteral(">|"), QStringLiteral("Last record"));
    P->addStretch(1);
    auto Button = [&](const char *Name, const QString &Text) {
        auto *B = new QPushButton(Text, Panel);
        B->setObjectName(QString::fromLatin1(Name));
        B->setAutoDefault(false);
        P->addWidget(B);
        return B;
    };
    NewButton = Button("NewButton", QStringLiteral("New"));
    DeleteButton = Button("DeleteButton", QStringLiteral("Delete"));
    ApplyButton = Button("ApplyButton", QStringLiteral("Apply"));
    RestoreButton = Button("RestoreButton", QStringLiteral("Restore"));
    CloseButton = Button("CloseButton", QStringLiteral("Close"));
    L->addWidget(Panel);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setMinimumWidth(50);
    StatusBar1->addWidget(StatusPanel);
    L->addWidget(StatusBar1);

    PopupMenu1 = new QMenu(this);
    Template1 = PopupMenu1->addAction(QStringLiteral("Template"));
    Template1->setCheckable(true);
    Autocomplete1 = PopupMenu1->addAction(QStringLiteral("Autocomplete"));
    Autocomplete1->setCheckable(true);

    TADOQuery &Q = FWs.ADOQuery1();
    connect(NavFirst, &QToolButton::clicked, this, [this, &Q] { Navigate([&Q] { Q.First(); }); });
    connect(NavPrior, &QToolButton::clicked, this, [this, &Q] { Navigate([&Q] { Q.Prior(); }); });
    connect(NavNext, &QToolButton::clicked, this, [this, &Q] { Navigate([&Q] { Q.Next(); }); });
    connect(NavLast, &QToolButton::clicked, this, [this, &Q] { Navigate([&Q] { Q.Last(); }); });
    connect(NewButton, &QPushButton::clicked, this, &TEditDB::NewClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TEditDB::DeleteClick);
    connect(ApplyButton, &QPushButton::clicked, this, [this] { ApplyClick(); });
    connect(RestoreButton, &QPushButton::clicked, this, &TEditDB::RestoreClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    FDataSource->OnDataChange = [this] { LoadValues(); };
    FDataSource->OnStateChange = [this] {
        const TADOQuery &Q = FWs.ADOQuery1();
        if (!Q.Active() && !Editors.empty())
            Clear();
        else if (Q.Active() && FieldNames() != FBuiltNames)
            Build(); // also after a close and an open that came together while controls were off
        UpdateEditRecordButtons();
    };
    UpdateEditRecordButtons();
}

TEditDB::~TEditDB() { delete FDataSource; }

TFieldEditInfo *TEditDB::Info(int Field) const
{
    return Field >= 0 && size_t(Field) < FWs.FieldInfo.size() ? &FWs.FieldInfo[size_t(Field)]
                                                              : nullptr;
}

void TEditDB::Fail(const QString &Message)
{
    if (OnError)
        OnError(Message);
    else
        QMessageBox::critical(this, windowTitle(), Message);
}

void TEditDB::Build()
{
    Clear();
    TADOQuery &Q = FWs.ADOQuery1();
    QWidget *Box = ScrollBox1->widget();
    const int Count = std::min<int>(Q.FieldCount(), int(FWs.FieldInfo.size()));
    for (int i = 0; i < Count; ++i) {
        const TFieldEditInfo &R = FWs.FieldInfo[size_t(i)];
        const QString Name = Q.Fields(i).FieldName();
        auto *Label = new QLabel(R.Kind == dtL ? QString() : Name, Box);
        QWidget *Editor;
        if (R.Kind == dtL) {
            auto *Check = new QCheckBox(Name, Box);
            connect(Check, &QCheckBox::toggled, this, [this, i] { Typed(i); });
            Editor = Check;
        } else if (R.Kind == dtM) {
            auto *Memo = new QPlainTextEdit(Box);
            Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            Memo->resize(185, 89);
            Memo->setTabChangesFocus(true);
            connect(Memo, &QPlainTextEdit::textChanged, this, [this, i] { Typed(i); });
            Editor = Memo;
        } else {
            auto *Combo = new QComboBox(Box);
            Combo->setEditable(true);
            Combo->setInsertPolicy(QComboBox::NoInsert);
            Combo->addItems(R.PickList);
            auto *Completer = new TPickCompleter(Combo->model(), Combo);
            Completer->setCaseSensitivity(Qt::CaseInsensitive);
            Completer->setCompletionMode(QCompleter::InlineCompletion);
            Combo->setCompleter(Completer);
            Combo->setProperty("Completer", QVariant::fromValue<QObject *>(Completer));
            Combo->lineEdit()->installEventFilter(this);
            Combo->lineEdit()->setProperty("Tag", i);
            Combo->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(Combo->lineEdit(), &QWidget::customContextMenuRequested, this,
                    [this, Combo](const QPoint &Pos) {
                        ShowPopup(Combo, Combo->lineEdit()->mapTo(Combo, Pos));
                    });
            connect(Combo, &QComboBox::editTextChanged, this, [this, i] { Typed(i); });
            Editor = Combo;
        }
        if (R.Kind != dtM)
            Editor->adjustSize();
        Label->setProperty("Tag", i);
        Editor->setProperty("Tag", i);
        Editor->setObjectName(QStringLiteral("Field_") + Name);
        Editor->installEventFilter(this);
        Editor->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(Editor, &QWidget::customContextMenuRequested, this,
                [this, Editor](const QPoint &Pos) { ShowPopup(Editor, Pos); });
        Label->show();
        Editor->show();
        Labels.push_back(Label);
        Editors.push_back(Editor);
    }
    FBuiltNames = FieldNames();
    FLastEditor = Editors.empty() ? nullptr : Editors.front();
    LoadValues();
    LayOut();
}

QStringList TEditDB::FieldNames() const
{
    QStringList Names;
    const TADOQuery &Q = FWs.ADOQuery1();
    for (int i = 0; Q.Active() && i < std::min<int>(Q.FieldCount(), int(FWs.FieldInfo.size())); ++i)
        Names << Q.Fields(i).FieldName();
    return Names;
}

void TEditDB::Clear()
{
    for (QLabel *L : Labels)
        delete L;
    for (QWidget *E : Editors)
        delete E;
    Labels.clear();
    Editors.clear();
    FDirty.clear();
    FBuiltNames.clear();
    FLastEditor = nullptr;
    FReadOnlyReported = false;
}

QWidget *TEditDB::EditorOf(const QString &FieldName) const
{
    const TField *F = FWs.ADOQuery1().Active() ? FWs.ADOQuery1().FindField(FieldName) : nullptr;
    return F && size_t(F->Index()) < Editors.size() ? Editors[size_t(F->Index())] : nullptr;
}

void TEditDB::LoadValues()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (Q.Active())
        StatusPanel->setText(FWs.RecordCommands().RecordPositionText());
    else
        StatusPanel->clear();
    if (!Q.Active() || Editors.size() > size_t(Q.FieldCount()))
        return;
    FLoading = true;
    for (size_t i = 0; i < Editors.size(); ++i) {
        if (FDirty.count(int(i)))
            continue; // what was typed stays until it is saved or given up
        const TField &F = Q.Fields(int(i));
        QWidget *E = Editors[i];
        if (auto *Combo = qobject_cast<QComboBox *>(E)) {
            const TFieldEditInfo *R = Info(int(i));
            Combo->setEditText(R ? (F.IsNull() ? QString() : [&] {
                if (R->Kind == dtN) return FloatToStr(F.AsFloat());
                if (R->Kind == dtD) return DateTimeToStr(F.AsDateTime());
                return F.AsString();
            }()) : F.AsString());
            // A value wider than its box shows its start, not its end.
            Combo->lineEdit()->setCursorPosition(0);
        } else if (auto *Check = qobject_cast<QCheckBox *>(E)) {
            Check->setChecked(F.AsBoolean());
        } else if (auto *Memo = qobject_cast<QPlainTextEdit *>(E)) {
            Memo->setPlainText(F.AsString());
        }
    }
    FLoading = false;
    if (isVisible())
        FocusEditor();
}

void TEditDB::RefreshPickLists()
{
    FLoading = true;
    for (size_t i = 0; i < Editors.size(); ++i) {
        auto *Combo = qobject_cast<QComboBox *>(Editors[i]);
        const TFieldEditInfo *R = Info(int(i));
        if (!Combo || !R)
            continue;
        QStringList Items;
        for (int k = 0; k < Combo->count(); ++k)
            Items << Combo->itemText(k);
        if (Items == R->PickList)
            continue;
        const QString Text = Combo->currentText();
        Combo->clear();
        Combo->addItems(R->PickList);
        Combo->setEditText(Text);
    }
    FLoading = false;
}

void TEditDB::Typed(int Field)
{
    if (FLoading)
        return;
    FDirty.insert(Field);
    TADOQuery &Q = FWs.ADOQuery1();
    if (Q.Active() && Q.State() == dsBrowse) {
        try {
            Q.Edit();
        } catch (const EDatabaseError &E) {
            // Once per editing: the text stays in the editor and Apply tries again.
            if (!FReadOnlyReported) {
                FReadOnlyReported = true;
                Fail(QStringLiteral("The record cannot be changed in the table %1.\n\n%2")
                         .arg(FWs.RecordCommands().TableTitle(), E.Message()));
            }
        }
    }
    UpdateEditRecordButtons();
}

QString TEditDB::EditorText(int Field) const
{
    QWidget *E = Editors[size_t(Field)];
    if (auto *Combo = qobject_cast<QComboBox *>(E))
        return Combo->currentText();
    if (auto *Check = qobject_cast<QCheckBox *>(E))
        return Check->isChecked() ? QStringLiteral("X") : QStringLiteral(" ");
    if (auto *Memo = qobject_cast<QPlainTextEdit *>(E))
        return Memo->toPlainText();
    return QString();
}

void TEditDB::WriteTypedValues()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (FDirty.empty())
        return;
    if (Q.State() == dsBrowse)
        Q.Edit();
    for (int i : FDirty) {
        TField &F = Q.Fields(i);
        if (auto *Check = qobject_cast<QCheckBox *>(Editors[size_t(i)]))
            F.SetAsBoolean(Check->isChecked());
        else
            F.SetAsString(EditorText(i));
    }
}

bool TEditDB::SaveTypedValues()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active())
        return true;
    try {
        WriteTypedValues();
        bool AnyValue = false;
        for (int i = 0; i < Q.FieldCount() && !AnyValue; ++i)
            AnyValue = !Q.Fields(i).IsNull();
        if (AnyValue)
            Q.Post();
    } catch (const EDatabaseError &E) {
        Fail(QStringLiteral("The record could not be saved to the table %1.\n\n%2")
                 .arg(FWs.RecordCommands().TableTitle(), E.Message()));
        UpdateEditRecordButtons();
        return false;
    }
    FDirty.clear();
    RefreshPickLists();
    LoadValues();
    LayOut();
    UpdateEditRecordButtons();
    return true;
}

bool TEditDB::ApplyClick()
{
    const bool Ok = SaveTypedValues();
    FocusEditor();
    return Ok;
}

void TEditDB::RestoreClick()
{
    FDirty.clear();
    FWs.ADOQuery1().Cancel();
    LoadValues();
    UpdateEditRecordButtons();
    FocusEditor();
}

void TEditDB::NewClick()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active() || !SaveTypedValues())
        return;
    const int Count = std::min<int>(int(Editors.size()), int(FWs.FieldInfo.size()));
    for (int i = 0; i < Count; ++i) {
        TFieldEditInfo &R = FWs.FieldInfo[size_t(i)];
        R.TemplateValue.clear();
        if (R.Template && !Q.Fields(i).IsNull()) {
            R.NoTemplateValue = 0;
            R.TemplateValue = EditorText(i);
        } else {
            R.NoTemplateValue = 1;
        }
    }
    if (!FWs.RecordCommands().AddRecord())
        return;
    try {
        for (int i = 0; i < Count; ++i) {
            const TFieldEditInfo &R = FWs.FieldInfo[size_t(i)];
            if (!R.Template || R.NoTemplateValue)
                continue;
            TField &F = Q.Fields(i);
            if (R.Kind == dtL)
                F.SetAsBoolean(R.TemplateValue == QLatin1String("X"));
            else
                F.SetAsString(R.TemplateValue);
        }
    } catch (const EDatabaseError &E) {
        Fail(E.Message()); // the new record stays in insert state
    }
    FocusEditor();
}

void TEditDB::DeleteClick()
{
    TADOQuery &Q = FWs.ADOQuery1();
    const int64_t Row = Q.CurrentRow();
    const TDataSetState State = Q.State();
    if (OnDelete)
        OnDelete();
    else
        FWs.RecordCommands().DeleteCurrentRecord();
    // What was typed goes with the record, and stays when the deletion was declined.
    if (!Q.Active() || Q.CurrentRow() != Row || Q.State() != State)
        FDirty.clear();
    LoadValues();
    UpdateEditRecordButtons();
    FocusEditor();
}

void TEditDB::Navigate(const std::function<void()> &Move)
{
    if (!FWs.ADOQuery1().Active() || !SaveTypedValues())
        return;
    try {
        Move();
    } catch (const EDatabaseError &E) {
        Fail(E.Message());
    }
}

void TEditDB::UpdateEditRecordButtons()
{
    const TADOQuery &Q = FWs.ADOQuery1();
    const TRecordCommands &C = FWs.RecordCommands();
    const bool Open = Q.Active();
    const bool Editing = Open && (Q.State() == dsEdit || Q.State() == dsInsert || !FDirty.empty());
    ApplyButton->setEnabled(Editing);
    RestoreButton->setEnabled(Editing);
    NewButton->setEnabled(Open && !Editing && C.CanAdd());
    DeleteButton->setEnabled(C.CanDelete());
    for (QToolButton *B : {NavFirst, NavPrior, NavNext, NavLast})
        B->setEnabled(Open);
}

void TEditDB::FocusEditor()
{
    if (!FLastEditor)
        return;
    FLastEditor->setFocus();
    if (auto *Combo = qobject_cast<QComboBox *>(FLastEditor.data())) {
        // Selected from the end back to the start, so the box shows the value's start.
        QLineEdit *Edit = Combo->lineEdit();
        Edit->setSelection(int(Edit->text().size()), -int(Edit->text().size()));
    }
}

void TEditDB::LayOut()
{
    const int Width = ScrollBox1->viewport()->width();
    int x = 10, y = 10, RowHeight = 40, PreviousX = 10;
    auto Stretch = [](QWidget *E, int W) {
        if (E->width() != W)
            E->resize(std::max(W, 20), E->height());
    };
    for (size_t i = 0; i < Editors.size(); ++i) {
        const TFieldEditInfo *R = Info(int(i));
        const int w = EditorPixels(Editors[i], BoxChars(int(i)));
        if (i > 0 && x + w + 30 > Width) {
            x = 10;
            y += RowHeight;
            RowHeight = 40;
            Stretch(Editors[i - 1], Width - PreviousX - 25);
        }
        Labels[i]->move(x, y);
        Labels[i]->adjustSize();
        Editors[i]->move(x, y + 12);
        if (Editors[i]->width() != w)
            Editors[i]->resize(w, Editors[i]->height());
        if (R && R->Kind == dtM)
            RowHeight = 109;
        PreviousX = x;
        x += w + 10;
    }
    if (!Editors.empty())
        Stretch(Editors.back(), Width - PreviousX - 25);
    ScrollBox1->widget()->resize(Width, y + RowHeight);
}

int TEditDB::BoxChars(int Field) const
{
    const TFieldEditInfo *R = Info(Field);
    const TADOQuery &Q = FWs.ADOQuery1();
    if (!R)
        return 7;
    if (!Q.Active() || Field >= Q.FieldCount())
        return R->EditWidth;
    if (R->Kind == dtN)
        return std::max(R->EditWidth, NumberChars(Q.Fields(Field)));
    if (R->Kind == dtD)
        return std::max(R->EditWidth, DateChars());
    return R->EditWidth;
}

void TEditDB::ShowPopup(QWidget *Editor, const QPoint &Pos)
{
    TFieldEditInfo *R = Info(TagOf(Editor));
    if (!R)
        return;
    Template1->setChecked(R->Template);
    Autocomplete1->setChecked(R->Autocomplete);
    Autocomplete1->setEnabled(HasPickList(R->Kind));
    QAction *Chosen = PopupMenu1->exec(Editor->mapToGlobal(Pos));
    if (Chosen == Template1)
        R->Template = R->Template ? 0 : 1;
    else if (Chosen == Autocomplete1)
        R->Autocomplete = R->Autocomplete ? 0 : 1;
}

bool TEditDB::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::FocusIn) {
        QWidget *W = qobject_cast<QWidget *>(Watched);
        if (auto *Edit = qobject_cast<QLineEdit *>(W);
            Edit && qobject_cast<QComboBox *>(Edit->parentWidget()))
            W = Edit->parentWidget();
        if (W && TagOf(W) >= 0 && std::find(Editors.begin(), Editors.end(), W) != Editors.end())
            FLastEditor = W;
    } else if (Event->type() == QEvent::KeyPress) {
        // Typed keys reach the combo box, which has the focus for its line edit and hands them
        // on without passing this filter again.
        auto *Combo = qobject_cast<QComboBox *>(Watched);
        if (auto *Line = qobject_cast<QLineEdit *>(Watched))
            Combo = qobject_cast<QComboBox *>(Line->parentWidget());
        QLineEdit *Edit = Combo ? Combo->lineEdit() : nullptr;
        if (Edit) {
            // Deleting never completes, nor do keys with Ctrl or Alt.
            const auto *Key = static_cast<QKeyEvent *>(Event);
            const TFieldEditInfo *R = Info(TagOf(Combo));
            const bool Complete = R && R->Autocomplete && Key->key() != Qt::Key_Delete &&
                                  Key->key() != Qt::Key_Backspace &&
                                  !(Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
            auto *Completer =
                qobject_cast<QCompleter *>(Combo->property("Completer").value<QObject *>());
            Edit->setCompleter(Complete ? Completer : nullptr);
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

void TEditDB::resizeEvent(QResizeEvent *Event)
{
    QDialog::resizeEvent(Event);
    LayOut();
}

void TEditDB::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (FWs.ADOQuery1().Active() && FieldNames() != FBuiltNames)
        Build();
    LoadValues();
    LayOut();
    UpdateEditRecordButtons();
    FocusEditor();
}

void TEditDB::done(int Result)
{
    const TADOQuery &Q = FWs.ADOQuery1();
    const bool Editing =
        Q.Active() && (Q.State() == dsEdit || Q.State() == dsInsert || !FDirty.empty());
    if (Editing) {
        const auto Answer =
            QMessageBox::question(this, windowTitle(), QStringLiteral("Save Changes?"),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (Answer == QMessageBox::Cancel)
            return;
        if (Answer == QMessageBox::Yes) {
            if (!ApplyClick())
                return; // refused: the dialog stays open with what was typed
        } else {
            RestoreClick();
        }
    }
    QDialog::done(Result);
}

} // namespace qf::tables

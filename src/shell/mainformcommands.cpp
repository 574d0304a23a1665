// The main window's command states and its editing commands: the snapshot the enabling rule
// reads, the three refreshes applying the rule's answer to the one action of each command,
// and Cut, Copy, Paste, Undo, Redo and Select All routed to the focused editor.

#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "shell/commandstate.h"
#include "shell/editrouting.h"
#include "shell/mainform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QWebEngineView>

namespace qf::shell {

void TMainForm::CreateCommands()
{
    using C = TCommand;
    const std::pair<TCommand, QAction *> Commands[] = {{C::Restructure, Restructure0},
                                                       {C::AddRecord, AddRec0},
                                                       {C::EditRecord, EditRec0},
                                                       {C::DeleteRecord, DeleteRec0},
                                                       {C::Find, Find0},
                                                       {C::CloseTable, CloseDB0},
                                                       {C::FindDuplicates, Unique0},
                                                       {C::Unsort, Unsort0},
                                                       {C::Descended, Descend0},
                                                       {C::Reopen, Reopen0},
                                                       {C::Start, Start0},
                                                       {C::Cut, Cut0},
                                                       {C::Copy, Copy0},
                                                       {C::Paste, Paste0},
                                                       {C::Undo, Undo0},
                                                       {C::Redo, Redo0},
                                                       {C::SelectAll, SelectAll0},
                                                       {C::InsertTable, Table0},
                                                       {C::Image, Image0},
                                                       {C::Hyperlink, Hyperlink0},
                                                       {C::HorizontalLine, HorizontalLine0},
                                                       {C::Font, Font0},
                                                       {C::NumberedList, NumList0},
                                                       {C::BulletedList, BulList0},
                                                       {C::DecreaseIndent, Decindent0},
                                                       {C::IncreaseIndent, IncIndent0},
                                                       {C::Bold, SpeedItem9},
                                                       {C::Italic, SpeedItem10},
                                                       {C::Underline, SpeedItem11},
                                                       {C::Color, SpeedItem12},
                                                       {C::AlignLeft, SpeedItem13},
                                                       {C::Center, SpeedItem14},
                                                       {C::AlignRight, SpeedItem15},
                                                       {C::Details, SpeedItem21},
                                                       {C::InsertCell, InsertCell1},
                                                       {C::InsertCol, InsertCol1},
                                                       {C::InsertRow, InsertRow1},
                                                       {C::MergeCells, MergeCells1},
                                                       {C::SplitCell, SplitCell1},
                                                       {C::DeleteCells, DeleteCells1},
                                                       {C::DeleteCols, DeleteCols1},
                                                       {C::DeleteRows, DeleteRows1}};
    static_assert(std::size(Commands) == CommandCount);
    for (const auto &[Command, Action] : Commands)
        FCommands[std::size_t(Command)] = Action;

    const std::pair<QAction *, void (TMainForm::*)()> Editing[] = {
        {Cut0, &TMainForm::Cut0Click},     {Copy0, &TMainForm::Copy0Click},
        {Paste0, &TMainForm::Paste0Click}, {Undo0, &TMainForm::Undo0Click},
        {Redo0, &TMainForm::Redo0Click},   {SelectAll0, &TMainForm::SelectAll0Click}};
    for (const auto &[Action, Handler] : Editing)
        connect(Action, &QAction::triggered, this, Handler);

    // The "Start" button is a place of the Mailing menu's Start.
    connect(Start0, &QAction::changed, BitBtn1,
            [this] { BitBtn1->setEnabled(Start0->isEnabled()); });
    connect(BitBtn1, &QPushButton::clicked, Start0, &QAction::trigger);
    BitBtn1->setEnabled(Start0->isEnabled());

    // The editors' states follow their text, selection and undo history.
    for (QPlainTextEdit *E : {RxRichEdit1, RxRichEdit2, Memo1, Memo2}) {
        connect(E, &QPlainTextEdit::selectionChanged, this, &TMainForm::EditorChanged);
        connect(E, &QPlainTextEdit::undoAvailable, this, &TMainForm::EditorChanged);
        connect(E, &QPlainTextEdit::redoAvailable, this, &TMainForm::EditorChanged);
    }
    connect(RxRichEdit2, &QPlainTextEdit::textChanged, this, &TMainForm::UpdateControls);
    connect(Edit2, &QLineEdit::selectionChanged, this, &TMainForm::EditorChanged);
    connect(Edit2, &QLineEdit::textChanged, this, &TMainForm::EditorChanged);
    for (QMenu *Menu : {PopupMenu1, PopupMenu2, PopupMenu3})
        connect(Menu, &QMenu::aboutToShow, this, &TMainForm::UpdateEditCommands);
    connect(qApp, &QApplication::focusChanged, this, &TMainForm::FocusChanged);
}

TFocus TMainForm::FocusOf(QWidget *W) const
{
    if (!W)
        return TFocus::Other;
    if (W == RxRichEdit2)
        return TFocus::PlainEditor;
    if (W == RxRichEdit1)
        return TFocus::SourceEditor;
    if (W == Edit2)
        return TFocus::Subject;
    if (W == Memo1)
        return TFocus::FilterText;
    if (W == Memo2)
        return TFocus::CalcExpression;
    // The web view hands its focus to a widget of its own.
    if (W == DHTMLEdit1 || DHTMLEdit1->isAncestorOf(W))
        return TFocus::HtmlEditor;
    return TFocus::Other;
}

QWidget *TMainForm::ActiveControl() const
{
    QWidget *W = QApplication::focusWidget();
    if (W && FocusOf(W) == TFocus::HtmlEditor)
        return DHTMLEdit1;
    return W && window() == W->window() ? W : nullptr;
}

void TMainForm::ReadHtmlEditor(THtmlEditorState &H) const
{
    // The page pushes its states after every caret move: these read what it pushed.
    composer::TDomWork &W = *DomWork;
    const auto On = [&W](int CmdId) { return (W.IsEditCommandEnabled(CmdId).toInt() & 3) == 3; };
    H.Cut = On(5003);
    H.Copy = On(5002);
    H.Paste = On(5032);
    H.Undo = On(5049);
    H.Redo = On(5033);
    H.Hyperlink = On(5016);
    H.Font = On(5009);
    bool Enabled = false;
    W.QueryStatus(2184, false, Enabled, H.NumberedList);
    W.QueryStatus(2185, false, Enabled, H.BulletedList);
    H.BlockFormat = W.GetBlockFormat();
    H.FontSize = W.QueryCommandValue(QStringLiteral("FontSize"));
    H.FontName = W.QueryCommandValue(QStringLiteral("FontName"));
    H.Bold = W.QueryCommandValue(QStringLiteral("Bold")).toBool();
    H.Italic = W.QueryCommandValue(QStringLiteral("Italic")).toBool();
    H.Underline = W.QueryCommandValue(QStringLiteral("Underline")).toBool();
    H.JustifyLeft = W.QueryCommandValue(QStringLiteral("JustifyLeft")).toBool();
    H.JustifyCenter = W.QueryCommandValue(QStringLiteral("JustifyCenter")).toBool();
    H.JustifyRight = W.QueryCommandValue(QStringLiteral("JustifyRight")).toBool();
    H.InsertCell = On(5019);
    H.InsertCol = On(5020);
    H.InsertRow = On(5021);
    H.MergeCells = On(5029);
    H.SplitCell = On(5047);
    H.DeleteCells = On(5005);
    H.DeleteCols = On(5006);
    H.DeleteRows = On(5007);
}

TFrameSnapshot TMainForm::FrameSnapshot() const
{
    TFrameSnapshot S;
    S.TableOpen = Workspace && Workspace->Active();
    S.TableEmpty = S.TableOpen && Workspace->ADOQuery1().IsEmpty();
    S.Sorted = FSorted == 1;
    S.MailPage = PageControl1->currentWidget() == TabSheet2;
    S.EditPage = PageControl2->currentWidget() == TabSheet3;
    S.PlainMode = PlainMode->isChecked();
    S.DocumentReady = DomWork && DomWork->Ready;
    QWidget *F = ActiveControl();
    S.Focus = FocusOf(F);
    if (auto *E = qobject_cast<QPlainTextEdit *>(F)) {
        S.Selection = E->textCursor().hasSelection();
        S.CanUndo = E->document()->isUndoAvailable();
        S.CanRedo = E->document()->isRedoAvailable();
    } else if (auto *E = qobject_cast<QLineEdit *>(F)) {
        S.Selection = E->hasSelectedText();
        S.CanUndo = E->isUndoAvailable();
        S.CanRedo = E->isRedoAvailable();
    }
    return S;
}

namespace {

void ApplyCombo(QComboBox *Box, const TComboState &State)
{
    Box->setEnabled(State.Enabled);
    if (!State.Select)
        return;
    const QString &Text = *State.Select;
    QStringList Items;
    for (int i = 0; i < Box->count(); ++i)
        Items << Box->itemText(i);
    int Index = FindEntry(Items, Text);
    if (Index < 0 && State.Append && !Text.isEmpty()) {
        Box->addItem(Text);
        Index = Box->count() - 1;
    }
    if (Box->currentIndex() != Index)
        Box->setCurrentIndex(Index);
}

} // namespace

void TMainForm::ApplyCommandStates(const TCommandStates &States)
{
    for (std::size_t i = 0; i < CommandCount; ++i) {
        QAction *A = FCommands[i];
        const TItemState &S = States.Items[i];
        if (S.Enabled && A->isEnabled() != *S.Enabled)
            A->setEnabled(*S.Enabled);
        if (S.Down && A->isCheckable() && A->isChecked() != *S.Down)
            A->setChecked(*S.Down);
    }
    if (States.TitleButtons)
        RxDBGrid1->horizontalHeader()->setSectionsClickable(*States.TitleButtons);
    if (States.MailFormat) {
        QWidget *Front = *States.MailFormat == 0 ? static_cast<QWidget *>(RxRichEdit2) : DHTMLEdit1;
        if (EditorStack->currentWidget() != Front)
            EditorStack->setCurrentWidget(Front);
        if (Views)
            Views->FMailFormat = std::uint8_t(*States.MailFormat);
    }
    if (States.BlockFormat)
        ApplyCombo(ComboBox5, *States.BlockFormat);
    if (States.FontSize)
        ApplyCombo(ComboBox8, *States.FontSize);
    if (States.FontName)
        ApplyCombo(ComboBox9, *States.FontName);
}

void TMainForm::UpdateControls()
{
    TFrameSnapshot S = FrameSnapshot();
    if (!S.PlainMode && S.DocumentReady)
        ReadHtmlEditor(S.Html);
    ApplyCommandStates(UpdateControlsRule(S));
    if (Workspace && EditDB)
        NarrowRecordCommands();
    UpdateNavigator();
}

void TMainForm::UpdateEditCommands()
{
    TFrameSnapshot S = FrameSnapshot();
    if (S.Focus == TFocus::HtmlEditor && S.DocumentReady)
        ReadHtmlEditor(S.Html);
    ApplyCommandStates(UpdateEditCommandsRule(S));
}

void TMainForm::DisableFormatCommands()
{
    ApplyCommandStates(DisableFormatCommandsRule(FrameSnapshot()));
}

void TMainForm::EditorChanged()
{
    if (FocusOf(QApplication::focusWidget()) != TFocus::Other)
        UpdateEditCommands();
}

void TMainForm::FocusChanged(QWidget *Old, QWidget *Now)
{
    const TFocus From = FocusOf(Old), To = FocusOf(Now);
    if (From == To && From == TFocus::HtmlEditor)
        return; // the web view moved the focus within itself
    if (From != TFocus::Other)
        DisableFormatCommands();
    if (To == TFocus::Other)
        return;
    // The message editor in front for the mail format keeps the focus.
    if (To == TFocus::HtmlEditor && PlainMode->isChecked() && RxRichEdit2->isVisible()) {
        RxRichEdit2->setFocus();
        return;
    }
    if (To == TFocus::PlainEditor && HtmlMode->isChecked() && DHTMLEdit1->isVisible()) {
        DHTMLEdit1->setFocus();
        return;
    }
    UpdateEditCommands();
}

void TMainForm::RunEditCommand(std::uint8_t Code)
{
    ExecEditCommand(*this, ActiveControl(), Code);
    UpdateEditCommands();
}

void TMainForm::Cut0Click() { RunEditCommand(0); }
void TMainForm::Copy0Click() { RunEditCommand(1); }
void TMainForm::Paste0Click() { RunEditCommand(2); }
void TMainForm::Undo0Click() { RunEditCommand(3); }
void TMainForm::Redo0Click() { RunEditCommand(4); }
void TMainForm::SelectAll0Click() { RunEditCommand(5); }

} // namespace qf::shell

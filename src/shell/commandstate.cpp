#include "shell/commandstate.h"

namespace qf::shell {

namespace {

using C = TCommand;

void Enable(TCommandStates &R, std::initializer_list<TCommand> Commands, bool On)
{
    for (TCommand Command : Commands)
        R[Command].Enabled = On;
}

// The insert and format commands outside the HTML editor.
void InsertCommandsByPage(TCommandStates &R, const TFrameSnapshot &S)
{
    Enable(R,
           {C::InsertTable, C::Image, C::HorizontalLine, C::Font, C::NumberedList, C::BulletedList,
            C::DecreaseIndent, C::IncreaseIndent},
           S.EditingHtml());
}

} // namespace

void TCommandStates::Merge(const TCommandStates &Later)
{
    for (std::size_t i = 0; i < CommandCount; ++i) {
        if (Later.Items[i].Enabled)
            Items[i].Enabled = Later.Items[i].Enabled;
        if (Later.Items[i].Down)
            Items[i].Down = Later.Items[i].Down;
    }
    if (Later.TitleButtons)
        TitleButtons = Later.TitleButtons;
    if (Later.MailFormat)
        MailFormat = Later.MailFormat;
    if (Later.BlockFormat)
        BlockFormat = Later.BlockFormat;
    if (Later.FontSize)
        FontSize = Later.FontSize;
    if (Later.FontName)
        FontName = Later.FontName;
}

int FindEntry(const QStringList &List, const QString &Text)
{
    for (int i = 0; i < List.size(); ++i)
        if (List[i].compare(Text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TCommandStates UpdateControlsRule(const TFrameSnapshot &S)
{
    TCommandStates R;
    const bool A = S.TableOpen;
    const bool Records = A && !S.TableEmpty;
    Enable(R, {C::Restructure, C::AddRecord, C::CloseTable, C::Descended, C::Reopen}, A);
    Enable(R, {C::EditRecord, C::DeleteRecord, C::Find, C::Start}, Records);
    Enable(R, {C::FindDuplicates, C::Unsort}, A && S.Sorted);
    R.TitleButtons = A;

    if (S.PlainMode) {
        R.MailFormat = 0;
        R.BlockFormat = R.FontSize = R.FontName = TComboState{};
        Enable(R,
               {C::Bold, C::Italic, C::Underline, C::Color, C::AlignLeft, C::Center, C::AlignRight,
                C::NumberedList, C::BulletedList, C::DecreaseIndent, C::IncreaseIndent, C::Details},
               false);
        return R;
    }
    R.MailFormat = 4;
    if (!S.DocumentReady)
        return R;

    const THtmlEditorState &H = S.Html;
    R.BlockFormat = TComboState{true, H.BlockFormat, false};
    R.FontSize = TComboState{true, std::nullopt, true};
    if (!H.FontSize.isNull())
        R.FontSize->Select = QString::number(H.FontSize.toInt());
    R.FontName = TComboState{true, std::nullopt, false};
    if (!H.FontName.isNull())
        R.FontName->Select = H.FontName.toString();
    const std::pair<TCommand, bool> Toggles[] = {
        {C::Bold, H.Bold}, {C::Italic, H.Italic}, {C::Underline, H.Underline}};
    for (const auto &[Command, Down] : Toggles)
        R[Command] = {true, Down};
    R[C::Color].Enabled = true;
    // One group: the first true alignment is down, the others up.
    const bool Left = H.JustifyLeft, Center = !Left && H.JustifyCenter;
    const bool Right = !Left && !Center && H.JustifyRight;
    R[C::AlignLeft] = {true, Left};
    R[C::Center] = {true, Center};
    R[C::AlignRight] = {true, Right};
    R[C::Details].Enabled = true;
    const std::pair<TCommand, bool> Cells[] = {
        {C::InsertCell, H.InsertCell}, {C::InsertCol, H.InsertCol},
        {C::InsertRow, H.InsertRow},   {C::MergeCells, H.MergeCells},
        {C::SplitCell, H.SplitCell},   {C::DeleteCells, H.DeleteCells},
        {C::DeleteCols, H.DeleteCols}, {C::DeleteRows, H.DeleteRows}};
    for (const auto &[Command, On] : Cells)
        R[Command].Enabled = On;
    return R;
}

TCommandStates UpdateEditCommandsRule(const TFrameSnapshot &S)
{
    TCommandStates R;
    if (S.Focus == TFocus::HtmlEditor && S.DocumentReady) {
        const THtmlEditorState &H = S.Html;
        R[C::Cut].Enabled = H.Cut;
        R[C::Copy].Enabled = H.Copy;
        R[C::Paste].Enabled = H.Paste;
        R[C::Undo].Enabled = H.Undo;
        R[C::Redo].Enabled = H.Redo;
        Enable(R,
               {C::SelectAll, C::InsertTable, C::Image, C::HorizontalLine, C::DecreaseIndent,
                C::IncreaseIndent},
               true);
        R[C::Hyperlink].Enabled = H.Hyperlink;
        R[C::Font].Enabled = H.Font;
        R[C::NumberedList] = {true, H.NumberedList};
        R[C::BulletedList] = {true, H.BulletedList};
        return R;
    }

    InsertCommandsByPage(R, S);
    R[C::Hyperlink].Enabled = false;
    bool Text = true, Redo = false;
    switch (S.Focus) {
    case TFocus::PlainEditor:
    case TFocus::SourceEditor: Redo = S.CanRedo; break;
    case TFocus::Subject:
    case TFocus::FilterText:
    case TFocus::CalcExpression: break;
    default: Text = false;
    }
    R[C::Cut].Enabled = R[C::Copy].Enabled = Text && S.Selection;
    R[C::Paste].Enabled = R[C::SelectAll].Enabled = Text;
    R[C::Undo].Enabled = Text && S.CanUndo;
    R[C::Redo].Enabled = Text && Redo;
    return R;
}

TCommandStates DisableFormatCommandsRule(const TFrameSnapshot &S)
{
    TCommandStates R;
    Enable(R, {C::SelectAll, C::Cut, C::Copy, C::Paste, C::Undo, C::Redo, C::Hyperlink}, false);
    InsertCommandsByPage(R, S);
    return R;
}

} // namespace qf::shell

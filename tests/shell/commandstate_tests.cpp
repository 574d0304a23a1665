// The command enabling rule as a table: for each state of the window, the states of every
// command after the refresh the window runs (UpdateControls, then UpdateEditCommands), from a
// start where every command is disabled and up.

#include "shell/commandstate.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace qf::shell;

namespace {

const char *const Names[] = {"Restructure",    "AddRecord",      "EditRecord",     "DeleteRecord",
                             "Find",           "CloseTable",     "FindDuplicates", "Unsort",
                             "Descended",      "Reopen",         "Start",          "Cut",
                             "Copy",           "Paste",          "Undo",           "Redo",
                             "SelectAll",      "InsertTable",    "Image",          "Hyperlink",
                             "HorizontalLine", "Font",           "NumberedList",   "BulletedList",
                             "DecreaseIndent", "IncreaseIndent", "Bold",           "Italic",
                             "Underline",      "Color",          "AlignLeft",      "Center",
                             "AlignRight",     "Details",        "InsertCell",     "InsertCol",
                             "InsertRow",      "MergeCells",     "SplitCell",      "DeleteCells",
                             "DeleteCols",     "DeleteRows"};
static_assert(std::size(Names) == CommandCount);

TCommandStates Start()
{
    TCommandStates S;
    for (TItemState &I : S.Items)
        I = {false, false};
    return S;
}

struct TOutcome {
    QStringList Enabled, Down;
};

TOutcome Outcome(const TCommandStates &S)
{
    TOutcome O;
    for (std::size_t i = 0; i < CommandCount; ++i) {
        if (S.Items[i].Enabled.value_or(false))
            O.Enabled << Names[i];
        if (S.Items[i].Down.value_or(false))
            O.Down << Names[i];
    }
    return O;
}

TCommandStates Refresh(const TFrameSnapshot &Snap, TCommandStates From = Start())
{
    From.Merge(UpdateControlsRule(Snap));
    From.Merge(UpdateEditCommandsRule(Snap));
    return From;
}

QStringList L(std::initializer_list<const char *> Items)
{
    QStringList R;
    for (const char *I : Items)
        R << I;
    return R;
}

const QStringList TableOpen = L({"Restructure", "AddRecord", "CloseTable", "Descended", "Reopen"});
const QStringList Records = L({"EditRecord", "DeleteRecord", "Find", "Start"});
const QStringList InsertAndFormat =
    L({"InsertTable", "Image", "HorizontalLine", "Font", "NumberedList", "BulletedList",
       "DecreaseIndent", "IncreaseIndent"});

QStringList Sorted(QStringList A)
{
    A.sort();
    return A;
}

#define EXPECT_SAME(A, B)                                                                          \
    EXPECT_EQ(Sorted(A).join(' ').toStdString(), Sorted(B).join(' ').toStdString())

// A table open with records, on the Mail page's Edit page in HTML mode, the document ready,
// the caret in the HTML editor inside a table cell with a bold, centred selection.
TFrameSnapshot HtmlEditing()
{
    TFrameSnapshot S;
    S.TableOpen = true;
    S.MailPage = S.EditPage = true;
    S.DocumentReady = true;
    S.Focus = TFocus::HtmlEditor;
    THtmlEditorState &H = S.Html;
    H.Cut = H.Copy = H.Paste = H.Undo = H.Hyperlink = H.Font = true;
    H.NumberedList = true;
    H.BlockFormat = "heading 1";
    H.FontSize = 8;
    H.FontName = "dejavu sans";
    H.Bold = true;
    H.JustifyCenter = H.JustifyRight = true;
    H.InsertRow = H.DeleteRows = true;
    return S;
}

} // namespace

TEST(ShellCommandState, TableCommandsByTableState)
{
    TFrameSnapshot S; // no table, Database page, the grid (or nothing) focused
    TCommandStates R = Refresh(S);
    EXPECT_SAME(Outcome(R).Enabled, QStringList());
    EXPECT_EQ(R.TitleButtons, false);
    EXPECT_EQ(R.MailFormat, 4);
    EXPECT_FALSE(R.BlockFormat || R.FontSize || R.FontName); // not ready: kept

    S.TableOpen = S.TableEmpty = true;
    R = Refresh(S);
    EXPECT_SAME(Outcome(R).Enabled, TableOpen);
    EXPECT_EQ(R.TitleButtons, true);

    S.TableEmpty = false;
    EXPECT_SAME(Outcome(Refresh(S)).Enabled, TableOpen + Records);
    S.Sorted = true;
    EXPECT_SAME(Outcome(Refresh(S)).Enabled, TableOpen + Records + L({"FindDuplicates", "Unsort"}));
    S.TableOpen = false; // a sort left over from a closed table counts for nothing
    EXPECT_SAME(Outcome(Refresh(S)).Enabled, QStringList());
}

TEST(ShellCommandState, HtmlEditorReadyReadsBackItsFormatting)
{
    const TCommandStates R = Refresh(HtmlEditing());
    const TOutcome O = Outcome(R);
    EXPECT_SAME(O.Enabled, TableOpen + Records + InsertAndFormat +
                               L({"Cut", "Copy", "Paste", "Undo", "SelectAll", "Hyperlink", "Bold",
                                  "Italic", "Underline", "Color", "AlignLeft", "Center",
                                  "AlignRight", "Details", "InsertRow", "DeleteRows"}));
    // Only the first true alignment is down.
    EXPECT_SAME(O.Down, L({"NumberedList", "Bold", "Center"}));
    TFrameSnapshot AllThree = HtmlEditing();
    AllThree.Html.JustifyLeft = true;
    EXPECT_SAME(Outcome(Refresh(AllThree)).Down, L({"NumberedList", "Bold", "AlignLeft"}));
    ASSERT_TRUE(R.BlockFormat && R.FontSize && R.FontName);
    EXPECT_TRUE(R.BlockFormat->Enabled);
    EXPECT_EQ(R.BlockFormat->Select, "heading 1");
    EXPECT_EQ(R.FontSize->Select, "8"); // a size the list lacks is appended
    EXPECT_TRUE(R.FontSize->Append);
    EXPECT_EQ(R.FontName->Select, "dejavu sans");
    EXPECT_FALSE(R.FontName->Append);
    EXPECT_EQ(FindEntry({"Normal", "Heading 1"}, "heading 1"), 1);
    EXPECT_EQ(FindEntry({"Normal"}, "Heading 9"), -1);

    // No single size or name in the selection: the boxes keep their entry.
    TFrameSnapshot S = HtmlEditing();
    S.Html.FontSize = S.Html.FontName = QVariant();
    const TCommandStates Mixed = Refresh(S);
    EXPECT_FALSE(Mixed.FontSize->Select || Mixed.FontName->Select);
}

TEST(ShellCommandState, PlainTextModeDisablesTheWholeFormattingBar)
{
    TFrameSnapshot S = HtmlEditing(); // the editor still reports its states
    S.PlainMode = true;
    S.Focus = TFocus::PlainEditor;
    S.Selection = false;
    S.CanUndo = true;
    const TCommandStates R = Refresh(S, Refresh(HtmlEditing()));
    const TOutcome O = Outcome(R);
    EXPECT_EQ(R.MailFormat, 0);
    // The table cells keep their states: only the HTML editor's menu shows them.
    EXPECT_SAME(O.Enabled,
                TableOpen + Records + L({"Paste", "Undo", "SelectAll", "InsertRow", "DeleteRows"}));
    EXPECT_FALSE(R.BlockFormat->Enabled || R.FontSize->Enabled || R.FontName->Enabled);
    EXPECT_FALSE(R.FontSize->Select);
}

TEST(ShellCommandState, DocumentNotReadyKeepsFormattingAndTreatsTheEditorAsAnyControl)
{
    TFrameSnapshot S = HtmlEditing();
    S.DocumentReady = false;
    const TOutcome Fresh = Outcome(Refresh(S));
    EXPECT_SAME(Fresh.Enabled, TableOpen + Records + InsertAndFormat);

    // A document on its way in: what the last ready document set stays.
    const TOutcome Kept = Outcome(Refresh(S, Refresh(HtmlEditing())));
    EXPECT_TRUE(Kept.Enabled.contains("Bold") && Kept.Down.contains("Bold"));
    EXPECT_FALSE(Kept.Enabled.contains("Cut") || Kept.Enabled.contains("Hyperlink"));
}

TEST(ShellCommandState, TextControlsBySelectionUndoAndRedo)
{
    struct TRow {
        TFocus Focus;
        bool Selection, CanUndo, CanRedo;
        QStringList Enabled;
    };
    const TRow Rows[] = {
        {TFocus::Subject, false, false, true, L({"Paste", "SelectAll"})},
        {TFocus::Subject, true, true, true, L({"Cut", "Copy", "Paste", "Undo", "SelectAll"})},
        {TFocus::FilterText, false, true, true, L({"Paste", "Undo", "SelectAll"})},
        {TFocus::CalcExpression, true, false, false, L({"Cut", "Copy", "Paste", "SelectAll"})},
        {TFocus::SourceEditor, true, false, true, L({"Cut", "Copy", "Paste", "Redo", "SelectAll"})},
        {TFocus::PlainEditor, false, true, true, L({"Paste", "Undo", "Redo", "SelectAll"})},
        {TFocus::Other, true, true, true, {}},
    };
    for (const TRow &Row : Rows) {
        TFrameSnapshot S;
        S.Focus = Row.Focus;
        S.Selection = Row.Selection;
        S.CanUndo = Row.CanUndo;
        S.CanRedo = Row.CanRedo;
        EXPECT_SAME(Outcome(Refresh(S)).Enabled, Row.Enabled) << int(Row.Focus);
        // On the Mail page's Edit page in HTML mode the insert commands come along.
        S.MailPage = S.EditPage = true;
        EXPECT_SAME(Outcome(Refresh(S)).Enabled, Row.Enabled + InsertAndFormat) << int(Row.Focus);
    }
}

TEST(ShellCommandState, LeavingAnEditorDisablesClipboardAndKeepsFormatting)
{
    const TCommandStates Before = Refresh(HtmlEditing());
    TFrameSnapshot S = HtmlEditing();
    S.Focus = TFocus::Other; // e.g. the font name box
    TCommandStates After = Before;
    After.Merge(DisableFormatCommandsRule(S));
    const TOutcome O = Outcome(After);
    for (const char *Off : {"Cut", "Copy", "Paste", "Undo", "Redo", "SelectAll", "Hyperlink"})
        EXPECT_FALSE(O.Enabled.contains(Off)) << Off;
    for (const QString &On : InsertAndFormat + L({"Bold", "Details", "InsertRow"}))
        EXPECT_TRUE(O.Enabled.contains(On)) << On.toStdString();
    EXPECT_TRUE(O.Down.contains("NumberedList")); // check marks are not touched

    S.EditPage = false; // the Source page
    After.Merge(DisableFormatCommandsRule(S));
    for (const QString &Off : InsertAndFormat)
        EXPECT_FALSE(Outcome(After).Enabled.contains(Off)) << Off.toStdString();
}

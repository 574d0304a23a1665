#pragma once
// The rule that enables the main window's commands, without a window. The window takes a
// snapshot of what the rule looks at (the table, the pages, the mail format, the HTML
// editor's reported states, the focused editor and its selection) and applies what the
// three refreshes return: UpdateControlsRule, UpdateEditCommandsRule and
// DisableFormatCommandsRule. Each answers only for the items it sets; an item it leaves
// out keeps its state. One entry stands for one command wherever it is placed (menu,
// tool bar, pop-up menu).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstddef>
#include <optional>

namespace qf::shell {

enum class TCommand {
    Restructure,
    AddRecord,
    EditRecord,
    DeleteRecord,
    Find,
    CloseTable,
    FindDuplicates,
    Unsort,
    Descended,
    Reopen,
    Start,
    Cut,
    Copy,
    Paste,
    Undo,
    Redo,
    SelectAll,
    InsertTable,
    Image,
    Hyperlink,
    HorizontalLine,
    Font,
    NumberedList,
    BulletedList,
    DecreaseIndent,
    IncreaseIndent,
    Bold,
    Italic,
    Underline,
    Color,
    AlignLeft,
    Center,
    AlignRight,
    Details,
    InsertCell,
    InsertCol,
    InsertRow,
    MergeCells,
    SplitCell,
    DeleteCells,
    DeleteCols,
    DeleteRows,
    Count
};
inline constexpr std::size_t CommandCount = std::size_t(TCommand::Count);

// The control that has the focus, as far as the rule tells controls apart.
enum class TFocus {
    Other,
    HtmlEditor,
    PlainEditor,
    SourceEditor,
    Subject,
    FilterText,
    CalcExpression
};

// What the HTML editor reports about its selection; read only while its document is ready.
struct THtmlEditorState {
    bool Cut = false, Copy = false, Paste = false, Undo = false, Redo = false;
    bool Hyperlink = false, Font = false;
    bool NumberedList = false, BulletedList = false; // latched
    QString BlockFormat;
    QVariant FontSize, FontName; // null when the document has no single value
    bool Bold = false, Italic = false, Underline = false;
    bool JustifyLeft = false, JustifyCenter = false, JustifyRight = false;
    bool InsertCell = false, InsertCol = false, InsertRow = false, MergeCells = false,
         SplitCell = false, DeleteCells = false, DeleteCols = false, DeleteRows = false;
};

struct TFrameSnapshot {
    bool TableOpen = false;  // A
    bool TableEmpty = false; // E
    bool Sorted = false;     // S
    bool MailPage = false, EditPage = false;
    bool PlainMode = false;                // the "Plain Text" speed item is down
    bool DocumentReady = false;            // D
    TFocus Focus = TFocus::Other;          // F
    bool Selection = false;                // L
    bool CanUndo = false, CanRedo = false; // of the focused control
    THtmlEditorState Html;

    // X: the Mail page's Edit page in HTML mode.
    bool EditingHtml() const { return MailPage && EditPage && !PlainMode; }
};

struct TItemState {
    std::optional<bool> Enabled, Down;
};

// A combo box of the formatting bar: enabled, and the entry to select (an empty text
// selects none); Append adds an entry the list lacks.
struct TComboState {
    bool Enabled = false;
    std::optional<QString> Select;
    bool Append = false;
};

struct TCommandStates {
    std::array<TItemState, CommandCount> Items;
    std::optional<bool> TitleButtons; // the grid's title clicks
    std::optional<int> MailFormat;    // 0 plain text, 4 HTML; its editor in front
    std::optional<TComboState> BlockFormat, FontSize, FontName;

    TItemState &operator[](TCommand C) { return Items[std::size_t(C)]; }
    const TItemState &operator[](TCommand C) const { return Items[std::size_t(C)]; }
    // Later answers win item by item.
    void Merge(const TCommandStates &Later);
};

TCommandStates UpdateControlsRule(const TFrameSnapshot &S);
TCommandStates UpdateEditCommandsRule(const TFrameSnapshot &S);
TCommandStates DisableFormatCommandsRule(const TFrameSnapshot &S);

// The entry of List equal to Text without regard to case, or -1.
int FindEntry(const QStringList &List, const QString &Text);

} // namespace qf::shell

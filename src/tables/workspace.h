#pragma once
// The table workspace: the one open table of the main window. It owns the connection, the
// dataset, the table query's SQL set, the field records and the grid layout file; it opens a
// dBASE or Access table, closes and reopens it, sorts it, and runs the dataset's open and close
// events in their order. It knows no widgets: the window binds the hooks below (the table picker,
// the "Use Filter" state, the grid's column widths, what the window shows and refreshes).

#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/fieldrecords.h"
#include "tables/recordcommands.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qf::tables {

// Editor width in characters of a new field record.
int InitialEditorWidth(TDbfType Kind, const TField &Field);

class TTableWorkspace {
public:
    TTableWorkspace();
    ~TTableWorkspace();
    TTableWorkspace(const TTableWorkspace &) = delete;
    TTableWorkspace &operator=(const TTableWorkspace &) = delete;

    TADOConnection &ADOConnection1() { return *FConnection; }
    TADOQuery &ADOQuery1() { return *FQuery; }
    TDataSource &DataSource1() { return *FDataSource; }
    store::TSQLSet &SQLSet1() { return *FSqlSet; }
    TRecordCommands &RecordCommands() { return *FRecordCommands; }

    // State shared with the window.
    QString DataBaseDir; // folder of the last opened file, with its trailing "/"
    QString TableName;   // empty after a close
    uint8_t SqlQueryMode = 0;
    QString FSortField;
    uint8_t FSorted = 0;
    bool Descended = false; // the tick of Table > "Descended"
    std::vector<TFieldEditInfo> FieldInfo;

    // Hooks the window binds; each may stay unset (tests without a window).
    // Saves the setting "DataBaseDir" whenever it changes here.
    std::function<void(const QString &DataBaseDir)> OnDataBaseDirChanged;
    // Shows the table picker over Names; true with Chosen set when the user selected one.
    std::function<bool(const QStringList &Names, QString &Chosen)> OnSelectTable;
    // The state of the "Use Filter" check box.
    std::function<bool()> UseFilter;
    // Hourglass on and off around long work.
    std::function<void(bool Busy)> OnBusy;
    // The grid's column width in pixels (0 or less when unknown) and setting it.
    std::function<int(int Column)> GetColumnWidth;
    std::function<void(int Column, int Width)> SetColumnWidth;
    // The grid's current column, read and restored by Reopen.
    std::function<int()> GetCurrentColumn;
    std::function<void(int Column)> SetCurrentColumn;
    // What the user should know about a table that opened only in part (a damaged file).
    std::function<void(const QString &Message)> OnWarning;
    // A layout file that could not be written: reported once per file.
    std::function<void(const QString &Message)> OnWriteError;

    // The window's steps of the open and close events, in their order:
    // OnOpening: the grid becomes visible, the To-field list is filled, the caption refreshed.
    // OnFieldRecordsBuilt: the record editor builds its controls over FieldInfo.
    // OnOpened: the grid takes the focus (or the preview is rebuilt).
    // OnClosed: the grid is hidden, lists, caption, commands and editor buttons refreshed;
    // FieldInfo is still whole and is emptied right after (OnFieldRecordsFreed).
    std::function<void()> OnOpening, OnFieldRecordsBuilt, OnOpened, OnClosed, OnFieldRecordsFreed;
    // After the sort or the "Descended" tick changed, and when the commands need refreshing.
    std::function<void()> OnSortChanged, OnRefreshCommands;
    // After Reopen restored the field records (the record editor lays itself out again).
    std::function<void()> OnRelayout;

    // The roads into a table; each raises EDatabaseError when the table cannot be opened.
    void OpenDBFFile(const QString &FileName);
    // False when the user cancelled the picker (the connection is then closed).
    bool OpenAccessFile(const QString &FileName);
    void OpenCurrentTable();
    // Picks the road from the extension, without regard to case; false (nothing changed) for any
    // other extension or a cancelled picker.
    bool OpenFile(const QString &FileName);

    bool Active() const { return FQuery->Active(); }
    void Close() { FQuery->Close(); }
    void Reopen();
    // Every road into a table ends here, once the sort is applied: the current record is the first
    // one the grid shows, where a mailing starts.
    void GoToFirstRecord();

    // Sorting.
    void ApplySort();
    // False when the click does not sort (closed dataset, memo column).
    bool TitleClick(int Column);
    void ToggleDescended();
    void Unsort();

    // The layout file; empty when there is none (SQL result, no table).
    QString GridConfigFile() const;
    void SaveGridConfig();
    void LoadGridConfig();
    void ApplyColumnWidths();

    // The dataset's events.
    void ADOQuery1BeforeOpen();
    void ADOQuery1AfterOpen();
    void ADOQuery1BeforeClose();
    void ADOQuery1AfterClose();

private:
    void SetDataBaseDir(const QString &FileName);
    // What the user should know about the table just opened (a damaged file), once per open.
    void Warn();
    void BuildFieldRecords();
    void Call(const std::function<void()> &Hook)
    {
        if (Hook)
            Hook();
    }
    void Busy(bool Value)
    {
        if (OnBusy)
            OnBusy(Value);
    }
    bool UseFilterState() const { return UseFilter && UseFilter(); }

    std::unique_ptr<TADOConnection> FConnection;
    std::unique_ptr<TADOQuery> FQuery;
    std::unique_ptr<TDataSource> FDataSource;
    std::unique_ptr<store::TSQLSet> FSqlSet;
    QSet<QString> FReportedWriteErrors;
    std::unique_ptr<TRecordCommands> FRecordCommands;
};

} // namespace qf::tables

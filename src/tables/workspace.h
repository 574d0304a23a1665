#pragma once
// The table workspace: the one open table of the main window. It owns the connection, the
// dataset, the table query's SQL set, the field records and the grid layout file, opens a
// dBASE or Access table, closes and reopens it, and runs the dataset's open and close events in
// their order. It knows no widgets: the window binds the hooks below (the table picker, the
// "Use Filter" state, the grid's column widths) and listens to the opened and closed callbacks.

#include "tables/connection.h"
#include "tables/dataset.h"
#include "store/sqlset.h"
#include "tables/fieldrecords.h"
#include "tables/recordcommands.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qf::tables {

class TTableWorkspace {
public:
    TTableWorkspace();
    ~TTableWorkspace();
    TTableWorkspace(const TTableWorkspace &) = delete;
    TTableWorkspace &operator=(const TTableWorkspace &) = delete;

    TADOConnection &ADOConnection1() { return *connection_; }
    TADOQuery &ADOQuery1() { return *query_; }
    TDataSource &DataSource1() { return *dataSource_; }
    TSQLSet &SQLSet1() { return *sqlSet_; }
    TRecordCommands &RecordCommands() { return *recordCommands_; }

    // State shared with the window.
    QString DataBaseDir;   // folder of the last opened file, with its trailing "/"
    QString TableName;     // empty after a close
    uint8_t SqlQueryMode = 0;
    QString FSortField;
    uint8_t FSorted = 0;
    bool Descended = false; // the tick of Table > "Descended"
    std::vector<TFieldEditInfo> FieldInfo;

    // Hooks the window binds.
    // Saves the setting "DataBaseDir" whenever it changes here.
    std::function<void(const QString &DataBaseDir)> OnDataBaseDirChanged;
    // Shows the table picker over Names; true with Chosen set when the user selected one.
    std::function<bool(const QStringList &Names, QString &Chosen)> OnSelectTable;
    // The state of the "Use Filter" check box.
    std::function<bool()> UseFilter;
    // The grid's column width in pixels (-1 when unknown) and setting it.
    std::function<int(int Column)> GetColumnWidth;
    std::function<void(int Column, int Width)> SetColumnWidth;
    // The grid's current column, read and restored by Reopen.
    std::function<int()> GetCurrentColumn;
    std::function<void(int Column)> SetCurrentColumn;
    // A layout file that could not be written: reported once per file.
    std::function<void(const QString &Message)> OnWriteError;

    // After the table opened (field records built, layout file read) and after it closed.
    std::function<void()> OnOpened;
    std::function<void()> OnClosed;
    // After the sort changed (the grid repaints its sorted column).
    std::function<void()> OnSortChanged;

    // The roads into a table; each raises EDatabaseError when the table cannot be opened.
    void OpenDBFFile(const QString &FileName);
    // False when the user cancelled the picker (the connection is then closed).
    bool OpenAccessFile(const QString &FileName);
    void OpenCurrentTable();
    // Picks the road from the extension; false (nothing changed) for any other extension.
    bool OpenFile(const QString &FileName);

    void Close();
    void Reopen();
    bool Active() const;

    // Sorting.
    void ApplySort();
    void TitleClick(int Column);
    void ToggleDescended();
    void Unsort();

    // The layout file.
    QString GridConfigFile() const;
    void SaveGridConfig();
    void LoadGridConfig();
    void ApplyColumnWidths();

private:
    std::unique_ptr<TADOConnection> connection_;
    std::unique_ptr<TADOQuery> query_;
    std::unique_ptr<TDataSource> dataSource_;
    std::unique_ptr<TSQLSet> sqlSet_;
    std::unique_ptr<TRecordCommands> recordCommands_;
};

}  // namespace qf::tables

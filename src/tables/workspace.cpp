#include "tables/workspace.h"

#include "tables/data/tablequery.h"
#include "tables/fieldinfo.h"
#include "tables/gridlayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qf::tables {

int InitialEditorWidth(TDbfType Kind, const TField &Field)
{
    const int Name = int(Field.FieldName().size());
    switch (Kind) {
    case dtN: return std::max(7, Name);
    case dtD: return std::max(9, Name);
    case dtL: return std::max(1, Name + 2);
    case dtM: return std::max(40, Name);
    default: return std::max(Name, std::max(7, std::min(10, Field.Size())));
    }
}

TTableWorkspace::TTableWorkspace()
    : FConnection(std::make_unique<TADOConnection>()),
      FQuery(std::make_unique<TADOQuery>(FConnection.get())),
      FDataSource(std::make_unique<TDataSource>(FQuery.get())),
      FSqlSet(std::make_unique<store::TSQLSet>())
{
    FConnection->LoginPrompt = false;
    FConnection->Mode = cmReadWrite;
    InitTableQuerySet(*FSqlSet);
    FQuery->BeforeOpen = [this](TADOQuery &) { ADOQuery1BeforeOpen(); };
    FQuery->AfterOpen = [this](TADOQuery &) { ADOQuery1AfterOpen(); };
    FQuery->BeforeClose = [this](TADOQuery &) { ADOQuery1BeforeClose(); };
    FQuery->AfterClose = [this](TADOQuery &) { ADOQuery1AfterClose(); };
    FRecordCommands = std::make_unique<TRecordCommands>(*this);
}

TTableWorkspace::~TTableWorkspace()
{
    // The window is gone by now: the dataset closes without calling back into it.
    FQuery->BeforeOpen = FQuery->AfterOpen = FQuery->BeforeClose = FQuery->AfterClose = nullptr;
}

void TTableWorkspace::SetDataBaseDir(const QString &FileName)
{
    QString Dir = QFileInfo(FileName).absolutePath();
    if (!Dir.endsWith(QLatin1Char('/')))
        Dir += QLatin1Char('/');
    DataBaseDir = Dir;
    if (OnDataBaseDirChanged)
        OnDataBaseDirChanged(DataBaseDir);
}

bool TTableWorkspace::OpenFile(const QString &FileName)
{
    const QString Ext = QFileInfo(FileName).suffix().toLower();
    if (Ext == QLatin1String("mdb"))
        return OpenAccessFile(FileName);
    if (Ext == QLatin1String("dbf")) {
        OpenDBFFile(FileName);
        return true;
    }
    return false;
}

void TTableWorkspace::OpenDBFFile(const QString &FileName)
{
    // The open table's layout file is written before the connection changes.
    FQuery->Close();
    SetDataBaseDir(FileName);
    FConnection->Close();
    FConnection->ConnectionString = FormatConnectionString(DataBaseDir, DataBaseDir, kDbaseDriver);
    FConnection->Open();
    TableName = QFileInfo(FileName).fileName();
    OpenCurrentTable();
}

bool TTableWorkspace::OpenAccessFile(const QString &FileName)
{
    FQuery->Close();
    SetDataBaseDir(FileName);
    FConnection->Close();
    FConnection->ConnectionString =
        FormatConnectionString(QFileInfo(FileName).fileName(), DataBaseDir, kAccessDriver);
    FConnection->Open();
    QStringList Names;
    FConnection->GetTableNames(Names, false);
    QString Chosen;
    if (!OnSelectTable || !OnSelectTable(Names, Chosen) || Chosen.isEmpty()) {
        FConnection->Close();
        return false;
    }
    TableName = Chosen;
    OpenCurrentTable();
    return true;
}

void TTableWorkspace::OpenCurrentTable()
{
    // Closing clears the name; the table to open is the one named now.
    const QString Name = TableName;
    FQuery->Close();
    TableName = Name;
    PrepareTableQuery(*FSqlSet, *FQuery, TableName);
    SqlQueryMode = 0;
    // Every road into a table (Open, Save As, Restructure, Create) shows what "Use Filter" says:
    // a mailing counts the records the grid shows.
    FQuery->SetFiltered(UseFilterState());
    FQuery->DisableControls();
    Busy(true);
    try {
        FQuery->Open();
    } catch (...) {
        FQuery->EnableControls();
        Busy(false);
        throw;
    }
    // The grid learns of the new table here, before the widths are applied to its columns.
    FQuery->EnableControls();
    Busy(false);
    Call(OnRefreshCommands);
    ApplyColumnWidths();
    GoToFirstRecord();
    Warn();
}

void TTableWorkspace::Warn()
{
    if (OnWarning && FQuery->Active() && !FQuery->Warning().isEmpty())
        OnWarning(FQuery->Warning());
}

void TTableWorkspace::ADOQuery1BeforeOpen()
{
    // The record filter joins here with its own work.
}

void TTableWorkspace::ADOQuery1AfterOpen()
{
    Call(OnOpening);
    FQuery->DisableControls();
    BuildFieldRecords();
    Call(OnFieldRecordsBuilt);
    FillPickLists(*FQuery, FieldInfo);
    LoadGridConfig();
    FQuery->First();
    FQuery->EnableControls();
    Call(OnOpened);
}

void TTableWorkspace::BuildFieldRecords() { FieldInfo = qf::tables::BuildFieldRecords(*FQuery); }

void TTableWorkspace::ADOQuery1BeforeClose() { SaveGridConfig(); }

void TTableWorkspace::ADOQuery1AfterClose()
{
    FConnection->Close();
    SqlQueryMode = 0;
    TableName.clear();
    FSortField.clear();
    FSorted = 0;
    Descended = false;
    FQuery->SetFiltered(false);
    Call(OnClosed);
    FieldInfo.clear();
    Call(OnFieldRecordsFreed);
}

void TTableWorkspace::Reopen()
{
    struct TSaved {
        uint8_t Template, Autocomplete;
        QStringList PickList;
    };
    std::vector<TSaved> Saved;
    for (const TFieldEditInfo &F : FieldInfo)
        Saved.push_back(
            TSaved{F.Template, F.Autocomplete, HasPickList(F.Kind) ? F.PickList : QStringList()});
    const QString SortField = FSortField;
    const int Column = GetCurrentColumn ? GetCurrentColumn() : -1;
    const bool Descending = Descended;

    FQuery->DisableControls();
    Busy(true);
    const QString Name = TableName;
    try {
        FQuery->SetActive(false);
        FQuery->SetFiltered(UseFilterState());
        TableName = Name;
        FQuery->SetActive(true);
    } catch (...) {
        TableName.clear();
        FQuery->EnableControls();
        Busy(false);
        Call(OnRefreshCommands);
        throw;
    }
    // The grid takes the reopened table before its column and widths are restored.
    FQuery->EnableControls();
    if (FQuery->Active()) {
        for (size_t i = 0; i < Saved.size() && i < FieldInfo.size(); ++i) {
            TFieldEditInfo &F = FieldInfo[i];
            F.Template = Saved[i].Template;
            F.Autocomplete = Saved[i].Autocomplete;
            if (HasPickList(F.Kind))
                F.PickList = Saved[i].PickList;
        }
        FSortField = SortField;
        Descended = Descending;
        if (!FSortField.isEmpty())
            FSorted = 1;
        ApplySort();
        if (Column >= 0 && SetCurrentColumn)
            SetCurrentColumn(Column);
        Call(OnRelayout);
    }
    ApplyColumnWidths();
    GoToFirstRecord();
    Busy(false);
    Call(OnRefreshCommands);
    Warn();
}

void TTableWorkspace::GoToFirstRecord()
{
    if (FQuery->Active() && FQuery->State() == dsBrowse)
        FQuery->First();
}

void TTableWorkspace::ApplySort()
{
    // A sort kept for a field the table no longer has (a layout file from before a change of
    // the table) is dropped rather than failing the open.
    if (FSorted != 0 && !FSortField.isEmpty() && FQuery->Active() &&
        !FQuery->FindField(FSortField)) {
        FSortField.clear();
        FSorted = 0;
    }
    if (FSorted == 0 || FSortField.isEmpty()) {
        // Already in the table's order: putting a million rows in it again is work for nothing.
        if (!FQuery->Sort().isEmpty())
            FQuery->SetSort(QString());
    } else {
        FQuery->SetSort(FSortField +
                        (Descended ? QStringLiteral(" DESC") : QStringLiteral(" ASC")));
    }
    Call(OnSortChanged);
    Call(OnRefreshCommands);
}

bool TTableWorkspace::TitleClick(int Column)
{
    if (!FQuery->Active() || Column < 0 || Column >= FQuery->FieldCount())
        return false;
    const TField &Field = FQuery->Fields(Column);
    if (Field.DataType() == ftMemo)
        return false;
    FSortField = Field.FieldName();
    FSorted = 1;
    ApplySort();
    return true;
}

void TTableWorkspace::ToggleDescended()
{
    Descended = !Descended;
    ApplySort();
}

void TTableWorkspace::Unsort()
{
    FSortField.clear();
    FSorted = 0;
    ApplySort();
}

QString TTableWorkspace::GridConfigFile() const
{
    // An SQL result has no table, and so no layout file of its own.
    if (SqlQueryMode == 1 || TableName.isEmpty())
        return QString();
    const QFileInfo Table(TableName);
    const QString Base = Table.suffix().isEmpty()
                             ? TableName
                             : TableName.left(TableName.size() - Table.suffix().size() - 1);
    return DataBaseDir + Base + QStringLiteral(".cfg");
}

void TTableWorkspace::SaveGridConfig()
{
    const QString FileName = GridConfigFile();
    if (FileName.isEmpty() || !FQuery->Active())
        return;
    if (FSorted == 0)
        FSortField.clear();
    QStringList Names;
    for (size_t i = 0; i < FieldInfo.size(); ++i) {
        Names.append(int(i) < FQuery->FieldCount() ? FQuery->Fields(int(i)).FieldName()
                                                   : QString());
        const int Width = GetColumnWidth ? GetColumnWidth(int(i)) : 0;
        if (Width > 0)
            FieldInfo[i].GridWidth = Width;
    }
    const QByteArray Bytes = WriteGridLayout(FSortField, Descended, Names, FieldInfo);
    // Written whole or not at all: a full disk leaves the previous layout in place.
    QSaveFile File(FileName);
    if (File.open(QIODevice::WriteOnly) && File.write(Bytes) == Bytes.size() && File.commit())
        return;
    if (FReportedWriteErrors.contains(FileName))
        return;
    FReportedWriteErrors.insert(FileName);
    if (OnWriteError)
        OnWriteError(
            QStringLiteral("The grid layout of the table \"%1\" cannot be saved to \"%2\": %3")
                .arg(TableName, QDir::toNativeSeparators(FileName), File.errorString()));
}

void TTableWorkspace::LoadGridConfig()
{
    const QString FileName = GridConfigFile();
    if (FileName.isEmpty())
        return;
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        return;
    // A layout file is small; one much larger than any layout is not ours.
    const QByteArray Bytes = File.read(64 * 1024 * 1024);
    QStringList Names;
    for (int i = 0; i < FQuery->FieldCount(); ++i)
        Names.append(FQuery->Fields(i).FieldName());
    const TGridLayoutHead Head = ReadGridLayout(Bytes, Names, FieldInfo);
    if (Head.HasSort) {
        FSortField = Head.SortField;
        FSorted = FSortField.isEmpty() ? 0 : 1;
        Descended = Head.Descending;
        Call(OnSortChanged);
    }
}

void TTableWorkspace::ApplyColumnWidths()
{
    if (!FQuery->Active() || SqlQueryMode != 0)
        return;
    if (SetColumnWidth)
        for (size_t i = 0; i < FieldInfo.size(); ++i)
            if (FieldInfo[i].GridWidth > 0)
                SetColumnWidth(int(i), FieldInfo[i].GridWidth);
    ApplySort();
}

} // namespace qf::tables

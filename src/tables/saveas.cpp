#include "tables/saveas.h"

#include "tables/data/dbf/dbftable.h"
#include "tables/data/tablefiles.h"
#include "tables/workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qf::tables {

namespace {
// The driver name the Save As road puts into the connection string.
const QString kSaveAsDriver = QStringLiteral("{dBASE Driver (*.dbf)}");

// Forces a file's contents to the disk, so that a rename never puts an empty file in place of a
// good one after a crash.
void SyncFile(const QString &FileName)
{
    QFile File(FileName);
    if (!File.exists())
        return;
    if (!File.open(QIODevice::ReadOnly) || ::fsync(File.handle()) != 0)
        throw EDatabaseError(QStringLiteral("Cannot write \"%1\" to the disk: %2")
                                 .arg(FileName, QString::fromLocal8Bit(std::strerror(errno))));
}

void SyncFolder(const QString &Folder)
{
    const int Handle = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY);
    if (Handle >= 0) {
        ::fsync(Handle);
        ::close(Handle);
    }
}

// The table just written must read back as written before it may replace anything.
void Verify(const QString &FileName, int64_t Records)
{
    const TDbfTable Table(FileName);
    if (Table.FileRowCount() != Records || !Table.Warning().isEmpty())
        throw EDatabaseError(
            QStringLiteral("The new table \"%1\" does not read back as it was written.")
                .arg(FileName));
    const QStringList Files = DbfTableFiles(FileName);
    for (int i = 0; i < 3; ++i)
        SyncFile(Files[i]);
}
} // namespace

TSaveAsFlow::TSaveAsFlow(TTableWorkspace &Workspace) : FWorkspace(Workspace) {}

bool TSaveAsFlow::SaveAs(const QString &ChosenName, std::vector<TFieldDefRec> &FieldDefs,
                         bool CreateMode)
{
    Warning.clear();
    QString Target = ChosenName;
    if (QFileInfo(Target).suffix().isEmpty())
        Target += QStringLiteral(".dbf");
    Target = QFileInfo(Target).absoluteFilePath();
    const QString Folder = QFileInfo(Target).absolutePath();
    const QString Temp = MakeTempTableName(Folder, Target);
    TADOQuery &Query = FWorkspace.ADOQuery1();
    TADOConnection &Connection = FWorkspace.ADOConnection1();

    // The hourglass goes on once the copy options are chosen.
    bool Busy = false;
    const auto SetBusy = [&](bool Value) {
        if (Busy != Value && OnBusy)
            OnBusy(Value);
        Busy = Value;
    };
    const std::function<TCopyOptions()> AskOptions = Copy.OnCopyOptions;
    Copy.OnCopyOptions = [&] {
        const TCopyOptions Options = AskOptions ? AskOptions() : TCopyOptions();
        SetBusy(true);
        return Options;
    };
    try {
        Copy.CopyToDbf(Temp, FieldDefs, Query.Active() ? &Query : nullptr, CreateMode);
        Verify(Temp, Copy.Copied());
    } catch (const EDatabaseError &Error) {
        Copy.OnCopyOptions = AskOptions;
        SetBusy(false);
        RemoveTableFiles(Temp);
        throw EDatabaseError(QStringLiteral("The table \"%1\" could not be written.\n%2")
                                 .arg(Target, Error.Message()));
    } catch (...) {
        Copy.OnCopyOptions = AskOptions;
        SetBusy(false);
        RemoveTableFiles(Temp);
        throw;
    }
    Copy.OnCopyOptions = AskOptions;
    SetBusy(false);
    if (Copy.ProblemCount() > 0 &&
        !(OnConfirmLoss &&
          OnConfirmLoss(Copy.ProblemText() + QStringLiteral("\n\nSave the table anyway?")))) {
        RemoveTableFiles(Temp);
        return false;
    }

    const QString SortField = FWorkspace.FSortField;
    const bool Descended = FWorkspace.Descended;
    // What was open, to go back to when the new table cannot take the target's place.
    const bool WasTable =
        Query.Active() && FWorkspace.SqlQueryMode == 0 && !FWorkspace.TableName.isEmpty();
    const QString PreviousConnection = Connection.ConnectionString;
    const QString PreviousTable = FWorkspace.TableName;
    const QString PreviousDir = FWorkspace.DataBaseDir;
    FWorkspace.Close();

    // The new files take the access rights of the table they replace.
    if (QFileInfo(Target).isFile()) {
        const QStringList New = DbfTableFiles(Temp);
        for (int i = 0; i < 3; ++i)
            if (QFileInfo(New[i]).isFile())
                QFile::setPermissions(New[i], QFile::permissions(Target));
    }
    TTableReplace Replace(Temp, Target);
    try {
        Replace.Commit();
        SyncFolder(Folder);
        FWorkspace.DataBaseDir =
            Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
        if (FWorkspace.OnDataBaseDirChanged)
            FWorkspace.OnDataBaseDirChanged(FWorkspace.DataBaseDir);
        Connection.Close();
        Connection.ConnectionString =
            QStringLiteral("DSN=dBASE Files;") +
            FormatConnectionString(FWorkspace.DataBaseDir, FWorkspace.DataBaseDir, kSaveAsDriver);
        Connection.Open();
        FWorkspace.TableName = QFileInfo(Target).fileName();
        FWorkspace.OpenCurrentTable();
    } catch (const EDatabaseError &Error) {
        FWorkspace.Close();
        Replace.Rollback();
        RemoveTableFiles(Temp);
        if (FWorkspace.DataBaseDir != PreviousDir) {
            FWorkspace.DataBaseDir = PreviousDir;
            if (FWorkspace.OnDataBaseDirChanged)
                FWorkspace.OnDataBaseDirChanged(PreviousDir);
        }
        if (WasTable) {
            try {
                Connection.Close();
                Connection.ConnectionString = PreviousConnection;
                Connection.Open();
                FWorkspace.TableName = PreviousTable;
                FWorkspace.OpenCurrentTable();
            } catch (const EDatabaseError &) {
                // The window stays without a table; the files are as they were.
            }
        }
        throw EDatabaseError(
            QStringLiteral(
                "The table \"%1\" could not be replaced; its files are as they were.\n%2")
                .arg(Target, Error.Message()));
    }
    // The new table is open: only now do the target's previous files go.
    Warning = Replace.Finish();
    if (FWorkspace.Active() && !CreateMode)
        Restore(FieldDefs, SortField, Descended);
    return true;
}

void TSaveAsFlow::Restore(const std::vector<TFieldDefRec> &FieldDefs, const QString &SortField,
                          bool Descended)
{
    FWorkspace.FSortField = SortField;
    FWorkspace.FSorted = SortField.isEmpty() ? 0 : 1;
    FWorkspace.Descended = Descended;
    std::vector<TFieldEditInfo> &Info = FWorkspace.FieldInfo;
    // Matched by position: the new table's fields are the list's, in its order.
    if (FieldDefs.size() == Info.size()) {
        for (size_t i = 0; i < Info.size(); ++i) {
            const TFieldDefRec &Def = FieldDefs[i];
            if (Def.EditWidth > 0)
                Info[i].EditWidth = Def.EditWidth;
            if (Def.GridWidth > 0)
                Info[i].GridWidth = Def.GridWidth;
            if (HasPickList(Info[i].Kind))
                Info[i].PickList = Def.PickList ? *Def.PickList : QStringList();
            Info[i].Template = Def.Template;
            Info[i].Autocomplete = Def.Autocomplete;
        }
        if (FWorkspace.OnRelayout)
            FWorkspace.OnRelayout();
    }
    FWorkspace.ApplyColumnWidths();
    FWorkspace.GoToFirstRecord();
}

} // namespace qf::tables

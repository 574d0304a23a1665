#include "tables/sqlstatement.h"

#include "store/textcodec.h"
#include "tables/data/connection.h"
#include "tables/fieldinfo.h"
#include "tables/workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qf::tables {

TSqlDatabaseKind SqlDatabaseKindOf(const QString &Path)
{
    return QFileInfo(Path).suffix().isEmpty() ? sdDbase : sdAccess;
}

QString SqlConnectionString(TSqlDatabaseKind Kind, const QString &Path)
{
    if (Kind == sdDbase)
        return FormatConnectionString(Path, Path, kDbaseDriver);
    QString Normal = QDir::fromNativeSeparators(Path);
    const int Slash = Normal.lastIndexOf(QLatin1Char('/'));
    return FormatConnectionString(Normal.mid(Slash + 1), Normal.left(Slash + 1), kAccessDriver);
}

QString SqlFileName(const QString &Chosen)
{
    return QFileInfo(Chosen).suffix().isEmpty() ? Chosen + QStringLiteral(".sql") : Chosen;
}

QString ReadSqlFile(const QString &FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        throw EDatabaseError(
            QStringLiteral("The file \"%1\" cannot be read: %2").arg(FileName, File.errorString()));
    const QByteArray Bytes = File.readAll();
    if (File.error() != QFileDevice::NoError)
        throw EDatabaseError(
            QStringLiteral("The file \"%1\" cannot be read: %2").arg(FileName, File.errorString()));
    return store::DecodeUtf8OrCp1252(Bytes);
}

void WriteSqlFile(const QString &FileName, const QString &Text)
{
    // Written beside and then renamed, so a full disk never leaves half a statement behind.
    QSaveFile File(FileName);
    if (!File.open(QIODevice::WriteOnly) || File.write(Text.toUtf8()) < 0 || !File.commit())
        throw EDatabaseError(QStringLiteral("The file \"%1\" cannot be written: %2")
                                 .arg(FileName, File.errorString()));
}

namespace {
// What was open before a statement ran, to go back to when the statement fails.
struct TPreviousOpen {
    explicit TPreviousOpen(TTableWorkspace &Ws)
        : Table(Ws.ADOQuery1().Active() && Ws.SqlQueryMode == 0 && !Ws.TableName.isEmpty()),
          // A result is run again only when that reads and changes nothing.
          Result(Ws.ADOQuery1().Active() && Ws.SqlQueryMode == 1 &&
                 Ws.ADOQuery1().SQL.trimmed().startsWith(QLatin1String("SELECT"),
                                                         Qt::CaseInsensitive)),
          Connection(Ws.ADOConnection1().ConnectionString), TableName(Ws.TableName),
          Sql(Ws.ADOQuery1().SQL), Settings(SaveFieldSettings(Ws.FieldInfo)),
          SortField(Ws.FSortField), Descended(Ws.Descended)
    {}

    void Reopen(TTableWorkspace &Ws, bool UseFilter) const
    {
        if (!Table && !Result)
            return;
        TADOQuery &Query = Ws.ADOQuery1();
        try {
            Query.Close();
            Ws.ADOConnection1().Close();
            Ws.ADOConnection1().ConnectionString = Connection;
            Ws.ADOConnection1().Open();
            if (Table) {
                Ws.TableName = TableName;
                Ws.OpenCurrentTable();
            } else {
                Query.SQL = Sql;
                Query.SetFiltered(UseFilter);
                Ws.SqlQueryMode = 1;
                Query.Open();
            }
        } catch (const EDatabaseError &) {
            // The window stays without a table; the statement's error is the one to show.
            Ws.SqlQueryMode = Query.Active() ? Ws.SqlQueryMode : uint8_t(0);
            return;
        }
        RestoreFieldSettings(Settings, Ws.FieldInfo);
        Ws.FSortField = SortField;
        Ws.Descended = Descended;
        Ws.FSorted = SortField.isEmpty() ? 0 : 1;
        Ws.ApplySort();
        if (Ws.OnRelayout)
            Ws.OnRelayout();
        Ws.ApplyColumnWidths();
        Ws.GoToFirstRecord();
    }

    bool Table, Result;
    QString Connection, TableName, Sql;
    std::vector<TFieldSettings> Settings;
    QString SortField;
    bool Descended;
};
} // namespace

void ExecuteSqlStatement(TTableWorkspace &Workspace, TSqlDatabaseKind Kind, const QString &Path,
                         const QString &Statement, bool UseFilter)
{
    TADOQuery &Query = Workspace.ADOQuery1();
    TADOConnection &Connection = Workspace.ADOConnection1();
    const TPreviousOpen Previous(Workspace);
    Workspace.Close();
    Query.DisableControls();
    try {
        Connection.Close();
        Connection.ConnectionString = SqlConnectionString(Kind, Path);
        Connection.Open();
        Query.SQL = Statement;
        Query.SetFiltered(UseFilter);
        Workspace.SqlQueryMode = 1;
        Query.Open();
    } catch (...) {
        const bool Opened = Query.Active();
        if (!Opened)
            Workspace.SqlQueryMode = 0;
        Query.EnableControls();
        if (!Opened)
            Previous.Reopen(Workspace, UseFilter);
        Workspace.ApplyColumnWidths();
        throw;
    }
    Query.EnableControls();
    Workspace.ApplyColumnWidths();
    Workspace.GoToFirstRecord();
}

} // namespace qf::tables

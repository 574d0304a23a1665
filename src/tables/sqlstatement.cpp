#include "tables/sqlstatement.h"

#include "store/textcodec.h"
#include "tables/data/connection.h"
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

void ExecuteSqlStatement(TTableWorkspace &Workspace, TSqlDatabaseKind Kind, const QString &Path,
                         const QString &Statement, bool UseFilter)
{
    TADOQuery &Query = Workspace.ADOQuery1();
    TADOConnection &Connection = Workspace.ADOConnection1();
    Workspace.Close();
    Connection.Close();
    Connection.ConnectionString = SqlConnectionString(Kind, Path);
    Connection.Open();
    Query.SQL = Statement;
    Query.SetFiltered(UseFilter);
    Workspace.SqlQueryMode = 1;
    Query.DisableControls();
    try {
        Query.Open();
    } catch (...) {
        if (!Query.Active())
            Workspace.SqlQueryMode = 0;
        Query.EnableControls();
        Workspace.ApplyColumnWidths();
        throw;
    }
    Query.EnableControls();
    Workspace.ApplyColumnWidths();
}

} // namespace qf::tables

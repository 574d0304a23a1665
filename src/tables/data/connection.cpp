#include "tables/data/connection.h"

#include "tables/data/dbf/dbftable.h"
#include "tables/data/mdb/mdbdatabase.h"
#include "tables/data/sql/sqlengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace qf::tables {

QString FormatConnectionString(const QString &DBQ, const QString &DefaultDir, const QString &Driver)
{
    return QStringLiteral(
               "Provider=MSDataShape;Extended Properties=\"DBQ=%1;DefaultDir=%2;Driver=%3\"")
        .arg(DBQ, DefaultDir, Driver);
}

QString ConnectionStringValue(const QString &ConnectionString, const QString &Key)
{
    // key=value pairs split at ';' outside double quotes; a quoted value may hold pairs of its own.
    QStringList Parts;
    QString Part;
    bool Quoted = false;
    for (const QChar c : ConnectionString) {
        if (c == QLatin1Char('"'))
            Quoted = !Quoted;
        if (c == QLatin1Char(';') && !Quoted) {
            Parts << Part;
            Part.clear();
        } else {
            Part += c;
        }
    }
    Parts << Part;
    for (const QString &Pair : Parts) {
        const qsizetype Equals = Pair.indexOf(QLatin1Char('='));
        if (Equals < 0)
            continue;
        const QString Name = Pair.left(Equals).trimmed();
        QString Value = Pair.mid(Equals + 1).trimmed();
        const bool WasQuoted = Value.size() >= 2 && Value.startsWith(QLatin1Char('"')) &&
                               Value.endsWith(QLatin1Char('"'));
        if (WasQuoted)
            Value = Value.mid(1, Value.size() - 2);
        if (Name.compare(Key, Qt::CaseInsensitive) == 0)
            return Value;
        if (WasQuoted && Value.contains(QLatin1Char('='))) {
            const QString Inner = ConnectionStringValue(Value, Key);
            if (!Inner.isEmpty())
                return Inner;
        }
    }
    return QString();
}

TADOConnection::TADOConnection() = default;
TADOConnection::~TADOConnection() = default;

namespace {
// The system's reason why a folder cannot be listed, empty when it can.
QString FolderError(const QString &Folder)
{
    DIR *Dir = ::opendir(QFile::encodeName(Folder).constData());
    if (Dir) {
        ::closedir(Dir);
        return QString();
    }
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString WithoutQuotes(QString Name)
{
    Name = Name.trimmed();
    if (Name.size() >= 2 &&
        ((Name.startsWith(QLatin1Char('[')) && Name.endsWith(QLatin1Char(']'))) ||
         (Name.startsWith(QLatin1Char('"')) && Name.endsWith(QLatin1Char('"'))) ||
         (Name.startsWith(QLatin1Char('`')) && Name.endsWith(QLatin1Char('`')))))
        Name = Name.mid(1, Name.size() - 2);
    return Name;
}
} // namespace

void TADOConnection::Open()
{
    if (Connected())
        return;
    const QString Driver = ConnectionStringValue(ConnectionString, QStringLiteral("Driver"));
    const QString DBQ = ConnectionStringValue(ConnectionString, QStringLiteral("DBQ"));
    const QString DefaultDir =
        ConnectionStringValue(ConnectionString, QStringLiteral("DefaultDir"));
    if (Driver.contains(QLatin1String("dBase"), Qt::CaseInsensitive)) {
        QString Folder = DBQ.isEmpty() ? DefaultDir : DBQ;
        Folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (Folder.isEmpty())
            throw EDatabaseError(QStringLiteral("The connection names no folder of dBASE tables."));
        const QString Error = FolderError(Folder);
        if (!Error.isEmpty())
            throw EDatabaseError(
                QStringLiteral("Cannot open the folder \"%1\": %2").arg(Folder, Error));
        FPath = Folder;
        FProvider = prDbase;
        return;
    }
    if (Driver.contains(QLatin1String("Access"), Qt::CaseInsensitive)) {
        QString File = DBQ;
        File.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (File.isEmpty())
            throw EDatabaseError(QStringLiteral("The connection names no Access database."));
        if (QFileInfo(File).isRelative() && !DefaultDir.isEmpty())
            File = QDir(QString(DefaultDir).replace(QLatin1Char('\\'), QLatin1Char('/')))
                       .filePath(File);
        QFile Probe(File);
        if (!Probe.open(QIODevice::ReadOnly))
            throw EDatabaseError(QStringLiteral("Cannot open the database \"%1\": %2")
                                     .arg(File, Probe.errorString()));
        Probe.close();
        FMdb = std::make_unique<TMdbDatabase>(File);
        FPath = File;
        FProvider = prAccess;
        return;
    }
    throw EDatabaseError(
        Driver.isEmpty()
            ? QStringLiteral("The connection string names no driver.")
            : QStringLiteral("The driver %1 is not known to this program.").arg(Driver));
}

void TADOConnection::Close()
{
    FMdb.reset();
    FPath.clear();
    FProvider = prNone;
}

void TADOConnection::GetTableNames(QStringList &List, bool SystemTables)
{
    (void)SystemTables; // system tables are never offered
    List.clear();
    if (!Connected())
        Open();
    if (FProvider == prAccess) {
        List = FMdb->TableNames();
        return;
    }
    const QStringList Files = QDir(FPath).entryList(QDir::Files, QDir::Name);
    for (const QString &File : Files)
        if (File.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive))
            List << File;
}

QString TADOConnection::DbaseTableFile(const QString &TableName) const
{
    if (FProvider != prDbase || TableName.isEmpty() || TableName.contains(QLatin1Char('/')))
        return QString();
    const QDir Folder(FPath);
    QStringList Candidates{TableName};
    if (QFileInfo(TableName).suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) != 0)
        Candidates << TableName + QStringLiteral(".dbf") << TableName + QStringLiteral(".DBF");
    for (const QString &Candidate : Candidates) {
        const QString Path = Folder.filePath(Candidate);
        if (QFileInfo(Path).isFile())
            return Path;
    }
    // Table names in statements ignore case, as the drivers' did.
    const QStringList Files = Folder.entryList(QDir::Files);
    for (const QString &Candidate : Candidates)
        for (const QString &File : Files)
            if (File.compare(Candidate, Qt::CaseInsensitive) == 0)
                return Folder.filePath(File);
    return QString();
}

std::unique_ptr<TTableSource> TADOConnection::Execute(const QString &SQL)
{
    if (!Connected())
        Open();
    static const QRegularExpression SelectAll(
        QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+(.+?)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch Match = SelectAll.match(SQL);
    if (Match.hasMatch()) {
        const QString Name = WithoutQuotes(Match.captured(1));
        if (FProvider == prDbase) {
            const QString File = DbaseTableFile(Name);
            if (!File.isEmpty())
                return std::make_unique<TDbfTable>(File);
            if (!Name.contains(QLatin1Char(' ')))
                throw EDatabaseError(
                    QStringLiteral("There is no table \"%1\" in the folder \"%2\".")
                        .arg(Name, FPath));
        } else {
            for (const QString &Table : FMdb->TableNames())
                if (Table.compare(Name, Qt::CaseInsensitive) == 0)
                    return FMdb->OpenTable(Table);
        }
    }
    return RunSql(SQL);
}

std::unique_ptr<TTableSource> TADOConnection::RunSql(const QString &SQL)
{
    // Fresh table sources for every statement, so that none sees a table as it was before a
    // batch update of the dataset.
    std::unique_ptr<TSqlTables> Tables;
    if (FProvider == prDbase)
        Tables = std::make_unique<TDbfFolderTables>(
            FPath, [](const QString &File) { return std::make_unique<TDbfTable>(File); });
    else
        Tables = OpenSqlTables(TSqlDriver::Access, FPath);
    std::unique_ptr<TTableSource> Result = tables::ExecuteSql(*Tables, SQL);
    // UPDATE, INSERT and DELETE are written at once by the tables' batch update; when that fails
    // the statement has changed nothing that stays.
    if (Tables->HasPendingChanges()) {
        try {
            Tables->ApplyUpdates();
        } catch (...) {
            Tables->CancelUpdates();
            throw;
        }
    }
    return Result;
}

} // namespace qf::tables

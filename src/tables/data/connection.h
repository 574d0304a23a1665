#pragma once
// The connection of the dataset: takes the connection string the workspace builds, and from its
// DBQ, DefaultDir and Driver opens a folder of dBASE tables or an Access database.

#include "tables/data/tablesource.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace qf::tables {

class TMdbDatabase;

inline const QString kDbaseDriver = QStringLiteral("{Microsoft DBase Driver (*.dbf)}");
inline const QString kAccessDriver = QStringLiteral("{Microsoft Access Driver (*.mdb)}");

// "Provider=MSDataShape;Extended Properties="DBQ=...;DefaultDir=...;Driver=..."".
QString FormatConnectionString(const QString &DBQ, const QString &DefaultDir,
                               const QString &Driver);
// The value of Key (DBQ, DefaultDir, Driver, Provider) in a connection string, matched without
// regard to case, looking also inside the quoted Extended Properties; empty when absent.
QString ConnectionStringValue(const QString &ConnectionString, const QString &Key);

enum TConnectMode { cmUnknown, cmRead, cmWrite, cmReadWrite };

class TADOConnection {
public:
    enum TProvider { prNone, prDbase, prAccess };

    TADOConnection();
    ~TADOConnection();
    TADOConnection(const TADOConnection &) = delete;
    TADOConnection &operator=(const TADOConnection &) = delete;

    QString ConnectionString;
    bool LoginPrompt = false;
    TConnectMode Mode = cmReadWrite;

    // Raises EDatabaseError (with the system's message for a folder or file that cannot be read).
    void Open();
    void Close();
    bool Connected() const { return FProvider != prNone; }
    void SetConnected(bool Value) { Value ? Open() : Close(); }

    TProvider Provider() const { return FProvider; }
    // The dBASE folder, or the Access database file.
    const QString &DatabasePath() const { return FPath; }

    // Access: the user's tables without system tables; dBASE: the folder's .dbf files.
    void GetTableNames(QStringList &List, bool SystemTables = false);

    // The rows of a statement. "SELECT * FROM name" opens the table itself (a dBASE table
    // editable); any other statement goes to the SQL engine.
    std::unique_ptr<TTableSource> Execute(const QString &SQL);

    // The file of a dBASE table named as in a statement (name or name.dbf), empty when absent.
    QString DbaseTableFile(const QString &TableName) const;

private:
    std::unique_ptr<TTableSource> RunSql(const QString &SQL);

    TProvider FProvider = prNone;
    QString FPath;
    std::unique_ptr<TMdbDatabase> FMdb;
};

} // namespace qf::tables

#pragma once
// Execute SQL without the dialog: the connection string of the dialog's database choice, the
// .sql files the statements are kept in, and running one statement into the workspace's dataset
// in place of a table. A statement that changes a dBASE folder is written by the connection
// before its (empty) result opens.

#include <QString>

namespace qf::tables {

class TTableWorkspace;

// The dialog's database list: "Microsoft Access Database" and "DBase Directory".
enum TSqlDatabaseKind { sdAccess = 0, sdDbase = 1 };

// A stored path with an extension names an Access database; one without, a dBASE folder.
TSqlDatabaseKind SqlDatabaseKindOf(const QString &Path);

// Access: DBQ the file name, DefaultDir its folder with "/"; dBASE: the path as it stands.
QString SqlConnectionString(TSqlDatabaseKind Kind, const QString &Path);

// The name a statement is saved under: ".sql" added when the chosen name has no extension.
QString SqlFileName(const QString &Chosen);

// UTF-8 files, or Windows-1252 for text that is not valid UTF-8. Throw EDatabaseError with the
// file's name and the reason when the file cannot be read or completely written.
QString ReadSqlFile(const QString &FileName);
void WriteSqlFile(const QString &FileName, const QString &Text);

// Closes the open table (its layout file is written), connects to the database and opens the
// statement's result with SqlQueryMode 1. Throws EDatabaseError; a statement that fails leaves
// the table that was open open again (a SELECT result is run again), else no dataset open.
void ExecuteSqlStatement(TTableWorkspace &Workspace, TSqlDatabaseKind Kind, const QString &Path,
                         const QString &Statement, bool UseFilter);

} // namespace qf::tables

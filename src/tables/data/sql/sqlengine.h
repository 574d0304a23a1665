#pragma once
// SQL statements over the tables of a dBASE folder or an Access database, run by SQLite over
// virtual tables of their table sources.

#include "tables/data/tablesource.h"

#include <QStringList>
#include <functional>
#include <map>
#include <memory>

namespace qf::tables {

// The tables that statements of one connection can name. A table is opened on its first use and
// stays open, so changes that statements make stay pending in its source until ApplyUpdates
// writes them all (the batch update of the dataset).
class TSqlTables {
public:
    virtual ~TSqlTables() = default;

    // The source of a table named in a statement, matched without regard to case; nullptr when
    // there is no such table. Throws EDatabaseError when the table exists but cannot be opened.
    std::shared_ptr<TTableSource> Table(const QString &Name);

    // The extension that a statement may write after a table name ("dbf"), or empty.
    virtual QString TableExtension() const { return QString(); }

    // Over every table opened so far. ApplyUpdates throws EDatabaseError with the first failure.
    bool HasPendingChanges() const;
    void ApplyUpdates();
    void CancelUpdates();

protected:
    // The table's own name for a name written in a statement (a dBASE table's file); empty when
    // there is none. Names that resolve alike share one source, and so one set of pending changes.
    virtual QString Resolve(const QString &Name) const = 0;
    virtual std::shared_ptr<TTableSource> OpenTable(const QString &Resolved) = 0;

private:
    std::map<QString, std::shared_ptr<TTableSource>> FOpened; // by resolved name
};

// The .dbf files of a folder; a table is named by its file name, with or without ".dbf".
// Opener opens one file as a (writable) source; by default the dBASE reader of this layer.
class TDbfFolderTables : public TSqlTables {
public:
    using TOpener = std::function<std::unique_ptr<TTableSource>(const QString &FileName)>;
    explicit TDbfFolderTables(const QString &Folder, TOpener Opener = TOpener());
    QString TableExtension() const override { return QStringLiteral("dbf"); }

protected:
    QString Resolve(const QString &Name) const override;
    std::shared_ptr<TTableSource> OpenTable(const QString &Resolved) override;

private:
    QString FFolder;
    TOpener FOpener;
};

class TMdbDatabase;

// The user tables of an Access database, read-only.
class TMdbTables : public TSqlTables {
public:
    explicit TMdbTables(const QString &FileName); // throws EDatabaseError
    // Over a database the caller keeps open for as long as this lives.
    explicit TMdbTables(TMdbDatabase &Database);
    ~TMdbTables() override;
    QStringList TableNames() const;

protected:
    QString Resolve(const QString &Name) const override;
    std::shared_ptr<TTableSource> OpenTable(const QString &Resolved) override;

private:
    std::unique_ptr<TMdbDatabase> FOwned;
    TMdbDatabase *FDatabase;
};

enum class TSqlDriver { DBase, Access };

// Path is the folder for DBase and the .mdb file for Access. Throws EDatabaseError.
std::unique_ptr<TSqlTables> OpenSqlTables(TSqlDriver Driver, const QString &Path);

// Runs one statement (a trailing ";" is allowed) and returns its result: the rows of a SELECT,
// in memory and read-only, or an empty table without fields for UPDATE, INSERT and DELETE.
//
// - SELECT may use WHERE, ORDER BY, GROUP BY, JOIN and everything else of SQLite's dialect.
//   Text and memo fields are SQL text, numbers integers or reals, logicals 0 and 1, dates text
//   'YYYY-MM-DD' and date-times 'YYYY-MM-DD HH:MM:SS' (so they compare and sort in date order).
//   Each table's row id (rowid) is the source's stable row id. Result fields that come straight
//   from a table keep its field's type, size and decimals; computed ones take their type from
//   their values (text over 254 characters is a memo).
// - UPDATE, INSERT and DELETE go through the sources' SetValue, AppendRow and DeleteRow, so they
//   stay pending until Tables.ApplyUpdates(). A statement that fails leaves no change behind.
//   An Access table refuses them with its read-only message before anything changes.
// - Statements that would create, drop or attach anything are refused.
// - A failing statement throws EDatabaseError with SQLite's message (or the source's).
std::unique_ptr<TTableSource> ExecuteSql(TSqlTables &Tables, const QString &SqlText);

} // namespace qf::tables

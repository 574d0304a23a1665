#include "tables/data/sql/sqlengine.h"

#include "tables/data/dbf/dbftable.h"
#include "tables/data/mdb/mdbdatabase.h"
#include "tables/data/sql/memorytable.h"
#include "tables/data/sql/sqlvalues.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <sqlite3.h>
#include <unordered_map>

namespace qf::tables {

// ---------------------------------------------------------------------------------------------
// Tables of a connection

std::shared_ptr<TTableSource> TSqlTables::Table(const QString &Name)
{
    const QString Resolved = Resolve(Name);
    if (Resolved.isEmpty())
        return nullptr;
    auto It = FOpened.find(Resolved);
    if (It != FOpened.end())
        return It->second;
    std::shared_ptr<TTableSource> Source = OpenTable(Resolved);
    if (Source)
        FOpened.emplace(Resolved, Source);
    return Source;
}

bool TSqlTables::HasPendingChanges() const
{
    return std::any_of(FOpened.begin(), FOpened.end(),
                       [](const auto &Entry) { return Entry.second->HasPendingChanges(); });
}

void TSqlTables::ApplyUpdates()
{
    for (auto &Entry : FOpened)
        if (Entry.second->HasPendingChanges())
            Entry.second->ApplyUpdates();
}

void TSqlTables::CancelUpdates()
{
    for (auto &Entry : FOpened)
        Entry.second->CancelUpdates();
}

TDbfFolderTables::TDbfFolderTables(const QString &Folder, TOpener Opener)
    : FFolder(Folder), FOpener(std::move(Opener))
{
    if (!FOpener)
        FOpener = [](const QString &FileName) { return std::make_unique<TDbfTable>(FileName); };
    // The system's reason when the folder cannot be listed.
    DIR *Listing = opendir(QFile::encodeName(Folder).constData());
    if (!Listing)
        throw EDatabaseError(QStringLiteral("Cannot open the folder \"%1\": %2")
                                 .arg(Folder, QString::fromLocal8Bit(std::strerror(errno))));
    closedir(Listing);
}

QString TDbfFolderTables::Resolve(const QString &Name) const
{
    // The name as written, else with ".dbf"; an exact spelling first, then without regard to case
    // (file names are case-sensitive here, table names in statements are not).
    const QStringList Files = QDir(FFolder).entryList(QDir::Files | QDir::Readable | QDir::Hidden);
    for (const Qt::CaseSensitivity Case : {Qt::CaseSensitive, Qt::CaseInsensitive})
        for (const QString &File : Files)
            if (File.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive) &&
                (File.compare(Name, Case) == 0 || File.chopped(4).compare(Name, Case) == 0))
                return QDir(FFolder).filePath(File);
    return QString();
}

std::shared_ptr<TTableSource> TDbfFolderTables::OpenTable(const QString &Resolved)
{
    return std::shared_ptr<TTableSource>(FOpener(Resolved));
}

TMdbTables::TMdbTables(const QString &FileName)
    : FOwned(std::make_unique<TMdbDatabase>(FileName)), FDatabase(FOwned.get())
{}

TMdbTables::TMdbTables(TMdbDatabase &Database) : FDatabase(&Database) {}

TMdbTables::~TMdbTables() = default;

QStringList TMdbTables::TableNames() const { return FDatabase->TableNames(); }

QString TMdbTables::Resolve(const QString &Name) const
{
    for (const QString &Table : FDatabase->TableNames())
        if (Table.compare(Name, Qt::CaseInsensitive) == 0)
            return Table;
    return QString();
}

std::shared_ptr<TTableSource> TMdbTables::OpenTable(const QString &Resolved)
{
    return std::shared_ptr<TTableSource>(FDatabase->OpenTable(Resolved));
}

// ---------------------------------------------------------------------------------------------
// Virtual tables over table sources

namespace {

struct TConnection;

// The changes of the running statement, undone when it fails.
struct TUndo {
    enum { Set, Append } Kind;
    int64_t Row;
    int Field;
    QVariant Old;
};

struct TVTab : sqlite3_vtab {
    TConnection *Connection = nullptr;
    std::shared_ptr<TTableSource> Source;
    QString Name;
    // Per field, built on the first equality lookup: key -> rows in ascending order.
    std::vector<std::unique_ptr<std::unordered_map<std::string, std::vector<int64_t>>>> Indexes;
    std::vector<TUndo> Undo;
    std::vector<int64_t> Deletes; // carried out when the statement commits

    void DropIndexes()
    {
        for (auto &Index : Indexes)
            Index.reset();
    }
};

struct TCursor : sqlite3_vtab_cursor {
    // Either every row below End, or the listed rows (a copy: a write drops the indexes).
    int64_t Pos = 0;
    int64_t End = 0;
    bool Listed = false;
    std::vector<int64_t> List;
    size_t ListPos = 0;

    TVTab *Tab() const { return static_cast<TVTab *>(pVtab); }
    int64_t Row() const { return Listed ? List[ListPos] : Pos; }
    bool Eof() const { return Listed ? ListPos >= List.size() : Pos >= End; }
};

struct TConnection {
    TSqlTables *Tables = nullptr;
    bool Internal = false; // our own CREATE VIRTUAL TABLE is running
};

constexpr int PlanScan = 0;
constexpr int PlanRowid = 1;
constexpr int PlanColumn = 2; // + the field index

void SetError(sqlite3_vtab *Tab, const QString &Message)
{
    sqlite3_free(Tab->zErrMsg);
    Tab->zErrMsg = sqlite3_mprintf("%s", Message.toUtf8().constData());
}

// Runs Work and turns an exception into the table's error message.
template <typename TWork>
int Guarded(sqlite3_vtab *Tab, TWork Work)
{
    try {
        return Work();
    } catch (const std::exception &E) {
        SetError(Tab, QString::fromUtf8(E.what()));
        return SQLITE_ERROR;
    }
}

QString QuoteIdentifier(const QString &Name)
{
    QString Quoted = Name;
    Quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + Quoted + QLatin1Char('"');
}

int Connect(sqlite3 *Db, void *Aux, int Argc, const char *const *Argv, sqlite3_vtab **Out,
            char **Error)
{
    auto *Connection = static_cast<TConnection *>(Aux);
    if (Argc < 3) {
        *Error = sqlite3_mprintf("missing table name");
        return SQLITE_ERROR;
    }
    const QString Name = QString::fromUtf8(Argv[2]);
    try {
        std::shared_ptr<TTableSource> Source = Connection->Tables->Table(Name);
        if (!Source) {
            *Error = sqlite3_mprintf("no such table: %s", Argv[2]);
            return SQLITE_ERROR;
        }
        QStringList Columns;
        for (const TSourceField &Field : Source->Fields())
            Columns.append(QuoteIdentifier(Field.Name) + QLatin1Char(' ') + SqlDeclaredType(Field));
        const QByteArray Schema =
            QStringLiteral("CREATE TABLE x(%1)").arg(Columns.join(QLatin1String(", "))).toUtf8();
        const int Rc = sqlite3_declare_vtab(Db, Schema.constData());
        if (Rc != SQLITE_OK) {
            *Error = sqlite3_mprintf("the fields of table %s cannot be used in SQL: %s", Argv[2],
                                     sqlite3_errmsg(Db));
            return Rc;
        }
        auto *Tab = new TVTab;
        Tab->Connection = Connection;
        Tab->Source = std::move(Source);
        Tab->Name = Name;
        Tab->Indexes.resize(Tab->Source->Fields().size());
        *Out = Tab;
        return SQLITE_OK;
    } catch (const std::exception &E) {
        *Error = sqlite3_mprintf("%s", E.what());
        return SQLITE_ERROR;
    }
}

int Disconnect(sqlite3_vtab *Tab)
{
    delete static_cast<TVTab *>(Tab);
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab *VTab, sqlite3_index_info *Info)
{
    auto *Tab = static_cast<TVTab *>(VTab);
    const double Rows = static_cast<double>(std::max<int64_t>(Tab->Source->RowCount(), 1));
    int Rowid = -1, Column = -1;
    for (int I = 0; I < Info->nConstraint; ++I) {
        const auto &C = Info->aConstraint[I];
        if (!C.usable || C.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (C.iColumn < 0) {
            Rowid = I;
        } else if (Column < 0 && C.iColumn < static_cast<int>(Tab->Indexes.size())) {
            // The lookup compares bytes; other collations are left to SQLite.
            const char *Collation = sqlite3_vtab_collation(Info, I);
            if (!Collation || sqlite3_stricmp(Collation, "BINARY") == 0)
                Column = I;
        }
    }
    if (Rowid >= 0) {
        Info->idxNum = PlanRowid;
        Info->aConstraintUsage[Rowid].argvIndex = 1;
        Info->aConstraintUsage[Rowid].omit = 1;
        Info->estimatedCost = 1;
        Info->estimatedRows = 1;
        Info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    } else if (Column >= 0) {
        // SQLite checks the constraint again on every row, so the lookup may return a few extra.
        Info->idxNum = PlanColumn + Info->aConstraint[Column].iColumn;
        Info->aConstraintUsage[Column].argvIndex = 1;
        Info->estimatedCost = 10 + std::log2(Rows);
        Info->estimatedRows = 10;
    } else {
        Info->idxNum = PlanScan;
        Info->estimatedCost = Rows + 10;
        Info->estimatedRows = static_cast<sqlite3_int64>(Rows);
    }
    return SQLITE_OK;
}

int Open(sqlite3_vtab *, sqlite3_vtab_cursor **Out)
{
    *Out = new TCursor;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor *Cursor)
{
    delete static_cast<TCursor *>(Cursor);
    return SQLITE_OK;
}

void SkipDeleted(TCursor *C)
{
    const TTableSource &Source = *C->Tab()->Source;
    if (C->Listed) {
        while (C->ListPos < C->List.size() && Source.IsDeleted(C->List[C->ListPos]))
            ++C->ListPos;
    } else {
        while (C->Pos < C->End && Source.IsDeleted(C->Pos))
            ++C->Pos;
    }
}

std::vector<int64_t> Lookup(TVTab *Tab, int Field, const std::string &Key)
{
    auto &Index = Tab->Indexes[Field];
    if (!Index) {
        Index = std::make_unique<std::unordered_map<std::string, std::vector<int64_t>>>();
        const TTableSource &Source = *Tab->Source;
        TSqlCell Cell;
        std::string CellKey;
        for (int64_t Row = 0, Rows = Source.RowCount(); Row < Rows; ++Row) {
            if (Source.IsDeleted(Row))
                continue;
            ToSqlCell(Source.Value(Row, Field), Cell);
            if (LookupKey(Cell, CellKey))
                (*Index)[CellKey].push_back(Row);
        }
    }
    auto It = Index->find(Key);
    return It == Index->end() ? std::vector<int64_t>() : It->second;
}

int Filter(sqlite3_vtab_cursor *Cursor, int IdxNum, const char *, int Argc, sqlite3_value **Argv)
{
    auto *C = static_cast<TCursor *>(Cursor);
    TVTab *Tab = C->Tab();
    C->Listed = false;
    C->List.clear();
    C->ListPos = 0;
    C->Pos = 0;
    // Rows appended by the running statement are not seen again by it.
    C->End = Tab->Source->RowCount();
    return Guarded(Tab, [&] {
        if (IdxNum == PlanRowid && Argc == 1) {
            C->Listed = true;
            sqlite3_value *Arg = Argv[0];
            const int Type = sqlite3_value_numeric_type(Arg);
            const double Number = sqlite3_value_double(Arg);
            if ((Type == SQLITE_INTEGER || Type == SQLITE_FLOAT) && Number == std::floor(Number)) {
                const int64_t Row = sqlite3_value_int64(Arg);
                if (Row >= 0 && Row < C->End)
                    C->List.push_back(Row);
            }
        } else if (IdxNum >= PlanColumn && Argc == 1) {
            const int Field = IdxNum - PlanColumn;
            TSqlCell Cell;
            std::string Key;
            // A value of another kind scans: SQLite compares the two by its own rules. NULL
            // equals nothing.
            if (FromSqlArgument(Argv[0], Tab->Source->Fields()[Field].DataType, Cell)) {
                C->Listed = true;
                if (LookupKey(Cell, Key))
                    C->List = Lookup(Tab, Field, Key);
            }
        }
        SkipDeleted(C);
        return SQLITE_OK;
    });
}

int Next(sqlite3_vtab_cursor *Cursor)
{
    auto *C = static_cast<TCursor *>(Cursor);
    if (C->Listed)
        ++C->ListPos;
    else
        ++C->Pos;
    SkipDeleted(C);
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor *Cursor) { return static_cast<TCursor *>(Cursor)->Eof(); }

int Column(sqlite3_vtab_cursor *Cursor, sqlite3_context *Context, int Field)
{
    auto *C = static_cast<TCursor *>(Cursor);
    // An UPDATE asks for the fields it leaves alone only to hand them back.
    if (sqlite3_vtab_nochange(Context))
        return SQLITE_OK;
    try {
        const TTableSource &Source = *C->Tab()->Source;
        TSqlCell Cell;
        ToSqlCell(Source.Value(C->Row(), Field), Cell);
        ResultCell(Context, Cell);
        return SQLITE_OK;
    } catch (const std::exception &E) {
        sqlite3_result_error(Context, E.what(), -1);
        return SQLITE_ERROR;
    }
}

int Rowid(sqlite3_vtab_cursor *Cursor, sqlite3_int64 *Out)
{
    *Out = static_cast<TCursor *>(Cursor)->Row();
    return SQLITE_OK;
}

int Update(sqlite3_vtab *VTab, int Argc, sqlite3_value **Argv, sqlite3_int64 *OutRowid)
{
    auto *Tab = static_cast<TVTab *>(VTab);
    TTableSource &Source = *Tab->Source;
    return Guarded(VTab, [&] {
        if (Source.ReadOnly())
            throw EDatabaseError(Source.ReadOnlyReason());
        const auto &Fields = Source.Fields();
        auto RowOf = [&](sqlite3_value *Value) {
            const int64_t Row = sqlite3_value_int64(Value);
            if (Row < 0 || Row >= Source.RowCount() || Source.IsDeleted(Row))
                throw EDatabaseError(QStringLiteral("Record %1 of table %2 does not exist.")
                                         .arg(Row)
                                         .arg(Tab->Name));
            return Row;
        };
        if (Argc == 1) {
            Tab->Deletes.push_back(RowOf(Argv[0]));
            return SQLITE_OK;
        }
        // Convert every value first, so a bad one stops the row before any field changes.
        const int Count = std::min<int>(Argc - 2, static_cast<int>(Fields.size()));
        std::vector<QVariant> Values(Count);
        std::vector<bool> Changed(Count, false);
        for (int I = 0; I < Count; ++I) {
            if (sqlite3_value_nochange(Argv[2 + I]))
                continue;
            Values[I] = FromSqlValue(Argv[2 + I], Fields[I]);
            Changed[I] = true;
        }
        Tab->DropIndexes();
        if (sqlite3_value_type(Argv[0]) == SQLITE_NULL) {
            if (sqlite3_value_type(Argv[1]) != SQLITE_NULL)
                throw EDatabaseError(QStringLiteral("The rowid of a new record cannot be chosen."));
            const int64_t Row = Source.AppendRow();
            Tab->Undo.push_back({TUndo::Append, Row, -1, QVariant()});
            for (int I = 0; I < Count; ++I)
                if (Changed[I] && Values[I].isValid())
                    Source.SetValue(Row, I, Values[I]);
            *OutRowid = Row;
            return SQLITE_OK;
        }
        const int64_t Row = RowOf(Argv[0]);
        if (sqlite3_value_int64(Argv[1]) != Row)
            throw EDatabaseError(QStringLiteral("The rowid of a record cannot be changed."));
        for (int I = 0; I < Count; ++I) {
            if (!Changed[I])
                continue;
            const QVariant Old = Source.Value(Row, I);
            if (Old == Values[I] && Old.isValid() == Values[I].isValid())
                continue;
            Source.SetValue(Row, I, Values[I]);
            Tab->Undo.push_back({TUndo::Set, Row, I, Old});
        }
        return SQLITE_OK;
    });
}

// A statement starts with, and a committed one leaves, nothing to undo.
int ForgetChanges(sqlite3_vtab *VTab)
{
    auto *Tab = static_cast<TVTab *>(VTab);
    Tab->Undo.clear();
    Tab->Deletes.clear();
    return SQLITE_OK;
}

// Deletions wait until here: the source cannot take one back.
int Sync(sqlite3_vtab *VTab)
{
    auto *Tab = static_cast<TVTab *>(VTab);
    return Guarded(VTab, [&] {
        for (int64_t Row : Tab->Deletes)
            if (!Tab->Source->IsDeleted(Row))
                Tab->Source->DeleteRow(Row);
        Tab->Deletes.clear();
        Tab->DropIndexes();
        return SQLITE_OK;
    });
}

int Rollback(sqlite3_vtab *VTab)
{
    auto *Tab = static_cast<TVTab *>(VTab);
    TTableSource &Source = *Tab->Source;
    for (auto It = Tab->Undo.rbegin(); It != Tab->Undo.rend(); ++It) {
        try {
            if (It->Kind == TUndo::Set)
                Source.SetValue(It->Row, It->Field, It->Old);
            else
                Source.DeleteRow(It->Row);
        } catch (const std::exception &) {
            // Put back what can be put back.
        }
    }
    Tab->Undo.clear();
    Tab->Deletes.clear();
    Tab->DropIndexes();
    return SQLITE_OK;
}

sqlite3_module MakeModule()
{
    sqlite3_module Module;
    std::memset(&Module, 0, sizeof Module);
    Module.iVersion = 1;
    Module.xCreate = Connect;
    Module.xConnect = Connect;
    Module.xBestIndex = BestIndex;
    Module.xDisconnect = Disconnect;
    Module.xDestroy = Disconnect;
    Module.xOpen = Open;
    Module.xClose = Close;
    Module.xFilter = Filter;
    Module.xNext = Next;
    Module.xEof = Eof;
    Module.xColumn = Column;
    Module.xRowid = Rowid;
    Module.xUpdate = Update;
    Module.xBegin = ForgetChanges;
    Module.xSync = Sync;
    Module.xCommit = ForgetChanges;
    Module.xRollback = Rollback;
    return Module;
}

const sqlite3_module SourceModule = MakeModule();

// Only statements that read or change rows; nothing may create, drop or attach (files included).
int Authorize(void *Aux, int Action, const char *, const char *, const char *, const char *)
{
    if (static_cast<TConnection *>(Aux)->Internal)
        return SQLITE_OK;
    switch (Action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    default: return SQLITE_DENY;
    }
}

class TDatabase {
public:
    explicit TDatabase(TSqlTables &Tables)
    {
        FConnection.Tables = &Tables;
        if (sqlite3_open_v2(":memory:", &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            throw EDatabaseError(QStringLiteral("The SQL engine cannot start: %1")
                                     .arg(QString::fromUtf8(sqlite3_errmsg(FDb))));
        sqlite3_extended_result_codes(FDb, 0);
        sqlite3_create_module_v2(FDb, "qf_table", &SourceModule, &FConnection, nullptr);
        sqlite3_set_authorizer(FDb, Authorize, &FConnection);
    }
    ~TDatabase() { sqlite3_close_v2(FDb); }
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    sqlite3 *Db() const { return FDb; }

    // Makes the table that an error names, when the connection has one by that name.
    bool CreateMissingTable(const QString &Error)
    {
        static const QRegularExpression Missing(
            QStringLiteral("^no such table: (?:main\\.)?(.+)$"));
        const QRegularExpressionMatch Match = Missing.match(Error);
        if (!Match.hasMatch())
            return false;
        const QString Name = Match.captured(1);
        if (FCreated.contains(Name.toUpper()) || !FConnection.Tables->Table(Name))
            return false;
        FCreated.append(Name.toUpper());
        const QByteArray Sql = QStringLiteral("CREATE VIRTUAL TABLE %1 USING qf_table")
                                   .arg(QuoteIdentifier(Name))
                                   .toUtf8();
        FConnection.Internal = true;
        char *Message = nullptr;
        const int Rc = sqlite3_exec(FDb, Sql.constData(), nullptr, nullptr, &Message);
        FConnection.Internal = false;
        if (Rc != SQLITE_OK) {
            const QString Text = QString::fromUtf8(Message ? Message : sqlite3_errmsg(FDb));
            sqlite3_free(Message);
            throw EDatabaseError(Text);
        }
        return true;
    }

private:
    sqlite3 *FDb = nullptr;
    TConnection FConnection;
    QStringList FCreated;
};

struct TStatement {
    sqlite3_stmt *Stmt = nullptr;
    ~TStatement() { sqlite3_finalize(Stmt); }
};

std::unique_ptr<TTableSource> ReadResult(TDatabase &Database, sqlite3_stmt *Stmt)
{
    const int Columns = sqlite3_column_count(Stmt);
    std::vector<TSourceField> Fields(Columns);
    std::vector<bool> Declared(Columns, false);
    for (int I = 0; I < Columns; ++I) {
        Fields[I].Name = QString::fromUtf8(sqlite3_column_name(Stmt, I));
        Declared[I] =
            FieldFromDeclaredType(QString::fromUtf8(sqlite3_column_decltype(Stmt, I)), Fields[I]);
    }
    auto Result = std::make_unique<TMemoryTable>(
        std::move(Fields), QStringLiteral("The result of an SQL statement is read-only."));
    for (;;) {
        const int Rc = sqlite3_step(Stmt);
        if (Rc == SQLITE_DONE)
            break;
        if (Rc != SQLITE_ROW)
            throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(Database.Db())));
        if (Columns == 0)
            continue;
        Result->BeginRow();
        for (int I = 0; I < Columns; ++I) {
            switch (sqlite3_column_type(Stmt, I)) {
            case SQLITE_INTEGER: Result->AddInt(sqlite3_column_int64(Stmt, I)); break;
            case SQLITE_FLOAT: Result->AddDouble(sqlite3_column_double(Stmt, I)); break;
            case SQLITE_TEXT: {
                const auto *Text = reinterpret_cast<const char *>(sqlite3_column_text(Stmt, I));
                Result->AddText(Text, static_cast<size_t>(sqlite3_column_bytes(Stmt, I)));
                break;
            }
            case SQLITE_BLOB:
                Result->AddBlob(sqlite3_column_blob(Stmt, I),
                                static_cast<size_t>(sqlite3_column_bytes(Stmt, I)));
                break;
            default: Result->AddNull(); break;
            }
        }
    }
    for (int I = 0; I < Columns; ++I)
        if (!Declared[I])
            InferField(*Result, I);
    return Result;
}

} // namespace

std::unique_ptr<TSqlTables> OpenSqlTables(TSqlDriver Driver, const QString &Path)
{
    if (Driver == TSqlDriver::Access)
        return std::make_unique<TMdbTables>(Path);
    return std::make_unique<TDbfFolderTables>(Path);
}

std::unique_ptr<TTableSource> ExecuteSql(TSqlTables &Tables, const QString &SqlText)
{
    TDatabase Database(Tables);
    const QByteArray Sql = StripTableExtension(SqlText, Tables.TableExtension()).toUtf8();
    TStatement Statement;
    const char *Tail = nullptr;
    // Tables come into the engine as statements name them.
    for (;;) {
        const int Rc = sqlite3_prepare_v2(Database.Db(), Sql.constData(),
                                          static_cast<int>(Sql.size()), &Statement.Stmt, &Tail);
        if (Rc == SQLITE_OK)
            break;
        const QString Error = QString::fromUtf8(sqlite3_errmsg(Database.Db()));
        if (!Database.CreateMissingTable(Error))
            throw EDatabaseError(Error);
    }
    if (!Statement.Stmt)
        throw EDatabaseError(QStringLiteral("The SQL text holds no statement."));
    TStatement Rest;
    const char *End = Sql.constData() + Sql.size();
    if (Tail && Tail < End &&
        (sqlite3_prepare_v2(Database.Db(), Tail, static_cast<int>(End - Tail), &Rest.Stmt,
                            nullptr) != SQLITE_OK ||
         Rest.Stmt))
        throw EDatabaseError(QStringLiteral("Only one SQL statement can be run at a time."));
    return ReadResult(Database, Statement.Stmt);
}

} // namespace qf::tables

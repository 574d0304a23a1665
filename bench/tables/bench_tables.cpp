// Times the dataset layer on a generated 1,000,000-record dBASE table (C, N, D, L and M fields,
// every fourth record with a memo, some of them over 512 bytes) and sets each figure beside
// python3-dbfread reading the same table and SQLite running the same work over the same rows
// imported into an in-memory database. Usage: bench_tables [folder [records]]; the table is
// generated in the folder (default: a temporary one) unless it is already there; the dataset's
// edits go into a copy, so the folder's table is left as it was found.

#include "benchsqlite.h"
#include "benchtables.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/dbf/dbfwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <random>
#include <sqlite3.h>

using namespace qf::bench;
using namespace qf::tables;

namespace {

struct TRow {
    const char *Work;
    double Ours = 0;
    double Dbfread = -1;
    double Sqlite = -1;
};

// SQLite over the same rows in memory.
class TSqlite {
public:
    TSqlite()
    {
        sqlite3_open(":memory:", &FDb);
        Exec("CREATE TABLE t(NAME TEXT, STREET TEXT, CITY TEXT, AMOUNT REAL, DUE TEXT, PAID "
             "INTEGER, NOTE TEXT)");
    }
    ~TSqlite() { sqlite3_close(FDb); }
    void Exec(const char *Sql)
    {
        char *Error = nullptr;
        if (sqlite3_exec(FDb, Sql, nullptr, nullptr, &Error) != SQLITE_OK)
            qFatal("sqlite: %s", Error);
    }
    void Import(const TDbfTable &Table) { qf::bench::ImportIntoSqlite(FDb, Table, 7); }
    // Runs a query to its last row; returns the seconds and the row count.
    double Run(const char *Sql, int64_t *Rows = nullptr)
    {
        QElapsedTimer Timer;
        Timer.start();
        sqlite3_stmt *Statement;
        sqlite3_prepare_v2(FDb, Sql, -1, &Statement, nullptr);
        int64_t n = 0;
        while (sqlite3_step(Statement) == SQLITE_ROW)
            ++n;
        sqlite3_finalize(Statement);
        if (Rows)
            *Rows = n;
        return Seconds(Timer);
    }
    double Update(const std::vector<std::pair<int64_t, double>> &Edits)
    {
        QElapsedTimer Timer;
        Timer.start();
        Exec("BEGIN");
        sqlite3_stmt *Statement;
        sqlite3_prepare_v2(FDb, "UPDATE t SET NAME = ?, AMOUNT = ? WHERE rowid = ?", -1, &Statement,
                           nullptr);
        for (const auto &[Row, Amount] : Edits) {
            sqlite3_bind_text(Statement, 1, "Edited", -1, SQLITE_STATIC);
            sqlite3_bind_double(Statement, 2, Amount);
            sqlite3_bind_int64(Statement, 3, Row + 1);
            sqlite3_step(Statement);
            sqlite3_reset(Statement);
        }
        sqlite3_finalize(Statement);
        Exec("COMMIT");
        return Seconds(Timer);
    }

private:
    sqlite3 *FDb = nullptr;
};

const char *kDbfread = R"(
import json, sys, time
from dbfread import DBF
path = sys.argv[1]
out = {}
t = time.perf_counter(); table = DBF(path, encoding='utf-8', load=True); records = table.records; out['open'] = time.perf_counter() - t
t = time.perf_counter()
page = []
for r in DBF(path, encoding='utf-8'):
    page.append(r)
    if len(page) == 50: break
out['page'] = time.perf_counter() - t
t = time.perf_counter(); sorted(records, key=lambda r: r['NAME'].casefold()); out['sort_text'] = time.perf_counter() - t
t = time.perf_counter(); sorted(records, key=lambda r: -1e300 if r['AMOUNT'] is None else r['AMOUNT']); out['sort_number'] = time.perf_counter() - t
t = time.perf_counter(); hits = [r for r in records if r['AMOUNT'] is not None and r['AMOUNT'] > 90000]; out['filter'] = time.perf_counter() - t
t = time.perf_counter(); sorted([(r['NAME'], r['AMOUNT']) for r in records if r['AMOUNT'] is not None and r['AMOUNT'] > 90000], key=lambda x: x[0]); out['select'] = time.perf_counter() - t
print(json.dumps(out))
)";
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    QTemporaryDir Temporary;
    const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temporary.path();
    const int Records = argc > 2 ? atoi(argv[2]) : 1000000;
    QDir().mkpath(Folder);
    const QString FileName = QDir(Folder).filePath("big.dbf");
    if (!QFile::exists(FileName) || TDbfTable(FileName).RowCount() != Records) {
        std::printf("generating %d records in %s ...\n", Records, qPrintable(Folder));
        WritePeopleTable(FileName, Records, true);
    }
    const double FileMb =
        (QFileInfo(FileName).size() + QFileInfo(QDir(Folder).filePath("big.dbt")).size()) /
        1048576.0;
    // The edits go into a copy: the input stays as it was for the next run, and dbfread and
    // SQLite read the same records the dataset started from.
    QTemporaryDir Work;
    for (const char *Ext : {"dbf", "dbt", "cpg"}) {
        const QString From = QDir(Folder).filePath(QStringLiteral("big.") + QLatin1String(Ext));
        if (QFile::exists(From) &&
            !QFile::copy(From, Work.filePath(QStringLiteral("big.") + QLatin1String(Ext))))
            qFatal("cannot copy the table into %s", qPrintable(Work.path()));
    }
    WarmPageCache(Work.filePath("big.dbf"));
    std::vector<TRow> Rows;
    const long RssBefore = StatusKb("VmRSS:");

    TADOConnection Connection;
    Connection.ConnectionString =
        FormatConnectionString(Work.path() + '/', Work.path() + '/', kDbaseDriver);
    TADOQuery Query(&Connection);
    Query.SQL = "SELECT * FROM big.dbf";
    QElapsedTimer Timer;
    Timer.start();
    Query.Open();
    Rows.push_back({"open", Seconds(Timer)});
    Query.Close();

    Timer.start();
    Query.Open();
    QStringList Page;
    for (int i = 0; i < 50 && !Query.Eof(); ++i, Query.Next())
        for (int f = 0; f < Query.FieldCount(); ++f)
            Page << Query.Fields(f).AsString();
    Rows.push_back({"open + first page of 50", Seconds(Timer)});

    Timer.start();
    Query.SetSort("NAME ASC");
    Rows.push_back({"sort by text (NAME)", Seconds(Timer)});
    Timer.start();
    Query.SetSort("AMOUNT ASC");
    Rows.push_back({"sort by number (AMOUNT)", Seconds(Timer)});
    Query.SetSort("");

    Query.OnFilterRecord = [](TADOQuery &Q, bool &Accept) {
        Accept = Q.Fields(3).AsFloat() > 90000;
    };
    Timer.start();
    Query.SetFiltered(true);
    Rows.push_back({"filter callback, every record", Seconds(Timer)});
    const int Filtered = Query.RecordCount();
    Query.SetFiltered(false);

    std::mt19937 Random(7);
    std::vector<std::pair<int64_t, double>> Edits;
    Timer.start();
    for (int i = 0; i < 1000; ++i) {
        Query.SetRecNo(int(Random() % uint32_t(Query.RecordCount())) + 1);
        Query.Edit();
        Query.Fields(0).SetAsString("Edited");
        Query.Fields(3).SetAsFloat(i + 0.5);
        Query.Post();
        Edits.emplace_back(Query.CurrentRow(), i + 0.5);
    }
    const double EditTime = Seconds(Timer);
    Timer.start();
    Query.UpdateBatch();
    Rows.push_back({"batch update of 1,000 edits", Seconds(Timer)});
    const long RssOurs = StatusKb("VmHWM:");
    Query.Close();

    Timer.start();
    Query.SQL = "SELECT NAME, AMOUNT FROM big WHERE AMOUNT > 90000 ORDER BY NAME";
    Query.Open();
    Rows.push_back({"SELECT ... WHERE ... ORDER BY (SQL engine)", Seconds(Timer)});
    const int Selected = Query.RecordCount();
    Query.Close();

    std::printf("python3-dbfread ...\n");
    std::fflush(stdout);
    QProcess Python;
    Python.start("/usr/bin/python3", {"-c", kDbfread, FileName});
    Python.waitForFinished(-1);
    const QJsonObject Py = QJsonDocument::fromJson(Python.readAllStandardOutput()).object();
    const char *PyKeys[] = {"open", "page", "sort_text", "sort_number", "filter", "", "select"};
    for (size_t i = 0; i < Rows.size(); ++i)
        if (*PyKeys[i] && Py.contains(PyKeys[i]))
            Rows[i].Dbfread = Py[PyKeys[i]].toDouble();

    std::printf("SQLite import ...\n");
    std::fflush(stdout);
    TSqlite Sqlite;
    Sqlite.Import(TDbfTable(FileName));
    Rows[1].Sqlite = Sqlite.Run("SELECT * FROM t LIMIT 50");
    Rows[2].Sqlite = Sqlite.Run("SELECT rowid FROM t ORDER BY NAME COLLATE NOCASE");
    Rows[3].Sqlite = Sqlite.Run("SELECT rowid FROM t ORDER BY AMOUNT");
    int64_t SqliteFiltered = 0, SqliteSelected = 0;
    Rows[4].Sqlite = Sqlite.Run("SELECT rowid FROM t WHERE AMOUNT > 90000", &SqliteFiltered);
    Rows[5].Sqlite = Sqlite.Update(Edits);
    Rows[6].Sqlite = Sqlite.Run("SELECT NAME, AMOUNT FROM t WHERE AMOUNT > 90000 ORDER BY NAME",
                                &SqliteSelected);

    std::printf("\n%d records, %.0f MB of .dbf and .dbt; %d filtered (SQLite %lld), %d selected "
                "(SQLite %lld)\n",
                Records, FileMb, Filtered, (long long)SqliteFiltered, Selected,
                (long long)SqliteSelected);
    std::printf("%-44s %10s %12s %10s %12s %10s\n", "work", "ours s", "dbfread s", "x faster",
                "SQLite s", "x faster");
    for (const TRow &Row : Rows) {
        std::printf("%-44s %10.4f", Row.Work, Row.Ours);
        if (Row.Dbfread >= 0)
            std::printf(" %12.4f %10.1f", Row.Dbfread, Row.Dbfread / Row.Ours);
        else
            std::printf(" %12s %10s", "n/a", "");
        if (Row.Sqlite >= 0)
            std::printf(" %12.4f %10.2f", Row.Sqlite, Row.Sqlite / Row.Ours);
        std::printf("\n");
    }
    std::printf("1,000 edits through the dataset before the batch update: %.4f s\n", EditTime);
    std::printf("peak resident memory of our work: %.0f MB (%.2f x the file sizes; %.0f MB before "
                "opening)\n",
                RssOurs / 1024.0, RssOurs / 1024.0 / FileMb, RssBefore / 1024.0);
    return 0;
}

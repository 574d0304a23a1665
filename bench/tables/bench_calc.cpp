// The record filter and one calculated field over a generated 1,000,000-record dBASE table, run
// as the window runs them (the dataset, the engine and the record variables), beside SQLite running
// the same condition as a WHERE and the same expression as a result column over the same rows in an
// in-memory table. Prints the times and the ratios (SQLite time / ours: above 1 means we are
// faster), and checks that both sides kept the same records and computed the same values (the
// program fails when they did not). QF_FILTER_ONLY or QF_CALC_ONLY runs only our side of one, for
// profiling. Usage: bench_calc [folder [records]]; the table is generated in the folder unless it
// is there.

#include "benchsqlite.h"
#include "benchtables.h"
#include "composer/merge.h"
#include "expr/adcalc.h"
#include "store/sqlset.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/dbf/dbfwriter.h"
#include "tables/data/tablequery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <sqlite3.h>

using namespace qf;
using namespace qf::bench;
using namespace qf::tables;

namespace {
constexpr int kRuns = 5;

const char *kCities[] = {"Berlin",    "Hamburg",   "Munich",  "Cologne",
                         "Frankfurt", "Stuttgart", "Leipzig", "Bremen"};
void Generate(const QString &FileName, int Records)
{
    const auto Defs =
        BenchFields({{"NAME", dtC, 30}, {"CITY", dtC, 20}, {"AMOUNT", dtN}, {"DUE", dtD}});
    WriteBenchTable(FileName, Defs, Records, 42, [](char *p, int i, std::mt19937 &Random, QFile *) {
        QByteArray Name;
        for (int k = 0; k < 4; ++k)
            Name += kSyllables[Random() % 13];
        PlaceDbfField(p, dtC, 30, QString::fromLatin1(Name));
        PlaceDbfField(p + 30, dtC, 20, QString::fromLatin1(kCities[Random() % 8]));
        if (i % 50 != 7)
            PlaceDbfField(p + 50, dtN, 15, QString::number((Random() % 10000000) / 100.0, 'f', 2));
        PlaceDbfField(p + 65, dtD, 8, FormatDbfDate(36526 + double(Random() % 9000)));
    });
}

class TSqlite {
public:
    TSqlite()
    {
        sqlite3_open(":memory:", &FDb);
        Exec("CREATE TABLE t(NAME TEXT, CITY TEXT, AMOUNT REAL, DUE TEXT)");
    }
    ~TSqlite() { sqlite3_close(FDb); }
    void Exec(const char *Sql)
    {
        char *Error = nullptr;
        if (sqlite3_exec(FDb, Sql, nullptr, nullptr, &Error) != SQLITE_OK)
            qFatal("sqlite: %s", Error);
    }
    void Import(const TDbfTable &Table) { qf::bench::ImportIntoSqlite(FDb, Table, 4); }
    // Steps the statement to its end, reading the first column as text; the seconds and the rows.
    double Run(const char *Sql, int64_t &Rows)
    {
        QElapsedTimer Timer;
        Timer.start();
        sqlite3_stmt *Statement;
        sqlite3_prepare_v2(FDb, Sql, -1, &Statement, nullptr);
        Rows = 0;
        size_t Bytes = 0;
        while (sqlite3_step(Statement) == SQLITE_ROW) {
            Bytes += size_t(sqlite3_column_bytes(Statement, 0));
            if (sqlite3_column_text(Statement, 0))
                ++Rows;
        }
        sqlite3_finalize(Statement);
        if (Bytes == 0)
            std::printf(" ");
        return Seconds(Timer);
    }

    // A statement's rows: its first column as a real (row ids too), nullopt for NULL.
    std::vector<std::optional<double>> Column(const char *Sql)
    {
        std::vector<std::optional<double>> Values;
        sqlite3_stmt *Statement;
        sqlite3_prepare_v2(FDb, Sql, -1, &Statement, nullptr);
        while (sqlite3_step(Statement) == SQLITE_ROW)
            Values.push_back(sqlite3_column_type(Statement, 0) == SQLITE_NULL
                                 ? std::nullopt
                                 : std::optional(sqlite3_column_double(Statement, 0)));
        sqlite3_finalize(Statement);
        return Values;
    }

private:
    sqlite3 *FDb = nullptr;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    QLocale::setDefault(QLocale::c());
    QTemporaryDir Temp;
    const QString Folder =
        (argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path()) + QLatin1Char('/');
    const int Records = argc > 2 ? atoi(argv[2]) : 1000000;
    const QString FileName = Folder + QStringLiteral("calcbench.dbf");
    if (!QFile::exists(FileName)) {
        std::printf("generating %d records in %s ...\n", Records, qPrintable(Folder));
        Generate(FileName, Records);
    }

    // The main window's objects.
    store::TReader Reader;
    Reader.SetDefaultBlanks();
    Reader.SetDefaultDelimiters();
    store::TDList Store;
    SetupProjectStore(Store);
    expr::TAdCalc Calc;
    Calc.SetStringSign(expr::ssApostrophe);
    Calc.SetCommentSign(expr::csQMark);
    TCalcFields Fields(Store, Reader);
    TRecordVariables Vars(Calc, Fields);
    store::TSQLSet SQLSet;
    InitTableQuerySet(SQLSet);
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString(Folder, Folder, kDbaseDriver);
    TADOQuery Query(&Connection);
    Vars.MainDataSet = &Query;
    Vars.AttachFilter(Query);
    Vars.ShowError = [](const QString &Text) { std::printf("error: %s\n", qPrintable(Text)); };
    // The calculated field is read as the merge reads it, sharing the variables' state.
    composer::TMailMerge Merge(Store, Reader, Calc);
    Merge.FEvalStack = &Vars.FEvalStack;
    Merge.FCalcError = &Vars.FCalcError;
    Merge.FInFilter = &Vars.FInFilter;
    Merge.OnPointAtDataSet = [&Vars](TADOQuery *DataSet) { Vars.CurrentDataSet = DataSet; };
    Merge.ADOQuery1 = &Query;
    PrepareTableQuery(SQLSet, Query, QStringLiteral("calcbench.dbf"));

    const QString Filter =
        QStringLiteral("AMOUNT > 50000 and CITY = 'Berlin' and DUE >= encodedate(2010, 1, 1)");
    const char *Where =
        "SELECT rowid FROM t WHERE AMOUNT > 50000 AND CITY = 'Berlin' AND DUE >= '2010-01-01'";
    Fields.Add(QStringLiteral("GROSS"));
    Fields.SetTypeCode(QStringLiteral("GROSS"), cfFloat);
    Fields.SetExpression(QStringLiteral("GROSS"),
                         QStringLiteral("AMOUNT * 1.19 + length(NAME) * 2 - length(CITY)"));
    const char *Column = "SELECT AMOUNT * 1.19 + length(NAME) * 2 - length(CITY) FROM t";

    double FilterOurs = 1e9, CalcOurs = 1e9;
    int Kept = 0, Evaluated = 0;
    for (int Run = 0; Run < kRuns; ++Run) {
        Query.Close();
        QElapsedTimer Timer;
        Timer.start();
        Vars.CompileFilter(Filter);
        Query.SetFiltered(true);
        Query.Open();
        FilterOurs = std::min(FilterOurs, Seconds(Timer));
        Kept = Query.RecordCount();
    }
    if (qEnvironmentVariableIsSet("QF_FILTER_ONLY"))
        return 0;
    // The kept records (row ids from 1, as SQLite numbers the imported rows), checked below.
    std::vector<double> KeptRows;
    for (Query.First(); !Query.Eof(); Query.Next())
        KeptRows.push_back(double(Query.CurrentRow() + 1));
    // The same opening without the filter: what the filter itself adds.
    double OpenOurs = 1e9;
    for (int Run = 0; Run < kRuns; ++Run) {
        Query.Close();
        QElapsedTimer Timer;
        Timer.start();
        Query.SetFiltered(false);
        Query.Open();
        OpenOurs = std::min(OpenOurs, Seconds(Timer));
    }
    const bool CalcOnly = qEnvironmentVariableIsSet("QF_CALC_ONLY");
    for (int Run = 0; Run < kRuns * (CalcOnly ? 4 : 1); ++Run) {
        QElapsedTimer Timer;
        Timer.start();
        Evaluated = 0;
        QString Value;
        for (Query.First(); !Query.Eof(); Query.Next())
            Evaluated += Merge.EvaluateName(QStringLiteral("GROSS"), Value);
        CalcOurs = std::min(CalcOurs, Seconds(Timer));
    }
    if (CalcOnly)
        return 0;
    std::vector<double> Values; // checked below
    {
        QString Value;
        for (Query.First(); !Query.Eof(); Query.Next()) {
            Merge.EvaluateName(QStringLiteral("GROSS"), Value);
            Values.push_back(Value.toDouble());
        }
    }

    std::printf("SQLite import ...\n");
    TSqlite Sqlite;
    Sqlite.Import(TDbfTable(FileName));
    double FilterSqlite = 1e9, CalcSqlite = 1e9;
    int64_t SqliteKept = 0, SqliteRows = 0;
    for (int Run = 0; Run < kRuns; ++Run) {
        FilterSqlite = std::min(FilterSqlite, Sqlite.Run(Where, SqliteKept));
        CalcSqlite = std::min(CalcSqlite, Sqlite.Run(Column, SqliteRows));
    }

    // Both sides computed the same: the same records kept, the same value for every record whose
    // amount is not empty (SQLite's is NULL there, ours counts the empty amount as 0).
    std::vector<double> SqliteKeptRows;
    const char *WhereRowid =
        "SELECT rowid FROM t WHERE AMOUNT > 50000 AND CITY = 'Berlin' AND DUE >= '2010-01-01'";
    for (const auto &Row : Sqlite.Column(WhereRowid))
        SqliteKeptRows.push_back(Row.value_or(-1));
    const auto SqliteValues = Sqlite.Column(Column);
    int64_t Same = 0, Different = 0, Null = 0;
    for (size_t i = 0; i < SqliteValues.size() && i < Values.size(); ++i) {
        if (!SqliteValues[i])
            ++Null;
        else if (std::fabs(Values[i] - *SqliteValues[i]) <=
                 1e-9 * std::max(1.0, std::fabs(*SqliteValues[i])))
            ++Same;
        else
            ++Different;
    }

    std::printf("\n%d records (best of %d runs)\n", Query.RecordCount(), kRuns);
    std::printf("%-58s %9s %9s %8s\n", "work", "ours s", "SQLite s", "ratio");
    std::printf("%-58s %9.4f %9.4f %8.2f\n", "record filter (number, text, date) -> kept records",
                FilterOurs, FilterSqlite, FilterSqlite / FilterOurs);
    std::printf("  kept: ours %d, SQLite %lld; the same records: %s\n", Kept,
                static_cast<long long>(SqliteKept), KeptRows == SqliteKeptRows ? "yes" : "NO");
    std::printf("%-58s %9.4f %9.4f %8.2f\n",
                "  the filter's own share (the opening without it taken off)",
                FilterOurs - OpenOurs, FilterSqlite, FilterSqlite / (FilterOurs - OpenOurs));
    std::printf("%-58s %9.4f %9.4f %8.2f\n",
                "calculated field (text and arithmetic) for every record", CalcOurs, CalcSqlite,
                CalcSqlite / CalcOurs);
    std::printf("  evaluated: ours %d, SQLite %lld; values agree on %lld, differ on %lld, %lld "
                "empty amounts\n",
                Evaluated, static_cast<long long>(SqliteRows), static_cast<long long>(Same),
                static_cast<long long>(Different), static_cast<long long>(Null));
    if (Different > 0 || KeptRows != SqliteKeptRows || Values.size() != SqliteValues.size())
        return 1;
    return 0;
}

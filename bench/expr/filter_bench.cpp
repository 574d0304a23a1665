// A compiled record filter over 1,000,000 records whose fields the host answers from arrays,
// against SQLite evaluating the same WHERE over the same rows in an in-memory table. Prints records
// per second for both and their ratio. Not a test: run it by hand on a quiet machine.

#include "expr/adcalc.h"

#include <QLocale>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <sqlite3.h>
#include <vector>

using namespace qf::expr;

namespace {

constexpr int Records = 1000000;
constexpr int Runs = 5;

double seconds(std::chrono::steady_clock::time_point Start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void check(int Rc, sqlite3 *Db, const char *What)
{
    if (Rc != SQLITE_OK && Rc != SQLITE_DONE && Rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", What, sqlite3_errmsg(Db));
        std::exit(1);
    }
}

} // namespace

int main()
{
    QLocale::setDefault(QLocale::c());
    const QString cities[] = {"Berlin",    "Hamburg",   "München", "Köln",
                              "Frankfurt", "Stuttgart", "Leipzig", "Bremen"};
    std::mt19937 rng(42);
    std::vector<double> amount(Records);
    std::vector<QString> city(Records);
    for (int i = 0; i < Records; ++i) {
        amount[i] = double(rng() % 10000000) / 100.0;
        city[i] = cities[rng() % std::size(cities)];
    }

    // The engine, with a host that answers from the arrays for the current record. Like a real host
    // it resolves a name to its column once per distinct name text: the engine hands the same text
    // for a symbol at every evaluation, so the text's shared data finds the column without
    // comparing.
    TAdCalc calc;
    int current = 0;
    enum { NoColumn = -1, AmountColumn, CityColumn };
    std::vector<std::pair<QString, int>> columns;
    auto column = [&columns](const QString &Name) {
        for (const auto &[name, col] : columns)
            if (Name.isSharedWith(name))
                return col;
        for (const auto &[name, col] : columns)
            if (Name == name)
                return col;
        const int col = Name == QLatin1String("amount") ? AmountColumn
                        : Name == QLatin1String("city") ? CityColumn
                                                        : NoColumn;
        columns.emplace_back(Name, col);
        return col;
    };
    calc.OnGetExtendedVar = [&](TAdCalc *, const QString &Name, bool &Found, long double &Value,
                                int) {
        if (column(Name) == AmountColumn) {
            Value = amount[size_t(current)];
            Found = true;
        }
    };
    calc.OnGetStringVar = [&](TAdCalc *, const QString &Name, bool &Found, QString &Value, int) {
        if (column(Name) == CityColumn) {
            Value = city[size_t(current)];
            Found = true;
        }
    };
    bool failed = false;
    calc.OnError = [&](TAdCalc *, int, int, int, int, const QString &Text, int) {
        std::fprintf(stderr, "filter error: %s\n", qPrintable(Text));
        failed = true;
    };
    calc.Compile(QStringLiteral("AMOUNT > 50000 and CITY = \"Berlin\""), 2);

    // SQLite over the same rows.
    sqlite3 *db = nullptr;
    check(sqlite3_open(":memory:", &db), db, "open");
    check(sqlite3_exec(db, "CREATE TABLE t(AMOUNT REAL, CITY TEXT)", nullptr, nullptr, nullptr), db,
          "create");
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?)", -1, &insert, nullptr), db,
          "prepare insert");
    for (int i = 0; i < Records; ++i) {
        const QByteArray c = city[size_t(i)].toUtf8();
        sqlite3_bind_double(insert, 1, amount[size_t(i)]);
        sqlite3_bind_text(insert, 2, c.constData(), int(c.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_stmt *query = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT count(*) FROM t WHERE AMOUNT > 50000 and CITY = 'Berlin'",
                             -1, &query, nullptr),
          db, "prepare query");

    double bestEngine = 1e9, bestSqlite = 1e9;
    long engineCount = 0, sqliteCount = 0;
    for (int run = 0; run < Runs; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        long n = 0;
        for (current = 0; current < Records; ++current) {
            bool v = false;
            if (calc.CalcCompiledBoolean(v, 2) && v)
                ++n;
        }
        bestEngine = std::min(bestEngine, seconds(t0));
        engineCount = n;

        t0 = std::chrono::steady_clock::now();
        check(sqlite3_step(query), db, "query");
        sqliteCount = sqlite3_column_int64(query, 0);
        sqlite3_reset(query);
        bestSqlite = std::min(bestSqlite, seconds(t0));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);

    if (failed || engineCount != sqliteCount) {
        std::fprintf(stderr, "results differ: engine %ld, SQLite %ld\n", engineCount, sqliteCount);
        return 1;
    }
    const double engineRate = Records / bestEngine, sqliteRate = Records / bestSqlite;
    std::printf("filter AMOUNT > 50000 and CITY = \"Berlin\" over %d records, %ld match (best of "
                "%d runs)\n",
                Records, engineCount, Runs);
    std::printf("  TAdCalc compiled filter: %12.0f records/s\n", engineRate);
    std::printf("  SQLite in-memory WHERE:  %12.0f records/s\n", sqliteRate);
    std::printf("  ratio engine/SQLite:     %12.2f\n", engineRate / sqliteRate);
    return 0;
}

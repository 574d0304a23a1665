// The reference side of the table benchmarks: a dBASE table's rows copied into an in-memory
// SQLite table, each value bound by its own type (numbers as REAL, logicals as INTEGER, dates as
// ISO text, the rest as text), so both sides see the same values.

#pragma once

#include "tables/data/dbf/dbftable.h"

#include <QByteArray>
#include <QDate>
#include <QVariant>
#include <sqlite3.h>

namespace qf::bench {

// Fills table "t" (already created with Columns columns) with the first Columns fields.
inline void ImportIntoSqlite(sqlite3 *Db, const tables::TDbfTable &Table, int Columns)
{
    sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr);
    QByteArray Sql = "INSERT INTO t VALUES(?";
    Sql += QByteArray(",?").repeated(Columns - 1) + ")";
    sqlite3_stmt *Insert = nullptr;
    sqlite3_prepare_v2(Db, Sql.constData(), -1, &Insert, nullptr);
    for (int64_t Row = 0; Row < Table.RowCount(); ++Row) {
        for (int f = 0; f < Columns; ++f) {
            const QVariant V = Table.Value(Row, f);
            switch (V.typeId()) {
            case QMetaType::UnknownType: sqlite3_bind_null(Insert, f + 1); break;
            case QMetaType::Double: sqlite3_bind_double(Insert, f + 1, V.toDouble()); break;
            case QMetaType::Bool: sqlite3_bind_int(Insert, f + 1, V.toBool()); break;
            default: {
                const QByteArray Text =
                    (V.typeId() == QMetaType::QDate ? V.toDate().toString(Qt::ISODate)
                                                    : V.toString())
                        .toUtf8();
                sqlite3_bind_text(Insert, f + 1, Text.constData(), int(Text.size()),
                                  SQLITE_TRANSIENT);
            }
            }
        }
        sqlite3_step(Insert);
        sqlite3_reset(Insert);
    }
    sqlite3_finalize(Insert);
    sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr);
}

} // namespace qf::bench

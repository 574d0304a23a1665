#pragma once
// Values between table sources and SQLite: how each field type appears in SQL, and back.

#include "tables/data/tablesource.h"

#include <QByteArray>
#include <string>

struct sqlite3_value;
struct sqlite3_context;

namespace qf::tables {

class TMemoryTable;

// One SQL value: Type is SQLITE_NULL, SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT or SQLITE_BLOB.
struct TSqlCell {
    int Type = 5; // SQLITE_NULL
    qint64 Int = 0;
    double Real = 0;
    QByteArray Bytes; // UTF-8 text or blob
};

// A source's value in SQL: dates as 'YYYY-MM-DD', date-times 'YYYY-MM-DD HH:MM:SS', logicals 0/1.
void ToSqlCell(const QVariant &Value, TSqlCell &Cell);
void ResultCell(sqlite3_context *Context, const TSqlCell &Cell);

// The key under which a cell is found by equality: numbers by value (3 and 3.0 alike), text and
// blobs by their bytes. False for NULL, which equals nothing.
bool LookupKey(const TSqlCell &Cell, std::string &Key);
// An equality argument of the same kind as the field's values; false when SQLite has to compare
// the two by its own rules (text against a number field, say).
bool FromSqlArgument(sqlite3_value *Value, TFieldType Type, TSqlCell &Cell);

// A value that a statement writes into a field, as the source takes it. Throws EDatabaseError
// naming the field when the value does not fit the field's kind.
QVariant FromSqlValue(sqlite3_value *Value, const TSourceField &Field);

// The declared SQL type of a field ("VARCHAR(30)", "FLOAT(10,2)", "DATE"...) and back. The names
// give SQLite the right affinity: text for characters, numeric for numbers, dates and logicals.
QString SqlDeclaredType(const TSourceField &Field);
bool FieldFromDeclaredType(const QString &Declared, TSourceField &Field);
// The type and size of a computed result column, from its values.
void InferField(TMemoryTable &Table, int Field);

// "name.dbf" after FROM, JOIN, INTO or UPDATE becomes "name": SQLite would read it as a schema.
QString StripTableExtension(const QString &Sql, const QString &Extension);

} // namespace qf::tables

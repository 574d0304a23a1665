#pragma once
// A read-only table held in memory: the rows of an SQL result, or of an Access table read once.
// Cells are kept compactly (a type byte and eight bytes each, text in one buffer per column) and
// turned into the field's type only when read, so a large result costs little more than its text.

#include "tables/data/tablesource.h"

#include <QByteArray>
#include <string>

namespace qf::tables {

class TMemoryTable : public TTableSource {
public:
    explicit TMemoryTable(std::vector<TSourceField> Fields, QString ReadOnlyReason = QString());

    const std::vector<TSourceField> &Fields() const override { return FFields; }
    int64_t RowCount() const override { return FRows; }
    QVariant Value(int64_t Row, int Field) const override;
    bool IsNull(int64_t Row, int Field) const override;
    QString ReadOnlyReason() const override;

    // Filling, one row after another: BeginRow, then one Add call per field in field order.
    // Dates may be given as text (ISO 8601) or as a number of days since 30 December 1899.
    void BeginRow();
    void AddNull();
    void AddInt(qint64 Value);
    void AddDouble(double Value);
    void AddText(const char *Utf8, size_t Length);
    void AddBlob(const void *Data, size_t Length);

    // Which kind of value a cell holds, for callers that complete the field list from the data.
    enum TCellKind : uint8_t { ckNull, ckInt, ckDouble, ckText, ckBlob };
    TCellKind CellKind(int64_t Row, int Field) const;
    // Length in characters of a text cell (0 for other kinds).
    int TextLength(int64_t Row, int Field) const;
    std::vector<TSourceField> &MutableFields() { return FFields; }

private:
    struct TColumn {
        std::vector<uint8_t> Kinds;
        std::vector<int64_t> Cells; // integer, double bits, or offset into Text
        std::string Text;           // length-prefixed byte strings
    };
    void Add(TCellKind Kind, int64_t Cell);
    void AddBytes(TCellKind Kind, const void *Data, size_t Length);
    QByteArray Bytes(const TColumn &Column, int64_t Row) const;
    void CheckCell(int64_t Row, int Field) const;

    std::vector<TSourceField> FFields;
    std::vector<TColumn> FColumns;
    QString FReadOnlyReason;
    int64_t FRows = 0;
    size_t FNextField = 0;
};

// Days since 30 December 1899 (the date-time of Access and of the expression engine) and back;
// the time of day is the fraction, also for days before 1899 (-1.25 is 29 December 1899, 06:00).
QDateTime OleDateToDateTime(double Days);
double DateTimeToOleDate(const QDateTime &Value);

} // namespace qf::tables

#include "tables/data/sql/memorytable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qf::tables {

namespace {

const QDate OleEpoch(1899, 12, 30);
constexpr qint64 MsPerDay = 86400000;

QDateTime ParseDateTimeText(const QString &Text)
{
    QDateTime Result = QDateTime::fromString(Text, Qt::ISODateWithMs);
    if (!Result.isValid())
        Result = QDateTime::fromString(Text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!Result.isValid()) {
        const QDate Date = QDate::fromString(Text, Qt::ISODate);
        if (Date.isValid())
            Result = QDateTime(Date, QTime(0, 0));
    }
    return Result;
}

} // namespace

QDateTime OleDateToDateTime(double Days)
{
    // Beyond the years 0100..9999 nothing sensible can be shown.
    if (!std::isfinite(Days) || Days < -657434.0 || Days > 2958466.0)
        return QDateTime();
    double Whole = std::trunc(Days);
    qint64 Ms = std::llround(std::fabs(Days - Whole) * MsPerDay);
    if (Ms >= MsPerDay) {
        Ms -= MsPerDay;
        Whole += Days < 0 ? -1 : 1;
    }
    return QDateTime(OleEpoch.addDays(static_cast<qint64>(Whole)),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(Ms)));
}

double DateTimeToOleDate(const QDateTime &Value)
{
    const double Day = static_cast<double>(OleEpoch.daysTo(Value.date()));
    const double Fraction = Value.time().msecsSinceStartOfDay() / static_cast<double>(MsPerDay);
    return Day >= 0 ? Day + Fraction : Day - Fraction;
}

TMemoryTable::TMemoryTable(std::vector<TSourceField> Fields, QString ReadOnlyReason)
    : FFields(std::move(Fields)), FColumns(FFields.size()),
      FReadOnlyReason(std::move(ReadOnlyReason))
{}

QString TMemoryTable::ReadOnlyReason() const
{
    return FReadOnlyReason.isEmpty() ? TTableSource::ReadOnlyReason() : FReadOnlyReason;
}

void TMemoryTable::BeginRow()
{
    // A row left short is completed with nulls, so every column keeps one cell per row.
    while (FRows > 0 && FNextField < FColumns.size())
        AddNull();
    ++FRows;
    FNextField = 0;
}

void TMemoryTable::Add(TCellKind Kind, int64_t Cell)
{
    if (FRows == 0 || FNextField >= FColumns.size())
        throw EDatabaseError(QStringLiteral("Internal error: a value was added outside a row."));
    TColumn &Column = FColumns[FNextField++];
    Column.Kinds.push_back(Kind);
    Column.Cells.push_back(Cell);
}

void TMemoryTable::AddBytes(TCellKind Kind, const void *Data, size_t Length)
{
    if (FRows == 0 || FNextField >= FColumns.size())
        throw EDatabaseError(QStringLiteral("Internal error: a value was added outside a row."));
    if (Length > 0x7fffffffu)
        throw EDatabaseError(
            QStringLiteral("A value of %1 bytes is too large to be held.").arg(Length));
    std::string &Text = FColumns[FNextField].Text;
    const int64_t Offset = static_cast<int64_t>(Text.size());
    const uint32_t Length32 = static_cast<uint32_t>(Length);
    Text.append(reinterpret_cast<const char *>(&Length32), sizeof Length32);
    Text.append(static_cast<const char *>(Data), Length);
    Add(Kind, Offset);
}

void TMemoryTable::AddNull() { Add(ckNull, 0); }
void TMemoryTable::AddInt(qint64 Value) { Add(ckInt, Value); }

void TMemoryTable::AddDouble(double Value)
{
    int64_t Bits;
    std::memcpy(&Bits, &Value, sizeof Bits);
    Add(ckDouble, Bits);
}

void TMemoryTable::AddText(const char *Utf8, size_t Length) { AddBytes(ckText, Utf8, Length); }
void TMemoryTable::AddBlob(const void *Data, size_t Length) { AddBytes(ckBlob, Data, Length); }

void TMemoryTable::CheckCell(int64_t Row, int Field) const
{
    if (Field < 0 || static_cast<size_t>(Field) >= FColumns.size() || Row < 0 || Row >= FRows)
        throw EDatabaseError(
            QStringLiteral("Record %1, field %2 does not exist.").arg(Row + 1).arg(Field + 1));
}

TMemoryTable::TCellKind TMemoryTable::CellKind(int64_t Row, int Field) const
{
    CheckCell(Row, Field);
    // The last row may have been left short.
    const std::vector<uint8_t> &Kinds = FColumns[Field].Kinds;
    return static_cast<size_t>(Row) < Kinds.size() ? static_cast<TCellKind>(Kinds[Row]) : ckNull;
}

QByteArray TMemoryTable::Bytes(const TColumn &Column, int64_t Row) const
{
    const size_t Offset = static_cast<size_t>(Column.Cells[Row]);
    uint32_t Length;
    std::memcpy(&Length, Column.Text.data() + Offset, sizeof Length);
    return QByteArray(Column.Text.data() + Offset + sizeof Length, static_cast<qsizetype>(Length));
}

int TMemoryTable::TextLength(int64_t Row, int Field) const
{
    if (CellKind(Row, Field) != ckText)
        return 0;
    // Characters are the UTF-8 bytes that do not continue one.
    const QByteArray Text = Bytes(FColumns[Field], Row);
    return static_cast<int>(std::count_if(Text.begin(), Text.end(), [](char Byte) {
        return (static_cast<uchar>(Byte) & 0xc0) != 0x80;
    }));
}

bool TMemoryTable::IsNull(int64_t Row, int Field) const { return CellKind(Row, Field) == ckNull; }

QVariant TMemoryTable::Value(int64_t Row, int Field) const
{
    const TCellKind Kind = CellKind(Row, Field);
    const TColumn &Column = FColumns[Field];
    const TFieldType Type = FFields[Field].DataType;
    double Number = 0;
    switch (Kind) {
    case ckNull: return QVariant();
    case ckBlob: return Bytes(Column, Row);
    case ckText: {
        const QString Text = QString::fromUtf8(Bytes(Column, Row));
        switch (Type) {
        case ftDate: {
            const QDate Date = QDate::fromString(Text.left(10), Qt::ISODate);
            return Date.isValid() ? QVariant(Date) : QVariant(Text);
        }
        case ftDateTime: {
            const QDateTime Stamp = ParseDateTimeText(Text);
            return Stamp.isValid() ? QVariant(Stamp) : QVariant(Text);
        }
        case ftTime: {
            const QTime Time = QTime::fromString(Text, Qt::ISODateWithMs);
            return Time.isValid() ? QVariant(Time) : QVariant(Text);
        }
        default: return Text;
        }
    }
    case ckInt:
        if (Type == ftBoolean)
            return Column.Cells[Row] != 0;
        // Decimals keep every digit while they are whole numbers.
        if (Type == ftFloat || Type == ftCurrency)
            return static_cast<double>(Column.Cells[Row]);
        if (Type == ftDate || Type == ftDateTime || Type == ftTime) {
            Number = static_cast<double>(Column.Cells[Row]);
            break;
        }
        if (Type == ftString || Type == ftWideString || Type == ftFixedChar || Type == ftMemo ||
            Type == ftFmtMemo)
            return QString::number(Column.Cells[Row]);
        return static_cast<qint64>(Column.Cells[Row]);
    case ckDouble:
        std::memcpy(&Number, &Column.Cells[Row], sizeof Number);
        if (Type == ftBoolean)
            return Number != 0;
        if (Type == ftString || Type == ftWideString || Type == ftFixedChar || Type == ftMemo ||
            Type == ftFmtMemo)
            return QString::number(Number, 'g', 15);
        if (Type == ftDate || Type == ftDateTime || Type == ftTime)
            break;
        return Number;
    }
    // A number in a date column counts days since 30 December 1899.
    const QDateTime Stamp = OleDateToDateTime(Number);
    if (!Stamp.isValid())
        return QVariant();
    if (Type == ftDate)
        return Stamp.date();
    if (Type == ftTime)
        return Stamp.time();
    return Stamp;
}

} // namespace qf::tables

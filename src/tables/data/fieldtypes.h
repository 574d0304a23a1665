#pragma once
// Field kinds of the workspace and the value texts the data layer shares with the dBASE writer.

#include "expr/exprconv.h"
#include "tables/data/tablesource.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>

namespace qf::tables {

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

// The dBASE kind of a field as the workspace sees it.
enum TDbfType : uint8_t { dtC = 0, dtN = 1, dtD = 2, dtL = 3, dtM = 4 };

TDbfType MapFieldTypeToDbf(TFieldType FieldType);

TDateTime DateTimeToSerial(const QDateTime &Value);
TDateTime DateToSerial(const QDate &Value);
// An invalid QDateTime when the serial lies outside the years 1..9999.
QDateTime SerialToDateTime(TDateTime Value);

// Texts in the user's locale (QLocale()).
// General format with up to 15 significant digits and the locale's decimal separator.
QString FloatToStr(double Value);
// The same with the decimal separator given, for callers writing many values.
QString FloatToStr(double Value, const QString &Point);
// FloatToStr's text with "." as the point into Out (48 characters) and its length, for a value it
// writes without an exponent; 0 for every other value.
int PlainFloatChars(double Value, char *Out);
// Short date format, followed by the long time when the time is not midnight; empty outside the
// years 1..9999.
inline QString DateTimeToStr(TDateTime Value)
{
    return expr::DateTimeToStr(Value, expr::TDateRules::Field);
}
QString DateToStr(const QDate &Value);
// Leading and trailing blanks are ignored; the locale's decimal separator, or "." as fallback;
// never a group separator.
bool TryStrToFloat(const QString &Text, double &Value);
// The locale's short date format with a four-digit year, optionally followed by a time; or an
// ISO date.
inline bool TryStrToDateTime(const QString &Text, TDateTime &Value)
{
    return expr::TryStrToDateTime(Text, Value, expr::TDateRules::Field);
}

} // namespace qf::tables

#pragma once
// Number and date-time conversions behind the literals and the built-in functions.

#include "expr/exprtypes.h"

#include <QString>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace qf::expr {

// Decimal text of a 32-bit integer literal; none when it does not fit.
std::optional<int32_t> ParseIntLiteral(const QString &Text);
// Optional leading spaces, optional sign, decimal digits or hex digits after "$", "x", "X", "0x",
// "0X".
std::optional<int32_t> ParseStrToInt(const QString &Text);
// Optional leading spaces, sign, digits, "." and digits, exponent; nothing after. None when it is
// no number or does not fit the extended range.
std::optional<long double> ParseFloatDot(const QString &Text);

// The extended value nearest to a decimal number's text: optional sign, digits with an optional
// "." among them, optional exponent, nothing else. Literals, strtofloat and number fields all read
// through it, so that the same digits always give the same value. False when the text is no such
// number or lies beyond the extended range; a value too small for the range reads as 0.
bool DecimalToExtended(const char *First, const char *Last, long double &Value);
// A fixed-width number field's text in the plain form: blanks (spaces, NULs) around an optional
// sign and at most 19 digits with one point or comma among them, or blanks alone (0). Its value is
// Mantissa / 10^Scale, negated when Negative. False for any other text.
inline bool PlainFieldDigits(const char *First, const char *Last, uint64_t &Mantissa, int &Scale,
                             bool &Negative)
{
    const char *p = First;
    // Leading blanks eight at a time: a right-aligned number has many.
    for (; Last - p >= 8; p += 8) {
        uint64_t Word;
        std::memcpy(&Word, p, sizeof Word);
        if (const uint64_t Other = Word & 0xDFDFDFDFDFDFDFDFull) { // neither ' ' nor NUL
            p += std::countr_zero(Other) / 8;
            break;
        }
    }
    while (p < Last && (*p & 0xDF) == 0)
        ++p;
    while (Last > p && (Last[-1] & 0xDF) == 0)
        --Last;
    const char *Begin = p;
    Negative = p < Last && *p == '-';
    p += p < Last && (*p == '-' || *p == '+');
    const char *Start = p, *Point = nullptr;
    uint64_t Number = 0;
    for (; p < Last; ++p) {
        const unsigned Digit = unsigned(uint8_t(*p)) - '0';
        if (Digit < 10)
            Number = Number * 10 + Digit;
        else if ((*p == '.' || *p == ',') && !Point)
            Point = p;
        else
            return false;
    }
    const int64_t Digits = (Last - Start) - (Point != nullptr);
    if (Digits > 19 || (Digits == 0 && Begin != Last)) // a sign or a point alone is no number
        return false;
    Mantissa = Number;
    Scale = Point ? int(Last - Point - 1) : 0;
    return true;
}

// The value of a plain number field's text as DecimalToExtended gives it (blanks alone read as
// 0); false for any other text, which the caller reads the long way.
inline bool PlainFieldNumber(const char *First, const char *Last, long double &Value)
{
    static constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                              1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                              1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L};
    uint64_t Mantissa;
    int Scale;
    bool Negative;
    if (!PlainFieldDigits(First, Last, Mantissa, Scale, Negative))
        return false;
    // Both operands exact: the one division rounds as the general conversion does.
    const long double Number =
        Mantissa == 0 ? 0.0L : static_cast<long double>(Mantissa) / kPowers[Scale];
    Value = Negative ? -Number : Number;
    return true;
}
// A 64-bit value as the extended value nearest its shortest decimal text: 10.1 becomes 10.1L, as
// the literal 10.1 does.
long double DoubleToExtended(double Value);

// Up to 15 significant digits, scientific form for more than 15 integral digits or below 0.0001.
// Decimal is the decimal separator written.
QString FormatGeneral(long double Value, QChar Decimal);

// Date-times. The valid range is 1 January 0001 to 31 December 9999; outside it the conversions
// raise.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958466.0;
bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Value);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Value);
void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day);
int DayOfWeek(TDateTime Value);
TDateTime IncMonth(TDateTime Value, int32_t Months);
bool IsLeapYear(int Year);

// Whose rules a date-time text follows. Formulas raise outside the valid range and read two-digit
// years and dates without a year; the data layer's fields give an empty text there instead, take
// four-digit years only and also read ISO dates and "H:mm" times.
enum class TDateRules { Formula, Field };

// Texts in the locale's short date and long time formats, rounded to the millisecond with carry. An
// empty format of FormatDateTime writes what DateTimeToStr does.
QString DateToStr(TDateTime Value);
QString TimeToStr(TDateTime Value);
QString DateTimeToStr(TDateTime Value, TDateRules Rules = TDateRules::Formula);
QString FormatDateTime(const QString &Format, TDateTime Value);
// Dates in the order and with the separator of the short date format: one or two digits for day
// and month, two (within fifty years of today) or four for the year, none for this year. Times with
// the locale's separators: hours and minutes, optional seconds and milliseconds, and an optional
// morning or afternoon marker. Blanks around the text are ignored.
bool TryStrToDate(const QString &S, TDateTime &Value, TDateRules Rules = TDateRules::Formula);
bool TryStrToTime(const QString &S, TDateTime &Value);
bool TryStrToDateTime(const QString &S, TDateTime &Value, TDateRules Rules = TDateRules::Formula);

[[noreturn]] void RaiseFloatError(long double Value);
// Raises EExprError for results that are no finite number.
inline long double CheckedFloat(long double Value)
{
    if (!std::isfinite(Value)) [[unlikely]]
        RaiseFloatError(Value);
    return Value;
}

} // namespace qf::expr

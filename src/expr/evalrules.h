#pragma once
// The operator and operand rules that the walk over the symbols and the tree of typed nodes
// share, so that both give the same values.

#include "expr/adcalc.h"
#include "expr/exprconv.h"
#include "expr/parser.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qf::expr {

[[gnu::always_inline]] inline int TParser::operatorPriority(uint8_t Row)
{
    switch (Row) {
    case rowPlus:
    case rowMinus: return 0;
    case rowTimes:
    case rowSlash:
    case rowDiv:
    case rowMod: return 1;
    case rowPower: return 2;
    default: return -1;
    }
}

inline uint32_t operatorClass(TExprType Type)
{
    switch (Type) {
    case etInteger: return tcIntOp;
    case etBoolean: return tcBoolOp;
    case etString: return tcStrOp;
    default: return tcExtOp;
    }
}

// Whether a value of type Have serves an operand of type Want, and its conversion.
inline bool accepts(TExprType Want, TExprType Have)
{
    if (Want == etExtended || Want == etDateTime)
        return Have == etInteger || Have == etExtended || Have == etDateTime;
    return Want == Have;
}

inline TDateTime toDateTime(long double V)
{
    const double d = double(V);
    if (!std::isfinite(d) && std::isfinite(V))
        throw EExprError(QStringLiteral("Floating point overflow"));
    return d;
}

inline void convert(const TExprValue &From, TExprType Have, TExprValue &To, TExprType Want)
{
    if (Want == Have) {
        if (Want == etString)
            To.S = From.S;
        else
            To = From;
        return;
    }
    long double v = Have == etInteger    ? (long double)From.I
                    : Have == etExtended ? From.E
                                         : (long double)From.D;
    if (Want == etExtended)
        To.E = v;
    else
        To.D = toDateTime(v);
}

inline bool compare(uint8_t Sign, int Cmp)
{
    switch (Sign) {
    case rowGE: return Cmp >= 0;
    case rowLE: return Cmp <= 0;
    case rowNE: return Cmp != 0;
    case rowEQ: return Cmp == 0;
    case rowGT: return Cmp > 0;
    default: return Cmp < 0;
    }
}

// Texts compare as their UTF-8 bytes do, by code points: a character beyond the 16-bit range sorts
// after every one within it, though its first UTF-16 unit is smaller than U+E000 to U+FFFF.
inline int compareText(const QString &A, const QString &B)
{
    const qsizetype n = std::min(A.size(), B.size());
    const QChar *a = A.constData(), *b = B.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0xD800 && y >= 0xD800) {
            x = char16_t(x >= 0xE000 ? x - 0x800 : x + 0x2000);
            y = char16_t(y >= 0xE000 ? y - 0x800 : y + 0x2000);
        }
        return x < y ? -1 : 1;
    }
    return A.size() < B.size() ? -1 : (A.size() > B.size() ? 1 : 0);
}

inline bool compareTexts(uint8_t Sign, const QString &A, const QString &B)
{
    if (Sign == rowEQ || Sign == rowNE) {
        const bool same =
            A.size() == B.size() &&
            std::memcmp(A.constData(), B.constData(), size_t(A.size()) * sizeof(QChar)) == 0;
        return same == (Sign == rowEQ);
    }
    return compare(Sign, compareText(A, B));
}

template <typename T>
int threeWay(T A, T B)
{
    return int(A > B) - int(A < B); // without branches: filter data compares either way
}

inline long double intPower(long double Base, long double Exponent)
{
    uint64_t n = uint64_t(std::fabs(Exponent));
    long double result = 1, b = Base;
    while (n) {
        if (n & 1)
            result *= b;
        n >>= 1;
        if (n)
            b *= b;
    }
    if (Exponent < 0) {
        if (result == 0)
            throw EExprError(QStringLiteral("Floating point division by zero"));
        result = 1 / result;
    }
    return result;
}

inline long double power(long double Base, long double Exponent)
{
    if (Exponent == 0)
        return 1;
    if (Base == 0 && Exponent > 0)
        return 0;
    if (Exponent == std::trunc(Exponent) && std::fabs(Exponent) <= 2147483647.0L)
        return CheckedFloat(intPower(Base, Exponent));
    if (Base <= 0)
        throw EExprError(QStringLiteral("Invalid floating point operation"));
    return CheckedFloat(std::exp(Exponent * std::log(Base)));
}

// Built-ins whose value follows from their arguments alone (no locale, clock or host).
inline bool IsPureBuiltin(uint8_t Id)
{
    return (Id >= 1 && Id <= 30) || (Id >= 33 && Id <= 36) || (Id >= 42 && Id <= 44);
}

} // namespace qf::expr

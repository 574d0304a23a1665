#include "composer/valuetext.h"

#include "expr/exprconv.h"
#include "tables/data/fieldtypes.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qf::composer {

namespace {
constexpr qint64 JulianDayOfZero = 2415019; // 30 December 1899

void appendNumber(QString &Out, int Value, int Width)
{
    char Buffer[8];
    int n = 0;
    do {
        Buffer[n++] = char('0' + Value % 10);
        Value /= 10;
    } while (Value > 0);
    for (; n < Width; ++n)
        Buffer[n] = '0';
    while (n > 0)
        Out += QLatin1Char(Buffer[--n]);
}

} // namespace

void PutText(QString &Out, QStringView Text)
{
    if (Out.isDetached() && Out.capacity() >= Text.size()) {
        if (Out.size() != Text.size()) // values of a column mostly keep their length
            Out.resize(Text.size());
        std::memcpy(Out.data(), Text.data(), size_t(Text.size()) * sizeof(char16_t));
    } else {
        Out = Text.toString();
    }
}

void TValueTexts::Refresh()
{
    const QLocale Now;
    if (FReady && Now == FLocale)
        return;
    FReady = true;
    FLocale = Now;
    FPoint = Now.decimalPoint();
    FGeneralPoint = FPoint.isEmpty() ? QChar(u'.') : FPoint.front();

    // The engine's short date format: the locale's with the year widened to four digits.
    QString Format = Now.dateFormat(QLocale::ShortFormat);
    if (!Format.contains(QStringLiteral("yyyy")))
        Format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    FDate.clear();
    FFast = Now.zeroDigit() == QLatin1String("0"); // other digits: left to the locale
    for (qsizetype i = 0; i < Format.size() && FFast;) {
        const QChar c = Format[i];
        qsizetype Run = 1;
        while (i + Run < Format.size() && Format[i + Run] == c)
            ++Run;
        if (c == u'd' && Run <= 4)
            FDate.push_back({TPart::TKind(TPart::Day + Run - 1), {}});
        else if (c == u'M' && Run <= 4)
            FDate.push_back({TPart::TKind(TPart::Month + Run - 1), {}});
        else if (c == u'y' && Run == 4)
            FDate.push_back({TPart::Year, {}});
        else if (c.isLetter() || c == u'\'')
            FFast = false; // names, quotes, times: left to the locale
        else
            FDate.push_back({TPart::Text, Format.mid(i, Run)});
        i += Run;
    }
    for (int Long = 0; Long < 2; ++Long) {
        const auto Format = Long ? QLocale::LongFormat : QLocale::ShortFormat;
        for (int m = 1; m <= 12; ++m)
            FMonthNames[Long][m] = Now.monthName(m, Format);
        for (int d = 1; d <= 7; ++d)
            FDayNames[Long][d] = Now.dayName(d, Format);
    }
}

QString TValueTexts::Float(double Value) const
{
    QString Out;
    Float(Value, Out);
    return Out;
}

void TValueTexts::Float(double Value, QString &Out) const
{
    char Plain[48];
    const int n = tables::PlainFloatChars(Value, Plain);
    if (n == 0 || !PlainFloat(Plain, n, Out))
        PutText(Out, tables::FloatToStr(Value, FPoint));
}

bool TValueTexts::PlainFloat(const char *Plain, int n, QString &Out) const
{
    if (FPoint.size() > 4 || n > 48)
        return false;
    char16_t Text[64];
    int Length = 0;
    for (int i = 0; i < n; ++i) {
        if (Plain[i] == '.') {
            for (const QChar c : FPoint)
                Text[Length++] = c.unicode();
        } else {
            Text[Length++] = char16_t(Plain[i]);
        }
    }
    PutText(Out, QStringView(Text, Length));
    return true;
}

QString TValueTexts::General(long double Value) const
{
    QString Out;
    General(Value, Out);
    return Out;
}

void TValueTexts::General(long double Value, QString &Out) const
{
    // The 15 significant digits come from the value scaled to an 18-digit integer in extended
    // arithmetic (at most a few tenths of the last unit off); a tail within that of the rounding
    // boundary, and values outside the plain range, go to the exact but slower conversion.
    static constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                              1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                              1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                              1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
    const long double Abs = std::fabs(Value);
    if (!(Abs >= 1e-20L && Abs < 1e27L))
        return PutText(Out, expr::FormatGeneral(Value, FGeneralPoint));
    // The binary exponent from the value as a double (within one of the extended value's), and
    // the decimal one estimated from it: floor(Binary * log10(2)), corrected below.
    const double Near = double(Abs);
    uint64_t Bits;
    std::memcpy(&Bits, &Near, sizeof Bits);
    const int Binary = int(Bits >> 52) - 1023;
    int Exponent = (Binary * 78913) >> 18;
    long double Scaled = 0;
    for (int Try = 0; Try < 2; ++Try) {
        const int Shift = 17 - Exponent; // Scaled in [1e17, 1e18)
        Scaled = Shift >= 0 ? (Shift <= 27 ? Abs * kPowers[Shift]
                                           : Abs * kPowers[27] * kPowers[Shift - 27])
                            : Abs / kPowers[-Shift];
        if (Scaled >= 1e18L)
            ++Exponent;
        else if (Scaled < 1e17L)
            --Exponent;
        else
            break;
    }
    if (!(Scaled >= 1e17L && Scaled < 1e18L))
        return PutText(Out, expr::FormatGeneral(Value, FGeneralPoint));
    // Its integer part without a conversion instruction: added to 2^63, the sum's mantissa holds
    // Scaled rounded to an integer, one more than its integer part when it rounded up.
    const long double Sum = Scaled + 0x1p63L;
    uint64_t Mantissa;
    std::memcpy(&Mantissa, &Sum, sizeof Mantissa);
    int64_t Whole = int64_t(Mantissa - (uint64_t(1) << 63)); // below 1e18
    if (static_cast<long double>(Whole) > Scaled)
        --Whole;
    // The three digits after the 15 kept, with the fraction: exact, as both parts are.
    const long double Tail =
        static_cast<long double>(Whole % 1000) + (Scaled - static_cast<long double>(Whole));
    if (std::fabs(Tail - 500) <= 1)
        return PutText(Out, expr::FormatGeneral(Value, FGeneralPoint));
    uint64_t Kept = uint64_t(Whole / 1000) + (Tail > 500);
    if (Kept >= 1000000000000000ull) {
        Kept /= 10;
        ++Exponent;
    }
    // The 15 digits, two at a time in two halves of 32 bits (cheaper divisions), followed by
    // zeros, so that the texts below copy whole blocks.
    static constexpr auto kPairs = [] {
        std::array<uint32_t, 100> Pairs{};
        for (uint32_t i = 0; i < 100; ++i)
            Pairs[i] = (u'0' + i / 10) | (u'0' + i % 10) << 16;
        return Pairs;
    }();
    static constexpr char16_t kZeros[17] = u"0000000000000000";
    char16_t Digits[32];
    std::memcpy(Digits + 16, kZeros, 16 * sizeof(char16_t));
    const uint32_t LowPart = uint32_t(Kept % 100000000), HighPart = uint32_t(Kept / 100000000);
    uint32_t Low = LowPart, High = HighPart;
    Digits[15] = u'0';
    for (int i = 13; i >= 7; i -= 2, Low /= 100)
        std::memcpy(Digits + i, &kPairs[Low % 100], 4);
    for (int i = 5; i >= 1; i -= 2, High /= 100)
        std::memcpy(Digits + i, &kPairs[High % 100], 4);
    Digits[0] = char16_t(u'0' + High);
    // Without the trailing zeros, counted on the number in halves by constant divisors (the upper
    // half has seven digits, the first no zero).
    uint32_t Rest = LowPart ? LowPart : HighPart;
    int Zeros = LowPart ? 0 : 8;
    if (Rest % 10000 == 0) {
        Rest /= 10000;
        Zeros += 4;
    }
    if (Rest % 100 == 0) {
        Rest /= 100;
        Zeros += 2;
    }
    Zeros += Rest % 10 == 0;
    const int Count = 15 - Zeros;

    const bool Negative = Value < 0;
    char16_t Text[64];
    int n = 0;
    if (Negative)
        Text[n++] = u'-';
    const char16_t Point = FGeneralPoint.unicode();
    if (Exponent >= 15 || Exponent < -4) {
        Text[n++] = Digits[0];
        if (Count > 1) {
            Text[n++] = Point;
            for (int i = 1; i < Count; ++i)
                Text[n++] = Digits[i];
        }
        Text[n++] = u'E';
        char Number[8];
        const auto Written = std::to_chars(Number, Number + sizeof Number, Exponent);
        for (const char *q = Number; q < Written.ptr; ++q)
            Text[n++] = char16_t(*q);
    } else if (Exponent >= 0) {
        // The whole digits, the point, the rest; no point when the rest is only zeros.
        char16_t *p = Text + n;
        std::memcpy(p, Digits, 16 * sizeof(char16_t));
        std::memcpy(p + Exponent + 2, Digits + Exponent + 1, 16 * sizeof(char16_t));
        p[Exponent + 1] = Point;
        n += Count > Exponent + 1 ? Count + 1 : Exponent + 1;
    } else {
        char16_t *p = Text + n;
        p[0] = u'0';
        p[1] = Point;
        std::memcpy(p + 2, kZeros, 4 * sizeof(char16_t));
        std::memcpy(p + 1 - Exponent, Digits, 16 * sizeof(char16_t));
        n += 1 - Exponent + Count;
    }
    PutText(Out, QStringView(Text, n));
}

QString TValueTexts::DateTime(double Value) const
{
    QString Out;
    Out.reserve(12);
    if (fastDate(Value, Out))
        return Out;
    return expr::DateTimeToStr(Value, expr::TDateRules::Field);
}

void TValueTexts::DateTime(double Value, QString &Out) const
{
    Out.resize(0); // the buffer kept
    if (!fastDate(Value, Out))
        Out = expr::DateTimeToStr(Value, expr::TDateRules::Field);
}

bool TValueTexts::fastDate(double Value, QString &Out) const
{
    // A whole day (no time) of the years 1000..9999 is written here; anything else as before.
    if (FFast && Value == std::trunc(Value) && Value > -400000 && Value < 2958466) {
        int Year = 0, Month = 0, Day = 0;
        const QDate Date = QDate::fromJulianDay(qint64(Value) + JulianDayOfZero);
        Date.getDate(&Year, &Month, &Day);
        if (Year >= 1000) {
            for (const TPart &P : FDate) {
                switch (P.Kind) {
                case TPart::Text: Out += P.Literal; break;
                case TPart::Day: appendNumber(Out, Day, 1); break;
                case TPart::Day2: appendNumber(Out, Day, 2); break;
                case TPart::Month: appendNumber(Out, Month, 1); break;
                case TPart::Month2: appendNumber(Out, Month, 2); break;
                case TPart::DayName: Out += FDayNames[0][Date.dayOfWeek()]; break;
                case TPart::LongDayName: Out += FDayNames[1][Date.dayOfWeek()]; break;
                case TPart::MonthName: Out += FMonthNames[0][Month]; break;
                case TPart::LongMonthName: Out += FMonthNames[1][Month]; break;
                case TPart::Year: appendNumber(Out, Year, 4); break;
                }
            }
            return true;
        }
    }
    return false;
}

} // namespace qf::composer

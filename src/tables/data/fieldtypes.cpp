#include "tables/data/fieldtypes.h"

#include <QLocale>
#include <QTime>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qf::tables {

TDbfType MapFieldTypeToDbf(TFieldType FieldType)
{
    switch (FieldType) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftAutoInc:
    case ftLargeint: return dtN;
    case ftDate:
    case ftTime:
    case ftDateTime: return dtD;
    case ftBoolean: return dtL;
    case ftMemo:
    case ftFmtMemo: return dtM;
    default: return dtC;
    }
}

namespace {
// The text QString::number(Value, 'g', 15) gives, for a finite value whose shortest exact digits
// are at most 15: those digits are then its 15-digit rounding. Into Out (48 characters), its
// length; 0 otherwise.
int ShortGeneralChars(double Value, char *Out)
{
    // Below the normal range the digits are fewer than their 15-digit rounding; Qt writes -0 as 0.
    if (Value == 0 || std::fabs(Value) < std::numeric_limits<double>::min())
        return 0;
    char Buffer[40];
    const auto [End, Error] =
        std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific);
    if (Error != std::errc())
        return 0;
    const char *p = Buffer;
    const bool Negative = *p == '-';
    p += Negative;
    char Digits[24];
    int Count = 0;
    for (; p < End && *p != 'e'; ++p)
        if (*p != '.') {
            if (Count == 17)
                return 0;
            Digits[Count++] = *p;
        }
    if (Count > 15 || p == End)
        return 0;
    int Exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), End, Exponent);
    int n = 0;
    if (Negative)
        Out[n++] = '-';
    if (Exponent < -4 || Exponent >= 15) {
        Out[n++] = Digits[0];
        if (Count > 1) {
            Out[n++] = '.';
            for (int i = 1; i < Count; ++i)
                Out[n++] = Digits[i];
        }
        Out[n++] = 'e';
        Out[n++] = Exponent < 0 ? '-' : '+';
        const int Magnitude = Exponent < 0 ? -Exponent : Exponent;
        if (Magnitude < 10)
            Out[n++] = '0';
        n = int(std::to_chars(Out + n, Out + 48, Magnitude).ptr - Out);
    } else if (Exponent >= 0) {
        for (int i = 0; i <= Exponent; ++i)
            Out[n++] = i < Count ? Digits[i] : '0';
        if (Count > Exponent + 1) {
            Out[n++] = '.';
            for (int i = Exponent + 1; i < Count; ++i)
                Out[n++] = Digits[i];
        }
    } else {
        Out[n++] = '0';
        Out[n++] = '.';
        for (int i = 0; i < -Exponent - 1; ++i)
            Out[n++] = '0';
        for (int i = 0; i < Count; ++i)
            Out[n++] = Digits[i];
    }
    return n;
}

QString ShortGeneral(double Value)
{
    char Out[48];
    const int n = ShortGeneralChars(Value, Out);
    return n ? QString::fromLatin1(Out, n) : QString();
}

const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

// Two-digit years would turn 2004 into 1904 on the way back, so dates always show four.
QString FourDigitYears(QString Format)
{
    if (!Format.contains(QLatin1String("yyyy")))
        Format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return Format;
}

QString ShortDateFormat() { return FourDigitYears(QLocale().dateFormat(QLocale::ShortFormat)); }
} // namespace

TDateTime DateToSerial(const QDate &Value)
{
    return Value.isValid() ? double(kEpoch.daysTo(Value)) : 0.0;
}

TDateTime DateTimeToSerial(const QDateTime &Value)
{
    if (!Value.isValid())
        return 0.0;
    const double Days = double(kEpoch.daysTo(Value.date()));
    const double Fraction = Value.time().msecsSinceStartOfDay() / kMsPerDay;
    return Days < 0 ? Days - Fraction : Days + Fraction;
}

QDateTime SerialToDateTime(TDateTime Value)
{
    if (!std::isfinite(Value) || Value < -693593.0 || Value >= 2958466.0)
        return {};
    const double Days = std::trunc(Value);
    qint64 Ms = std::llround(std::fabs(Value - Days) * kMsPerDay);
    QDate Date = kEpoch.addDays(qint64(Days));
    if (Ms >= qint64(kMsPerDay)) { // rounding reached the next day
        Ms = 0;
        Date = Date.addDays(Value < 0 ? -1 : 1);
    }
    return QDateTime(Date, QTime::fromMSecsSinceStartOfDay(int(Ms)), Qt::UTC);
}

QString FloatToStr(double Value) { return FloatToStr(Value, QLocale().decimalPoint()); }

QString FloatToStr(double Value, const QString &Point)
{
    if (!std::isfinite(Value))
        return std::isnan(Value) ? QStringLiteral("NAN")
                                 : (Value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    QString Text = ShortGeneral(Value); // the calculated fields write one per record
    if (Text.isNull())
        Text = QString::number(Value, 'g', 15);
    const int E = Text.indexOf(QLatin1Char('e'));
    if (E >= 0) { // 1e+20 reads 1E20, 1e-05 reads 1E-5, as the runtime's general format does
        QString Exponent = Text.mid(E + 1);
        const bool Negative = Exponent.startsWith(QLatin1Char('-'));
        Exponent.remove(0, 1);
        while (Exponent.size() > 1 && Exponent.startsWith(QLatin1Char('0')))
            Exponent.remove(0, 1);
        Text = Text.left(E) + QLatin1Char('E') + (Negative ? QStringLiteral("-") : QString()) +
               Exponent;
    }
    if (Point != QLatin1String(".") && Text.contains(QLatin1Char('.')))
        Text.replace(QLatin1Char('.'), Point);
    return Text;
}

int PlainFloatChars(double Value, char *Out)
{
    if (!std::isfinite(Value))
        return 0;
    const int n = ShortGeneralChars(Value, Out);
    return std::memchr(Out, 'e', size_t(n)) ? 0 : n;
}

QString DateToStr(const QDate &Value) { return QLocale().toString(Value, ShortDateFormat()); }

bool TryStrToFloat(const QString &Text, double &Value)
{
    const QString Trimmed = Text.trimmed();
    if (Trimmed.isEmpty())
        return false;
    // A group separator is refused: in German "2.500" would be 2500, where a user typing the
    // "." fallback means 2.5; in English "1,500" is no number at all.
    QLocale Locale;
    Locale.setNumberOptions(Locale.numberOptions() | QLocale::RejectGroupSeparator);
    QLocale C = QLocale::c();
    C.setNumberOptions(C.numberOptions() | QLocale::RejectGroupSeparator);
    bool Ok = false;
    double Result = Locale.toDouble(Trimmed, &Ok);
    if (!Ok)
        Result = C.toDouble(Trimmed, &Ok);
    if (!Ok || !std::isfinite(Result))
        return false;
    Value = Result;
    return true;
}

} // namespace qf::tables

#include "expr/exprconv.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <charconv>
#include <cmath>
#include <string>

namespace qf::expr {

namespace {

constexpr qint64 JulianDayOfZero = 2415019; // 30 December 1899
constexpr int MSecsPerDay = 86400000;

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

int hexValue(QChar c)
{
    if (isDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

void checkRange(TDateTime Value)
{
    if (!(Value >= MinDateTime && Value < MaxDateTime + 1))
        throw EExprError(QStringLiteral("%1 is not a valid date and time").arg(Value));
}

QDate dateOf(TDateTime Value)
{
    checkRange(Value);
    return QDate::fromJulianDay(qint64(std::trunc(Value)) + JulianDayOfZero);
}

QTime timeOf(TDateTime Value)
{
    checkRange(Value);
    double frac = std::fabs(Value - std::trunc(Value));
    int ms = int(std::lround(frac * MSecsPerDay));
    if (ms >= MSecsPerDay)
        ms = MSecsPerDay - 1;
    return QTime::fromMSecsSinceStartOfDay(ms);
}

TDateTime fromDate(const QDate &D) { return double(D.toJulianDay() - JulianDayOfZero); }

TDateTime fromTime(const QTime &T) { return double(T.msecsSinceStartOfDay()) / MSecsPerDay; }

// Our date-times carry no time zone: the zone field of the locale's long time format is left out.
QString withoutZone(const QString &Format)
{
    QString out;
    bool quoted = false;
    for (int i = 0; i < Format.size(); ++i) {
        const QChar c = Format[i];
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back() == u' ')
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

// Years are written with four digits: a short format with two would lose the century on the way back.
QString shortDateFormat()
{
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QStringLiteral("yyyy")))
        f.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return f;
}
QString longTimeFormat() { return withoutZone(QLocale().timeFormat(QLocale::LongFormat)); }
QString shortTimeFormat() { return withoutZone(QLocale().timeFormat(QLocale::ShortFormat)); }

bool validDate(const QDate &D) { return D.isValid() && D.year() >= 1 && D.year() <= 9999; }

} // namespace

void RaiseFloatError(long double Value)
{
    if (std::isnan(Value))
        throw EExprError(QStringLiteral("Invalid floating point operation"));
    throw EExprError(QStringLiteral("Floating point overflow"));
}

std::optional<int32_t> ParseIntLiteral(const QString &Text)
{
    if (Text.isEmpty())
        return std::nullopt;
    int64_t v = 0;
    for (QChar c : Text) {
        if (!isDigit(c))
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
        if (v > INT32_MAX)
            return std::nullopt;
    }
    return int32_t(v);
}

std::optional<int32_t> ParseStrToInt(const QString &Text)
{
    int i = 0;
    const int n = int(Text.size());
    while (i < n && Text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (Text[i] == u'-' || Text[i] == u'+'))
        negative = Text[i++] == u'-';
    int base = 10;
    if (i < n && Text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && Text[i] == u'0' && (Text[i + 1] == u'x' || Text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    } else if (i < n && (Text[i] == u'x' || Text[i] == u'X')) {
        base = 16;
        ++i;
    }
    if (i >= n)
        return std::nullopt;
    int64_t v = 0;
    for (; i < n; ++i) {
        const int d = base == 16 ? hexValue(Text[i]) : (isDigit(Text[i]) ? Text[i].unicode() - u'0' : -1);
        if (d < 0)
            return std::nullopt;
        v = v * base + d;
        if (v > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX || v < INT32_MIN)
        return std::nullopt;
    return int32_t(v);
}

std::optional<long double> ParseFloatDot(const QString &Text)
{
    int i = 0;
    const int n = int(Text.size());
    while (i < n && Text[i] == u' ')
        ++i;
    std::string s;
    if (i < n && (Text[i] == u'-' || Text[i] == u'+')) {
        if (Text[i] == u'-')
            s += '-';
        ++i;
    }
    int digits = 0;
    for (; i < n && isDigit(Text[i]); ++i, ++digits)
        s += char(Text[i].unicode());
    if (i < n && Text[i] == u'.') {
        s += '.';
        for (++i; i < n && isDigit(Text[i]); ++i, ++digits)
            s += char(Text[i].unicode());
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (Text[i] == u'e' || Text[i] == u'E')) {
        s += 'e';
        ++i;
        if (i < n && (Text[i] == u'-' || Text[i] == u'+'))
            s += char(Text[i++].unicode());
        int expDigits = 0;
        for (; i < n && isDigit(Text[i]); ++i, ++expDigits)
            s += char(Text[i].unicode());
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    long double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is no number of this type.
        const auto e = s.find('e');
        if (e != std::string::npos && s.find('-', e) != std::string::npos)
            return 0.0L;
        return std::nullopt;
    }
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString FormatGeneral(long double Value, QChar Decimal)
{
    if (std::isnan(Value))
        return QStringLiteral("NAN");
    if (std::isinf(Value))
        return Value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (Value == 0)
        return QStringLiteral("0");
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
    const std::string text(buf, r.ptr);
    // d.dddddddddddddde[+-]x
    const bool negative = text[0] == '-';
    const size_t start = negative ? 1 : 0;
    const size_t e = text.find('e');
    std::string digits;
    for (size_t k = start; k < e; ++k)
        if (text[k] != '.')
            digits += text[k];
    const int exponent = std::stoi(text.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    QString out = negative ? QStringLiteral("-") : QString();
    if (exponent >= 15 || exponent < -4) {
        out += QChar(digits[0]);
        if (digits.size() > 1) {
            out += Decimal;
            out += QString::fromLatin1(digits.data() + 1, qsizetype(digits.size() - 1));
        }
        out += u'E';
        out += QString::number(exponent);
        return out;
    }
    if (exponent >= 0) {
        const size_t intDigits = size_t(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += QString::fromLatin1(digits.c_str()) + QString(qsizetype(intDigits - digits.size()), u'0');
        } else {
            out += QString::fromLatin1(digits.data(), qsizetype(intDigits));
            out += Decimal;
            out += QString::fromLatin1(digits.data() + intDigits, qsizetype(digits.size() - intDigits));
        }
    } else {
        out += u'0';
        out += Decimal;
        out += QString(qsizetype(-exponent - 1), u'0');
        out += QString::fromLatin1(digits.c_str());
    }
    return out;
}

bool IsLeapYear(int Year)
{
    return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime &Value)
{
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1)
        return false;
    const QDate d(Year, Month, Day);
    if (!d.isValid())
        return false;
    Value = fromDate(d);
    return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime &Value)
{
    if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
        return false;
    Value = double(((Hour * 60 + Min) * 60 + Sec) * 1000 + MSec) / MSecsPerDay;
    return true;
}

void DecodeDate(TDateTime Value, int &Year, int &Month, int &Day)
{
    const QDate d = dateOf(Value);
    Year = d.year();
    Month = d.month();
    Day = d.day();
}

int DayOfWeek(TDateTime Value)
{
    checkRange(Value);
    const int64_t days = int64_t(std::trunc(Value)) + 693594; // days since 1 January 0001, from 1
    return int(days % 7) + 1;
}

TDateTime IncMonth(TDateTime Value, int32_t Months)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(Value, y, m, d);
    const int64_t total = int64_t(y) * 12 + (m - 1) + Months;
    const int64_t ny = total >= 0 ? total / 12 : (total - 11) / 12;
    const int nm = int(total - ny * 12) + 1;
    if (ny < 1 || ny > 9999)
        throw EExprError(QStringLiteral("Invalid argument to date encode"));
    const int nd = std::min(d, QDate(int(ny), nm, 1).daysInMonth());
    TDateTime result = 0;
    TryEncodeDate(int(ny), nm, nd, result);
    const double frac = std::fabs(Value - std::trunc(Value));
    return result >= 0 ? result + frac : result - frac;
}

QString DateToStr(TDateTime Value)
{
    return QLocale().toString(dateOf(Value), shortDateFormat());
}

QString TimeToStr(TDateTime Value)
{
    return QLocale().toString(timeOf(Value), longTimeFormat());
}

QString DateTimeToStr(TDateTime Value, TDateRules Rules)
{
    if (Rules == TDateRules::Field) {
        if (!(Value >= MinDateTime && Value < MaxDateTime))
            return QString();
        const double days = std::trunc(Value);
        if (std::round(std::fabs(Value - days) * MSecsPerDay) >= MSecsPerDay)
            Value = Value < 0 ? days - 1 : days + 1;
    }
    const QTime t = timeOf(Value);
    QString s = DateToStr(Value);
    if (t.msecsSinceStartOfDay() != 0)
        s += u' ' + QLocale().toString(t, longTimeFormat());
    return s;
}

QString FormatDateTime(const QString &Format, TDateTime Value)
{
    return QLocale().toString(QDateTime(dateOf(Value), timeOf(Value), Qt::UTC), Format);
}

bool TryStrToDate(const QString &S, TDateTime &Value, TDateRules Rules)
{
    const QString text = S.trimmed();
    QString format = shortDateFormat();
    QDate d = QLocale().toDate(text, format);
    if (!d.isValid() && Rules == TDateRules::Formula) {
        // Two-digit years as typed: within fifty years of today.
        d = QLocale().toDate(text, format.replace(QStringLiteral("yyyy"), QStringLiteral("yy")));
        const int earliest = QDate::currentDate().year() - 50;
        while (d.isValid() && d.year() < earliest)
            d = d.addYears(100);
    }
    if (!validDate(d))
        return false;
    Value = fromDate(d);
    return true;
}

bool TryStrToTime(const QString &S, TDateTime &Value)
{
    const QString text = S.trimmed();
    for (const QString &format : {longTimeFormat(), shortTimeFormat()}) {
        const QTime t = QLocale().toTime(text, format);
        if (t.isValid()) {
            Value = fromTime(t);
            return true;
        }
    }
    return false;
}

bool TryStrToDateTime(const QString &S, TDateTime &Value, TDateRules Rules)
{
    const QString text = S.trimmed();
    if (TryStrToDate(text, Value, Rules))
        return true;
    const bool field = Rules == TDateRules::Field;
    for (qsizetype i = text.indexOf(u' '); i > 0; i = text.indexOf(u' ', i + 1)) {
        TDateTime d = 0, t = 0;
        if (!TryStrToDate(text.left(i), d, Rules))
            continue;
        const QString timeText = text.mid(i + 1).trimmed();
        bool ok = TryStrToTime(timeText, t);
        if (!ok && field) {
            for (const char *format : {"H:mm:ss", "H:mm"}) {
                const QTime time = QLocale().toTime(timeText, QLatin1String(format));
                if (time.isValid()) {
                    t = fromTime(time);
                    ok = true;
                    break;
                }
            }
        }
        if (ok) {
            Value = d >= 0 ? d + t : d - t;
            return true;
        }
    }
    // What a user of another locale may type in a field.
    const QDate iso = field ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (!validDate(iso))
        return false;
    Value = fromDate(iso);
    return true;
}

} // namespace qf::expr

#include "expr/exprconv.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
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

// From 1 January 0001, whatever its time of day (a negative value keeps the time as a positive
// fraction), to 31 December 9999.
bool inRange(TDateTime Value) { return Value > MinDateTime - 1 && Value < MaxDateTime; }

void checkRange(TDateTime Value)
{
    if (!inRange(Value))
        throw EExprError(QStringLiteral("%1 is not a valid date and time").arg(Value));
}

QDate dateOf(TDateTime Value)
{
    checkRange(Value);
    return QDate::fromJulianDay(qint64(std::trunc(Value)) + JulianDayOfZero);
}

// The day and the time of day that a text shows: rounded to the millisecond, a carry moving on to
// the next calendar day (but not past the last valid one).
struct TDayAndTime {
    QDate Day;
    QTime Time;
};

TDayAndTime dayAndTime(TDateTime Value)
{
    QDate day = dateOf(Value);
    qint64 ms = std::llround(std::fabs(Value - std::trunc(Value)) * MSecsPerDay);
    if (ms >= MSecsPerDay) {
        const bool last = day.year() == 9999 && day.month() == 12 && day.day() == 31;
        ms = last ? MSecsPerDay - 1 : 0;
        if (!last)
            day = day.addDays(1);
    }
    return {day, QTime::fromMSecsSinceStartOfDay(int(ms))};
}

TDateTime fromDate(const QDate &D) { return double(D.toJulianDay() - JulianDayOfZero); }

// Our date-times carry no time zone: the zone field of the locale's time formats goes, with the
// blanks, brackets and commas that set it apart ("H:mm:ss (t)", "h:mm:ss AP, t"). So does the day
// period "B" that Qt does not know and would write as a letter; without it the hours are 0 to 23.
QString withoutZone(const QString &Format)
{
    auto apart = [](QChar c) {
        const QChar::Category k = c.category();
        return c.isSpace() || k == QChar::Other_Format || k == QChar::Punctuation_Open ||
               k == QChar::Punctuation_Close || c == u',' || c == u'\u060C' || c == u'\uFF0C';
    };
    QString out = Format;
    for (;;) {
        qsizetype at = -1;
        bool quoted = false;
        for (qsizetype i = 0; i < out.size() && at < 0; ++i) {
            if (out[i] == u'\'')
                quoted = !quoted;
            else if (!quoted && (out[i] == u't' || out[i] == u'B'))
                at = i;
        }
        if (at < 0)
            return out.trimmed();
        qsizetype from = at, to = at;
        while (to < out.size() && out[to] == out[at])
            ++to;
        QString between;
        if (out[at] == u'B') {
            while (to < out.size() && out[to].isSpace())
                ++to;
        } else {
            while (from > 0 && apart(out[from - 1]))
                --from;
            while (to < out.size() && apart(out[to]))
                ++to;
            if (from > 0 && to < out.size()) // between two fields: they stay apart
                between = QStringLiteral(" ");
        }
        out.replace(from, to - from, between);
    }
}

// Years are written with four digits: a short format with two would lose the century on the way
// back.
QString shortDateFormat()
{
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QStringLiteral("yyyy")))
        f.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return f;
}
QString longTimeFormat() { return withoutZone(QLocale().timeFormat(QLocale::LongFormat)); }

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
        const int d =
            base == 16 ? hexValue(Text[i]) : (isDigit(Text[i]) ? Text[i].unicode() - u'0' : -1);
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

bool DecimalToExtended(const char *First, const char *Last, long double &Value)
{
    // Up to 19 significant digits and a scale of at most 27 places, both the digits and the power
    // of ten are exact extended values, so one multiplication or division rounds correctly. Longer
    // texts go to the C library, which rounds correctly too.
    static constexpr long double kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                              1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                              1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                              1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
    const char *p = First;
    const bool negative = p < Last && *p == '-';
    if (p < Last && (*p == '-' || *p == '+'))
        ++p;
    uint64_t mantissa = 0;
    int significant = 0, digits = 0;
    int64_t scale = 0; // the value is mantissa * 10^scale
    bool exact = true;
    bool point = false;
    for (; p < Last; ++p) {
        if (*p == '.' && !point) {
            point = true;
            continue;
        }
        if (*p < '0' || *p > '9')
            break;
        ++digits;
        if (significant == 0 && *p == '0') {
            scale -= point;
        } else if (significant < 19) {
            mantissa = mantissa * 10 + uint64_t(*p - '0');
            ++significant;
            scale -= point;
        } else {
            exact = false;
        }
    }
    if (digits == 0)
        return false;
    if (p < Last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negativeExp = p < Last && *p == '-';
        if (p < Last && (*p == '-' || *p == '+'))
            ++p;
        int64_t exponent = 0;
        const char *expStart = p;
        for (; p < Last && *p >= '0' && *p <= '9'; ++p)
            exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), 1000000);
        if (p == expStart)
            return false;
        scale += negativeExp ? -exponent : exponent;
    }
    if (p != Last)
        return false;
    if (exact && (mantissa == 0 || (scale >= -27 && scale <= 27))) {
        const long double m = static_cast<long double>(mantissa);
        const long double v = mantissa == 0 ? 0.0L
                              : scale >= 0  ? m * kPowers[scale]
                                            : m / kPowers[-scale];
        Value = negative ? -v : v;
        return true;
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::string text(First, Last);
    const long double v = strtold_l(text.c_str(), nullptr, cLocale);
    // The library flags denormals as out of range too; only an infinite result is beyond it.
    if (!std::isfinite(v))
        return false;
    Value = v;
    return true;
}

long double DoubleToExtended(double Value)
{
    if (!std::isfinite(Value) || Value == 0)
        return Value;
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, Value);
    long double v = Value;
    DecimalToExtended(buf, r.ptr, v);
    return v;
}

std::optional<long double> ParseFloatDot(const QString &Text)
{
    qsizetype i = 0;
    while (i < Text.size() && Text[i] == u' ')
        ++i;
    std::string s;
    s.reserve(size_t(Text.size() - i));
    for (; i < Text.size(); ++i) {
        if (Text[i].unicode() >= 0x80)
            return std::nullopt;
        s += char(Text[i].unicode());
    }
    long double v = 0;
    if (!DecimalToExtended(s.data(), s.data() + s.size(), v))
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
            out += QString::fromLatin1(digits.c_str()) +
                   QString(qsizetype(intDigits - digits.size()), u'0');
        } else {
            out += QString::fromLatin1(digits.data(), qsizetype(intDigits));
            out += Decimal;
            out += QString::fromLatin1(digits.data() + intDigits,
                                       qsizetype(digits.size() - intDigits));
        }
    } else {
        out += u'0';
        out += Decimal;
        out += QString(qsizetype(-exponent - 1), u'0');
        out += QString::fromLatin1(digits.c_str());
    }
    return out;
}

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

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
    if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 ||
        MSec > 999)
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
    return QLocale().toString(dayAndTime(Value).Day, shortDateFormat());
}

QString TimeToStr(TDateTime Value)
{
    return QLocale().toString(dayAndTime(Value).Time, longTimeFormat());
}

QString DateTimeToStr(TDateTime Value, TDateRules Rules)
{
    if (Rules == TDateRules::Field && !inRange(Value))
        return QString();
    const TDayAndTime v = dayAndTime(Value);
    QString s = QLocale().toString(v.Day, shortDateFormat());
    if (v.Time.msecsSinceStartOfDay() != 0)
        s += u' ' + QLocale().toString(v.Time, longTimeFormat());
    return s;
}

QString FormatDateTime(const QString &Format, TDateTime Value)
{
    if (Format.isEmpty())
        return DateTimeToStr(Value);
    const TDayAndTime v = dayAndTime(Value);
    return QLocale().toString(QDateTime(v.Day, v.Time, Qt::UTC), Format);
}

namespace {

// Reading typed dates and times. Only the order of the fields and the texts between them come from
// the locale's formats; the fields themselves are read loosely, as people type them.

// A format's fields in order, each with the literal text that follows it; Lead is the text before
// the first. Quotes are removed from the literals.
struct TFormatShape {
    QString Lead;
    std::vector<std::pair<QString, QString>> Fields; // field letters ("dd", "AP"), following text
};

TFormatShape formatShape(const QString &Format)
{
    TFormatShape shape;
    auto literal = [&shape]() -> QString & {
        return shape.Fields.empty() ? shape.Lead : shape.Fields.back().second;
    };
    for (qsizetype i = 0; i < Format.size();) {
        const QChar c = Format[i];
        if (c == u'\'') {
            qsizetype j = i + 1;
            for (; j < Format.size(); ++j) {
                if (Format[j] != u'\'')
                    literal() += Format[j];
                else if (j + 1 < Format.size() && Format[j + 1] == u'\'')
                    literal() += Format[++j];
                else
                    break;
            }
            if (j == i + 1 && j < Format.size()) // '' outside a quoted text
                literal() += u'\'';
            i = j + 1;
        } else if (QStringView(u"dMyhHmszaAt").contains(c)) {
            qsizetype j = i + 1;
            while (j < Format.size() &&
                   (Format[j] == c ||
                    ((c == u'a' || c == u'A') && (Format[j] == u'p' || Format[j] == u'P'))))
                ++j;
            shape.Fields.emplace_back(Format.mid(i, j - i), QString());
            i = j;
        } else {
            literal() += c;
            ++i;
        }
    }
    return shape;
}

// Blanks and the invisible direction marks that some locales put into their dates.
bool isBlank(QChar C) { return C.isSpace() || C.category() == QChar::Other_Format; }

// A literal as it is matched: without blanks and direction marks; empty when it holds only those.
QString core(const QString &Literal)
{
    QString out;
    for (QChar c : Literal)
        if (c.category() != QChar::Other_Format)
            out += c;
    return out.trimmed();
}

class TTextScan {
public:
    explicit TTextScan(const QString &Text) : Text_(Text) {}
    qsizetype Pos = 0;

    bool AtEnd() const { return Pos >= Text_.size(); }
    // Returns whether any blank was passed.
    bool SkipBlanks()
    {
        const qsizetype from = Pos;
        while (Pos < Text_.size() && isBlank(Text_[Pos]))
            ++Pos;
        return Pos > from;
    }
    // One of the texts, case-insensitive, the longest that fits; its index, or -1.
    int Match(const QStringList &Texts)
    {
        int best = -1;
        for (int k = 0; k < Texts.size(); ++k)
            if (!Texts[k].isEmpty() &&
                QStringView(Text_).mid(Pos).startsWith(Texts[k], Qt::CaseInsensitive) &&
                (best < 0 || Texts[k].size() > Texts[best].size()))
                best = k;
        if (best >= 0)
            Pos += Texts[best].size();
        return best;
    }
    // Decimal digits of any script; the count read goes to Digits.
    int Number(int &Digits)
    {
        int value = 0;
        Digits = 0;
        for (; Pos < Text_.size() && Text_[Pos].isDigit() && Digits < 9; ++Pos, ++Digits)
            value = value * 10 + Text_[Pos].digitValue();
        return value;
    }

private:
    const QString &Text_;
};

struct TDateItem {
    int Value = 0, Digits = 0;
    bool Name = false; // a month written as a name
};

// Reads a date at the scan's position: two or three fields in the short format's order, between
// them its separator; WithoutYear reads two only. Leaves the position after the date. A field's
// date has its year in four digits.
bool scanDate(TTextScan &Scan, TDateTime &Value, TDateRules Rules, bool WithoutYear = false)
{
    const bool fourDigits = Rules == TDateRules::Field;
    const QLocale locale;
    const TFormatShape shape = formatShape(locale.dateFormat(QLocale::ShortFormat));
    QString order; // "dMy" in the format's order
    QStringList separators, trailing;
    bool monthName = false;
    for (const auto &[field, after] : shape.Fields) {
        const QChar kind = field[0];
        if ((kind != u'd' && kind != u'M' && kind != u'y') || order.contains(kind) ||
            field == u"ddd" || field == u"dddd")
            continue;
        order += kind;
        monthName = monthName || (kind == u'M' && field.size() >= 3);
        (order.size() < 3 ? separators : trailing) << core(after);
    }
    if (order.size() != 3) {
        order = QStringLiteral("dMy");
        separators = {QStringLiteral("/")};
    }
    separators.removeAll(QString());
    QStringList months;
    if (monthName)
        for (int m = 1; m <= 12; ++m)
            months << locale.monthName(m, QLocale::LongFormat)
                   << locale.monthName(m, QLocale::ShortFormat)
                   << locale.standaloneMonthName(m, QLocale::LongFormat)
                   << locale.standaloneMonthName(m, QLocale::ShortFormat);
    // A blank separator (the C locale's "d MMM yyyy") is one or more blanks.
    auto separator = [&]() {
        const bool blanks = Scan.SkipBlanks();
        const bool sign = Scan.Match(separators) >= 0;
        Scan.SkipBlanks();
        return sign || (separators.isEmpty() && blanks);
    };
    auto item = [&](TDateItem &It) {
        const int name = months.isEmpty() ? -1 : Scan.Match(months);
        It = name >= 0 ? TDateItem{name / 4 + 1, 0, true} : TDateItem{};
        if (name < 0)
            It.Value = Scan.Number(It.Digits);
        return It.Name || It.Digits > 0;
    };
    // The fields as typed, in the format's order; with two the year is this year's.
    auto assign = [&](const TDateItem *Items, int Count) {
        int y = QDate::currentDate().year(), m = 0, d = 0;
        const QString fields = Count == 3 ? order : QString(order).remove(u'y');
        for (int k = 0; k < Count; ++k) {
            const TDateItem &it = Items[k];
            if (fields[k] == u'y') {
                if (it.Name || (it.Digits != 4 && (fourDigits || it.Digits != 2)))
                    return false;
                y = it.Value;
                if (it.Digits == 2) { // within fifty years of today
                    const int earliest = QDate::currentDate().year() - 50;
                    y += earliest / 100 * 100;
                    if (y < earliest)
                        y += 100;
                }
            } else if (it.Digits > 2 || (it.Name && fields[k] != u'M')) {
                return false;
            } else {
                (fields[k] == u'M' ? m : d) = it.Value;
            }
        }
        return TryEncodeDate(y, m, d, Value);
    };
    TDateItem items[3];
    Scan.SkipBlanks();
    if (!item(items[0]) || !separator() || !item(items[1]))
        return false;
    const qsizetype afterTwo = Scan.Pos;
    if (WithoutYear || !(separator() && item(items[2]) && assign(items, 3))) {
        Scan.Pos = afterTwo;
        if (fourDigits || !assign(items, 2))
            return false;
    }
    // What may close a date: the format's closing text ("г." in Bulgarian) or a separator
    // ("31.12.").
    const qsizetype end = Scan.Pos;
    Scan.SkipBlanks();
    if (Scan.Match(trailing) < 0 && Scan.Match(separators) < 0)
        Scan.Pos = end;
    return true;
}

// Reads a time at the scan's position: hours and minutes, optional seconds and milliseconds, with
// the locale's separators and morning/afternoon markers before or after. A field also takes ":".
bool scanTime(TTextScan &Scan, TDateTime &Value, TDateRules Rules)
{
    const QLocale locale;
    QStringList separators, trailing, leads;
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const TFormatShape shape = formatShape(withoutZone(locale.timeFormat(type)));
        leads << core(shape.Lead); // "kl." before the hours
        QString last;              // the text after the last number of the format
        for (const auto &[field, after] : shape.Fields) {
            const QChar kind = field[0];
            if (kind != u'h' && kind != u'H' && kind != u'm' && kind != u's')
                continue;
            if (!last.isNull())
                separators << last;
            last = core(after);
        }
        trailing << last;
    }
    separators.removeAll(QString());
    if (separators.isEmpty() || Rules == TDateRules::Field)
        separators << QStringLiteral(":");
    trailing.removeAll(QString());
    leads.removeAll(QString());
    const QStringList markers = {locale.amText(), locale.pmText(), QStringLiteral("AM"),
                                 QStringLiteral("PM")};
    int afternoon = -1; // unknown, 0 or 1
    auto marker = [&]() {
        const qsizetype from = Scan.Pos;
        Scan.SkipBlanks();
        const int k = Scan.Match(markers);
        if (k < 0)
            Scan.Pos = from;
        else
            afternoon = k % 2;
        return k >= 0;
    };
    auto separator = [&]() {
        Scan.SkipBlanks();
        const bool ok = Scan.Match(separators) >= 0;
        Scan.SkipBlanks();
        return ok;
    };
    auto number = [&](int &V, int MaxDigits) {
        int digits = 0;
        V = Scan.Number(digits);
        return digits > 0 && digits <= MaxDigits;
    };
    int hour = 0, min = 0, sec = 0, msec = 0;
    marker();
    Scan.SkipBlanks();
    if (Scan.Match(leads) >= 0)
        Scan.SkipBlanks();
    if (!number(hour, 2) || !separator() || !number(min, 2))
        return false;
    const qsizetype afterMinutes = Scan.Pos;
    if (separator() && number(sec, 2)) {
        const QString decimal = locale.decimalPoint();
        if (!Scan.AtEnd() && Scan.Match({QStringLiteral("."), decimal}) >= 0) {
            int digits = 0;
            msec = Scan.Number(digits);
            if (digits < 1 || digits > 3)
                return false;
            for (; digits < 3; ++digits)
                msec *= 10;
        }
    } else {
        Scan.Pos = afterMinutes;
    }
    const qsizetype end = Scan.Pos;
    Scan.SkipBlanks();
    if (Scan.Match(trailing) < 0 && Scan.Match(separators) < 0)
        Scan.Pos = end;
    if (afternoon < 0)
        marker();
    if (afternoon >= 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + 12 * afternoon;
    }
    return TryEncodeTime(hour, min, sec, msec, Value);
}

bool scanned(TTextScan &Scan)
{
    Scan.SkipBlanks();
    return Scan.AtEnd();
}

// What a user of another locale may type in a field.
bool isoDate(const QString &S, TDateRules Rules, TDateTime &Value)
{
    const QDate iso =
        Rules == TDateRules::Field ? QDate::fromString(S.trimmed(), Qt::ISODate) : QDate();
    if (!iso.isValid() || iso.year() < 1 || iso.year() > 9999)
        return false;
    Value = fromDate(iso);
    return true;
}

} // namespace

bool TryStrToDate(const QString &S, TDateTime &Value, TDateRules Rules)
{
    TTextScan scan(S);
    TDateTime d = 0;
    if (!scanDate(scan, d, Rules) || !scanned(scan))
        return isoDate(S, Rules, Value);
    Value = d;
    return true;
}

bool TryStrToTime(const QString &S, TDateTime &Value)
{
    TTextScan scan(S);
    TDateTime t = 0;
    if (!scanTime(scan, t, TDateRules::Formula) || !scanned(scan))
        return false;
    Value = t;
    return true;
}

bool TryStrToDateTime(const QString &S, TDateTime &Value, TDateRules Rules)
{
    // The hours of a time after a date without its year read as a year at first ("1.2. 10:30").
    for (const bool withoutYear : {false, true}) {
        TTextScan scan(S);
        TDateTime d = 0, t = 0;
        if (!scanDate(scan, d, Rules, withoutYear))
            break;
        const qsizetype dateEnd = scan.Pos;
        // A time follows the date after blanks.
        if (scanned(scan) || (scan.Pos != dateEnd && scanTime(scan, t, Rules) && scanned(scan))) {
            Value = d >= 0 ? d + t : d - t;
            return true;
        }
    }
    return isoDate(S, Rules, Value);
}

} // namespace qf::expr

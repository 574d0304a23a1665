#include "expr/builtins.h"

#include "expr/adcalc.h"
#include "expr/exprconv.h"
#include "expr/parser.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <unicode/uchar.h>

namespace qf::expr {

const std::array<TBuiltinDecl, 47> &BuiltinTable()
{
    static const std::array<TBuiltinDecl, 47> table = {{
        {1, "dayofweek", {etDateTime}, etInteger},
        {2, "pos", {etString, etString}, etInteger},
        {3, "round", {etExtended}, etInteger},
        {4, "length", {etString}, etInteger},
        {5, "strtoint", {etString}, etInteger},
        {6, "iff", {etBoolean, etExtended, etExtended}, etExtended},
        {7, "frac", {etExtended}, etExtended},
        {8, "int", {etExtended}, etExtended},
        {9, "exp", {etExtended}, etExtended},
        {10, "log", {etExtended, etExtended}, etExtended},
        {11, "ln", {etExtended}, etExtended},
        {12, "sin", {etExtended}, etExtended},
        {13, "cos", {etExtended}, etExtended},
        {14, "arcsin", {etExtended}, etExtended},
        {15, "arccos", {etExtended}, etExtended},
        {16, "sinh", {etExtended}, etExtended},
        {17, "cosh", {etExtended}, etExtended},
        {18, "arcsinh", {etExtended}, etExtended},
        {19, "arccosh", {etExtended}, etExtended},
        {20, "tan", {etExtended}, etExtended},
        {21, "cotan", {etExtended}, etExtended},
        {22, "arctan", {etExtended}, etExtended},
        {23, "tanh", {etExtended}, etExtended},
        {24, "arctanh", {etExtended}, etExtended},
        {25, "sqr", {etExtended}, etExtended},
        {26, "sqrt", {etExtended}, etExtended},
        {27, "abs", {etExtended}, etExtended},
        {28, "strtofloat", {etString}, etExtended},
        {29, "not", {etBoolean}, etBoolean},
        {30, "isleapyear", {etInteger}, etBoolean},
        {31, "ansilowercase", {etString}, etString},
        {32, "ansiuppercase", {etString}, etString},
        {33, "lowercase", {etString}, etString},
        {34, "uppercase", {etString}, etString},
        {35, "copy", {etString, etExtended, etExtended}, etString},
        {36, "inttostr", {etInteger}, etString},
        {37, "floattostr", {etExtended}, etString},
        {38, "datetimetostr", {etDateTime}, etString},
        {39, "timetostr", {etDateTime}, etString},
        {40, "datetostr", {etDateTime}, etString},
        {41, "formatdatetime", {etString, etDateTime}, etString},
        {42, "encodedate", {etInteger, etInteger, etInteger}, etDateTime},
        {43, "encodetime", {etInteger, etInteger, etInteger, etInteger}, etDateTime},
        {44, "incmonth", {etDateTime, etInteger}, etDateTime},
        {45, "strtodate", {etString}, etDateTime},
        {46, "strtodatetime", {etString}, etDateTime},
        {47, "strtotime", {etString}, etDateTime},
    }};
    return table;
}

namespace {

const long double TwoTo63 = 9223372036854775808.0L;

[[noreturn]] void invalidOperation()
{
    throw EExprError(QStringLiteral("Invalid floating point operation"));
}

long double checkedLn(long double X)
{
    if (!(X > 0))
        invalidOperation();
    return std::log(X);
}

// Index and count of "copy": truncated toward zero, held within 32 bits.
int32_t truncToInt(long double X)
{
    if (std::isnan(X))
        return 0;
    const long double t = std::trunc(X);
    return t >= 2147483647.0L ? INT32_MAX : (t <= -2147483648.0L ? INT32_MIN : int32_t(t));
}

QString asciiCase(QString S, bool Upper)
{
    for (QChar &c : S) {
        if (Upper && c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
        else if (!Upper && c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return S;
}

// Letter by letter with the simple case mapping, so that no character becomes two ("ß", "İ").
QString oneToOneCase(const QString &S, bool Upper)
{
    QString out;
    out.reserve(S.size());
    for (const char32_t c : S.toUcs4()) {
        // ICU's simple mapping: Qt's leaves letters with a special casing (İ, ᾳ) unchanged.
        const char32_t m = char32_t(Upper ? u_toupper(UChar32(c)) : u_tolower(UChar32(c)));
        if (QChar::requiresSurrogates(m)) {
            out += QChar(QChar::highSurrogate(m));
            out += QChar(QChar::lowSurrogate(m));
        } else {
            out += QChar(char16_t(m));
        }
    }
    return out;
}

int low16(int32_t V) { return int(uint16_t(uint32_t(V))); }

// Characters are counted as code points: a pair of surrogates is one character.
bool pairAt(const QString &S, qsizetype I)
{
    return S[I].isHighSurrogate() && I + 1 < S.size() && S[I + 1].isLowSurrogate();
}

int64_t charCount(const QString &S, qsizetype Units)
{
    int64_t n = 0;
    for (qsizetype i = 0; i < Units; i += pairAt(S, i) ? 2 : 1)
        ++n;
    return n;
}

// The code unit where character Chars (0-based) starts, or the size when the text is shorter.
qsizetype unitOf(const QString &S, int64_t Chars)
{
    qsizetype i = 0;
    for (; i < S.size() && Chars > 0; --Chars)
        i += pairAt(S, i) ? 2 : 1;
    return i;
}

} // namespace

bool TParser::callBuiltin(uint8_t Id, const TFunctParamValues &P, TExprValue &R)
{
    // A failed conversion is placed at the last symbol of the argument.
    auto fail = [this](uint8_t Code) {
        Index = Index >= 2 ? Index - 2 : 0;
        SetError(Code);
        return false;
    };
    auto x = [&P](size_t i) { return P[i].AsExtended(); };
    switch (Id) {
    case 1: R.I = DayOfWeek(P[0].AsDateTime()); return true;
    case 2: {
        const QString &sub = P[0].AsString(), &text = P[1].AsString();
        const qsizetype at = sub.isEmpty() ? -1 : text.indexOf(sub);
        R.I = at < 0 ? 0 : int32_t(charCount(text, at) + 1);
        return true;
    }
    case 3: {
        // Ties to even whatever the thread's rounding mode; the range is checked after rounding,
        // since a value just below 2^63 rounds up to it.
        const long double v = x(0);
        long double r = std::floor(v);
        const long double rest = v - r; // exact
        if (rest > 0.5L || (rest == 0.5L && std::fmod(r, 2.0L) != 0))
            r += 1;
        if (!(r >= -TwoTo63 && r < TwoTo63))
            invalidOperation();
        R.I = int32_t(uint32_t(uint64_t(int64_t(r))));
        return true;
    }
    case 4: R.I = int32_t(charCount(P[0].AsString(), P[0].AsString().size())); return true;
    case 5: {
        const auto v = ParseStrToInt(P[0].AsString());
        if (!v)
            return fail(22);
        R.I = *v;
        return true;
    }
    case 6: R.E = P[0].AsBoolean() ? x(1) : x(2); return true;
    case 7: R.E = x(0) - std::trunc(x(0)); return true;
    case 8: R.E = std::trunc(x(0)); return true;
    case 9: R.E = CheckedFloat(std::exp(x(0))); return true;
    case 10: {
        const long double base = checkedLn(x(0));
        if (base == 0)
            throw EExprError(QStringLiteral("Floating point division by zero"));
        R.E = checkedLn(x(1)) / base;
        return true;
    }
    case 11: R.E = checkedLn(x(0)); return true;
    case 12: R.E = std::fabs(x(0)) >= TwoTo63 ? 0 : CheckedFloat(std::sin(x(0))); return true;
    case 13: R.E = std::fabs(x(0)) >= TwoTo63 ? 0 : CheckedFloat(std::cos(x(0))); return true;
    case 14: R.E = CheckedFloat(std::asin(x(0))); return true;
    case 15: R.E = CheckedFloat(std::acos(x(0))); return true;
    case 16: R.E = CheckedFloat(std::sinh(x(0))); return true;
    case 17: R.E = CheckedFloat(std::cosh(x(0))); return true;
    case 18: R.E = CheckedFloat(std::asinh(x(0))); return true;
    case 19: R.E = CheckedFloat(std::acosh(x(0))); return true;
    case 20: R.E = CheckedFloat(std::tan(x(0))); return true;
    case 21: {
        const long double t = std::tan(x(0));
        if (t == 0)
            throw EExprError(QStringLiteral("Floating point division by zero"));
        R.E = CheckedFloat(1 / t);
        return true;
    }
    case 22: R.E = CheckedFloat(std::atan(x(0))); return true;
    case 23: R.E = CheckedFloat(std::tanh(x(0))); return true;
    case 24: R.E = CheckedFloat(std::atanh(x(0))); return true;
    case 25: R.E = CheckedFloat(x(0) * x(0)); return true;
    case 26:
        if (x(0) < 0)
            invalidOperation();
        R.E = CheckedFloat(std::sqrt(x(0)));
        return true;
    case 27: R.E = std::fabs(x(0)); return true;
    case 28: {
        const auto v = ParseFloatDot(P[0].AsString());
        if (!v)
            return fail(23);
        R.E = *v;
        return true;
    }
    case 29: R.B = !P[0].AsBoolean(); return true;
    case 30: R.B = IsLeapYear(low16(P[0].AsInteger())); return true;
    case 31: R.S = oneToOneCase(P[0].AsString(), false); return true;
    case 32: R.S = oneToOneCase(P[0].AsString(), true); return true;
    case 33: R.S = asciiCase(P[0].AsString(), false); return true;
    case 34: R.S = asciiCase(P[0].AsString(), true); return true;
    case 35: {
        const QString &s = P[0].AsString();
        const int64_t index = std::max<int64_t>(truncToInt(x(1)), 1);
        const int64_t count = truncToInt(x(2));
        const qsizetype from = unitOf(s, index - 1);
        if (from >= s.size() || count <= 0)
            R.S.clear();
        else
            R.S = s.sliced(from, unitOf(s.sliced(from), count));
        return true;
    }
    case 36: R.S = QString::number(P[0].AsInteger()); return true;
    case 37: R.S = FloatToStrDot(x(0)); return true;
    case 38: R.S = DateTimeToStr(P[0].AsDateTime()); return true;
    case 39: R.S = TimeToStr(P[0].AsDateTime()); return true;
    case 40: R.S = DateToStr(P[0].AsDateTime()); return true;
    case 41: R.S = FormatDateTime(P[0].AsString(), P[1].AsDateTime()); return true;
    case 42:
        if (!TryEncodeDate(low16(P[0].AsInteger()), low16(P[1].AsInteger()),
                           low16(P[2].AsInteger()), R.D))
            throw EExprError(QStringLiteral("Invalid argument to date encode"));
        return true;
    case 43:
        if (!TryEncodeTime(low16(P[0].AsInteger()), low16(P[1].AsInteger()),
                           low16(P[2].AsInteger()), low16(P[3].AsInteger()), R.D))
            throw EExprError(QStringLiteral("Invalid argument to time encode"));
        return true;
    case 44: R.D = IncMonth(P[0].AsDateTime(), P[1].AsInteger()); return true;
    case 45: return TryStrToDate(P[0].AsString(), R.D) || fail(24);
    case 46: return TryStrToDateTime(P[0].AsString(), R.D) || fail(26);
    case 47: return TryStrToTime(P[0].AsString(), R.D) || fail(25);
    default: return false;
    }
}

QString FloatToStrDot(long double Value)
{
    QString s = FormatGeneral(Value, QLocale().decimalPoint().at(0));
    const qsizetype comma = s.indexOf(u',');
    if (comma >= 0)
        s[comma] = u'.';
    return s;
}

long double StrToFloatDot(const QString &S, int &Code)
{
    if (const auto v = ParseFloatDot(S)) {
        Code = 0;
        return *v;
    }
    // The 1-based index of the first character that cannot be taken.
    int i = 0;
    const int n = int(S.size());
    while (i < n && S[i] == u' ')
        ++i;
    if (i < n && (S[i] == u'-' || S[i] == u'+'))
        ++i;
    auto digit = [&S](int k) { return S[k] >= u'0' && S[k] <= u'9'; };
    while (i < n && digit(i))
        ++i;
    if (i < n && S[i] == u'.')
        for (++i; i < n && digit(i); ++i) {
        }
    Code = i + 1;
    return 0;
}

} // namespace qf::expr

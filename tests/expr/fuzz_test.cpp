// Random texts built from the language's pieces, compiled and evaluated as every type: no input may
// crash, hang or read out of bounds. Bounded and seeded, so a failure reproduces.

#include "expr/adcalc.h"
#include "expr/exprconv.h"

#include <QCoreApplication>
#include <QLocale>
#include <cstdio>
#include <random>

using namespace qf::expr;

namespace {

std::mt19937 rng(20261206);

int pick(int N) { return int(rng() % unsigned(N)); }

// A text that mostly follows the grammar, so that the fuzzing reaches past the first operand.
QString grammar(int Depth)
{
    static const char *const atoms[] = {"1",   "0",          "2.5",      "x",       "d",
                                        "s",   "\"t\"",      "true",     "b",       "-1",
                                        "1e3", "2147483647", "param(1)", "param(2)"};
    static const char *const ops[] = {" + ",   " - ",  " * ",   " / ", " ^ ", " div ", " mod ",
                                      " and ", " or ", " xor ", " = ", " < ", " >= ",  " <> "};
    static const char *const calls[] = {
        "round", "sqrt", "length", "floattostr", "strtoint", "pos", "copy",
        "iff",   "f",    "g",      "encodedate", "incmonth", "not", "datetostr"};
    if (Depth <= 0 || pick(3) == 0)
        return QString::fromUtf8(atoms[pick(int(std::size(atoms)))]);
    switch (pick(4)) {
    case 0:
        return grammar(Depth - 1) + QString::fromUtf8(ops[pick(int(std::size(ops)))]) +
               grammar(Depth - 1);
    case 1: return "(" + grammar(Depth - 1) + ")";
    case 2: {
        QString call =
            QString::fromUtf8(calls[pick(int(std::size(calls)))]) + "(" + grammar(Depth - 1);
        for (int k = pick(3); k > 0; --k)
            call += ", " + grammar(Depth - 1);
        return call + ")";
    }
    default:
        return "if " + grammar(Depth - 1) + " then " + grammar(Depth - 1) + " else " +
               grammar(Depth - 1);
    }
}

} // namespace

int main()
{
    QLocale::setDefault(QLocale::c());
    static const char *const pieces[] = {
        "1",        "2147483647", "0",         "3.5",        "1e-5",     "1e400",      "\"s\"",
        "\"",       "'",          "''",        "//",         "(",        ")",          ",",
        "+",        "-",          "*",         "/",          "^",        "div",        "mod",
        "and",      "or",         "xor",       "not",        "true",     "false",      "=",
        "<>",       "<",          ">",         "<=",         ">=",       "if",         "then",
        "else",     "param",      "param(1)",  "x",          "s",        "d",          "b",
        "unknown",  "pos",        "copy",      "round",      "strtoint", "strtofloat", "encodedate",
        "incmonth", "floattostr", "datetostr", "strtodate",  "sqrt",     "ln",         "log",
        "f",        "g",          "\n",        " ",          ";",        ".",          "$",
        "é",        "\t",         "\r",        "9999999999",
    };
    TAdCalc calc;
    calc.OnGetIntegerVar = [](TAdCalc *, const QString &N, bool &Found, int32_t &V, int) {
        Found = N == "x";
        V = -3;
    };
    calc.OnGetStringVar = [](TAdCalc *, const QString &N, bool &Found, QString &V, int) {
        Found = N == "s";
        V = "abc";
    };
    calc.OnGetDateTimeVar = [](TAdCalc *, const QString &N, bool &Found, double &V, int) {
        Found = N == "d";
        V = 36526.5;
    };
    calc.OnGetBooleanVar = [](TAdCalc *, const QString &N, bool &Found, bool &V, int) {
        Found = N == "b";
        V = true;
    };
    int reports = 0;
    calc.OnError = [&](TAdCalc *, int, int, int, int Code, const QString &, int) {
        if (Code < 0 || Code > 27)
            std::abort();
        ++reports;
    };
    calc.AddFunct("f", true, etExtended, {etExtended, etString});
    calc.OnGetExtendedFunct = [](TAdCalc *, const QString &, bool, const TFunctParamValues &P,
                                 bool &, long double &V,
                                 int) { V = P[0].AsExtended() + P[1].AsString().size(); };
    calc.RegisterFunct("g", {}, {}, true, etInteger, {etInteger, etInteger}, fkFormula, 0,
                       "param(1) div param(2)");

    const size_t n = sizeof pieces / sizeof pieces[0];
    long ok = 0, failed = 0, raised = 0;
    for (int round = 0; round < 200000; ++round) {
        QString text;
        if (round % 2) {
            text = grammar(4);
        } else {
            const int len = int(rng() % 14);
            for (int k = 0; k < len; ++k) {
                text += QString::fromUtf8(pieces[rng() % n]);
                if (rng() % 3)
                    text += u' ';
            }
        }
        if (round % 1000 == 0) // now and then, deep nesting
            text = QString(int(rng() % 400), u'(') + text;
        try {
            bool r = false, b;
            int32_t i;
            long double x;
            QString t;
            double d;
            switch ((round / 2) % 6) {
            case 0: r = calc.CalcInteger(text, i, 1); break;
            case 1: r = calc.CalcExtended(text, x, 1); break;
            case 2: r = calc.CalcBoolean(text, b, 1); break;
            case 3: r = calc.CalcString(text, t, 1); break;
            case 4: r = calc.CalcDateTime(text, d, 1); break;
            default:
                calc.Compile(text, 2);
                r = calc.CalcCompiledBoolean(b, 2) && calc.CalcCompiledBoolean(b, 2);
            }
            (r ? ok : failed)++;
        } catch (const EExprError &) {
            ++raised;
        }
    }
    // Typed dates and times from their pieces, in locales with other orders, separators, markers
    // and digits.
    static const char *const datePieces[] = {
        "1",  "12", "2000", "99", "123456789012", "/",  ".",  ":", "-", " ",
        "am", "PM", "Jan",  "г.", "\u200f",       "٢٩", "時", ",", "'"};
    long dates = 0;
    for (const char *name : {"C", "en_US", "en_GB", "de_DE", "ja_JP", "ko_KR", "ar_EG", "bg_BG"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        for (int round = 0; round < 20000; ++round) {
            QString text;
            for (int k = int(rng() % 9); k > 0; --k)
                text += QString::fromUtf8(datePieces[rng() % std::size(datePieces)]);
            TDateTime v = 0;
            const auto rules = round % 2 ? TDateRules::Field : TDateRules::Formula;
            dates += TryStrToDate(text, v, rules) + TryStrToTime(text, v) +
                     TryStrToDateTime(text, v, rules);
        }
    }
    std::printf("ok %ld, failed %ld, raised %ld, reports %d, dates read %ld\n", ok, failed, raised,
                reports, dates);
    return ok > 0 && failed > 0 && dates > 0 ? 0 : 1;
}

#pragma once
// An engine with a host that answers variables from maps and records every error report.

#include "expr/adcalc.h"
#include "expr/parser.h"

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <vector>

struct ErrorReport {
    int Line = 0, Position = 0, Place = 0, Code = 0;
    QString Text;
    int Handle = 0;
};

class ExprFixture : public ::testing::Test {
protected:
    TAdCalc Calc;
    std::map<QString, int32_t> Ints;
    std::map<QString, long double> Exts;
    std::map<QString, bool> Bools;
    std::map<QString, QString> Strs;
    std::map<QString, TDateTime> Dates;
    std::vector<ErrorReport> Errors;
    std::vector<QString> Asked; // names the host was asked, in order

    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        Calc.OnError = [this](TAdCalc *, int Line, int Pos, int Place, int Code, const QString &Text, int Handle) {
            Errors.push_back({Line, Pos, Place, Code, Text, Handle});
        };
        Calc.OnGetIntegerVar = [this](TAdCalc *, const QString &N, bool &Found, int32_t &V, int) { Found = lookup(Ints, N, V); };
        Calc.OnGetExtendedVar = [this](TAdCalc *, const QString &N, bool &Found, long double &V, int) { Found = lookup(Exts, N, V); };
        Calc.OnGetBooleanVar = [this](TAdCalc *, const QString &N, bool &Found, bool &V, int) { Found = lookup(Bools, N, V); };
        Calc.OnGetStringVar = [this](TAdCalc *, const QString &N, bool &Found, QString &V, int) { Found = lookup(Strs, N, V); };
        Calc.OnGetDateTimeVar = [this](TAdCalc *, const QString &N, bool &Found, TDateTime &V, int) { Found = lookup(Dates, N, V); };
    }

    template <typename M, typename T>
    bool lookup(const M &Map, const QString &Name, T &Value)
    {
        Asked.push_back(Name);
        auto it = Map.find(Name);
        if (it == Map.end())
            return false;
        Value = it->second;
        return true;
    }

    std::optional<int32_t> I(const QString &E, int Handle = 0)
    {
        int32_t v = 0;
        return Calc.CalcInteger(E, v, Handle) ? std::optional(v) : std::nullopt;
    }
    std::optional<long double> X(const QString &E)
    {
        long double v = 0;
        return Calc.CalcExtended(E, v, 0) ? std::optional(v) : std::nullopt;
    }
    std::optional<bool> B(const QString &E)
    {
        bool v = false;
        return Calc.CalcBoolean(E, v, 0) ? std::optional(v) : std::nullopt;
    }
    std::optional<QString> S(const QString &E)
    {
        QString v;
        return Calc.CalcString(E, v, 0) ? std::optional(v) : std::nullopt;
    }
    std::optional<TDateTime> D(const QString &E)
    {
        TDateTime v = 0;
        return Calc.CalcDateTime(E, v, 0) ? std::optional(v) : std::nullopt;
    }

    // The code of the one report of the last failed evaluation (0 when it reported nothing).
    int LastCode() const { return Errors.empty() ? 0 : Errors.back().Code; }
};

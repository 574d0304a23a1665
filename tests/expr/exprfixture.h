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

// Readable texts in failure messages.
inline void PrintTo(const QString &S, std::ostream *Os) { *Os << '"' << S.toStdString() << '"'; }
using namespace qf::expr;

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
        Calc.OnError = [this](TAdCalc *, int Line, int Pos, int Place, int Code,
                              const QString &Text, int Handle) {
            Errors.push_back({Line, Pos, Place, Code, Text, Handle});
        };
        Calc.OnGetIntegerVar = [this](TAdCalc *, const QString &N, bool &Found, int32_t &V, int) {
            Found = lookup(Ints, N, V);
        };
        Calc.OnGetExtendedVar = [this](TAdCalc *, const QString &N, bool &Found, long double &V,
                                       int) { Found = lookup(Exts, N, V); };
        Calc.OnGetBooleanVar = [this](TAdCalc *, const QString &N, bool &Found, bool &V, int) {
            Found = lookup(Bools, N, V);
        };
        Calc.OnGetStringVar = [this](TAdCalc *, const QString &N, bool &Found, QString &V, int) {
            Found = lookup(Strs, N, V);
        };
        Calc.OnGetDateTimeVar = [this](TAdCalc *, const QString &N, bool &Found, TDateTime &V,
                                       int) { Found = lookup(Dates, N, V); };
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

    template <typename T, typename F>
    std::optional<T> calc(F Fn, const QString &E, int Handle)
    {
        T v{};
        return (Calc.*Fn)(E, v, Handle) ? std::optional(v) : std::nullopt;
    }
    std::optional<int32_t> I(const QString &E, int Handle = 0)
    {
        return calc<int32_t>(&TAdCalc::CalcInteger, E, Handle);
    }
    std::optional<long double> X(const QString &E)
    {
        return calc<long double>(&TAdCalc::CalcExtended, E, 0);
    }
    std::optional<bool> B(const QString &E) { return calc<bool>(&TAdCalc::CalcBoolean, E, 0); }
    std::optional<QString> S(const QString &E) { return calc<QString>(&TAdCalc::CalcString, E, 0); }
    std::optional<TDateTime> D(const QString &E)
    {
        return calc<TDateTime>(&TAdCalc::CalcDateTime, E, 0);
    }
    std::optional<bool> Compiled(int Handle)
    {
        bool v = false;
        return Calc.CalcCompiledBoolean(v, Handle) ? std::optional(v) : std::nullopt;
    }

    // Tables of texts and the values they evaluate to.
    template <typename T>
    using Cases = std::initializer_list<std::pair<const char *, T>>;
#define QF_EXPECT_ALL(Calc, Type)                                                                  \
    void Expect##Calc(Cases<Type> C)                                                               \
    {                                                                                              \
        for (auto &[e, v] : C)                                                                     \
            EXPECT_EQ(Calc(e), v) << e;                                                            \
    }
    QF_EXPECT_ALL(I, int32_t)
    QF_EXPECT_ALL(X, long double)
    QF_EXPECT_ALL(B, bool)
    QF_EXPECT_ALL(S, const char *)
    QF_EXPECT_ALL(D, TDateTime)

    // Evaluates as the type; true when a value came back.
    bool Evaluates(TExprType Type, const QString &E)
    {
        switch (Type) {
        case etInteger: return I(E).has_value();
        case etExtended: return X(E).has_value();
        case etBoolean: return B(E).has_value();
        case etString: return S(E).has_value();
        default: return D(E).has_value();
        }
    }
    // The text fails with exactly one report of the code; returns that report.
    ErrorReport ExpectCode(TExprType Type, const QString &E, int Code)
    {
        Errors.clear();
        EXPECT_FALSE(Evaluates(Type, E)) << E.toStdString();
        EXPECT_EQ(Errors.size(), 1u) << E.toStdString();
        const ErrorReport r = Errors.empty() ? ErrorReport{} : Errors.back();
        EXPECT_EQ(r.Code, Code) << E.toStdString();
        return r;
    }
};

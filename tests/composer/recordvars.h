#pragma once
// The engine's variables answered from the current record of a dataset, and calculated fields of
// the project store evaluated on the spot, as the main window's record variables answer them.
// Shared by the tests and the merge benchmark.

#include "composer/projectitems.h"
#include "expr/adcalc.h"
#include "store/dlist.h"
#include "tables/dataset.h"

#include <QStringList>

namespace qf::composer {

// Answers the engine's variables from the fields of the dataset, and calculated fields by
// evaluating them, as the window's record variables do.
inline void AnswerFromRecord(expr::TAdCalc &Calc, tables::TADOQuery &Query, store::TDList &List,
                             QStringList &EvalStack)
{
    auto Field = [&Query](const QString &Name) { return Query.FindField(Name); };
    auto Calculated = [&Calc, &List, &EvalStack](const QString &Name, int Type, auto Evaluate) {
        QString Expr;
        int32_t Code = -1;
        const QString N = Name.toUpper();
        if (!GetString(List, QStringLiteral("CF~Expr~") + N, Expr)
            || !GetInt32(List, QStringLiteral("CF~Type~") + N, Code) || Code != Type)
            return false;
        EvalStack.append(N);
        const bool Ok = Evaluate(Expr);
        EvalStack.removeLast();
        return Ok;
    };
    Calc.OnGetIntegerVar = [&Calc, Field, Calculated](expr::TAdCalc *, const QString &N, bool &Found, int32_t &V, int) {
        if (auto *F = Field(N)) {
            if (F->DataType() == tables::ftInteger || F->DataType() == tables::ftSmallint) {
                V = F->AsInteger();
                Found = true;
            }
            return;
        }
        Found = Calculated(N, 0, [&](const QString &E) { return Calc.CalcInteger(E, V, 1); }) || Found;
    };
    Calc.OnGetExtendedVar = [&Calc, Field, Calculated](expr::TAdCalc *, const QString &N, bool &Found, long double &V, int) {
        if (auto *F = Field(N)) {
            if (F->DataType() == tables::ftFloat) {
                V = F->AsFloat();
                Found = true;
            }
            return;
        }
        Found = Calculated(N, 1, [&](const QString &E) { return Calc.CalcExtended(E, V, 1); }) || Found;
    };
    Calc.OnGetBooleanVar = [&Calc, Field, Calculated](expr::TAdCalc *, const QString &N, bool &Found, bool &V, int) {
        if (auto *F = Field(N)) {
            if (F->DataType() == tables::ftBoolean) {
                V = F->AsBoolean();
                Found = true;
            }
            return;
        }
        Found = Calculated(N, 2, [&](const QString &E) { return Calc.CalcBoolean(E, V, 1); }) || Found;
    };
    Calc.OnGetStringVar = [&Calc, Field, Calculated](expr::TAdCalc *, const QString &N, bool &Found, QString &V, int) {
        if (auto *F = Field(N)) {
            if (F->DataType() == tables::ftString || F->DataType() == tables::ftMemo) {
                V = F->AsString();
                Found = true;
            }
            return;
        }
        Found = Calculated(N, 3, [&](const QString &E) { return Calc.CalcString(E, V, 1); }) || Found;
    };
    Calc.OnGetDateTimeVar = [&Calc, Field, Calculated](expr::TAdCalc *, const QString &N, bool &Found, expr::TDateTime &V, int) {
        if (auto *F = Field(N)) {
            if (F->DataType() == tables::ftDate || F->DataType() == tables::ftDateTime) {
                V = F->AsDateTime();
                Found = true;
            }
            return;
        }
        Found = Calculated(N, 4, [&](const QString &E) { return Calc.CalcDateTime(E, V, 1); }) || Found;
    };
}

}  // namespace qf::composer

#pragma once
// A real dBASE table opened as the main dataset, the main window's scanner, the engine with a
// host that answers variables from the current record (as the window's record variables do), and
// a project store: everything the merge works over, without a window.

#include "../tables/dbforacle.h"
#include "composer/merge.h"
#include "composer/project.h"
#include "composer/projectitems.h"
#include "expr/adcalc.h"
#include "shell/framelogic.h"
#include "store/reader.h"
#include "store/sqlset.h"
#include "tables/connection.h"
#include "tables/dataset.h"
#include "tables/tablequery.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qf;
using namespace qf::composer;

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

// Opens a table of a folder as the workspace does: through the SQL set's table query.
struct TOpenTable {
    tables::TADOConnection Connection;
    store::TSQLSet SQLSet;
    tables::TADOQuery Query{&Connection};

    bool Open(const QString &Folder, const QString &Table)
    {
        Connection.ConnectionString = tables::FormatConnectionString(Folder, Folder, tables::kDbaseDriver);
        tables::InitTableQuerySet(SQLSet);
        if (!tables::PrepareTableQuery(SQLSet, Query, Table))
            return false;
        Query.Open();
        return Query.Active();
    }
};

inline void AddCalcField(store::TDList &List, const QString &Name, int Type, const QString &Expr)
{
    PutString(List, QStringLiteral("CF~Expr~") + Name, kindCalcExpr, Expr);
    PutInt32(List, QStringLiteral("CF~Type~") + Name, kindCalcType, Type);
}

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &S, std::ostream *Out) { *Out << '"' << S.toStdString() << '"'; }
QT_END_NAMESPACE

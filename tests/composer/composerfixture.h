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
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/tablequery.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qf;
using namespace qf::composer;

// The window's record variables over a project store and a dataset, bound to a merge: the engine
// asks them for every variable, and the merge shares their evaluation state.
struct TRecordHost {
    tables::TCalcFields CalcFields;
    tables::TRecordVariables Variables;
    std::vector<QString> Errors; // the messages the record variables show

    TRecordHost(store::TDList &List, store::TReader &Reader, expr::TAdCalc &Calc, TMailMerge &Merge,
                tables::TADOQuery &Query)
        : CalcFields(List, Reader), Variables(Calc, CalcFields)
    {
        Variables.CurrentDataSet = Variables.MainDataSet = &Query;
        Variables.ShowError = [this](const QString &Text) { Errors.push_back(Text); };
        Merge.ADOQuery1 = &Query;
        Merge.FEvalStack = &Variables.FEvalStack;
        Merge.FCalcError = &Variables.FCalcError;
        Merge.FInFilter = &Variables.FInFilter;
        Merge.OnPointAtDataSet = [this](tables::TADOQuery *DataSet) {
            Variables.CurrentDataSet = DataSet;
        };
    }
};

// Opens a table of a folder as the workspace does: through the SQL set's table query.
struct TOpenTable {
    tables::TADOConnection Connection;
    store::TSQLSet SQLSet;
    tables::TADOQuery Query{&Connection};

    bool Open(const QString &Folder, const QString &Table)
    {
        Connection.ConnectionString =
            tables::FormatConnectionString(Folder, Folder, tables::kDbaseDriver);
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

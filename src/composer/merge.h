#pragma once
// The merge of one record: a "%" directly followed by a name (a word token of the main
// window's scanner) is replaced by the text of that name's value, taken from a calculated field
// of the project store first and from a field of the main dataset's current record second.
// Numbers and dates are written in the user's locale (QLocale()). Names that match nothing, and
// calculated fields that fail, stay in the text as written. Runs in the user interface thread.

#include <QString>
#include <QStringList>
#include <functional>

namespace qf::store {
class TDList;
class TReader;
}  // namespace qf::store
namespace qf::expr {
class TAdCalc;
}
namespace qf::tables {
class TADOQuery;
}

namespace qf::composer {

class TMailMerge {
public:
    // The project store, the scanner configured as the main window's, the engine. All outlive
    // the merge.
    TMailMerge(store::TDList &DList1, store::TReader &Reader1, expr::TAdCalc &AdCalc1);

    // The main dataset (none: no dataset fields).
    tables::TADOQuery *ADOQuery1 = nullptr;
    // The record evaluation state shared with the record variables and the filter: the
    // calculated fields under evaluation (innermost last), the error latch, the filter flag.
    // The merge's own unless the window points them at its own.
    QStringList *FEvalStack;
    bool *FCalcError;
    bool *FInFilter;
    // Points the engine's variable look-ups at the main dataset before a calculated field runs.
    std::function<void(tables::TADOQuery *DataSet)> OnPointAtDataSet;
    // A calculated field whose evaluation raised rather than reporting an error code.
    std::function<void(const QString &FieldName, const QString &Message)> OnCalcException;

    bool EvaluateName(const QString &Name, QString &Value);
    QString ExpandPlaceholders(const QString &Text);

    // The value texts, shared with the preview and the tests.
    static QString BoolText(bool Value);

private:
    store::TDList &dlist_;
    store::TReader &reader_;
    expr::TAdCalc &adcalc_;
    QStringList ownEvalStack_;
    bool ownCalcError_ = false, ownInFilter_ = false;
    bool evaluateCalcField(const QString &Name, const QString &Expr, int Type, QString &Value);
};

}  // namespace qf::composer

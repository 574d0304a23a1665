#include "composer/merge.h"

#include "composer/projectitems.h"
#include "expr/adcalc.h"
#include "expr/exprconv.h"
#include "store/dlist.h"
#include "store/reader.h"
#include "tables/dataset.h"
#include "tables/fieldtypes.h"

#include <QLocale>

namespace qf::composer {

namespace {

QString FloatText(long double Value)
{
    const QString Point = QLocale().decimalPoint();
    return expr::FormatGeneral(Value, Point.isEmpty() ? QChar(u'.') : Point.front());
}

}  // namespace

TMailMerge::TMailMerge(store::TDList &DList1, store::TReader &Reader1, expr::TAdCalc &AdCalc1)
    : FEvalStack(&ownEvalStack_), FCalcError(&ownCalcError_), FInFilter(&ownInFilter_), dlist_(DList1), reader_(Reader1), adcalc_(AdCalc1)
{
}

QString TMailMerge::BoolText(bool Value)
{
    return Value ? QStringLiteral("True") : QStringLiteral("False");
}

bool TMailMerge::evaluateCalcField(const QString &Name, const QString &Expr, int Type, QString &Value)
{
    *FInFilter = false;
    FEvalStack->append(Name);
    if (OnPointAtDataSet)
        OnPointAtDataSet(ADOQuery1);
    bool Result = false;
    try {
        switch (Type) {
        case 0: {
            int32_t V = 0;
            Result = adcalc_.CalcInteger(Expr, V, 1);
            Value = QString::number(V);
            break;
        }
        case 1: {
            long double V = 0;
            Result = adcalc_.CalcExtended(Expr, V, 1);
            Value = FloatText(V);
            break;
        }
        case 2: {
            bool V = false;
            Result = adcalc_.CalcBoolean(Expr, V, 1);
            Value = BoolText(V);
            break;
        }
        case 3: {
            QString V;
            Result = adcalc_.CalcString(Expr, V, 1);
            Value = V;
            break;
        }
        case 4: {
            expr::TDateTime V = 0;
            Result = adcalc_.CalcDateTime(Expr, V, 1);
            // Outside the years 1..9999 there is no date text: the placeholder stays.
            Value = expr::DateTimeToStr(V, expr::TDateRules::Field);
            if (Result && Value.isEmpty())
                Result = false;
            break;
        }
        default:
            break;  // a type code outside 0..4: no value
        }
    } catch (const expr::EExprError &E) {
        // A fault the language has no code for: reported here, so that the merge never fails.
        Result = false;
        if (OnCalcException)
            OnCalcException(Name, E.Message());
    }
    FEvalStack->removeLast();
    return Result;
}

bool TMailMerge::EvaluateName(const QString &Name, QString &Value)
{
    *FCalcError = false;
    const QString N = Name.toUpper();

    int Structure = 0;
    void *ExprData = nullptr, *TypeData = nullptr;
    if (dlist_.Find(QString::fromLatin1(CalcExprPrefix) + N, Structure, ExprData)
        && dlist_.Find(QString::fromLatin1(CalcTypePrefix) + N, Structure, TypeData)) {
        // The data follows the item kinds; a store loaded from a foreign file may hold others.
        QString Expr;
        int32_t Type = -1;
        GetString(dlist_, QString::fromLatin1(CalcExprPrefix) + N, Expr);
        GetInt32(dlist_, QString::fromLatin1(CalcTypePrefix) + N, Type);
        QString V;
        if (!evaluateCalcField(N, Expr, Type, V))
            return false;
        Value = V;
        return true;
    }

    if (!ADOQuery1 || !ADOQuery1->Active())
        return false;
    tables::TField *Field = ADOQuery1->FindField(N);
    if (!Field)
        return false;
    switch (tables::MapFieldTypeToDbf(Field->DataType())) {
    case tables::dtN: Value = tables::FloatToStr(Field->AsFloat()); break;
    case tables::dtD: Value = tables::DateTimeToStr(Field->AsDateTime()); break;
    case tables::dtL: Value = BoolText(Field->AsBoolean()); break;
    case tables::dtC:
    case tables::dtM: Value = Field->AsString(); break;
    }
    return true;
}

QString TMailMerge::ExpandPlaceholders(const QString &Text)
{
    QString Result;
    Result.reserve(Text.size() + Text.size() / 4);
    store::TScroller Cursor(reader_);
    qsizetype Rest = 0;  // where the unmerged rest of the text starts
    for (;;) {
        const qsizetype Percent = Text.indexOf(QLatin1Char('%'), Rest);
        if (Percent < 0) {
            Result += QStringView(Text).mid(Rest);
            return Result;
        }
        Result += QStringView(Text).mid(Rest, Percent - Rest);
        Rest = Percent + 1;
        // The scanner reads the rest of the text from just after the "%".
        Cursor.SetText(Text, int(Rest));
        const store::TPosition &T = Cursor.Current();
        QString V;
        if (T.Blanks.isEmpty() && T.Kind == store::tkWord && EvaluateName(T.Text, V)) {
            Result += V;
            Rest += T.Text.size();
        } else {
            Result += QLatin1Char('%');
        }
    }
}

}  // namespace qf::composer

#include "composer/merge.h"

#include "composer/projectitems.h"
#include "expr/adcalc.h"
#include "expr/exprconv.h"
#include "expr/parser.h"
#include "store/dlist.h"
#include "store/reader.h"
#include "tables/dataset.h"
#include "tables/fieldtypes.h"

#include <algorithm>

namespace qf::composer {

TMailMerge::TMailMerge(store::TDList &DList1, store::TReader &Reader1, expr::TAdCalc &AdCalc1)
    : FEvalStack(&ownEvalStack_), FCalcError(&ownCalcError_), FInFilter(&ownInFilter_),
      dlist_(DList1), reader_(Reader1), adcalc_(AdCalc1)
{}

TMailMerge::~TMailMerge() = default;

TMailMerge::TCompiled *TMailMerge::compiledOf(const QString &Expr)
{
    const uint64_t Version = adcalc_.Reader().Dictionary().Version();
    const int Signs = int(adcalc_.StringSign()) | int(adcalc_.CommentSign()) << 4 |
                      int(adcalc_.CaseSensitivity()) << 8;
    TCompiled *C = nullptr;
    for (auto &[Text, Entry] : compiled_)
        if (Text == Expr) {
            C = Entry.get();
            break;
        }
    if (!C) {
        // A project holds a handful of calculated fields; a store changed many times starts over.
        if (compiled_.size() >= 64) {
            for (const auto &Entry : compiled_)
                if (Entry.second->InUse)
                    return nullptr;
            compiled_.clear();
        }
        compiled_.emplace_back(Expr, std::make_unique<TCompiled>());
        C = compiled_.back().second.get();
    }
    if (C->InUse)
        return nullptr; // asked for from inside its own evaluation: the engine's own road
    if (!C->Parser) {
        C->Parser = std::make_unique<expr::TParser>(&adcalc_, Expr, 1, true);
    } else if (C->SymbolsVersion != Version || C->Signs != Signs) {
        C->Parser->Tokenize();
    }
    C->SymbolsVersion = Version;
    C->Signs = Signs;
    return C;
}

QString TMailMerge::BoolText(bool Value)
{
    return Value ? QStringLiteral("True") : QStringLiteral("False");
}

bool TMailMerge::evaluateCalcField(const QString &Name, const QString &Expr, int Type,
                                   QString &Value)
{
    *FInFilter = false;
    FEvalStack->append(Name);
    if (OnPointAtDataSet)
        OnPointAtDataSet(ADOQuery1);
    bool Result = false;
    TCompiled *C = Type >= 0 && Type <= 4 ? compiledOf(Expr) : nullptr;
    struct TUse {
        TCompiled *C;
        TUse(TCompiled *AC) : C(AC)
        {
            if (C)
                C->InUse = true;
        }
        ~TUse()
        {
            if (C)
                C->InUse = false;
        }
    } Use(C);
    try {
        switch (Type) {
        case 0: {
            int32_t V = 0;
            Result = C ? C->Parser->EvaluateInteger(V) : adcalc_.CalcInteger(Expr, V, 1);
            Value = QString::number(V);
            break;
        }
        case 1: {
            long double V = 0;
            Result = C ? C->Parser->EvaluateExtended(V) : adcalc_.CalcExtended(Expr, V, 1);
            Value = texts_.General(V);
            break;
        }
        case 2: {
            bool V = false;
            Result = C ? C->Parser->EvaluateBoolean(V) : adcalc_.CalcBoolean(Expr, V, 1);
            Value = BoolText(V);
            break;
        }
        case 3: {
            QString V;
            Result = C ? C->Parser->EvaluateString(V) : adcalc_.CalcString(Expr, V, 1);
            Value = V;
            break;
        }
        case 4: {
            expr::TDateTime V = 0;
            Result = C ? C->Parser->EvaluateDateTime(V) : adcalc_.CalcDateTime(Expr, V, 1);
            // Outside the years 1..9999 there is no date text: the placeholder stays.
            Value = texts_.DateTime(V);
            if (Result && Value.isEmpty())
                Result = false;
            break;
        }
        default: break; // a type code outside 0..4: no value
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

TMailMerge::TName::TName(const QString &Name)
    : Length(Name.size()), Upper(Name.toUpper()),
      ExprKey(std::string(CalcExprPrefix) + Upper.toStdString()),
      TypeKey(std::string(CalcTypePrefix) + Upper.toStdString())
{}

bool TMailMerge::EvaluateName(const QString &Name, QString &Value)
{
    texts_.Refresh();
    // A run over every record asks for one name: it is prepared once.
    if (!lastName_ || (!Name.isSharedWith(lastNameText_) && Name != lastNameText_)) {
        lastName_ = std::make_shared<const TName>(Name);
        lastNameText_ = Name;
    }
    const std::shared_ptr<const TName> Held = lastName_; // kept should the evaluation ask again
    return evaluate(*Held, Value);
}

bool TMailMerge::evaluate(const TName &Name, QString &Value)
{
    *FCalcError = false;
    const QString &N = Name.Upper;

    // Whether the items exist, and where they are held, changes only with the store's keys.
    const uint64_t Version = dlist_.Version();
    if (Name.CalcAt != Version && Name.NoCalcAt != Version) {
        if (dlist_.Find(Name.ExprKey, Name.ExprKind, Name.ExprData) &&
            dlist_.Find(Name.TypeKey, Name.TypeKind, Name.TypeData))
            Name.CalcAt = Version;
        else
            Name.NoCalcAt = Version;
    }
    if (Name.CalcAt == Version) {
        // The data follows the item kinds; a store loaded from a foreign file may hold others.
        const QString Expr = Name.ExprData && PayloadOfKind(Name.ExprKind) == plString
                                 ? *static_cast<QString *>(Name.ExprData)
                                 : QString();
        const int32_t Type = Name.TypeData && PayloadOfKind(Name.TypeKind) == plInt32
                                 ? *static_cast<int32_t *>(Name.TypeData)
                                 : -1;
        QString V;
        if (!evaluateCalcField(N, Expr, Type, V))
            return false;
        Value = V;
        return true;
    }

    if (!ADOQuery1 || !ADOQuery1->Active())
        return false;
    // The field is looked up once per opening of the dataset.
    if (Name.FieldSet != ADOQuery1 || Name.FieldGeneration != ADOQuery1->FieldsGeneration()) {
        const tables::TField *Found = ADOQuery1->FindField(N);
        Name.FieldSet = ADOQuery1;
        Name.FieldGeneration = ADOQuery1->FieldsGeneration();
        Name.FieldIndex = Found ? Found->Index() : -1;
    }
    if (Name.FieldIndex < 0)
        return false;
    tables::TField *Field = &ADOQuery1->Fields(Name.FieldIndex);
    switch (tables::MapFieldTypeToDbf(Field->DataType())) {
    case tables::dtN: Value = texts_.Float(Field->AsFloat()); break;
    case tables::dtD: Value = texts_.DateTime(Field->AsDateTime()); break;
    case tables::dtL: Value = BoolText(Field->AsBoolean()); break;
    case tables::dtC:
    case tables::dtM: Field->ReadString(Value); break; // into the buffer of the last value
    }
    return true;
}

std::shared_ptr<const TMailMerge::TPlan> TMailMerge::planOf(const QString &Text)
{
    const uint64_t Version = reader_.Dictionary().Version();
    ++useCount_;
    for (const auto &Cached : plans_)
        if (Cached->ReaderVersion == Version && Cached->Text.size() == Text.size() &&
            (Cached->Text.constData() == Text.constData() || Cached->Text == Text)) {
            Cached->LastUse = useCount_;
            return Cached;
        }
    auto Made = std::make_shared<TPlan>();
    TPlan &P = *Made;
    P.Text = Text;
    P.ReaderVersion = Version;
    P.LastUse = useCount_;
    store::TScroller Cursor(reader_);
    for (qsizetype Percent = Text.indexOf(QLatin1Char('%')); Percent >= 0;
         Percent = Text.indexOf(QLatin1Char('%'), Percent + 1)) {
        // The scanner reads the rest of the text from just after the "%".
        Cursor.SetText(Text, int(Percent + 1));
        const store::TPosition &T = Cursor.Current();
        int Name = -1;
        if (T.Blanks.isEmpty() && T.Kind == store::tkWord) {
            Name = int(P.Names.size());
            P.Names.emplace_back(T.Text);
        }
        P.Marks.push_back({Percent, Name});
    }
    // A few texts are merged in turn (subject and body); the one used longest ago makes room.
    constexpr size_t MaxPlans = 8;
    if (plans_.size() < MaxPlans) {
        plans_.push_back(Made);
    } else {
        auto Oldest =
            std::min_element(plans_.begin(), plans_.end(),
                             [](const auto &A, const auto &B) { return A->LastUse < B->LastUse; });
        *Oldest = Made;
    }
    return Made;
}

QString TMailMerge::ExpandPlaceholders(const QString &Text)
{
    // Held for the whole merge: a calculated field's evaluation may merge another text.
    const std::shared_ptr<const TPlan> Plan = planOf(Text);
    texts_.Refresh();
    QString Result;
    Result.reserve(Text.size() + Text.size() / 4);
    qsizetype Rest = 0; // where the unmerged rest of the text starts
    QString V;
    for (const TPlan::TMark &Mark : Plan->Marks) {
        // A name never holds a "%", so no accepted name reaches past the next one.
        Result += QStringView(Text).mid(Rest, Mark.Percent - Rest);
        Rest = Mark.Percent + 1;
        const TName *Name = Mark.Name >= 0 ? &Plan->Names[size_t(Mark.Name)] : nullptr;
        if (Name && evaluate(*Name, V)) {
            Result += V;
            Rest += Name->Length;
        } else {
            Result += QLatin1Char('%');
        }
    }
    Result += QStringView(Text).mid(Rest);
    return Result;
}

} // namespace qf::composer

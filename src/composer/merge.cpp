#include "composer/merge.h"

#include "composer/projectitems.h"
#include "expr/adcalc.h"
#include "expr/exprconv.h"
#include "expr/parser.h"
#include "store/dlist.h"
#include "store/reader.h"
#include "store/textcodec.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/fieldtypes.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace qf::composer {

TMailMerge::TMailMerge(store::TDList &DList1, store::TReader &Reader1, expr::TAdCalc &AdCalc1)
    : FEvalStack(&FOwnEvalStack), FCalcError(&FOwnCalcError), FInFilter(&FOwnInFilter),
      FDlist(DList1), FReader(Reader1), FAdcalc(AdCalc1)
{}

TMailMerge::~TMailMerge() = default;

namespace {
// Whether two texts hold the same characters in the same place: then they are equal.
bool sameText(const QString &A, const QString &B)
{
    return A.constData() == B.constData() && A.size() == B.size();
}

// A merged text written in place: its buffer sized ahead and grown only when the values are
// longer than foreseen, without the checks of an append per piece.
class TTextBuilder {
public:
    explicit TTextBuilder(qsizetype Capacity)
    {
        FText.resize(Capacity);
        FData = reinterpret_cast<char16_t *>(FText.data());
    }
    void Append(QStringView Part)
    {
        const qsizetype n = Part.size();
        if (FUsed + n > FText.size()) {
            FText.resize(std::max(FText.size() * 2, FUsed + n));
            FData = reinterpret_cast<char16_t *>(FText.data());
        }
        std::memcpy(FData + FUsed, Part.utf16(), size_t(n) * sizeof(char16_t));
        FUsed += n;
    }
    QString Take()
    {
        FText.truncate(FUsed);
        return std::move(FText);
    }

private:
    QString FText; // FUsed characters written, the rest room
    char16_t *FData;
    qsizetype FUsed = 0;
};

// The text tables::FloatToStr gives for the value a number field's stored text reads as, with "."
// as the point, into Out (48 characters): its length; -1 for blanks (no value); 0 when the text
// is not of the plain form read here. The plain form is the one the table reads exactly (at most
// 15 significant digits and 22 decimals): its digits without the zeros around them are then the
// shortest digits of that value, and the text is made from them directly.
int storedNumberText(const char *Bytes, int Width, char *Out)
{
    const char *p = Bytes, *End = Bytes + Width;
    while (p < End && (*p & 0xDF) == 0)
        ++p;
    while (End > p && (End[-1] & 0xDF) == 0)
        --End;
    if (p == End)
        return -1;
    const bool Negative = *p == '-';
    p += Negative;
    char Digits[40];
    int Count = 0, Whole = 0, Decimals = 0;
    for (; p < End && *p >= '0' && *p <= '9'; ++p)
        if (Count < 40)
            Digits[Count++] = *p;
    Whole = Count;
    if (Whole == 0)
        return 0;
    if (p < End && (*p == '.' || *p == ',')) {
        for (++p; p < End && *p >= '0' && *p <= '9'; ++p, ++Decimals)
            if (Count < 40)
                Digits[Count++] = *p;
        if (Decimals == 0)
            return 0;
    }
    if (p != End || Count > 15 || Decimals > 22)
        return 0;
    int First = 0, Last = Count - 1;
    while (First < Count && Digits[First] == '0')
        ++First;
    if (First == Count)
        return 0; // zero: its sign is the general road's to drop
    while (Digits[Last] == '0')
        --Last;
    const int Exponent = Whole - First - 1, Significant = Last - First + 1;
    if (Exponent < -4 || Exponent >= 15)
        return 0;
    const char *Sig = Digits + First;
    int n = 0;
    if (Negative)
        Out[n++] = '-';
    if (Exponent >= 0) {
        for (int i = 0; i <= Exponent; ++i)
            Out[n++] = i < Significant ? Sig[i] : '0';
        if (Significant > Exponent + 1) {
            Out[n++] = '.';
            for (int i = Exponent + 1; i < Significant; ++i)
                Out[n++] = Sig[i];
        }
    } else {
        Out[n++] = '0';
        Out[n++] = '.';
        for (int i = 0; i < -Exponent - 1; ++i)
            Out[n++] = '0';
        for (int i = 0; i < Significant; ++i)
            Out[n++] = Sig[i];
    }
    return n;
}

} // namespace

TMailMerge::TCompiled *TMailMerge::compiledOf(const QString &Expr)
{
    const uint64_t Version = FAdcalc.Reader().Dictionary().Version();
    const int Signs = int(FAdcalc.StringSign()) | int(FAdcalc.CommentSign()) << 4 |
                      int(FAdcalc.CaseSensitivity()) << 8;
    TCompiled *C = nullptr;
    // A run over every record asks for the same text, usually held by the same store item: the
    // same characters (shared, or a literal's) are the same text.
    if (FLastCompiled < FCompiled.size() && sameText(FCompiled[FLastCompiled].first, Expr))
        C = FCompiled[FLastCompiled].second.get();
    for (size_t i = 0; !C && i < FCompiled.size(); ++i)
        if (FCompiled[i].first == Expr) {
            C = FCompiled[i].second.get();
            FLastCompiled = i;
        }
    if (!C) {
        // A project holds a handful of calculated fields; a store changed many times starts over.
        if (FCompiled.size() >= 64) {
            for (const auto &Entry : FCompiled)
                if (Entry.second->InUse)
                    return nullptr;
            FCompiled.clear();
        }
        FCompiled.emplace_back(Expr, std::make_unique<TCompiled>());
        C = FCompiled.back().second.get();
        FLastCompiled = FCompiled.size() - 1;
    }
    if (C->InUse)
        return nullptr; // asked for from inside its own evaluation: the engine's own road
    if (!C->Parser) {
        C->Parser = std::make_unique<expr::TParser>(&FAdcalc, Expr, 1, true);
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

bool TMailMerge::evaluateCalcField(const QString &Name, const QString &ExprHeld, int Type,
                                   QString &Out)
{
    // Tokenized first: the text is then no longer read from the store, which the hook and the
    // evaluation may change.
    TCompiled *C = Type >= 0 && Type <= 4 ? compiledOf(ExprHeld) : nullptr;
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
    const QString Expr = C ? QString() : ExprHeld;
    *FInFilter = false;
    // Name outlives its evaluation (the plan or the held names keep it): the stack refers to
    // its characters rather than sharing them, which costs two atomic counts per value.
    FEvalStack->append(QString::fromRawData(Name.constData(), Name.size()));
    struct TPop {
        QStringList &Stack;
        ~TPop() { Stack.removeLast(); } // also when a read raises past the engine
    } Pop{*FEvalStack};
    if (OnPointAtDataSet)
        OnPointAtDataSet(ADOQuery1);
    bool Result = false;
    try {
        switch (Type) {
        case 0: {
            int32_t V = 0;
            Result = C ? C->Parser->EvaluateInteger(V) : FAdcalc.CalcInteger(Expr, V, 1);
            if (Result) {
                char Digits[16];
                char16_t Text[16];
                const int n = int(std::to_chars(Digits, Digits + sizeof Digits, V).ptr - Digits);
                std::copy(Digits, Digits + n, Text);
                PutText(Out, QStringView(Text, n));
            }
            break;
        }
        case 1: {
            long double V = 0;
            Result = C ? C->Parser->EvaluateExtended(V) : FAdcalc.CalcExtended(Expr, V, 1);
            if (Result)
                FTexts.General(V, Out);
            break;
        }
        case 2: {
            bool V = false;
            Result = C ? C->Parser->EvaluateBoolean(V) : FAdcalc.CalcBoolean(Expr, V, 1);
            if (Result)
                Out = BoolText(V);
            break;
        }
        case 3: {
            QString V;
            Result = C ? C->Parser->EvaluateString(V) : FAdcalc.CalcString(Expr, V, 1);
            if (Result)
                Out = std::move(V);
            break;
        }
        case 4: {
            expr::TDateTime V = 0;
            Result = C ? C->Parser->EvaluateDateTime(V) : FAdcalc.CalcDateTime(Expr, V, 1);
            // Outside the years 1..9999 there is no date text: the placeholder stays.
            if (Result) {
                QString Text = FTexts.DateTime(V);
                Result = !Text.isEmpty();
                if (Result)
                    Out = std::move(Text);
            }
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
    return Result;
}

TMailMerge::TName::TName(const QString &Name)
    : Length(Name.size()), Upper(Name.toUpper()),
      ExprKey(std::string(CalcExprPrefix) + Upper.toStdString()),
      TypeKey(std::string(CalcTypePrefix) + Upper.toStdString())
{}

bool TMailMerge::EvaluateName(const QString &Name, QString &Value)
{
    // The locale is taken once a pass over the records rather than for every value: again
    // whenever the merge is not on the record after the one it last ran on.
    const int RecNo = ADOQuery1 ? ADOQuery1->RecNo() : -1;
    if (RecNo < 0 || RecNo != FTextsRecNo + 1)
        FTexts.Refresh();
    FTextsRecNo = RecNo;
    // A run over every record asks for one name: it is prepared once. One an evaluation further
    // out still reads is kept until that ends.
    if (!FLastName || (!sameText(Name, FLastNameText) && Name != FLastNameText)) {
        if (FLastName && FDepth > 0)
            FHeldNames.push_back(std::move(FLastName));
        FLastName = std::make_unique<const TName>(Name);
        FLastNameText = Name;
    }
    struct TDepth {
        TMailMerge &M;
        ~TDepth()
        {
            if (--M.FDepth == 0)
                M.FHeldNames.clear();
        }
    } Depth{*this};
    ++FDepth;
    FRecordRead = false; // the record may have moved since
    return evaluate(*FLastName, Value);
}

bool TMailMerge::record()
{
    if (!FRecordRead) {
        FRecord = ADOQuery1->RecordBytes(FRecordLost);
        FRecordRead = true;
    }
    return FRecord;
}

bool TMailMerge::intact() const
{
    // Read after the bytes: a page found gone (the file cut short) sets it as they are read, and
    // the field's own read then reports it.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return !FRecordLost->load(std::memory_order_relaxed);
}

bool TMailMerge::evaluate(const TName &Name, QString &Out)
{
    *FCalcError = false;
    const QString &N = Name.Upper;

    // Whether the items exist, and where they are held, changes only with the store's keys.
    const uint64_t Version = FDlist.Version();
    if (Name.CalcAt != Version && Name.NoCalcAt != Version) {
        int ExprKind, TypeKind;
        void *ExprData, *TypeData;
        if (FDlist.Find(Name.ExprKey, ExprKind, ExprData) &&
            FDlist.Find(Name.TypeKey, TypeKind, TypeData)) {
            Name.CalcAt = Version;
            // The data follows the item kinds; a store loaded from a foreign file may hold others.
            Name.ExprText = ExprData && PayloadOfKind(ExprKind) == plString
                                ? static_cast<const QString *>(ExprData)
                                : nullptr;
            Name.TypeCode = TypeData && PayloadOfKind(TypeKind) == plInt32
                                ? static_cast<const int32_t *>(TypeData)
                                : nullptr;
        } else {
            Name.NoCalcAt = Version;
        }
    }
    if (Name.CalcAt == Version) {
        static const QString NoExpr;
        const QString &Expr = Name.ExprText ? *Name.ExprText : NoExpr;
        const int32_t Type = Name.TypeCode ? *Name.TypeCode : -1;
        const bool Done = evaluateCalcField(N, Expr, Type, Out);
        FRecordRead = false; // it may have moved or changed the record
        return Done;
    }

    if (!ADOQuery1 || !ADOQuery1->Active())
        return false;
    // The field is looked up once per opening of the dataset.
    if (Name.FieldSet != ADOQuery1 || Name.FieldGeneration != ADOQuery1->FieldsGeneration()) {
        const tables::TField *Found = ADOQuery1->FindField(N);
        Name.FieldSet = ADOQuery1;
        Name.FieldGeneration = ADOQuery1->FieldsGeneration();
        Name.FieldIndex = Found ? Found->Index() : -1;
        Name.FieldKind = Found ? uint8_t(tables::MapFieldTypeToDbf(Found->DataType())) : 0;
        Name.FieldOffset = -1;
        const auto *Table = dynamic_cast<const tables::TDbfTable *>(ADOQuery1->Source());
        if (Found && Table) {
            int Offset, Width;
            char Type;
            Table->FieldBytes(Name.FieldIndex, Offset, Width, Type);
            const tables::TFieldType Kind = Found->DataType();
            if ((Type == 'C' && Kind == tables::ftString) ||
                ((Type == 'N' || Type == 'F') && Kind == tables::ftFloat)) {
                Name.FieldOffset = Offset;
                Name.FieldWidth = Width;
            }
        }
    }
    if (Name.FieldIndex < 0)
        return false;
    tables::TField *Field = &ADOQuery1->Fields(Name.FieldIndex);
    switch (tables::TDbfType(Name.FieldKind)) {
    // An empty number or date is no 0 and no day zero: it merges as nothing.
    case tables::dtN:
        if (Name.FieldOffset >= 0 && record()) {
            // A plain stored number written from its digits, as the field's reads would.
            char Plain[48];
            const int n = storedNumberText(FRecord + Name.FieldOffset, Name.FieldWidth, Plain);
            if (n != 0 && intact()) {
                if (n < 0)
                    Out = QString();
                else if (!FTexts.PlainFloat(Plain, n, Out))
                    FTexts.Float(Field->AsFloat(), Out);
                break;
            }
        }
        if (Field->IsNull())
            Out = QString();
        else
            FTexts.Float(Field->AsFloat(), Out);
        break;
    case tables::dtD:
        if (Field->IsNull())
            Out = QString();
        else
            FTexts.DateTime(Field->AsDateTime(), Out);
        break;
    case tables::dtL: Out = BoolText(Field->AsBoolean()); break;
    case tables::dtC:
    case tables::dtM:
        if (Name.FieldOffset >= 0 && record()) {
            // An ASCII text straight from the record's bytes, read as the field reads it.
            const char *At = FRecord + Name.FieldOffset;
            const int Size = store::TrimmedWidth(At, Name.FieldWidth);
            const bool Ascii = store::IsAscii(QByteArrayView(At, Size));
            if (Ascii && intact()) {
                if (Size == 0)
                    Out = QString();
                else
                    Out = QLatin1StringView(At, Size); // into the buffer it holds
                break;
            }
        }
        Field->ReadString(Out); // into the buffer of the last value
        break;
    }
    return true;
}

std::shared_ptr<const TMailMerge::TPlan> TMailMerge::planOf(const QString &Text)
{
    const uint64_t Version = FReader.Dictionary().Version();
    ++FUseCount;
    for (const auto &Cached : FPlans)
        if (Cached->ReaderVersion == Version && Cached->Text.size() == Text.size() &&
            (Cached->Text.constData() == Text.constData() || Cached->Text == Text)) {
            Cached->LastUse = FUseCount;
            return Cached;
        }
    auto Made = std::make_shared<TPlan>();
    TPlan &P = *Made;
    P.Text = Text;
    P.ReaderVersion = Version;
    P.LastUse = FUseCount;
    store::TScroller Cursor(FReader);
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
    if (FPlans.size() < MaxPlans) {
        FPlans.push_back(Made);
    } else {
        auto Oldest =
            std::min_element(FPlans.begin(), FPlans.end(),
                             [](const auto &A, const auto &B) { return A->LastUse < B->LastUse; });
        *Oldest = Made;
    }
    return Made;
}

QString TMailMerge::ExpandPlaceholders(const QString &Text)
{
    // Held for the whole merge: a calculated field's evaluation may merge another text.
    const std::shared_ptr<const TPlan> Plan = planOf(Text);
    FTexts.Refresh();
    FRecordRead = false;
    TTextBuilder Result(Text.size() + Text.size() / 4);
    qsizetype Rest = 0; // where the unmerged rest of the text starts
    for (const TPlan::TMark &Mark : Plan->Marks) {
        // A name never holds a "%", so no accepted name reaches past the next one.
        Result.Append(QStringView(Text).mid(Rest, Mark.Percent - Rest));
        Rest = Mark.Percent + 1;
        const TName *Name = Mark.Name >= 0 ? &Plan->Names[size_t(Mark.Name)] : nullptr;
        if (Name && evaluate(*Name, FValue)) {
            Result.Append(FValue);
            Rest += Name->Length;
        } else {
            Result.Append(QStringView(u"%"));
        }
    }
    Result.Append(QStringView(Text).mid(Rest));
    return Result.Take();
}

} // namespace qf::composer

#include "tables/calc/recordvars.h"

#include "expr/parser.h"
#include "tables/data/dbf/dbftable.h"

#include <QDateTime>

namespace qf::tables {

using expr::TDateTime;

namespace {
constexpr int kMaxSlots = 512;
const QString FilterQuestion = QStringLiteral(";\nDo You whant to Disable Filter?");

// The field types each variable event answers, by its row (the engine type and type code).
bool Answers(int Row, TFieldType Type)
{
    switch (Row) {
    case expr::etInteger:
        return Type == ftSmallint || Type == ftInteger || Type == ftWord || Type == ftLargeint ||
               Type == ftAutoInc;
    case expr::etExtended: return Type == ftFloat || Type == ftCurrency;
    case expr::etBoolean: return Type == ftBoolean;
    case expr::etString:
        return Type == ftString || Type == ftWideString || Type == ftFmtMemo || Type == ftMemo;
    case expr::etDateTime: return Type == ftDate || Type == ftTime || Type == ftDateTime;
    }
    return false;
}

void Read(const TField &Field, int32_t &Value) { Value = Field.AsInteger(); }
void Read(const TField &Field, long double &Value) { Value = Field.AsExtended(); }
void Read(const TField &Field, bool &Value) { Value = Field.AsBoolean(); }
void Read(const TField &Field, QString &Value) { Field.ReadString(Value); }
void Read(const TField &Field, double &Value) { Value = Field.AsDateTime(); }

} // namespace

// A calculated field's text tokenized once and evaluated for every record.
struct TRecordVariables::TCompiledField {
    QString Name;
    QString Expression;
    uint64_t Symbols = 0; // the engine's dictionary when it was tokenized
    std::unique_ptr<expr::TParser> Parser;
};

TRecordVariables::TRecordVariables(expr::TAdCalc &Calc, TCalcFields &CalcFields)
    : FCalc(Calc), FCalcFields(CalcFields)
{
    FCalc.AddFunct(QStringLiteral("Now"), true, expr::etDateTime, {});
    Latch = &FCalcError;
    FCalc.Binder = this;
    FCalc.OnGetIntegerVar = [this](expr::TAdCalc *, const QString &Name, bool &Found,
                                   int32_t &Value,
                                   int) { AdCalc1GetIntegerVar(Name, Found, Value); };
    FCalc.OnGetExtendedVar = [this](expr::TAdCalc *, const QString &Name, bool &Found,
                                    long double &Value,
                                    int) { AdCalc1GetExtendedVar(Name, Found, Value); };
    FCalc.OnGetBooleanVar = [this](expr::TAdCalc *, const QString &Name, bool &Found, bool &Value,
                                   int) { AdCalc1GetBooleanVar(Name, Found, Value); };
    FCalc.OnGetStringVar = [this](expr::TAdCalc *, const QString &Name, bool &Found, QString &Value,
                                  int) { AdCalc1GetStringVar(Name, Found, Value); };
    FCalc.OnGetDateTimeVar = [this](expr::TAdCalc *, const QString &Name, bool &Found,
                                    TDateTime &Value,
                                    int) { AdCalc1GetDateTimeVar(Name, Found, Value); };
    FCalc.OnGetDateTimeFunct =
        [this](expr::TAdCalc *, const QString &Name, bool, const expr::TFunctParamValues &,
               bool &Found, TDateTime &Value, int) { AdCalc1GetDateTimeFunct(Name, Found, Value); };
    FCalc.OnError = [this](expr::TAdCalc *, int Line, int Position, int Place, int Code,
                           const QString &Text,
                           int Handle) { AdCalc1Error(Line, Position, Place, Code, Text, Handle); };
}

TRecordVariables::~TRecordVariables()
{
    FCalc.OnGetIntegerVar = nullptr;
    FCalc.OnGetExtendedVar = nullptr;
    FCalc.OnGetBooleanVar = nullptr;
    FCalc.OnGetStringVar = nullptr;
    FCalc.OnGetDateTimeVar = nullptr;
    FCalc.OnGetDateTimeFunct = nullptr;
    FCalc.OnError = nullptr;
    FCalc.Binder = nullptr;
}

uint64_t TRecordVariables::BindStamp(TRecord &Record)
{
    if (!CurrentDataSet || !CurrentDataSet->Active())
        return 0;
    if (CurrentDataSet != FBindSet || CurrentDataSet->FieldsGeneration() != FBindGeneration) {
        FBindSet = CurrentDataSet;
        FBindGeneration = CurrentDataSet->FieldsGeneration();
        ++FBindStamp;
    }
    Record.Bytes = CurrentDataSet->RecordBytes(Record.Lost);
    return FBindStamp;
}

int TRecordVariables::Bind(const QString &Name, uint8_t &Answers, bool &Safe)
{
    TNameSlot &S = Slot(Name);
    const int Field = FieldIndex(S);
    if (Field < 0)
        return -1; // a calculated field, or no name at all: the events decide
    Answers = S.Rows;
    // Integers may be out of range, and sources other than dBASE tables convert as they read.
    const TFieldType Type = S.FieldRef->DataType();
    Safe = dynamic_cast<const TDbfTable *>(CurrentDataSet->Source()) &&
           (Type == ftString || Type == ftFloat || Type == ftDate || Type == ftBoolean);
    return Field;
}

int32_t TRecordVariables::ReadInteger(int Field)
{
    int32_t Value;
    Read(CurrentDataSet->Fields(Field), Value);
    return Value;
}

long double TRecordVariables::ReadExtended(int Field)
{
    long double Value;
    Read(CurrentDataSet->Fields(Field), Value);
    return Value;
}

bool TRecordVariables::ReadBoolean(int Field)
{
    bool Value;
    Read(CurrentDataSet->Fields(Field), Value);
    return Value;
}

void TRecordVariables::ReadString(int Field, QString &Value)
{
    Read(CurrentDataSet->Fields(Field), Value);
}

TDateTime TRecordVariables::ReadDateTime(int Field)
{
    TDateTime Value;
    Read(CurrentDataSet->Fields(Field), Value);
    return Value;
}

expr::TFieldBinder::TBytes TRecordVariables::FieldBytes(int Field)
{
    const auto *Table = dynamic_cast<const TDbfTable *>(CurrentDataSet->Source());
    if (!Table)
        return {};
    // Only the kinds whose stored form the engine reads as these reads do.
    const TFieldType Type = CurrentDataSet->Fields(Field).DataType();
    TBytes Where;
    char Kind = 0;
    Table->FieldBytes(Field, Where.Offset, Where.Width, Kind);
    if ((Kind == 'C' && Type == ftString) || ((Kind == 'N' || Kind == 'F') && Type == ftFloat) ||
        (Kind == 'D' && Type == ftDate))
        Where.Kind = Kind;
    return Where;
}

int TRecordVariables::TextEquals(int Field, QByteArrayView Ascii)
{
    QByteArrayView Text;
    if (!CurrentDataSet->Fields(Field).AsciiText(Text))
        return -1;
    return Text == Ascii ? 1 : 0;
}

TRecordVariables::TNameSlot &TRecordVariables::Slot(const QString &VarName)
{
    // The engine hands the same text for a symbol at every evaluation: its shared data finds the
    // slot without comparing characters.
    // A name is mostly asked again at once, for its next type.
    if (FLastSlot < FSlots.size() && FSlots[FLastSlot].VarName.isSharedWith(VarName))
        return FSlots[FLastSlot];
    for (FLastSlot = 0; FLastSlot < FSlots.size(); ++FLastSlot)
        if (FSlots[FLastSlot].VarName.isSharedWith(VarName))
            return FSlots[FLastSlot];
    // A text compiled again hands new copies of the names: the slot takes this one, so that the
    // next request finds it by its shared data again.
    for (FLastSlot = 0; FLastSlot < FSlots.size(); ++FLastSlot)
        if (FSlots[FLastSlot].VarName == VarName) {
            FSlots[FLastSlot].VarName = VarName;
            return FSlots[FLastSlot];
        }
    if (FSlots.size() >= kMaxSlots)
        FSlots.clear();
    FLastSlot = FSlots.size();
    FSlots.push_back(TNameSlot{VarName, VarName.toUpper(), -2});
    return FSlots.back();
}

[[gnu::always_inline]] inline int TRecordVariables::FieldIndex(TNameSlot &S)
{
    const uint64_t Generation = CurrentDataSet ? CurrentDataSet->FieldsGeneration() : 0;
    if (CurrentDataSet == FSlotSet && Generation == FSlotGeneration && S.Field != -2) [[likely]]
        return S.Field;
    return FindFieldIndex(S);
}

int TRecordVariables::FindFieldIndex(TNameSlot &S)
{
    const uint64_t Generation = CurrentDataSet ? CurrentDataSet->FieldsGeneration() : 0;
    if (CurrentDataSet != FSlotSet || Generation != FSlotGeneration) {
        for (TNameSlot &Each : FSlots)
            Each.Field = -2;
        FSlotSet = CurrentDataSet;
        FSlotGeneration = Generation;
    }
    if (S.Field == -2) {
        S.Field = -1;
        S.FieldRef = nullptr;
        S.Rows = 0;
        const int Count = CurrentDataSet ? CurrentDataSet->FieldCount() : 0;
        for (int i = 0; i < Count; ++i)
            if (CurrentDataSet->Fields(i).FieldName().toUpper() == S.Upper) {
                S.Field = i;
                S.FieldRef = &CurrentDataSet->Fields(i);
                for (int Row = expr::etInteger; Row <= expr::etDateTime; ++Row)
                    if (Answers(Row, S.FieldRef->DataType()))
                        S.Rows |= uint8_t(1u << Row);
                break;
            }
    }
    return S.Field;
}

expr::TParser &TRecordVariables::Parser(const QString &Name, const QString &Expression)
{
    const uint64_t Symbols = FCalc.Reader().Dictionary().Version();
    TCompiledField *Entry = nullptr;
    for (const auto &Each : FCompiled)
        if (Each->Name == Name) {
            Entry = Each.get();
            break;
        }
    if (!Entry) {
        FCompiled.push_back(std::make_unique<TCompiledField>());
        Entry = FCompiled.back().get();
        Entry->Name = Name;
    }
    // The field is not under evaluation (the repeated-call guard saw to it), so its parser may go.
    if (!Entry->Parser || Entry->Symbols != Symbols ||
        (!Entry->Expression.isSharedWith(Expression) && Entry->Expression != Expression)) {
        Entry->Parser.reset();
        Entry->Expression = Expression;
        Entry->Symbols = Symbols;
        Entry->Parser = std::make_unique<expr::TParser>(&FCalc, Expression, hCalcField, true);
    }
    return *Entry->Parser;
}

template <typename T>
bool TRecordVariables::Evaluate(const QString &Name, const QString &Expression, int Row, T &Value)
{
    expr::TParser &P = Parser(Name, Expression);
    switch (Row) {
    case expr::etInteger:
        if constexpr (std::is_same_v<T, int32_t>)
            return P.EvaluateInteger(Value);
        break;
    case expr::etExtended:
        if constexpr (std::is_same_v<T, long double>)
            return P.EvaluateExtended(Value);
        break;
    case expr::etBoolean:
        if constexpr (std::is_same_v<T, bool>)
            return P.EvaluateBoolean(Value);
        break;
    case expr::etString:
        if constexpr (std::is_same_v<T, QString>)
            return P.EvaluateString(Value);
        break;
    case expr::etDateTime:
        if constexpr (std::is_same_v<T, TDateTime>)
            return P.EvaluateDateTime(Value);
        break;
    }
    return false;
}

template <typename T>
void TRecordVariables::Lookup(const QString &VarName, bool &Found, T &Value, int Row)
{
    if (FCalcError)
        return;
    // The usual request, a field asked again for its next type, is answered without calls.
    TNameSlot &S = FLastSlot < FSlots.size() && FSlots[FLastSlot].VarName.isSharedWith(VarName)
                       ? FSlots[FLastSlot]
                       : Slot(VarName);
    if (FieldIndex(S) >= 0) {
        if (S.Rows & (1u << Row)) {
            Read(*S.FieldRef, Value);
            Found = true;
        }
        return;
    }
    // A nested look-up may add slots: the name is kept apart from the slot.
    const QString Name = S.Upper;
    FCalcFields.FDListScanMode = 0;
    QString Expression;
    if (Name.contains(QLatin1Char('~')) || !FCalcFields.Expression(Name, Expression))
        return;
    if (FEvalStack.contains(Name)) {
        // Reported as a calculated field's error, so a filter offers its way out instead of one
        // message per record.
        ReportCalcFieldMessage(QStringLiteral("Repeated call of identifier \"%1\"").arg(Name));
        FCalcError = true;
        return;
    }
    FEvalStack.append(Name);
    struct TPop {
        QStringList &Stack;
        ~TPop() { Stack.removeLast(); }
    } Pop{FEvalStack};
    int32_t Type;
    if (FCalcFields.TypeCode(Name, Type) && Type == Row)
        Found = Evaluate(Name, Expression, Row, Value);
}

void TRecordVariables::AdCalc1GetIntegerVar(const QString &VarName, bool &Found, int32_t &Value)
{
    Lookup(VarName, Found, Value, expr::etInteger);
}

void TRecordVariables::AdCalc1GetExtendedVar(const QString &VarName, bool &Found,
                                             long double &Value)
{
    Lookup(VarName, Found, Value, expr::etExtended);
}

void TRecordVariables::AdCalc1GetBooleanVar(const QString &VarName, bool &Found, bool &Value)
{
    Lookup(VarName, Found, Value, expr::etBoolean);
}

void TRecordVariables::AdCalc1GetStringVar(const QString &VarName, bool &Found, QString &Value)
{
    Lookup(VarName, Found, Value, expr::etString);
}

void TRecordVariables::AdCalc1GetDateTimeVar(const QString &VarName, bool &Found, TDateTime &Value)
{
    Lookup(VarName, Found, Value, expr::etDateTime);
}

void TRecordVariables::AdCalc1GetDateTimeFunct(const QString &FunctName, bool &Found,
                                               TDateTime &Value)
{
    if (FunctName.toLower() != QLatin1String("now"))
        return;
    Found = true;
    Value = DateTimeToSerial(QDateTime::currentDateTime());
}

void TRecordVariables::AdCalc1Error(int ErrorLine, int ErrorPosition, int ErrorPlace, int ErrorCode,
                                    const QString &ErrorStr, int Handle)
{
    if (FCalcError)
        return;
    QString Text = ErrorStr;
    switch (ErrorCode) {
    case 2: Text = QStringLiteral("Numerical type value expected"); break;
    case 3: Text = QStringLiteral("Logical type value expected"); break;
    case 4: Text = QStringLiteral("Character type value expected"); break;
    default: break;
    }
    ReportFailure(QStringLiteral("Line %1, Col %2, %3").arg(ErrorLine).arg(ErrorPosition).arg(Text),
                  ErrorPlace, Handle);
}

void TRecordVariables::ReportCalcFieldMessage(const QString &Message)
{
    if (MailingVisible && MailingVisible()) {
        if (StopPreparing)
            StopPreparing();
        if (ShowError)
            ShowError(Message);
    } else if (FInFilter && MainDataSet && MainDataSet->Filtered()) {
        FFilterActive = !(AskYesNo && AskYesNo(Message + FilterQuestion));
    } else if (ShowError) {
        ShowError(Message);
    }
}

void TRecordVariables::ReportFailure(const QString &Description, int ErrorPlace, int Handle)
{
    switch (Handle) {
    case hCalcField: {
        const QString Name = FEvalStack.isEmpty() ? QString() : FEvalStack.last();
        ReportCalcFieldMessage(
            QStringLiteral(
                "Error in expression of Calculated Field \"%1\" with description:\n\"%2\"")
                .arg(Name, Description));
        break;
    }
    case hMainFilter:
    case hCopyFilter: {
        const QString Message =
            QStringLiteral("Error in Filter Expression With Description:\n\"%1\"")
                .arg(Description) +
            FilterQuestion;
        if (Handle == hMainFilter && OnFilterError)
            OnFilterError(ErrorPlace);
        FFilterActive = !(AskYesNo && AskYesNo(Message));
        break;
    }
    default: break;
    }
}

void TRecordVariables::CompileFilter(const QString &Text, int Handle)
{
    FFilterActive = true;
    FCalc.Compile(Text, Handle);
}

void TRecordVariables::RemoveFilter(int Handle) { FCalc.RemoveCompiled(Handle); }

void TRecordVariables::EvaluateFilter(TADOQuery &DataSet, bool &Accept, int Handle)
{
    // Each record is an evaluation of its own: a repeated call on an earlier one must not
    // silence this one.
    FCalcError = false;
    FInFilter = true;
    CurrentDataSet = &DataSet;
    if (!FFilterActive)
        return;
    bool Value = false;
    // A fault without an error code (a value out of range, an impossible date) fails this record
    // like any other failure: the record is kept and the user asked, rather than the table refused.
    QString Fault;
    try {
        if (FCalc.CalcCompiledBoolean(Value, Handle))
            Accept = Value;
        return;
    } catch (const expr::EExprError &Error) {
        Fault = Error.Message();
    } catch (const EDatabaseError &Error) {
        Fault = Error.Message();
    }
    if (!FCalcError)
        ReportFailure(Fault, 0, Handle);
}

void TRecordVariables::AttachFilter(TADOQuery &DataSet, int Handle)
{
    DataSet.OnFilterRecord = [this, Handle](TADOQuery &Set, bool &Accept) {
        EvaluateFilter(Set, Accept, Handle);
    };
}

} // namespace qf::tables

#include "expr/adcalc.h"

#include "expr/builtins.h"
#include "expr/parser.h"

#include <QDebug>
#include <charconv>
#include <type_traits>

namespace qf::expr {

using namespace qf::store;

std::array<TSymbolRow, SymbolRowCount> SymbolTable = {{
    {QString(), tcEnd, 0},
    {QString(), tcName, 0},
    {QStringLiteral(","), tcComma, 6},
    {QStringLiteral("("), tcOpen, 6},
    {QStringLiteral(")"), tcClose, 6},
    {QStringLiteral("+"), tcIntOp | tcExtOp | tcStrOp, 6},
    {QStringLiteral("-"), tcIntOp | tcExtOp, 6},
    {QStringLiteral("*"), tcIntOp | tcExtOp, 6},
    {QStringLiteral("/"), tcExtOp, 6},
    {QStringLiteral("^"), tcExtOp, 6},
    {QStringLiteral("and"), tcBoolOp, 5},
    {QStringLiteral("or"), tcBoolOp, 5},
    {QStringLiteral("xor"), tcBoolOp, 5},
    {QStringLiteral("div"), tcIntOp, 5},
    {QStringLiteral("mod"), tcIntOp, 5},
    {QStringLiteral("true"), tcBoolLit, 5},
    {QStringLiteral("false"), tcBoolLit, 5},
    {QStringLiteral("param"), tcFunct, 5},
    {QStringLiteral(">="), tcCompare, 6},
    {QStringLiteral("<="), tcCompare, 6},
    {QStringLiteral("<>"), tcCompare, 6},
    {QStringLiteral("="), tcCompare, 6},
    {QStringLiteral(">"), tcCompare, 6},
    {QStringLiteral("<"), tcCompare, 6},
    {QStringLiteral("'"), tcComment, 6},
    {QStringLiteral("\""), tcString, 6},
    {QStringLiteral("//"), 0, 6},
    {QStringLiteral(";"), tcStatementEnd, 6},
    {QStringLiteral("."), tcStatementEnd, 6},
    {QString(), tcVariable, 5},
    {QString(), tcFunct, 5},
    {QStringLiteral("if"), tcIf, 5},
    {QStringLiteral("then"), tcThen, 5},
    {QStringLiteral("else"), tcElse, 5},
    {QString(), tcIntLit | tcExtLit | tcDateLit, 1},
    {QString(), tcExtLit | tcDateLit, 1},
    {QString(), tcStrLit, 1},
}};

const std::array<QString, ErrorMessageCount> ErrorMessages = {
    QString(),
    QStringLiteral("Integer type value expected"),
    QStringLiteral("Extended type value expected"),
    QStringLiteral("Boolean type value expected"),
    QStringLiteral("String type value expected"),
    QStringLiteral("DateTime type value expected"),
    QStringLiteral("\"+\", \"-\", \"*\", \"Div\" or \"Mod\" expected"),
    QStringLiteral("\"+\", \"-\", \"*\", \"/\" or \"^\" expected"),
    QStringLiteral("\"AND\", \"OR\" or \"XOR\" expected"),
    QStringLiteral("\"+\" expected"),
    QStringLiteral("Comparison sign expected"),
    QStringLiteral("\"(\" expected"),
    QStringLiteral("\")\" expected"),
    QStringLiteral("\",\" expected"),
    QStringLiteral("Division by zero"),
    QStringLiteral("Number of parameter is out of range"),
    QStringLiteral("Variable name expected"),
    QStringLiteral("\"=\" expected"),
    QStringLiteral("\";\" or \".\" expected"),
    QStringLiteral("\".\" expected"),
    QStringLiteral("\"Then\" expected"),
    QStringLiteral("\"Else\" expected"),
    QStringLiteral("Invalid Integer"),
    QStringLiteral("Invalid Floating Point Number"),
    QStringLiteral("Invalid Date"),
    QStringLiteral("Invalid Time"),
    QStringLiteral("Invalid Date and Time"),
    QStringLiteral("String sign expected"),
};

TFunct::~TFunct() = default;

namespace {

bool hasRole(int Row, uint32_t Class) { return SymbolTable[size_t(Row)].Flags & Class; }
void setRole(int Row, uint32_t Class) { SymbolTable[size_t(Row)].Flags = Class; }

} // namespace

TAdCalc::TAdCalc()
{
    SetStringSign(ssQMark);
    SetCommentSign(csApostrophe);
    FReader.OnDisposeProperties = [this](TReader *, int Structure, void *Properties) {
        disposeSymbol(Structure, Properties);
    };
    FReader.OnRegList = [](TReader *, const QString &, TStatus, int Structure, void *Properties) {
        // Re-tokenizing walks the formula functions through the reader's listing.
        if (Structure != 3 || !Properties)
            return;
        auto *f = static_cast<TFunct *>(static_cast<TSymbolRef *>(Properties)->Data);
        if (f && f->Formula)
            f->Formula->Tokenize();
    };
    TDList &dict = FReader.Dictionary();
    dict.OnFilter = [](TDList *, const std::string &, int Structure, void *, bool &Enabled) {
        Enabled = Structure == 3 || Structure == 4;
    };
    dict.OnDeleteFilter = [](TDList *, const std::string &, int Structure, void *,
                             bool &CanDelete) { CanDelete = Structure == 3 || Structure == 4; };
    dict.OnFileHeader = [](TDList *, TFileHandle &, THeaderAction, int, int) {}; // no header bytes
    dict.OnSaveStructure = [this](TDList *, int Structure, void *Properties, TFileHandle &H, int) {
        saveSymbol(Structure, Properties, H);
    };
    dict.OnLoadStructure = [this](TDList *, int Structure, void *&Properties, TFileHandle &H, int) {
        loadSymbol(Structure, Properties, H);
    };
    SetCaseSensitivity(false);
    FCompiled.OnDisposeStructure = [this](TDList *, int, void *Properties) {
        auto *p = static_cast<TParser *>(Properties);
        if (p == FCachedParser)
            FCachedParser = nullptr;
        if (FEvalDepth > 0)
            FRetiredParsers.push_back(p); // it may be the one being evaluated
        else
            delete p;
    };
    NeedRecompile = false;
}

TAdCalc::~TAdCalc()
{
    FCompiled.Clear();
    FReader.Dictionary().OnFilter = nullptr; // so that clearing reaches every symbol
    FReader.Dictionary().Clear();
    FEvalDepth = 0;
    releaseRetired();
}

TStringSign TAdCalc::StringSign() const
{
    return hasRole(rowApostrophe, tcString) ? ssApostrophe : ssQMark;
}

void TAdCalc::SetStringSign(TStringSign Value)
{
    if (Value == ssQMark) {
        if (hasRole(rowQuote, tcComment))
            setRole(rowApostrophe, tcComment);
        else if (hasRole(rowApostrophe, tcString))
            setRole(rowApostrophe, 0);
        setRole(rowQuote, tcString);
    } else {
        if (hasRole(rowApostrophe, tcComment))
            setRole(rowQuote, tcComment);
        else if (hasRole(rowQuote, tcString))
            setRole(rowQuote, 0);
        setRole(rowApostrophe, tcString);
    }
}

TCommentSign TAdCalc::CommentSign() const
{
    if (hasRole(rowApostrophe, tcComment))
        return csApostrophe;
    return hasRole(rowQuote, tcComment) ? csQMark : csDublDiv;
}

void TAdCalc::SetCommentSign(TCommentSign Value)
{
    switch (Value) {
    case csApostrophe:
        if (hasRole(rowApostrophe, tcString))
            setRole(rowQuote, tcString);
        setRole(rowDoubleSlash, 0);
        setRole(rowApostrophe, tcComment);
        break;
    case csQMark:
        if (hasRole(rowQuote, tcString))
            setRole(rowApostrophe, tcString);
        setRole(rowDoubleSlash, 0);
        setRole(rowQuote, tcComment);
        break;
    case csDublDiv:
        if (hasRole(rowQuote, tcComment))
            setRole(rowQuote, 0);
        else if (hasRole(rowApostrophe, tcComment))
            setRole(rowApostrophe, 0);
        setRole(rowDoubleSlash, tcComment);
        break;
    }
}

void TAdCalc::SetCaseSensitivity(bool Value)
{
    FReader.SetCaseSensitivity(Value);
    registerSymbols();
    registerBuiltins();
    // Re-registering released the records that tokenized texts point at.
    NeedRecompile = true;
}

void TAdCalc::registerSymbols()
{
    FReader.SetDefaultBlanks();
    FReader.ExcludeBlank(QChar(u'\n'));
    FReader.AddDelimiter(QStringLiteral("\n"), 0, nullptr);
    for (int row = 0; row < SymbolRowCount; ++row) {
        const TSymbolRow &r = SymbolTable[size_t(row)];
        if (r.Name.isEmpty())
            continue;
        auto *ref = new TSymbolRef{uint8_t(row), nullptr};
        if (row == rowParam) {
            auto *f = new TFunct;
            f->FunctType = etExtended;
            f->Params = {etInteger};
            ref->Data = f;
            FReader.AddKeyword(r.Name, 2, ref);
        } else if (r.Kind == 5) {
            FReader.AddKeyword(r.Name, 1, ref);
        } else {
            FReader.AddDelimiter(r.Name, 1, ref);
        }
    }
}

void TAdCalc::registerBuiltins()
{
    for (const TBuiltinDecl &b : BuiltinTable())
        RegisterFunct(QString::fromLatin1(b.Name), {}, {}, true, b.Result, b.Params, fkBuiltin,
                      b.Id, {});
}

void TAdCalc::message(const QString &Text)
{
    if (ErrorBox)
        ErrorBox(Text);
    else
        qWarning().noquote() << Text;
}

QString TAdCalc::identifierError(QString &Name) const
{
    for (QChar &c : Name)
        if (FReader.IsBlank(c))
            c = u'_';
    if (Name.isEmpty())
        return QStringLiteral("Identifier name missing");
    const QString key = NormalizeName(Name);
    for (const TSymbolRow &r : SymbolTable)
        if (r.Kind == 5 && !r.Name.isEmpty() && r.Name == key)
            return QStringLiteral("\"%1\" is a reserved word").arg(Name);
    bool bad = Name[0] >= u'0' && Name[0] <= u'9';
    for (QChar c : Name)
        bad = bad || FReader.IsDelimiter(QString(c));
    return bad ? QStringLiteral("Incorrect identifier name") : QString();
}

bool TAdCalc::checkIdentifier(QString &Name)
{
    const QString error = identifierError(Name);
    if (!error.isEmpty())
        message(error);
    return error.isEmpty();
}

QString TAdCalc::NormalizeName(const QString &Name) const
{
    return CaseSensitivity() ? Name : QString::fromStdString(FReader.KeyOf(Name));
}

bool TAdCalc::RegisterFunct(QString Name, const QString &Description, const QString &UserText,
                            bool Active, TExprType FunctType, const std::vector<TExprType> &Params,
                            TFunctKind Kind, uint8_t Id, const QString &Formula)
{
    if (!checkIdentifier(Name))
        return false;
    auto *f = new TFunct;
    f->Name = Name;
    f->Description = Description;
    f->UserText = UserText;
    f->Active = Active;
    f->FunctType = FunctType;
    f->Params = Params;
    f->Kind = Kind;
    f->Id = Id;
    auto *ref = new TSymbolRef{rowFunct, f};
    if (Kind == fkFormula) {
        f->Formula = std::make_unique<TParser>(this, Formula, 0, false);
        FReader.AddKeyword(Name, 3, ref);
    } else {
        FReader.AddKeyword(Name, 2, ref);
    }
    return true;
}

bool TAdCalc::RegisterVariable(QString Name, TExprType VarType, const TExprValue *DefaultValue,
                               const QString &Description, const QString &UserText)
{
    if (!checkIdentifier(Name))
        return false;
    auto *v = new TVariable;
    v->Name = Name;
    v->Description = Description;
    v->UserText = UserText;
    v->VarType = VarType;
    if (DefaultValue)
        v->DefaultValue = std::make_unique<TExprValue>(*DefaultValue);
    FReader.AddKeyword(Name, 4, new TSymbolRef{rowVariable, v});
    NeedRecompile = true;
    return true;
}

TVariable *TAdCalc::findVariable(const QString &Name, TExprType Type)
{
    TStatus status = 0;
    int structure = 0;
    void *props = nullptr;
    if (!FReader.FindSymbol(Name, status, structure, props) || structure != 4 || !props)
        return nullptr;
    auto *v = static_cast<TVariable *>(static_cast<TSymbolRef *>(props)->Data);
    return v && v->VarType == Type ? v : nullptr;
}

bool TAdCalc::SetVariableValue(const QString &Name, const TExprValue &Value)
{
    TStatus status = 0;
    int structure = 0;
    void *props = nullptr;
    if (!FReader.FindSymbol(Name, status, structure, props) || structure != 4 || !props)
        return false;
    auto *v = static_cast<TVariable *>(static_cast<TSymbolRef *>(props)->Data);
    v->CurrentValue = std::make_unique<TExprValue>(Value);
    return true;
}

#define QF_GET_VARIABLE(Fn, T, Type, Member)                                                       \
    bool TAdCalc::Fn(const QString &Name, T &Value)                                                \
    {                                                                                              \
        TVariable *v = findVariable(Name, Type);                                                   \
        if (!v || !v->Value())                                                                     \
            return false;                                                                          \
        Value = v->Value()->Member;                                                                \
        return true;                                                                               \
    }
QF_GET_VARIABLE(GetIntegerVariable, int32_t, etInteger, I)
QF_GET_VARIABLE(GetExtendedVariable, long double, etExtended, E)
QF_GET_VARIABLE(GetBooleanVariable, bool, etBoolean, B)
QF_GET_VARIABLE(GetStringVariable, QString, etString, S)
QF_GET_VARIABLE(GetDateTimeVariable, TDateTime, etDateTime, D)
#undef QF_GET_VARIABLE

bool TAdCalc::AddFunct(QString Name, bool Active, TExprType FunctType,
                       const std::vector<TExprType> &Params)
{
    NeedRecompile = true;
    return RegisterFunct(std::move(Name), {}, {}, Active, FunctType, Params, fkHost, 0, {});
}

void TAdCalc::disposeSymbol(int Structure, void *Properties)
{
    auto *ref = static_cast<TSymbolRef *>(Properties);
    if (FEvalDepth > 0)
        FRetiredSymbols.emplace_back(Structure, ref); // a walk in progress may still point at it
    else
        releaseSymbol(Structure, ref);
}

void TAdCalc::releaseSymbol(int Structure, TSymbolRef *Ref)
{
    if (Structure == 2 || Structure == 3)
        delete static_cast<TFunct *>(Ref->Data);
    else if (Structure == 4)
        delete static_cast<TVariable *>(Ref->Data);
    delete Ref;
}

void TAdCalc::releaseRetired()
{
    auto symbols = std::move(FRetiredSymbols);
    auto parsers = std::move(FRetiredParsers);
    FRetiredSymbols.clear();
    FRetiredParsers.clear();
    for (auto &[structure, ref] : symbols)
        releaseSymbol(structure, ref);
    for (TParser *p : parsers)
        delete p;
}

void TAdCalc::recompileAll()
{
    NeedRecompile = false;
    FReader.ListSymbols();
    FCompiled.SetRange(std::string(), 0, 0);
    for (bool ok = FCompiled.First(); ok; ok = FCompiled.Next()) {
        void *props = nullptr;
        if (FCompiled.GetProperties(props) && props)
            static_cast<TParser *>(props)->Tokenize();
    }
}

template <typename T>
bool TAdCalc::calc(const QString &Expr, T &Value, int Handle, TExprType Type)
{
    TParser p(this, Expr, Handle, true);
    switch (Type) {
    case etInteger:
        if constexpr (std::is_same_v<T, int32_t>)
            return p.EvaluateInteger(Value);
        break;
    case etExtended:
        if constexpr (std::is_same_v<T, long double>)
            return p.EvaluateExtended(Value);
        break;
    case etBoolean:
        if constexpr (std::is_same_v<T, bool>)
            return p.EvaluateBoolean(Value);
        break;
    case etString:
        if constexpr (std::is_same_v<T, QString>)
            return p.EvaluateString(Value);
        break;
    case etDateTime:
        if constexpr (std::is_same_v<T, TDateTime>)
            return p.EvaluateDateTime(Value);
        break;
    }
    return false;
}

bool TAdCalc::CalcInteger(const QString &Expr, int32_t &Value, int Handle)
{
    return calc(Expr, Value, Handle, etInteger);
}
bool TAdCalc::CalcExtended(const QString &Expr, long double &Value, int Handle)
{
    return calc(Expr, Value, Handle, etExtended);
}
bool TAdCalc::CalcBoolean(const QString &Expr, bool &Value, int Handle)
{
    return calc(Expr, Value, Handle, etBoolean);
}
bool TAdCalc::CalcString(const QString &Expr, QString &Value, int Handle)
{
    return calc(Expr, Value, Handle, etString);
}
bool TAdCalc::CalcDateTime(const QString &Expr, TDateTime &Value, int Handle)
{
    return calc(Expr, Value, Handle, etDateTime);
}

void TAdCalc::Compile(const QString &Expr, int Handle)
{
    FCompiled.Add(QString::number(Handle), 5, new TParser(this, Expr, Handle, true));
}

bool TAdCalc::CalcCompiledBoolean(bool &Value, int Handle)
{
    if (!FCachedParser || FCachedHandle != Handle) {
        int structure = 0;
        void *props = nullptr;
        if (!FCompiled.Find(QString::number(Handle), structure, props) || !props)
            return false;
        FCachedHandle = Handle;
        FCachedParser = static_cast<TParser *>(props);
    }
    return FCachedParser->EvaluateBoolean(Value);
}

void TAdCalc::RemoveCompiled(int Handle) { FCompiled.Delete(QString::number(Handle)); }

// The dictionary file holds the formula functions and declared variables (the only symbols its
// filter passes). Numbers are written as their shortest exact text.
namespace {

void writeNumber(TFileHandle &H, long double V)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, V);
    FileWriteStr(H, std::string(buf, r.ptr));
}

long double readNumber(TFileHandle &H)
{
    const std::string text = FileReadStr(H);
    long double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        H.MarkDamaged();
    return v;
}

int32_t readInt(TFileHandle &H)
{
    int32_t v = 0;
    if (!H.ReadInt32(v))
        H.MarkDamaged();
    return v;
}

bool readType(TFileHandle &H, TExprType &Type)
{
    const int32_t v = readInt(H);
    if (v < etInteger || v > etDateTime) {
        H.MarkDamaged();
        return false;
    }
    Type = TExprType(v);
    return true;
}

void writeValue(TFileHandle &H, TExprType Type, const TExprValue *V)
{
    H.WriteInt32(V ? 1 : 0);
    if (!V)
        return;
    switch (Type) {
    case etInteger: H.WriteInt32(V->I); break;
    case etExtended: writeNumber(H, V->E); break;
    case etBoolean: H.WriteInt32(V->B ? 1 : 0); break;
    case etString: FileWriteStr(H, V->S); break;
    case etDateTime: writeNumber(H, V->D); break;
    }
}

std::unique_ptr<TExprValue> readValue(TFileHandle &H, TExprType Type)
{
    if (readInt(H) == 0)
        return nullptr;
    auto v = std::make_unique<TExprValue>();
    switch (Type) {
    case etInteger: v->I = readInt(H); break;
    case etExtended: v->E = readNumber(H); break;
    case etBoolean: v->B = readInt(H) != 0; break;
    case etString: v->S = FileReadQStr(H); break;
    case etDateTime: v->D = double(readNumber(H)); break;
    }
    return v;
}

} // namespace

void TAdCalc::saveSymbol(int Structure, void *Properties, TFileHandle &H)
{
    auto *rec = static_cast<TSymProperties *>(Properties);
    auto *ref = rec ? static_cast<TSymbolRef *>(rec->Properties) : nullptr;
    if (!ref || !ref->Data)
        return;
    if (Structure == 3) {
        auto *f = static_cast<TFunct *>(ref->Data);
        FileWriteStr(H, f->Name);
        FileWriteStr(H, f->Description);
        FileWriteStr(H, f->UserText);
        H.WriteInt32(f->Active ? 1 : 0);
        H.WriteInt32(f->FunctType);
        H.WriteInt32(int32_t(f->Params.size()));
        for (TExprType t : f->Params)
            H.WriteInt32(t);
        FileWriteStr(H, f->Formula ? f->Formula->Expression : QString());
    } else if (Structure == 4) {
        auto *v = static_cast<TVariable *>(ref->Data);
        FileWriteStr(H, v->Name);
        FileWriteStr(H, v->Description);
        FileWriteStr(H, v->UserText);
        H.WriteInt32(v->VarType);
        writeValue(H, v->VarType, v->DefaultValue.get());
        writeValue(H, v->VarType, v->CurrentValue.get());
    }
}

void TAdCalc::loadSymbol(int Structure, void *&Properties, TFileHandle &H)
{
    Properties = nullptr;
    if (Structure != 3 && Structure != 4) {
        H.MarkDamaged(); // nothing else is ever saved
        return;
    }
    QString name = FileReadQStr(H);
    const QString description = FileReadQStr(H);
    const QString userText = FileReadQStr(H);
    if (!identifierError(name).isEmpty())
        H.MarkDamaged();
    TSymbolRef *ref = nullptr;
    if (Structure == 3) {
        auto f = std::make_unique<TFunct>();
        f->Active = readInt(H) != 0;
        const int32_t count = readType(H, f->FunctType) ? readInt(H) : -1;
        if (count < 0 || count > H.Remaining() / 4) {
            H.MarkDamaged();
            return;
        }
        for (int32_t i = 0; i < count && !H.Damaged(); ++i) {
            TExprType t = etInteger;
            if (readType(H, t))
                f->Params.push_back(t);
        }
        const QString formula = FileReadQStr(H);
        if (H.Damaged())
            return;
        f->Name = name;
        f->Description = description;
        f->UserText = userText;
        f->Kind = fkFormula;
        f->Formula = std::make_unique<TParser>(this, formula, 0, false);
        ref = new TSymbolRef{rowFunct, f.release()};
    } else {
        auto v = std::make_unique<TVariable>();
        if (!readType(H, v->VarType))
            return;
        v->DefaultValue = readValue(H, v->VarType);
        v->CurrentValue = readValue(H, v->VarType);
        if (H.Damaged())
            return;
        v->Name = name;
        v->Description = description;
        v->UserText = userText;
        ref = new TSymbolRef{rowVariable, v.release()};
    }
    NeedRecompile = true;
    Properties = new TSymProperties{name, stKeyword, ref};
}

} // namespace qf::expr

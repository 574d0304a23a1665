#include "expr/parser.h"

#include "expr/adcalc.h"
#include "expr/evalrules.h"
#include "expr/exprconv.h"
#include "expr/nodetree.h"
#include "store/textcodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace qf::expr {

using namespace qf::store;

namespace {

// Deeper nesting than this raises instead of exhausting the stack.
constexpr int MaxDescent = 200;

struct DescentGuard {
    int &Depth;
    explicit DescentGuard(int &D) : Depth(D)
    {
        if (++Depth > MaxDescent) {
            --Depth;
            throw EExprError(QStringLiteral("The expression is nested too deeply"));
        }
    }
    ~DescentGuard() { --Depth; }
};

uint32_t literalClass(TExprType Type)
{
    switch (Type) {
    case etInteger: return tcIntLit;
    case etExtended: return tcExtLit;
    case etBoolean: return tcBoolLit;
    case etString: return tcStrLit;
    default: return tcDateLit;
    }
}

uint8_t typeCode(TExprType Type)
{
    return uint8_t(Type) + 1; // 1 to 5
}

// Empty text that keeps its buffer when no one else holds it: the next value written into it (by
// the host, for every record) needs no allocation.
void ClearText(QString &Text)
{
    if (Text.isDetached())
        Text.resize(0);
    else
        Text = QString();
}

// The zero value of every type, as TExprValue() is, with the text's buffer kept.
void ClearKeepingText(TExprValue &Value)
{
    QString Text;
    Text.swap(Value.S);
    Value = TExprValue();
    ClearText(Text);
    Value.S.swap(Text);
}

} // namespace

TParser::TParser(TAdCalc *AOwner, const QString &AExpression, int AHandle, bool Compile)
    : Owner(AOwner), Scroller(std::make_unique<TScroller>(AOwner->FReader)),
      Expression(AExpression), Symbols(1), Handle(AHandle)
{
    if (Compile)
        Tokenize();
    else
        Owner->NeedRecompile = true;
}

void TParser::advance()
{
    if (!Started) {
        Scroller->SetText(Expression, 0);
        Started = true;
    } else {
        Scroller->Next();
    }
}

void TParser::Tokenize()
{
    Symbols.assign(100, CompiledSymbol());
    CurrentLine = 1;
    Index = 0;
    Started = false;
    FErrorAt.clear();
    scanSymbol(Symbols[0]);
    while (Symbols[size_t(Index)].Type != rowEnd) {
        if (Symbols.size() < size_t(Index) + 2)
            Symbols.resize(size_t(Index) + 101);
        const CompiledSymbol &prev = Symbols[size_t(Index)];
        CompiledSymbol &next = Symbols[size_t(Index) + 1];
        next = CompiledSymbol();
        next.Place = prev.Place;
        next.Line = prev.Line;
        next.Position = prev.Position;
        ++Index;
        scanSymbol(Symbols[size_t(Index)]);
    }
    Symbols.resize(size_t(Index) + 1);
    Symbols.shrink_to_fit();
    for (CompiledSymbol &sym : Symbols) {
        sym.Flags = SymbolTable[sym.Type].Flags;
        sym.Priority = int8_t(operatorPriority(sym.Type));
    }
    findConstCalls();
    FBindStamp = 0;
    FFast.reset();
    Index = 0;
}

namespace {
// A literal that an argument of Type reads as itself.
bool IsLiteralOf(const CompiledSymbol &S, TExprType Type)
{
    switch (Type) {
    case etInteger: return S.Type == rowIntLiteral && S.IntValid;
    case etExtended:
    case etDateTime: return (S.Type == rowIntLiteral || S.Type == rowRealLiteral) && S.ExtValid;
    case etBoolean: return S.Type == rowTrue || S.Type == rowFalse;
    case etString: return S.Type == rowStringLiteral && !S.Unterminated;
    }
    return false;
}
} // namespace

void TParser::findConstCalls()
{
    FConstCalls.clear();
    for (size_t i = 0; i < Symbols.size(); ++i) {
        CompiledSymbol &sym = Symbols[i];
        sym.ConstCall = -1;
        const auto *fn = static_cast<const TFunct *>(sym.Data);
        if (sym.Type != rowFunct || !fn || fn->Kind != fkBuiltin || !IsPureBuiltin(fn->Id) ||
            fn->Params.empty())
            continue;
        // name ( literal , literal ... )
        size_t at = i + 1;
        bool ok = at < Symbols.size() && Symbols[at].Type == rowOpen;
        for (size_t p = 0; ok && p < fn->Params.size(); ++p) {
            ok = at + 2 < Symbols.size() && IsLiteralOf(Symbols[at + 1], fn->Params[p]) &&
                 Symbols[at + 2].Type == (p + 1 < fn->Params.size() ? rowComma : rowClose);
            at += 2;
        }
        if (!ok)
            continue;
        sym.ConstCall = int32_t(FConstCalls.size());
        ConstCallValue entry;
        entry.Funct = fn;
        FConstCalls.push_back(entry);
    }
}

void TParser::scanSymbol(CompiledSymbol &R)
{
    const QString lineFeed(QChar(u'\n'));
    for (;;) {
        advance();
        TPosition &t = Scroller->Current();
        auto *ref = static_cast<TSymbolRef *>(t.Properties);
        uint32_t flags = ref ? SymbolTable[ref->Row].Flags : 0;
        if (flags & tcComment) {
            while (t.Kind != tkEnd && t.Text != lineFeed)
                Scroller->Next();
            ref = nullptr;
            flags = 0;
        }
        if (t.Kind != tkEnd && t.Text == lineFeed) {
            ++CurrentLine;
            continue;
        }
        if (t.Kind == tkEnd)
            return;
        if (R.Line < CurrentLine) {
            R.Line = CurrentLine;
            R.Position = 0;
        }
        R.Position += int32_t(t.Blanks.size() + t.Text.size());
        if (flags & tcString) {
            QString s;
            for (;;) {
                const TPosition &c = Scroller->Current();
                if (c.Kind == tkEnd || c.Text == lineFeed) {
                    R.Unterminated = true;
                    R.ErrorCode = 27;
                    R.Place = Scroller->Previous.Position;
                    R.Type = rowStringLiteral;
                    R.Data = nullptr;
                    R.Text.clear();
                    if (c.Kind != tkEnd)
                        ++CurrentLine; // the line feed is passed over by the next scan
                    return;
                }
                Scroller->Next();
                const TPosition &n = Scroller->Current();
                R.Position += int32_t(n.Blanks.size() + n.Text.size());
                auto *nref = static_cast<TSymbolRef *>(n.Properties);
                if (nref && (SymbolTable[nref->Row].Flags & tcString)) {
                    const TPosition &after = Scroller->PosList[1];
                    auto *aref = static_cast<TSymbolRef *>(after.Properties);
                    if (aref && (SymbolTable[aref->Row].Flags & tcString) &&
                        after.Blanks.isEmpty()) {
                        s += n.Blanks + n.Text;
                        Scroller->Next();
                        R.Position += int32_t(Scroller->Current().Text.size());
                        continue;
                    }
                    s += n.Blanks;
                    R.Text = s;
                    R.Place = n.Position;
                    R.Type = rowStringLiteral;
                    R.Data = nullptr;
                    return;
                }
                s += n.Blanks + n.Text;
            }
        }
        R.Text = t.Text;
        R.Place = t.Position;
        if (ref) {
            R.Type = ref->Row;
            R.Data = ref->Data;
        } else if (t.Kind == tkInteger) {
            R.Type = rowIntLiteral;
        } else if (t.Kind == tkDecimal || t.Kind == tkExponent) {
            R.Type = rowRealLiteral;
        } else {
            R.Type = rowName;
        }
        if (R.Type == rowName || R.Type == rowFunct || R.Type == rowParam)
            R.Name = Owner->NormalizeName(R.Text);
        if (R.Type == rowIntLiteral) {
            if (auto v = ParseIntLiteral(R.Text)) {
                R.IntValid = true;
                R.IntValue = *v;
            }
        }
        if (R.Type == rowIntLiteral || R.Type == rowRealLiteral) {
            if (auto v = ParseFloatDot(R.Text)) {
                R.ExtValid = true;
                R.ExtValue = *v;
            }
        }
        return;
    }
}

void TParser::Reset()
{
    Owner->ErrorReported = false;
    // Texts are re-tokenized only between evaluations: a walk in progress holds indexes into them.
    if (Owner->NeedRecompile && Owner->FEvalDepth == 0)
        Owner->recompileAll();
    // Codes of an earlier evaluation would otherwise mislabel a different failure at the same
    // symbol.
    for (int32_t at : FErrorAt) {
        CompiledSymbol &s = Symbols[size_t(at)];
        s.ErrorCode = s.Unterminated ? 27 : 0;
    }
    FErrorAt.clear();
    Index = 0;
}

void TParser::SetError(uint8_t Code)
{
    CompiledSymbol &s = Symbols[size_t(Index)];
    if (s.ErrorCode == 0) {
        s.ErrorCode = Code;
        FErrorAt.push_back(Index);
    }
}

void TParser::report()
{
    if (!Owner->OnError || Owner->ErrorReported)
        return;
    const CompiledSymbol &s = cur();
    Owner->ErrorReported = true;
    Owner->OnError(Owner, s.Line, s.Position, s.Place, s.ErrorCode, ErrorMessages[s.ErrorCode],
                   Handle);
}

namespace {

template <typename T>
void take(TExprValue &v, T &Value)
{
    if constexpr (std::is_same_v<T, int32_t>)
        Value = v.I;
    else if constexpr (std::is_same_v<T, long double>)
        Value = v.E;
    else if constexpr (std::is_same_v<T, bool>)
        Value = v.B;
    else if constexpr (std::is_same_v<T, QString>)
        Value = std::move(v.S);
    else
        Value = v.D;
}

} // namespace

template <typename T>
bool TParser::evaluate(TExprType Type, T &Value)
{
    // A stored text asked for again from inside its own events would restart the walk under it.
    if (FBusy)
        throw EExprError(QStringLiteral(
            "An expression cannot be evaluated again from inside its own evaluation"));
    Reset();
    struct Scope {
        TAdCalc *Owner;
        ~Scope() { Owner->leaveEvaluation(); }
    } scope{Owner};
    Owner->enterEvaluation();
    // Cleared before the scope ends, which may free this parser (replaced meanwhile).
    struct Busy {
        bool &Flag;
        ~Busy() { Flag = false; }
    } busy{FBusy};
    FBusy = true;
    FBinder = nullptr;
    TFieldBinder::TRecord record;
    if (TFieldBinder *binder = Owner->Binder; binder && !binder->Latched()) {
        if (const uint64_t stamp = binder->BindStamp(record)) {
            FBinder = binder;
            if (stamp != FBindStamp && bind())
                FBindStamp = stamp;
        }
    }
    TExprValue v;
    if (FBinder && FFast) {
        FRecord = record.Bytes;
        bool fast = runFast(Type, v);
        // Bytes found gone: the reads of the walk report it.
        fast &= !(FRecord && record.Lost && record.Lost->load(std::memory_order_relaxed));
        FRecord = nullptr;
        if (fast) {
            take(v, Value);
            return true;
        }
        // Whatever failed, the walk below does it again and fails the same way, at the same
        // place, with the same messages.
        Reset();
        v = TExprValue();
    }
    const bool ok = exprConditional(0, Type, v);
    take(v, Value);
    if (!ok)
        report();
    return ok;
}

bool TParser::EvaluateInteger(int32_t &Value) { return evaluate(etInteger, Value); }
bool TParser::EvaluateExtended(long double &Value) { return evaluate(etExtended, Value); }
bool TParser::EvaluateBoolean(bool &Value) { return evaluate(etBoolean, Value); }
bool TParser::EvaluateString(QString &Value) { return evaluate(etString, Value); }
bool TParser::EvaluateDateTime(TDateTime &Value) { return evaluate(etDateTime, Value); }

bool TParser::EvaluateFormula(const QString &Name, TExprType Type, TExprValue &Value)
{
    // One parser serves every call of its function, so a call from inside would overwrite the walk.
    if (FBusy)
        throw EExprError(QStringLiteral("The formula function \"%1\" calls itself").arg(Name));
    struct Busy {
        bool &Flag;
        ~Busy() { Flag = false; }
    } busy{FBusy};
    FBusy = true;
    FBinder = nullptr; // a formula's names are its own
    // A report already made in this evaluation stays the only one: an operand read again after a
    // failure (the comparison fallback) would otherwise call a failing formula, and report, again.
    const bool reported = Owner->ErrorReported;
    Reset();
    Owner->ErrorReported = reported;
    Value = TExprValue();
    const bool ok = exprConditional(0, Type, Value);
    if (!ok && Owner->OnFunctError && !Owner->ErrorReported) {
        const CompiledSymbol &s = cur();
        Owner->ErrorReported = true;
        Owner->OnFunctError(Owner, Name, s.Line, s.Position, s.Place, s.ErrorCode,
                            ErrorMessages[s.ErrorCode]);
    }
    return ok;
}

bool TParser::exprConditional(int Context, TExprType Type, TExprValue &Value)
{
    DescentGuard guard(Owner->FDescent);
    // An else-branch continues in this frame, so a long chain of else-if does not nest.
    while (curFlags() & tcIf) {
        ++Index;
        TExprValue cond;
        if (!exprConditional(1, etBoolean, cond))
            return false;
        if (cond.B) {
            ++Index;
            return exprConditional(2, Type, Value);
        }
        int depth = 1;
        while (depth > 0) {
            if (cur().Type == rowEnd)
                break;
            ++Index;
            const uint32_t f = curFlags();
            if (f & tcElse)
                --depth;
            else if (f & tcIf)
                ++depth;
        }
        if (depth > 0) {
            SetError(21);
            return false;
        }
        ++Index;
    }
    return exprOfType(Context, Type, Value);
}

bool TParser::exprOfType(int Context, TExprType Type, TExprValue &Value)
{
    bool first = true;
    switch (Type) {
    case etInteger: return exprNumeric(Context, Value.I, first, 1, 0, Type);
    case etExtended: return exprNumeric(Context, Value.E, first, 1, 0, Type);
    case etDateTime: return exprNumeric(Context, Value.D, first, 1, 0, Type);
    case etBoolean: return exprBoolean(Context, Value.B);
    case etString: return exprString(Context, Value.S, first);
    }
    return false;
}

template <typename T>
bool TParser::applyNumeric(T &Value, uint8_t Op, T Operand)
{
    if constexpr (std::is_same_v<T, int32_t>) {
        // Two's complement wrapping, done in unsigned arithmetic.
        const uint32_t a = uint32_t(Value), b = uint32_t(Operand);
        switch (Op) {
        case rowPlus: Value = int32_t(a + b); return true;
        case rowMinus: Value = int32_t(a - b); return true;
        case rowTimes: Value = int32_t(a * b); return true;
        default:
            if (Operand == 0) {
                Index = PrevIndex();
                SetError(14);
                return false;
            }
            if (Operand == -1) { // the quotient of the smallest value does not exist: wrap
                Value = Op == rowDiv ? int32_t(0u - a) : 0;
                return true;
            }
            Value = Op == rowDiv ? Value / Operand : Value % Operand;
            return true;
        }
    } else {
        const long double a = Value, b = Operand;
        long double r = 0;
        switch (Op) {
        case rowPlus: r = a + b; break;
        case rowMinus: r = a - b; break;
        case rowTimes: r = a * b; break;
        case rowSlash:
            if (b == 0) {
                Index = PrevIndex();
                SetError(14);
                return false;
            }
            r = a / b;
            break;
        default: r = power(a, b); break;
        }
        r = CheckedFloat(r);
        if constexpr (std::is_same_v<T, double>)
            Value = toDateTime(r);
        else
            Value = r;
        return true;
    }
}

template <typename T>
bool TParser::exprNumeric(int Context, T &Value, bool &First, int State, int MinPriority,
                          TExprType Type)
{
    uint8_t op = rowPlus;
    First = true;
    int state = State;
    for (;;) {
        if (state == 1) {
            if (cur().Type == rowPlus) {
                ++Index;
            } else if (cur().Type == rowMinus) {
                op = rowMinus;
                ++Index;
            }
            state = 2;
        } else if (state == 2) {
            TExprValue v;
            if (!factor(Type, v)) {
                SetError(Context == 5 && First ? 3 : typeCode(Type));
                return false;
            }
            T operand;
            if constexpr (std::is_same_v<T, int32_t>)
                operand = v.I;
            else if constexpr (std::is_same_v<T, long double>)
                operand = v.E;
            else
                operand = v.D;
            // Only an operator of the type binds tighter: "div" ends an extended comparison side
            // (context 6) without being read, and looping on it would never end.
            while (operatorPriority(op) < currentPriority() && (curFlags() & operatorClass(Type))) {
                bool first2 = true;
                if (!exprNumeric(Context, operand, first2, 3, currentPriority(), Type))
                    return false;
            }
            if (!applyNumeric(Value, op, operand))
                return false;
            // Only now: a comparison whose first term fails (1/0 > 2) falls back as untyped.
            First = false;
            state = 3;
        } else {
            bool atEnd = false;
            if (!readOperator(op, Context, atEnd, Type))
                return false;
            if (atEnd)
                return true;
            state = 2;
        }
        if (!(MinPriority < currentPriority() || MinPriority < 1) && state == 3)
            return true;
    }
}

bool TParser::exprBoolean(int Context, bool &Value)
{
    uint8_t op = rowOr;
    for (;;) {
        bool operand = false;
        if (!factorBoolean(operand)) {
            SetError(3);
            return false;
        }
        if (Context != 6)
            while (curFlags() & tcCompare)
                if (!booleanComparison(operand))
                    return false;
        // Bitwise on the 0/1 values: both operands are read anyway, and record data decides them.
        switch (op) {
        case rowAnd: Value = Value & operand; break;
        case rowXor: Value = Value ^ operand; break;
        default: Value = Value | operand; break;
        }
        bool atEnd = false;
        if (!readOperator(op, Context, atEnd, etBoolean))
            return false;
        if (atEnd)
            return true;
    }
}

bool TParser::booleanComparison(bool &Value)
{
    const uint8_t sign = cur().Type;
    ++Index;
    bool right = false;
    if (!factorBoolean(right)) {
        SetError(3);
        return false;
    }
    Value = compare(sign, int(Value) - int(right));
    return true;
}

bool TParser::exprString(int Context, QString &Value, bool &First)
{
    First = true;
    for (;;) {
        TExprValue v;
        // An empty result lends its buffer to the first operand (a host may write text into it).
        if (Value.isEmpty() && Value.isDetached())
            v.S.swap(Value);
        if (!factor(etString, v)) {
            SetError(Context == 5 && First ? 3 : 4);
            return false;
        }
        if (Value.isEmpty())
            Value.swap(v.S);
        else
            Value += v.S;
        First = false;
        uint8_t op = 0;
        bool atEnd = false;
        if (!readOperator(op, Context, atEnd, etString))
            return false;
        if (atEnd)
            return true;
    }
}

// Inlined: it runs after every operand (a filter pays for each call per record).
[[gnu::always_inline]] inline bool TParser::readOperator(uint8_t &Op, int Context, bool &AtEnd,
                                                         TExprType Type)
{
    const uint32_t f = curFlags();
    if (f & operatorClass(Type)) {
        Op = cur().Type;
        AtEnd = false;
        ++Index;
        return true;
    }
    static const uint32_t ends[] = {tcEnd,   tcThen,    tcElse, tcComma,
                                    tcClose, tcCompare, ~0u,    tcStatementEnd};
    // Context 6 ends at any symbol, also at one of no class ("//" when it is no comment sign).
    if (Context == 6 || (f & ends[Context])) {
        AtEnd = true;
        return true;
    }
    static const uint8_t codes[] = {0, 20, 21, 13, 12, 10, 0, 18};
    uint8_t code = codes[Context];
    if (Context == 0) {
        static const uint8_t byType[] = {6, 7, 8, 9, 7};
        code = byType[Type];
    }
    SetError(code);
    return false;
}

bool TParser::factor(TExprType Type, TExprValue &Value)
{
    const CompiledSymbol &s = cur();
    if (s.Type == rowName) // the common case of a filter: a field of the record
        return askHost(Type, Value);
    const uint32_t f = s.Flags;
    if (f & tcFunct) {
        auto *fn = static_cast<TFunct *>(s.Data);
        if (!fn)
            return false;
        if (s.Type == rowParam)
            fn->FunctType = Type;
        const TExprType rt = fn->FunctType;
        if (!accepts(Type, rt))
            return false;
        if (s.ConstCall >= 0) {
            ConstCallValue &c = FConstCalls[size_t(s.ConstCall)];
            if (c.Known && c.Funct == fn && fn->Active) {
                Index = c.End;
                convert(c.Value, rt, Value, Type);
                return true;
            }
            TExprValue r;
            if (!callFunct(fn, rt, r))
                return false;
            c.Known = true;
            c.End = Index;
            c.Value = r;
            convert(r, rt, Value, Type);
            return true;
        }
        TExprValue r;
        if (!callFunct(fn, rt, r))
            return false;
        convert(r, rt, Value, Type);
        return true;
    }
    if (f & tcVariable) {
        auto *var = static_cast<TVariable *>(s.Data);
        if (!var || !accepts(Type, var->VarType) || !var->Value())
            return false;
        convert(*var->Value(), var->VarType, Value, Type);
        ++Index;
        return true;
    }
    if (f & tcOpen)
        return evalParenthesized(Type, Value);
    if (f & literalClass(Type)) {
        switch (Type) {
        case etInteger:
            if (!s.IntValid)
                throw EExprError(QStringLiteral("'%1' is not a valid integer value").arg(s.Text));
            Value.I = s.IntValue;
            break;
        case etString:
            if (s.Unterminated)
                return false;
            Value.S = s.Text;
            break;
        default:
            if (!s.ExtValid)
                throw EExprError(
                    QStringLiteral("'%1' is not a valid floating point value").arg(s.Text));
            if (Type == etExtended)
                Value.E = s.ExtValue;
            else
                Value.D = toDateTime(s.ExtValue);
            break;
        }
        ++Index;
        return true;
    }
    return false;
}

// Inlined into the operand reader: one host question per field and record.
[[gnu::always_inline]] inline bool TParser::askHost(TExprType Type, TExprValue &Value)
{
    switch (Type) {
    case etInteger: {
        if (bound()) {
            if (!(cur().Answers & (1u << etInteger)))
                return false;
            Value.I = FBinder->ReadInteger(cur().Field);
            ++Index;
            return true;
        }
        TAdCalc *o = Owner;
        bool found = false;
        if (o->OnGetIntegerVar)
            o->OnGetIntegerVar(o, cur().Name, found, Value.I, Handle);
        if (found)
            ++Index;
        return found;
    }
    case etString: return askString(Value.S);
    case etExtended: return askExtended(Value.E);
    case etDateTime: return askDateTime(Value.D);
    default: return false;
    }
}

// The type asked for first, then the other real type, then integers.
[[gnu::always_inline]] inline bool TParser::askExtended(long double &Value)
{
    if (bound()) {
        const uint8_t a = cur().Answers;
        const int field = cur().Field;
        if (a & (1u << etExtended))
            Value = FBinder->ReadExtended(field);
        else if (a & (1u << etDateTime))
            Value = FBinder->ReadDateTime(field);
        else if (a & (1u << etInteger))
            Value = FBinder->ReadInteger(field);
        else
            return Value = 0, false;
        ++Index;
        return true;
    }
    TAdCalc *o = Owner;
    const QString &name = cur().Name;
    bool found = false;
    long double e = 0;
    if (o->OnGetExtendedVar)
        o->OnGetExtendedVar(o, name, found, e, Handle);
    if (!found && o->OnGetDateTimeVar) {
        TDateTime d = 0;
        o->OnGetDateTimeVar(o, name, found, d, Handle);
        e = d;
    }
    if (!found && o->OnGetIntegerVar) {
        int32_t i = 0;
        o->OnGetIntegerVar(o, name, found, i, Handle);
        e = i;
    }
    Value = e;
    if (found)
        ++Index;
    return found;
}

bool TParser::askDateTime(TDateTime &Value)
{
    if (bound()) {
        const uint8_t a = cur().Answers;
        const int field = cur().Field;
        if (a & (1u << etDateTime))
            Value = FBinder->ReadDateTime(field);
        else if (a & (1u << etExtended))
            Value = toDateTime(FBinder->ReadExtended(field));
        else if (a & (1u << etInteger))
            Value = FBinder->ReadInteger(field);
        else
            return Value = 0, false;
        ++Index;
        return true;
    }
    TAdCalc *o = Owner;
    const QString &name = cur().Name;
    bool found = false;
    TDateTime d = 0;
    if (o->OnGetDateTimeVar)
        o->OnGetDateTimeVar(o, name, found, d, Handle);
    if (!found && o->OnGetExtendedVar) {
        long double e = 0;
        o->OnGetExtendedVar(o, name, found, e, Handle);
        d = toDateTime(e);
    }
    if (!found && o->OnGetIntegerVar) {
        int32_t i = 0;
        o->OnGetIntegerVar(o, name, found, i, Handle);
        d = i;
    }
    Value = d;
    if (found)
        ++Index;
    return found;
}

[[gnu::always_inline]] inline bool TParser::askString(QString &Value)
{
    if (bound()) {
        if (!(cur().Answers & (1u << etString)))
            return false;
        FBinder->ReadString(cur().Field, Value);
        ++Index;
        return true;
    }
    TAdCalc *o = Owner;
    bool found = false;
    if (o->OnGetStringVar)
        o->OnGetStringVar(o, cur().Name, found, Value, Handle);
    if (found)
        ++Index;
    return found;
}

bool TParser::factorBoolean(bool &Value)
{
    const int32_t start = Index;
    int known = -1; // a TExprType, or none
    int32_t paramIndex = -1;
    uint8_t paramCode = 0;
    const CompiledSymbol &s = cur();
    const uint32_t f = curFlags();
    if (s.Type == rowName) { // first: the usual filter term
        bool found = false;
        if (bound()) {
            if ((found = s.Answers & (1u << etBoolean)))
                Value = FBinder->ReadBoolean(s.Field);
        } else if (Owner->OnGetBooleanVar)
            Owner->OnGetBooleanVar(Owner, s.Name, found, Value, Handle);
        if (found) {
            ++Index;
            return true;
        }
        // Straight to the host, without the fallback's repeated descent.
        if (Symbols[size_t(Index) + 1].Flags & tcCompare) {
            Symbols[size_t(Index)].ErrorCode = 0; // as the fallback clears it
            return nameComparison(Value);
        }
    } else if (s.Type == rowParam && s.Data) {
        auto *fn = static_cast<TFunct *>(s.Data);
        fn->FunctType = etBoolean;
        TExprValue r;
        if (callFunct(fn, etBoolean, r)) {
            Value = r.B;
            return true;
        }
        if (cur().ErrorCode == 15)
            return false;
        paramIndex = Index;
        paramCode = cur().ErrorCode;
    } else if (f & tcFunct) {
        auto *fn = static_cast<TFunct *>(s.Data);
        if (!fn)
            return false;
        known = fn->FunctType;
        if (known == etBoolean) {
            TExprValue r;
            const bool ok = callFunct(fn, etBoolean, r);
            Value = r.B;
            return ok;
        }
    } else if (f & tcVariable) {
        auto *var = static_cast<TVariable *>(s.Data);
        if (!var)
            return false;
        known = var->VarType;
        if (known == etBoolean && var->Value()) {
            Value = var->Value()->B;
            ++Index;
            return true;
        }
    } else if (f & tcOpen) {
        TExprValue r;
        const bool ok = evalParenthesized(etBoolean, r);
        Value = r.B;
        return ok;
    } else if (f & tcBoolLit) {
        Value = s.Type == rowTrue;
        ++Index;
        return true;
    }
    bool first = true;
    switch (known) {
    case etInteger:
    case etExtended:
    case etDateTime: return comparison(Value, false, first);
    case etString: return comparison(Value, true, first);
    case etBoolean: return false;
    default: break;
    }
    auto clear = [this](int32_t At) {
        CompiledSymbol &c = Symbols[size_t(At)];
        c.ErrorCode = c.Unterminated ? 27 : 0;
    };
    Index = start;
    clear(start);
    if (comparison(Value, false, first))
        return true;
    if (!first)
        return false;
    Index = start;
    clear(start);
    first = true;
    if (comparison(Value, true, first))
        return true;
    if (!first)
        return false;
    Index = paramIndex >= 0 ? paramIndex : start;
    CompiledSymbol &back = Symbols[size_t(Index)];
    back.ErrorCode = paramIndex >= 0 ? paramCode : (back.Unterminated ? 27 : 0);
    return false;
}

// Inlined into the comparison: the common filter form.
[[gnu::always_inline]] inline bool TParser::loneOperand(TExprType Type, TExprValue &Value,
                                                        bool &First)
{
    if (!factor(Type, Value)) {
        SetError(3); // the left side of a comparison, at its first operand
        return false;
    }
    First = false;
    return true;
}

bool TParser::comparison(bool &Value, bool StringMode, bool &First)
{
    Value = false;
    // A lone operand before the sign (the common filter form) is read without the operator loop,
    // with the same codes and the same checks.
    const uint8_t first = cur().Type;
    const bool lone = first != rowEnd && first != rowPlus && first != rowMinus &&
                      (Symbols[size_t(Index) + 1].Flags & tcCompare);
    if (StringMode) {
        TExprValue v;
        QString &left = v.S;
        if (lone ? !loneOperand(etString, v, First) : !exprString(5, left, First))
            return false;
        return compareString(Value, left);
    }
    long double left = 0;
    TExprValue v;
    if (lone) {
        if (!loneOperand(etExtended, v, First))
            return false;
        left = CheckedFloat(0 + v.E);
    } else if (!exprNumeric(5, left, First, 1, 0, etExtended)) {
        return false;
    }
    return compareNumeric(Value, left);
}

// The sign and the right side of a comparison whose left side has been read.
[[gnu::always_inline]] inline bool TParser::compareString(bool &Value, const QString &Left)
{
    const uint8_t sign = cur().Type;
    ++Index;
    // A lone literal on the right (the common filter form) is compared where it stands.
    const CompiledSymbol &lit = cur();
    if ((lit.Flags & tcStrLit) && !lit.Unterminated &&
        !(Symbols[size_t(Index) + 1].Flags & tcStrOp)) {
        ++Index;
        Value = compareTexts(sign, Left, lit.Text);
        return true;
    }
    QString right;
    bool first2 = true;
    if (!exprString(6, right, first2))
        return false;
    Value = compareTexts(sign, Left, right);
    return true;
}

[[gnu::always_inline]] inline bool TParser::compareNumeric(bool &Value, long double Left)
{
    const uint8_t sign = cur().Type;
    ++Index;
    const CompiledSymbol &lit = cur();
    if ((lit.Flags & tcExtLit) && lit.ExtValid && !(Symbols[size_t(Index) + 1].Flags & tcExtOp)) {
        ++Index;
        Value = compare(sign, threeWay(Left, lit.ExtValue));
        return true;
    }
    long double right = 0;
    bool first2 = true;
    if (!exprNumeric(6, right, first2, 1, 0, etExtended))
        return false;
    Value = compare(sign, threeWay(Left, right));
    return true;
}

// A host field of no known type before a comparison sign: the fallback of factorBoolean with the
// lone operand read straight from the host (numeric first, then text). A failed read leaves the
// symbol's code as the fallback does, at 0.
bool TParser::nameComparison(bool &Value)
{
    Value = false;
    long double e = 0;
    if (askExtended(e))
        return compareNumeric(Value, CheckedFloat(0 + e));
    if (size_t(FTextDepth) == FTexts.size())
        FTexts.emplace_back();
    QString &left = FTexts[size_t(FTextDepth)];
    left.resize(0);
    struct Depth {
        int &Value;
        ~Depth() { --Value; }
    } depth{++FTextDepth};
    if (askString(left))
        return compareString(Value, left);
    return false;
}

bool TParser::evalParenthesized(TExprType Type, TExprValue &Value)
{
    return parseArguments(&Value, &Type, 1);
}

bool TParser::parseArguments(TExprValue *Values, const TExprType *Types, size_t Count)
{
    DescentGuard guard(Owner->FDescent);
    if (!(curFlags() & tcOpen)) {
        SetError(11);
        return false;
    }
    ++Index;
    for (size_t i = 0; i < Count; ++i) {
        ClearKeepingText(Values[i]);
        if (!exprOfType(i + 1 < Count ? 3 : 4, Types[i], Values[i]))
            return false;
        ++Index; // past "," or ")"
    }
    return true;
}

bool TParser::callFunct(TFunct *Funct, TExprType ResultType, TExprValue &Result)
{
    if (!Funct->Active)
        return false;
    const bool isParam = cur().Type == rowParam;
    if (isParam && !Owner->CurrentParams)
        return false;
    const QString &name = cur().Name;
    // A record that an event replaces is released only after the evaluation: Params stays valid.
    const std::vector<TExprType> &types = Funct->Params;
    const size_t n = types.size();
    // The values live in a frame kept per nesting depth, so that calls do not allocate each time.
    if (size_t(FCallDepth) == FFrames.size())
        FFrames.push_back(std::make_unique<CallFrame>());
    CallFrame &frame = *FFrames[size_t(FCallDepth)];
    struct Restore {
        TAdCalc *Owner;
        const TFunctParamValues *Saved;
        int &Depth;
        CallFrame &Frame;
        ~Restore()
        {
            Owner->CurrentParams = Saved;
            --Depth;
            for (TExprValue &v : Frame.Values)
                ClearText(v.S); // the texts are released with the call (their buffers kept)
        }
    } restore{Owner, Owner->CurrentParams, FCallDepth, frame};
    ++FCallDepth;
    frame.Values.resize(n);
    std::vector<TExprValue> &values = frame.Values;
    ++Index;
    if (n > 0 && !parseArguments(values.data(), types.data(), n))
        return false;
    if (isParam)
        return getParam(values[0].I, Result, ResultType);
    TFunctParamValues &params = frame.Params;
    params.resize(n);
    for (size_t i = 0; i < n; ++i)
        params[i] = TFunctParamValue{types[i], values[i].Ptr(types[i])};
    bool found = true;
    Owner->CurrentParams = n > 0 ? &params : nullptr;
    TAdCalc *o = Owner;
    switch (Funct->Kind) {
    case fkFormula:
        found = Funct->Formula && Funct->Formula->EvaluateFormula(name, ResultType, Result);
        break;
    case fkHost: {
        // An unassigned event serves nothing: the call fails.
        auto ask = [&](const auto &Event, auto &Value) {
            if (Event)
                Event(o, name, true, params, found, Value, Handle);
            else
                found = false;
        };
        switch (ResultType) {
        case etInteger: ask(o->OnGetIntegerFunct, Result.I); break;
        case etExtended: ask(o->OnGetExtendedFunct, Result.E); break;
        case etBoolean: ask(o->OnGetBooleanFunct, Result.B); break;
        case etString: ask(o->OnGetStringFunct, Result.S); break;
        case etDateTime: ask(o->OnGetDateTimeFunct, Result.D); break;
        }
        break;
    }
    case fkBuiltin: found = callBuiltin(Funct->Id, params, Result); break;
    }
    return found;
}

bool TParser::getParam(int32_t I, TExprValue &Value, TExprType Type)
{
    const TFunctParamValues &cp = *Owner->CurrentParams;
    if (I < 1 || size_t(I) > cp.size()) {
        Index = Index >= 2 ? Index - 2 : 0;
        SetError(15);
        return false;
    }
    const TFunctParamValue &p = cp[size_t(I) - 1];
    bool ok = false;
    switch (Type) {
    case etExtended: ok = p.Type != etBoolean && p.Type != etString; break;
    case etDateTime:
        ok = p.Type == etInteger || p.Type == etExtended || p.Type == etDateTime;
        break;
    default: ok = p.Type == Type; break;
    }
    if (!ok) {
        Index = PrevIndex();
        return false;
    }
    TExprValue v;
    switch (p.Type) {
    case etInteger: v.I = p.AsInteger(); break;
    case etExtended: v.E = p.AsExtended(); break;
    case etBoolean: v.B = p.AsBoolean(); break;
    case etString: v.S = p.AsString(); break;
    case etDateTime: v.D = p.AsDateTime(); break;
    }
    convert(v, p.Type, Value, Type);
    return true;
}

} // namespace qf::expr

// The tree of typed nodes that a bound text runs as, beside the walk over its symbols.

#include "expr/nodetree.h"

#include "expr/adcalc.h"
#include "expr/evalrules.h"
#include "expr/exprconv.h"
#include "store/textcodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace qf::expr {

using namespace qf::store;

// The fast road: the text as a tree of typed nodes, built where every name is bound to a field and
// every other part is a literal or a pure built-in, and only in the forms below, each of which
// mirrors the walk in parser.cpp step by step. A node that fails (a division by zero, a failed
// conversion, a raised fault) fails the whole run, and the walk then does the record again.
namespace {
struct TLit final : TNode {
    TExprValue V;
    TLit()
    {
        CanFail = false;
        Constant = true;
    }
    bool I(TParser &, int32_t &R) override { return R = V.I, true; }
    bool E(TParser &, long double &R) override { return R = V.E, true; }
    bool D(TParser &, double &R) override { return R = V.D, true; }
    bool B(TParser &, bool &R) override { return R = V.B, true; }
    bool S(TParser &, QString &R) override { return R = V.S, true; }
};
} // namespace

struct TFastAccess {
    static const char *record(const TParser &P) { return P.FRecord; }
    static bool call(TParser &P, uint8_t Id, const TFunctParamValues &Params, TExprValue &R)
    {
        P.Index = 0;
        return P.callBuiltin(Id, Params, R);
    }
};

TParser::~TParser() = default;

namespace {
// Field reads, each in the order the variable requests of the walk ask the events. Where the host
// offers the record's bytes, plain numbers and ASCII texts are read from them in place, giving the
// values the reads give.
struct TFieldNode final : TNode {
    TFieldBinder *Binder;
    int Field;
    uint8_t Answers;
    TFieldBinder::TBytes Where;
    TFieldNode(TFieldBinder *AB, int AF, uint8_t AA, bool Safe) : Binder(AB), Field(AF), Answers(AA)
    {
        CanFail = !Safe;
        if (Safe)
            Where = Binder->FieldBytes(Field);
    }
    bool number(TParser &P, long double &R) const
    {
        const char *record = TFastAccess::record(P);
        if (!record || (Where.Kind != 'N' && Where.Kind != 'F'))
            return false;
        const char *at = record + Where.Offset;
        return PlainFieldNumber(at, at + Where.Width, R);
    }
    bool I(TParser &, int32_t &R) override { return R = Binder->ReadInteger(Field), true; }
    bool E(TParser &P, long double &R) override
    {
        if (Answers & (1u << etExtended)) {
            if (!number(P, R))
                R = Binder->ReadExtended(Field);
        } else if (Answers & (1u << etDateTime)) {
            R = Binder->ReadDateTime(Field);
        } else {
            R = Binder->ReadInteger(Field);
        }
        return true;
    }
    bool D(TParser &P, double &R) override
    {
        if (Answers & (1u << etDateTime)) {
            R = Binder->ReadDateTime(Field);
        } else if (Answers & (1u << etExtended)) {
            long double v;
            if (!number(P, v))
                v = Binder->ReadExtended(Field);
            R = toDateTime(v);
        } else {
            R = Binder->ReadInteger(Field);
        }
        return true;
    }
    bool B(TParser &, bool &R) override { return R = Binder->ReadBoolean(Field), true; }
    bool S(TParser &P, QString &R) override
    {
        const char *record = TFastAccess::record(P);
        if (record && Where.Kind == 'C') {
            const char *at = record + Where.Offset;
            const int size = store::TrimmedWidth(at, Where.Width);
            if (size == 0) {
                R = QString();
                return true;
            }
            if (store::IsAscii(QByteArrayView(at, size))) {
                if (R.isDetached() && R.capacity() >= size)
                    R.resize(size);
                else
                    R = QString(size, Qt::Uninitialized);
                char16_t *out = reinterpret_cast<char16_t *>(R.data());
                for (int i = 0; i < size; ++i)
                    out[i] = char16_t(uint8_t(at[i]));
                return true;
            }
        }
        Binder->ReadString(Field, R);
        return true;
    }
};

// One step of the operator loop: Value op Operand, as applyNumeric does it.
struct TArith final : TNode {
    TExprType Type;
    uint8_t Op;
    TNodePtr L, R;
    const TLit *RLit; // a literal right operand, read in place
    TArith(TExprType AT, uint8_t AO, TNodePtr AL, TNodePtr AR)
        : Type(AT), Op(AO), L(std::move(AL)), R(std::move(AR)),
          RLit(dynamic_cast<const TLit *>(R.get()))
    {
        CanFail = Type != etInteger || L->CanFail || R->CanFail || Op == rowDiv || Op == rowMod;
        Constant = L->Constant && R->Constant;
    }
    bool I(TParser &P, int32_t &V) override
    {
        int32_t b;
        if (!L->I(P, V) || !R->I(P, b))
            return false;
        const uint32_t ua = uint32_t(V), ub = uint32_t(b);
        switch (Op) {
        case rowPlus: V = int32_t(ua + ub); return true;
        case rowMinus: V = int32_t(ua - ub); return true;
        case rowTimes: V = int32_t(ua * ub); return true;
        default:
            if (b == 0)
                return false;
            if (b == -1) {
                V = Op == rowDiv ? int32_t(0u - ua) : 0;
                return true;
            }
            V = Op == rowDiv ? V / b : V % b;
            return true;
        }
    }
    static bool apply(uint8_t Op, long double a, long double b, long double &r)
    {
        switch (Op) {
        case rowPlus: r = a + b; break;
        case rowMinus: r = a - b; break;
        case rowTimes: r = a * b; break;
        case rowSlash:
            if (b == 0)
                return false;
            r = a / b;
            break;
        default: r = power(a, b); break;
        }
        r = CheckedFloat(r);
        return true;
    }
    bool E(TParser &P, long double &V) override
    {
        long double b;
        if (!L->E(P, V))
            return false;
        if (RLit)
            b = RLit->V.E;
        else if (!R->E(P, b))
            return false;
        return apply(Op, V, b, V);
    }
    bool D(TParser &P, double &V) override
    {
        double a, b;
        long double r;
        if (!L->D(P, a) || !R->D(P, b) || !apply(Op, a, b, r))
            return false;
        V = toDateTime(r);
        return true;
    }
};

// The first operand of the loop, 0 + X or 0 - X.
struct TFirst final : TNode {
    bool Minus;
    TNodePtr X;
    TFirst(bool AM, TNodePtr AX) : Minus(AM), X(std::move(AX))
    {
        CanFail = X->CanFail;
        Constant = X->Constant;
    }
    bool I(TParser &P, int32_t &V) override
    {
        if (!X->I(P, V))
            return false;
        if (Minus)
            V = int32_t(0u - uint32_t(V));
        return true;
    }
    bool E(TParser &P, long double &V) override
    {
        if (!X->E(P, V))
            return false;
        V = CheckedFloat(Minus ? 0 - V : 0 + V);
        return true;
    }
    bool D(TParser &P, double &V) override
    {
        if (!X->D(P, V))
            return false;
        V = toDateTime(CheckedFloat(Minus ? 0 - (long double)V : 0 + (long double)V));
        return true;
    }
};

struct TConcat final : TNode {
    std::vector<TNodePtr> Parts;
    QString Part;
    bool S(TParser &P, QString &V) override
    {
        if (!Parts[0]->S(P, V))
            return false;
        for (size_t i = 1; i < Parts.size(); ++i) {
            if (!Parts[i]->S(P, Part))
                return false;
            V += Part;
        }
        return true;
    }
};

// A built-in call: its arguments in their types, the result converted to the type asked.
struct TCall final : TNode {
    uint8_t Id;
    TExprType Result, Want;
    std::vector<TExprType> Types;
    std::vector<TNodePtr> Args;
    std::vector<TExprValue> Values;
    TFunctParamValues Params;
    bool call(TParser &P, TExprValue &R);
    bool I(TParser &P, int32_t &V) override;
    bool E(TParser &P, long double &V) override;
    bool D(TParser &P, double &V) override;
    bool B(TParser &P, bool &V) override;
    bool S(TParser &P, QString &V) override;
};

struct TCompareNumbers final : TNode {
    uint8_t Sign;
    TNodePtr L, R;
    bool B(TParser &P, bool &V) override
    {
        long double a, b;
        if (!L->E(P, a) || !R->E(P, b))
            return false;
        V = compare(Sign, threeWay(a, b));
        return true;
    }
};

struct TCompareTexts final : TNode {
    uint8_t Sign;
    TNodePtr L, R;
    QString A, C;
    bool B(TParser &P, bool &V) override
    {
        if (!L->S(P, A) || !R->S(P, C))
            return false;
        V = compareTexts(Sign, A, C);
        return true;
    }
};

// A text field against a literal of plain ASCII: told from the stored bytes where they can.
struct TFieldEquals final : TNode {
    bool Equal;
    TFieldBinder *Binder;
    int Field;
    TFieldBinder::TBytes Where;
    QByteArray Ascii;
    QString Literal, Text;
    bool B(TParser &P, bool &V) override
    {
        int same = -1;
        if (const char *record = TFastAccess::record(P); record && Where.Kind == 'C') {
            // Equal: the literal's bytes and blanks after them; else unequal, unless other
            // characters than ASCII leave it to the decoded text.
            const char *at = record + Where.Offset;
            const int n = int(Ascii.size());
            if (n <= Where.Width && std::memcmp(at, Ascii.constData(), size_t(n)) == 0 &&
                store::TrimmedWidth(at + n, Where.Width - n) == 0)
                same = 1;
            else if (store::IsAscii(QByteArrayView(at, Where.Width)))
                same = 0;
        } else {
            same = Binder->TextEquals(Field, Ascii);
        }
        if (same < 0) {
            Binder->ReadString(Field, Text);
            same = compareTexts(rowEQ, Text, Literal);
        }
        V = (same != 0) == Equal;
        return true;
    }
};

// A number field (after "0 +") against a number of literals alone, from the record's bytes where
// its text is plain; else the two sides as the general comparison reads them. Where the constant
// times 10^Scale is an integer K below 10^18, a text of Scale decimals and at most 18 digits
// compares as its digits against K: two such values at least 10^-Scale apart stay apart, and in
// the same order, when rounded to extended.
struct TCompareNumberBytes final : TNode {
    uint8_t Sign;
    bool Flip; // the field on the right
    long double Constant;
    uint32_t Exact = 0; // a bit for each Scale with its K
    int64_t Keys[19] = {};
    TFieldBinder::TBytes Where;
    TNodePtr L, R;
    static constexpr uint64_t kTen18 = 1000000000000000000ull;
    bool B(TParser &P, bool &V) override
    {
        if (const char *record = TFastAccess::record(P)) {
            const char *at = record + Where.Offset;
            uint64_t mantissa;
            int scale;
            bool negative;
            if (PlainFieldDigits(at, at + Where.Width, mantissa, scale, negative)) {
                int cmp;
                if ((Exact >> scale & 1) && mantissa < kTen18) {
                    const int64_t v = negative ? -int64_t(mantissa) : int64_t(mantissa);
                    cmp = threeWay(v, Keys[scale]);
                } else {
                    static constexpr long double kPowers[] = {
                        1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                        1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L};
                    const long double n =
                        mantissa == 0 ? 0.0L : static_cast<long double>(mantissa) / kPowers[scale];
                    cmp = threeWay(negative ? -n : n, Constant);
                }
                V = compare(Sign, Flip ? -cmp : cmp);
                return true;
            }
        }
        long double a, b;
        if (!L->E(P, a) || !R->E(P, b))
            return false;
        V = compare(Sign, threeWay(a, b));
        return true;
    }
    // The integers K of the constant: C * 10^Scale exactly, when that is an integer below 10^18.
    void setConstant(long double C)
    {
        Constant = C;
        uint64_t power = 1; // 10^scale
        for (int scale = 0; scale <= 18; ++scale, power *= 10) {
            if (C == 0) {
                Exact |= 1u << scale;
                continue;
            }
            if (!(std::fabs(C) * power < 9e17L))
                break;
            // C = M * 2^-k with M odd; C * 10^scale = M * 5^scale * 2^(scale - k).
            int exponent;
            const long double fraction = std::frexp(std::fabs(C), &exponent);
            uint64_t m = uint64_t(std::ldexp(fraction, 64));
            int k = 64 - exponent;
            const int zeros = std::countr_zero(m);
            m >>= zeros;
            k -= zeros;
            if (k > scale)
                continue; // not an integer
            uint64_t value = m;
            for (int i = 0; i < scale; ++i)
                value *= 5;
            value <<= scale - k;
            Keys[scale] = C < 0 ? -int64_t(value) : int64_t(value);
            Exact |= 1u << scale;
        }
    }
};

// A date field (after "0 +") against a number of literals alone, from the record's bytes: the
// stored YYYYMMDD against the constant's day, as the serial days compare.
struct TCompareDateBytes final : TNode {
    uint8_t Sign;
    bool Flip;
    int32_t Key = 0;    // the first valid day not before the constant, as YYYYMMDD
    bool Exact = false; // the constant is that day
    int EmptyCmp = 0;   // an empty or impossible date (day 0) against the constant
    TFieldBinder::TBytes Where;
    TNodePtr L, R;
    bool B(TParser &P, bool &V) override
    {
        if (const char *record = TFastAccess::record(P)) {
            const char *at = record + Where.Offset;
            int cmp = EmptyCmp;
            if (const int32_t key = dateKey(at); key > 0)
                cmp = key < Key ? -1 : key > Key || !Exact ? 1 : 0;
            V = compare(Sign, Flip ? -cmp : cmp);
            return true;
        }
        long double a, b;
        if (!L->E(P, a) || !R->E(P, b))
            return false;
        V = compare(Sign, threeWay(a, b));
        return true;
    }
    // YYYYMMDD of eight stored digits forming a date from the year 1; 0 for anything else.
    static int32_t dateKey(const char *At)
    {
        int32_t key = 0;
        for (int i = 0; i < 8; ++i) {
            const unsigned digit = unsigned(uint8_t(At[i])) - '0';
            if (digit > 9)
                return 0;
            key = key * 10 + int32_t(digit);
        }
        const int year = key / 10000, month = key / 100 % 100, day = key % 100;
        static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (year < 1 || month < 1 || month > 12 || day < 1)
            return 0;
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (day > kDays[month - 1] + (month == 2 && leap))
            return 0;
        return key;
    }
    // The serial day of a date, as the reads count it.
    static int64_t serialOf(int Year, int Month, int Day)
    {
        Year -= Month <= 2;
        const int era = Year / 400, yearOfEra = Year - era * 400;
        const int dayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
        const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return int64_t(era) * 146097 + dayOfEra - 693899;
    }
    // Sets Key, Exact and EmptyCmp for the constant; false when it cannot be told so.
    bool setConstant(long double C)
    {
        if (std::isnan(C))
            return false;
        EmptyCmp = threeWay(0.0L, C);
        const int64_t first = serialOf(1, 1, 1), last = serialOf(9999, 12, 31);
        if (C < first) {
            Key = 0; // every date after it
            return true;
        }
        if (C > last) {
            Key = 99991232; // every date before it
            return true;
        }
        const long double day = std::ceil(C);
        Exact = day == C;
        // The day's date, counted back from 1 March of the year 0.
        const int64_t z = int64_t(day) + 693899;
        const int64_t era = z / 146097, dayOfEra = z - era * 146097;
        const int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t mp = (5 * dayOfYear + 2) / 153;
        const int dd = int(dayOfYear - (153 * mp + 2) / 5 + 1);
        const int mm = int(mp < 10 ? mp + 3 : mp - 9);
        const int yy = int(yearOfEra + era * 400 + (mm <= 2));
        if (serialOf(yy, mm, dd) != int64_t(day))
            return false;
        Key = yy * 10000 + mm * 100 + dd;
        return true;
    }
};

// The Boolean operators left to right, without priority; an operand whose value cannot change
// the result is skipped only when it cannot fail either.
struct TChain final : TNode {
    struct TTerm {
        uint8_t Op;
        bool Safe;    // cannot fail: may be skipped
        bool RestAnd; // every later term a safe "and": a false value is final
        bool RestOr;  // every later term a safe "or": a true value is final
        TNode *Node;
    };
    std::vector<TTerm> Terms;
    std::vector<TNodePtr> Nodes;
    // Every term a safe "and": the value is the same in any order, so the terms are tried
    // most often false first, as counted over the records so far.
    bool AllSafeAnd = false;
    uint32_t Calls = 0;
    std::vector<uint32_t> Rejects, Tries; // per term, in the order of Terms
    void finish()
    {
        AllSafeAnd = Terms.size() > 1;
        for (size_t i = 0; i < Terms.size(); ++i)
            AllSafeAnd &= Terms[i].Safe && (i == 0 || Terms[i].Op == rowAnd);
        Rejects.assign(Terms.size(), 0);
        Tries.assign(Terms.size(), 0);
    }
    void reorder()
    {
        std::vector<size_t> order(Terms.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        // By the share of false among the records a term was tried on, a term not tried last.
        auto share = [this](size_t i) { return Tries[i] ? double(Rejects[i]) / Tries[i] : 0.0; };
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return share(a) > share(b); });
        std::vector<TTerm> terms;
        std::vector<uint32_t> rejects, tries;
        for (size_t i : order) {
            terms.push_back(Terms[i]);
            rejects.push_back(Rejects[i] / 2); // older records count less
            tries.push_back(Tries[i] / 2);
        }
        Terms = std::move(terms);
        Rejects = std::move(rejects);
        Tries = std::move(tries);
    }
    bool allAnd(TParser &P, bool &V)
    {
        // Early and then every 1024 records.
        ++Calls;
        if ((Calls < 1024 ? Calls & (Calls - 1) : Calls & 1023) == 0)
            reorder();
        for (size_t i = 0; i < Terms.size(); ++i) {
            bool b;
            if (!Terms[i].Node->B(P, b))
                return false;
            ++Tries[i];
            if (!b) {
                ++Rejects[i];
                V = false;
                return true;
            }
        }
        V = true;
        return true;
    }
    void add(uint8_t Op, TNodePtr Node)
    {
        const bool safe = !Node->CanFail;
        for (TTerm &t : Terms) {
            t.RestAnd &= Op == rowAnd && safe;
            t.RestOr &= Op == rowOr && safe;
        }
        Terms.push_back({Op, safe, true, true, Node.get()});
        Nodes.push_back(std::move(Node));
    }
    bool B(TParser &P, bool &V) override
    {
        if (AllSafeAnd)
            return allAnd(P, V);
        V = false;
        for (const TTerm &t : Terms) {
            if (t.Safe && ((t.Op == rowAnd && !V) || (t.Op == rowOr && V)))
                continue;
            bool b;
            if (!t.Node->B(P, b))
                return false;
            V = t.Op == rowAnd ? (V & b) : t.Op == rowXor ? (V ^ b) : (V | b);
            if (V ? t.RestOr : t.RestAnd)
                return true;
        }
        return true;
    }
};
} // namespace

bool TCall::call(TParser &P, TExprValue &R)
{
    for (size_t i = 0; i < Args.size(); ++i) {
        TExprValue &v = Values[i];
        bool ok = false;
        switch (Types[i]) {
        case etInteger: ok = Args[i]->I(P, v.I); break;
        case etExtended: ok = Args[i]->E(P, v.E); break;
        case etDateTime: ok = Args[i]->D(P, v.D); break;
        case etString: ok = Args[i]->S(P, v.S); break;
        case etBoolean: ok = Args[i]->B(P, v.B); break;
        }
        if (!ok)
            return false;
    }
    return TFastAccess::call(P, Id, Params, R);
}

bool TCall::I(TParser &P, int32_t &V)
{
    TExprValue r;
    return call(P, r) && (V = r.I, true);
}
bool TCall::B(TParser &P, bool &V)
{
    TExprValue r;
    return call(P, r) && (V = r.B, true);
}
bool TCall::S(TParser &P, QString &V)
{
    TExprValue r;
    if (!call(P, r))
        return false;
    V.swap(r.S);
    return true;
}
bool TCall::E(TParser &P, long double &V)
{
    TExprValue r, out;
    if (!call(P, r))
        return false;
    convert(r, Result, out, etExtended);
    V = out.E;
    return true;
}
bool TCall::D(TParser &P, double &V)
{
    TExprValue r, out;
    if (!call(P, r))
        return false;
    convert(r, Result, out, etDateTime);
    V = out.D;
    return true;
}

namespace {
constexpr uint8_t kLengthId = 4; // the built-in length, as BuiltinTable numbers it

// length() of a text field: its stored ASCII bytes counted in place; the call otherwise.
struct TLengthBytes final : TNode {
    TFieldBinder::TBytes Where;
    std::unique_ptr<TCall> Call;
    bool count(TParser &P, int32_t &N) const
    {
        const char *record = TFastAccess::record(P);
        if (!record)
            return false;
        const char *at = record + Where.Offset;
        N = store::TrimmedWidth(at, Where.Width);
        return store::IsAscii(QByteArrayView(at, N));
    }
    bool I(TParser &P, int32_t &V) override { return count(P, V) || Call->I(P, V); }
    bool E(TParser &P, long double &V) override
    {
        int32_t n;
        if (!count(P, n))
            return Call->E(P, V);
        V = n;
        return true;
    }
    bool D(TParser &P, double &V) override
    {
        int32_t n;
        if (!count(P, n))
            return Call->D(P, V);
        V = n;
        return true;
    }
};
} // namespace

// Mirrors the walk's forms over the symbols; any other form gives no tree.
struct TFastCompiler {
    TParser &P;
    TFieldBinder *Binder;
    size_t At = 0;

    const CompiledSymbol &sym(size_t Offset = 0) const
    {
        return P.Symbols[std::min(At + Offset, P.Symbols.size() - 1)];
    }
    // A node of literals alone becomes the literal of its value, unless working it out fails.
    TNodePtr fold(TNodePtr Node, TExprType Type)
    {
        if (!Node->Constant || dynamic_cast<const TLit *>(Node.get()))
            return Node;
        auto lit = std::make_unique<TLit>();
        bool ok = false;
        try {
            switch (Type) {
            case etInteger: ok = Node->I(P, lit->V.I); break;
            case etExtended: ok = Node->E(P, lit->V.E); break;
            case etDateTime: ok = Node->D(P, lit->V.D); break;
            case etBoolean: ok = Node->B(P, lit->V.B); break;
            case etString: ok = Node->S(P, lit->V.S); break;
            }
        } catch (const EExprError &) {
            ok = false;
        }
        if (!ok)
            return Node;
        return lit;
    }
    static bool ends(int Context, uint32_t Flags)
    {
        switch (Context) {
        case 0: return Flags & tcEnd;
        case 3: return Flags & tcComma;
        case 4: return Flags & tcClose;
        case 5: return Flags & tcCompare;
        default: return true; // 6: any symbol that is no operator of the type
        }
    }
    TNodePtr literal(TExprType Type)
    {
        const CompiledSymbol &s = sym();
        auto lit = std::make_unique<TLit>();
        switch (Type) {
        case etInteger:
            if (s.Type != rowIntLiteral || !s.IntValid)
                return nullptr;
            lit->V.I = s.IntValue;
            break;
        case etExtended:
        case etDateTime:
            if ((s.Type != rowIntLiteral && s.Type != rowRealLiteral) || !s.ExtValid)
                return nullptr;
            lit->V.E = s.ExtValue;
            lit->V.D = double(s.ExtValue);
            if (!std::isfinite(lit->V.D))
                return nullptr;
            break;
        case etString:
            if (s.Type != rowStringLiteral || s.Unterminated)
                return nullptr;
            lit->V.S = s.Text;
            break;
        case etBoolean:
            if (s.Type != rowTrue && s.Type != rowFalse)
                return nullptr;
            lit->V.B = s.Type == rowTrue;
            break;
        }
        ++At;
        return lit;
    }
    TNodePtr field(TExprType Type)
    {
        const CompiledSymbol &s = sym();
        if (s.Field < 0)
            return nullptr;
        const uint8_t a = s.Answers;
        const uint8_t numeric = (1u << etInteger) | (1u << etExtended) | (1u << etDateTime);
        const bool ok =
            Type == etExtended || Type == etDateTime ? (a & numeric) != 0 : (a & (1u << Type)) != 0;
        if (!ok)
            return nullptr;
        ++At;
        return std::make_unique<TFieldNode>(Binder, s.Field, a, s.Safe);
    }
    TNodePtr call(TExprType Want)
    {
        const CompiledSymbol &s = sym();
        const auto *fn = static_cast<const TFunct *>(s.Data);
        if (s.Type != rowFunct || !fn || fn->Kind != fkBuiltin || !fn->Active ||
            !IsPureBuiltin(fn->Id) || !accepts(Want, fn->FunctType))
            return nullptr;
        auto node = std::make_unique<TCall>();
        node->Id = fn->Id;
        node->Result = fn->FunctType;
        node->Want = Want;
        node->Types = fn->Params;
        ++At;
        const size_t n = fn->Params.size();
        if (n > 0) {
            if (sym().Type != rowOpen)
                return nullptr;
            ++At;
            for (size_t i = 0; i < n; ++i) {
                TNodePtr arg = expr(i + 1 < n ? 3 : 4, fn->Params[i]);
                if (!arg)
                    return nullptr;
                node->Args.push_back(std::move(arg));
                ++At; // past "," or ")"
            }
        }
        node->Values.resize(n);
        for (size_t i = 0; i < n; ++i)
            node->Params.push_back(
                TFunctParamValue{fn->Params[i], node->Values[i].Ptr(fn->Params[i])});
        // Of literals alone: worked out once, as the walk keeps the value of such a call.
        node->Constant = true;
        for (const TNodePtr &arg : node->Args)
            node->Constant &= arg->Constant;
        if (const TFieldNode *f =
                n == 1 ? dynamic_cast<const TFieldNode *>(node->Args[0].get()) : nullptr;
            f && fn->Id == kLengthId && f->Where.Kind == 'C') {
            auto length = std::make_unique<TLengthBytes>();
            length->CanFail = node->CanFail;
            length->Where = f->Where;
            length->Call = std::move(node);
            return length;
        }
        return fold(std::move(node), Want);
    }
    TNodePtr factor(TExprType Type)
    {
        const CompiledSymbol &s = sym();
        if (s.Type == rowName)
            return field(Type);
        if (s.Type == rowFunct)
            return call(Type);
        if (s.Type == rowOpen) {
            ++At;
            TNodePtr inner = expr(4, Type);
            if (!inner)
                return nullptr;
            ++At;
            return inner;
        }
        return literal(Type);
    }
    TNodePtr expr(int Context, TExprType Type)
    {
        switch (Type) {
        case etString: return text(Context);
        case etBoolean: return chain(Context);
        default: return numeric(Context, Type);
        }
    }
    // exprNumeric from its state 1 (Value 0) or 3 (Value given, MinPriority above 0).
    TNodePtr numeric(int Context, TExprType Type, TNodePtr Value = nullptr, int MinPriority = 0)
    {
        const uint32_t opClass = operatorClass(Type);
        uint8_t op = rowPlus;
        bool First = !Value;
        if (!Value) {
            auto zero = std::make_unique<TLit>();
            Value = std::move(zero);
            if (sym().Type == rowPlus) {
                ++At;
            } else if (sym().Type == rowMinus) {
                op = rowMinus;
                ++At;
            }
        } else {
            if (!(sym().Flags & opClass))
                return ends(Context, sym().Flags) ? std::move(Value) : nullptr;
            op = sym().Type;
            ++At;
        }
        for (;;) {
            TNodePtr operand = factor(Type);
            if (!operand)
                return nullptr;
            while (TParser::operatorPriority(op) < sym().Priority && (sym().Flags & opClass)) {
                operand = numeric(Context, Type, std::move(operand), sym().Priority);
                if (!operand)
                    return nullptr;
            }
            if (auto *zero = dynamic_cast<TLit *>(Value.get()); zero && First)
                Value = std::make_unique<TFirst>(op == rowMinus, std::move(operand));
            else
                Value = std::make_unique<TArith>(Type, op, std::move(Value), std::move(operand));
            First = false;
            Value = fold(std::move(Value), Type);
            if (MinPriority >= 1 && !(MinPriority < sym().Priority))
                return Value;
            if (!(sym().Flags & opClass))
                return ends(Context, sym().Flags) ? std::move(Value) : nullptr;
            op = sym().Type;
            ++At;
        }
    }
    TNodePtr text(int Context)
    {
        auto node = std::make_unique<TConcat>();
        node->CanFail = false;
        for (;;) {
            TNodePtr part = factor(etString);
            if (!part)
                return nullptr;
            node->CanFail |= part->CanFail;
            node->Parts.push_back(std::move(part));
            if (!(sym().Flags & tcStrOp))
                break;
            ++At;
        }
        if (!ends(Context, sym().Flags))
            return nullptr;
        if (node->Parts.size() == 1)
            return std::move(node->Parts[0]);
        return node;
    }
    // factorBoolean and the comparisons after it.
    TNodePtr term()
    {
        const CompiledSymbol &s = sym();
        if (s.Type == rowTrue || s.Type == rowFalse)
            return literal(etBoolean);
        if (s.Type == rowOpen) {
            ++At;
            TNodePtr inner = chain(4);
            if (!inner)
                return nullptr;
            ++At;
            return inner;
        }
        bool textMode = false;
        if (s.Type == rowName) {
            if (s.Field < 0)
                return nullptr;
            if (s.Answers & (1u << etBoolean))
                return field(etBoolean);
            const uint8_t numeric = (1u << etInteger) | (1u << etExtended) | (1u << etDateTime);
            if (!(s.Answers & numeric)) {
                if (!(s.Answers & (1u << etString)))
                    return nullptr;
                textMode = true;
            }
        } else if (s.Type == rowFunct) {
            const auto *fn = static_cast<const TFunct *>(s.Data);
            if (!fn)
                return nullptr;
            if (fn->FunctType == etBoolean)
                return call(etBoolean);
            textMode = fn->FunctType == etString;
        } else if (s.Type == rowStringLiteral) {
            textMode = true;
        } else if (s.Type != rowIntLiteral && s.Type != rowRealLiteral) {
            return nullptr;
        }
        if (textMode) {
            TNodePtr left = text(5);
            if (!left)
                return nullptr;
            const uint8_t sign = sym().Type;
            ++At;
            TNodePtr right = text(6);
            if (!right)
                return nullptr;
            auto *f = dynamic_cast<TFieldNode *>(left.get());
            auto *lit = dynamic_cast<TLit *>(right.get());
            if (f && lit && (sign == rowEQ || sign == rowNE) && !f->CanFail) {
                const QString &t = lit->V.S;
                bool plain = t.isEmpty() || (t.back() != u' ' && t.back() != QChar(0));
                for (QChar c : t)
                    plain &= c.unicode() < 0x80;
                if (plain) {
                    auto eq = std::make_unique<TFieldEquals>();
                    eq->CanFail = false;
                    eq->Equal = sign == rowEQ;
                    eq->Binder = Binder;
                    eq->Field = f->Field;
                    eq->Where = f->Where;
                    eq->Ascii = t.toLatin1();
                    eq->Literal = t;
                    return eq;
                }
            }
            auto node = std::make_unique<TCompareTexts>();
            node->CanFail = left->CanFail || right->CanFail;
            node->Sign = sign;
            node->L = std::move(left);
            node->R = std::move(right);
            return node;
        }
        TNodePtr left = numeric(5, etExtended);
        if (!left)
            return nullptr;
        const uint8_t sign = sym().Type;
        ++At;
        TNodePtr right = numeric(6, etExtended);
        if (!right)
            return nullptr;
        if (TNodePtr bytes = compareBytes(sign, left, right))
            return bytes;
        auto node = std::make_unique<TCompareNumbers>();
        node->CanFail = left->CanFail || right->CanFail;
        node->Sign = sign;
        node->L = std::move(left);
        node->R = std::move(right);
        return node;
    }
    // The field read by "0 + field" of a field that never fails.
    static const TFieldNode *plainField(const TNode *Node)
    {
        const auto *first = dynamic_cast<const TFirst *>(Node);
        const auto *f =
            first && !first->Minus ? dynamic_cast<const TFieldNode *>(first->X.get()) : nullptr;
        return f && !f->CanFail ? f : nullptr;
    }
    // A number or date field against a constant, compared on the record's bytes.
    static TNodePtr compareBytes(uint8_t Sign, TNodePtr &Left, TNodePtr &Right)
    {
        bool flip = false;
        const TFieldNode *f = plainField(Left.get());
        const TLit *lit = dynamic_cast<const TLit *>(Right.get());
        if (!f || !lit) {
            f = plainField(Right.get());
            lit = dynamic_cast<const TLit *>(Left.get());
            flip = true;
        }
        if (!f || !lit)
            return nullptr;
        const long double constant = lit->V.E;
        if ((f->Where.Kind == 'N' || f->Where.Kind == 'F') && (f->Answers & (1u << etExtended)) &&
            !std::isnan(constant)) {
            auto node = std::make_unique<TCompareNumberBytes>();
            node->CanFail = false;
            node->Sign = Sign;
            node->Flip = flip;
            node->setConstant(constant);
            node->Where = f->Where;
            node->L = std::move(Left);
            node->R = std::move(Right);
            return node;
        }
        if (f->Where.Kind == 'D' && f->Where.Width >= 8 && f->Answers == (1u << etDateTime)) {
            auto node = std::make_unique<TCompareDateBytes>();
            if (!node->setConstant(constant))
                return nullptr;
            node->CanFail = false;
            node->Sign = Sign;
            node->Flip = flip;
            node->Where = f->Where;
            node->L = std::move(Left);
            node->R = std::move(Right);
            return node;
        }
        return nullptr;
    }
    TNodePtr chain(int Context)
    {
        auto node = std::make_unique<TChain>();
        node->CanFail = false;
        uint8_t op = rowOr;
        for (;;) {
            TNodePtr t = term();
            if (!t || (sym().Flags & tcCompare))
                return nullptr;
            node->CanFail |= t->CanFail;
            node->add(op, std::move(t));
            if (sym().Flags & tcBoolOp) {
                op = sym().Type;
                ++At;
                continue;
            }
            if (!ends(Context, sym().Flags) || Context == 5 || Context == 6)
                return nullptr;
            if (node->Nodes.size() == 1) // false or X is X
                return std::move(node->Nodes[0]);
            node->finish();
            return node;
        }
    }
};

bool TParser::bind()
{
    FFast.reset();
    TFieldBinder *binder = Owner->Binder;
    bool all = true;
    for (CompiledSymbol &s : Symbols) {
        s.Field = -1;
        s.Answers = 0;
        s.Safe = false;
        if (s.Type == rowName) {
            s.Field = binder->Bind(s.Name, s.Answers, s.Safe);
            all &= s.Field >= 0;
        } else if (s.Type == rowIf || s.Type == rowParam || s.Type == rowVariable) {
            all = false;
        }
    }
    if (all)
        FFast = std::make_unique<TFastTree>();
    return true;
}

bool TParser::runFast(TExprType Type, TExprValue &Value)
{
    if (!FFast->Tried[Type]) {
        FFast->Tried[Type] = true;
        TFastCompiler c{*this, Owner->Binder};
        TNodePtr root;
        try {
            root = c.expr(0, Type);
        } catch (const EExprError &) {
            root.reset();
        }
        if (root && (c.sym().Flags & tcEnd) && c.At + 1 == Symbols.size())
            FFast->Roots[Type] = std::move(root);
    }
    if (!FFast->Roots[Type])
        return false;
    try {
        TNode &root = *FFast->Roots[Type];
        switch (Type) {
        case etInteger: return root.I(*this, Value.I);
        case etExtended: return root.E(*this, Value.E);
        case etBoolean: return root.B(*this, Value.B);
        case etString: return root.S(*this, Value.S);
        case etDateTime: return root.D(*this, Value.D);
        }
    } catch (...) {
        // raised again by the walk
    }
    return false;
}

} // namespace qf::expr

#pragma once
// One expression text as an array of symbols, evaluated by recursive descent over the array.

#include "expr/binder.h"
#include "expr/exprtypes.h"
#include "store/reader.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace qf::expr {

class TAdCalc;
struct TFunct;

struct CompiledSymbol {
    uint8_t Type = 0;
    QString Text;
    void *Data = nullptr;
    int32_t Place = 0;
    int32_t Line = 1;
    int32_t Position = 0;
    uint8_t ErrorCode = 0;
    bool Unterminated = false; // a string literal without its closing sign (code 27 for good)
    // The row's token classes and operator priority, looked up once: the walk reads them at every
    // step.
    uint32_t Flags = 1; // end of text
    int8_t Priority = -1;
    // Worked out once when tokenizing, so that evaluating a stored text does not convert again.
    QString Name;          // Text as the events receive it
    bool IntValid = false; // integer literal within 32 bits
    bool ExtValid = false; // number literal within the extended range
    int32_t IntValue = 0;
    long double ExtValue = 0;
    // A built-in call of literal arguments whose value does not change: its entry in the parser's
    // list of such calls, -1 for any other symbol.
    int32_t ConstCall = -1;
    // The host's field this name is bound to (-1 none), the engine types it answers, and whether
    // its reads never fail.
    int32_t Field = -1;
    uint8_t Answers = 0;
    bool Safe = false;
};
using TCompiledSymbols = std::vector<CompiledSymbol>;

class TParser {
public:
    TParser(TAdCalc *Owner, const QString &Expression, int Handle, bool Compile);
    ~TParser();
    TParser(const TParser &) = delete;
    TParser &operator=(const TParser &) = delete;

    TAdCalc *Owner;
    std::unique_ptr<store::TScroller> Scroller;
    QString Expression;
    TCompiledSymbols Symbols;
    int32_t Handle = 0;
    int32_t Index = 0;
    int32_t CurrentLine = 1;
    bool Started = false;

    void Tokenize();
    void Reset();
    void SetError(uint8_t Code);
    int32_t PrevIndex() const { return Index > 0 ? Index - 1 : 0; }

    bool EvaluateInteger(int32_t &Value);
    bool EvaluateExtended(long double &Value);
    bool EvaluateBoolean(bool &Value);
    bool EvaluateString(QString &Value);
    bool EvaluateDateTime(TDateTime &Value);
    // A formula function's text during a call of Name.
    bool EvaluateFormula(const QString &Name, TExprType Type, TExprValue &Value);

private:
    bool FBusy = false;            // the text is being evaluated
    std::vector<int32_t> FErrorAt; // symbols given a code since the last reset
    struct CallFrame {
        std::vector<TExprValue> Values;
        TFunctParamValues Params;
    };
    std::vector<std::unique_ptr<CallFrame>> FFrames; // by nesting depth of the calls being made
    int FCallDepth = 0;
    // Built-in calls whose arguments are all literals, and whose result depends on nothing else:
    // the first successful call keeps its value and the index after it, so that a text evaluated
    // for every record computes it once. Rebuilt with the symbols.
    struct ConstCallValue {
        const TFunct *Funct = nullptr;
        bool Known = false;
        int32_t End = 0;
        TExprValue Value;
    };
    std::vector<ConstCallValue> FConstCalls;
    // The left sides of name comparisons, by nesting depth: kept between evaluations, so that a
    // host writing the text into the string it is handed reuses the buffer.
    std::deque<QString> FTexts;
    int FTextDepth = 0;
    void findConstCalls();
    // Names bound to the host's fields, and the text as a tree of typed nodes when every part of it
    // allows (names bound, literals, pure built-ins): made again when the binding changes.
    uint64_t FBindStamp = 0;
    TFieldBinder *FBinder = nullptr; // set for an evaluation whose names are bound
    const char *FRecord = nullptr;   // the record's bytes during a run of the tree, if offered
    struct TFastTree;
    std::unique_ptr<TFastTree> FFast;
    bool bind();
    bool runFast(TExprType Type, TExprValue &Value);
    bool bound() const { return FBinder && cur().Field >= 0 && !FBinder->Latched(); }
    friend struct TFastCompiler;
    friend struct TFastAccess;

    void scanSymbol(CompiledSymbol &R);
    void advance();
    template <typename T>
    bool evaluate(TExprType Type, T &Value);
    void report();

    const CompiledSymbol &cur() const { return Symbols[size_t(Index)]; }
    uint32_t curFlags() const { return cur().Flags; }
    int currentPriority() const { return cur().Priority; }
    static int operatorPriority(uint8_t Row);

    bool exprConditional(int Context, TExprType Type, TExprValue &Value);
    template <typename T>
    bool exprNumeric(int Context, T &Value, bool &First, int State, int MinPriority,
                     TExprType Type);
    bool exprBoolean(int Context, bool &Value);
    bool exprString(int Context, QString &Value, bool &First);
    bool factor(TExprType Type, TExprValue &Value);
    bool factorBoolean(bool &Value);
    bool readOperator(uint8_t &Op, int Context, bool &AtEnd, TExprType Type);
    bool comparison(bool &Value, bool StringMode, bool &First);
    bool loneOperand(TExprType Type, TExprValue &Value, bool &First);
    bool booleanComparison(bool &Value);
    bool evalParenthesized(TExprType Type, TExprValue &Value);
    bool parseArguments(TExprValue *Values, const TExprType *Types, size_t Count);
    bool exprOfType(int Context, TExprType Type, TExprValue &Value);
    bool callFunct(TFunct *Funct, TExprType ResultType, TExprValue &Result);
    bool getParam(int32_t I, TExprValue &Value, TExprType Type);
    bool askHost(TExprType Type, TExprValue &Value);
    bool askExtended(long double &Value);
    bool askDateTime(TDateTime &Value);
    bool askString(QString &Value);
    bool compareNumeric(bool &Value, long double Left);
    bool compareString(bool &Value, const QString &Left);
    bool nameComparison(bool &Value);
    bool callBuiltin(uint8_t Id, const TFunctParamValues &Params, TExprValue &Result);
    template <typename T>
    bool applyNumeric(T &Value, uint8_t Op, T Operand);

    friend class TAdCalc;
};

} // namespace qf::expr

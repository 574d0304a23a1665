#pragma once
// The expression engine component: language configuration, symbol dictionary, compiled texts by
// handle, and the events through which the host answers variables and functions and learns of
// errors.

#include "expr/binder.h"
#include "expr/exprtypes.h"
#include "store/dlist.h"
#include "store/reader.h"
#include "store/storefile.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qf::expr {

class TAdCalc;
class TParser;

// Token classes of the symbol table, by bit.
enum : uint32_t {
    tcEnd = 1u << 0,
    tcName = 1u << 1,
    tcComma = 1u << 2,
    tcOpen = 1u << 3,
    tcClose = 1u << 4,
    tcIntOp = 1u << 5,
    tcExtOp = 1u << 6,
    tcBoolOp = 1u << 7,
    tcStrOp = 1u << 8,
    tcCompare = 1u << 9,
    tcComment = 1u << 10,
    tcString = 1u << 11,
    tcStatementEnd = 1u << 12,
    tcFunct = 1u << 13,
    tcVariable = 1u << 14,
    tcIf = 1u << 15,
    tcThen = 1u << 16,
    tcElse = 1u << 17,
    tcIntLit = 1u << 18,
    tcExtLit = 1u << 19,
    tcBoolLit = 1u << 20,
    tcStrLit = 1u << 21,
    tcDateLit = 1u << 22
};

// Rows of the symbol table that the grammar names.
enum : uint8_t {
    rowEnd = 0,
    rowName = 1,
    rowComma = 2,
    rowOpen = 3,
    rowClose = 4,
    rowPlus = 5,
    rowMinus = 6,
    rowTimes = 7,
    rowSlash = 8,
    rowPower = 9,
    rowAnd = 10,
    rowOr = 11,
    rowXor = 12,
    rowDiv = 13,
    rowMod = 14,
    rowTrue = 15,
    rowFalse = 16,
    rowParam = 17,
    rowGE = 18,
    rowLE = 19,
    rowNE = 20,
    rowEQ = 21,
    rowGT = 22,
    rowLT = 23,
    rowApostrophe = 24,
    rowQuote = 25,
    rowDoubleSlash = 26,
    rowSemicolon = 27,
    rowPeriod = 28,
    rowVariable = 29,
    rowFunct = 30,
    rowIf = 31,
    rowThen = 32,
    rowElse = 33,
    rowIntLiteral = 34,
    rowRealLiteral = 35,
    rowStringLiteral = 36
};

struct TSymbolRow {
    QString Name;
    uint32_t Flags;
    uint8_t Kind; // 5 word, 6 sign, 1 literal class, 0 internal
};
constexpr int SymbolRowCount = 37;
// Shared by every component of the process; only the sign setters change it.
extern std::array<TSymbolRow, SymbolRowCount> SymbolTable;

constexpr int ErrorMessageCount = 28;
extern const std::array<QString, ErrorMessageCount> ErrorMessages;

enum TFunctKind : uint8_t { fkBuiltin = 0, fkHost = 1, fkFormula = 2 };

struct TFunct {
    QString Name, Description, UserText;
    bool Active = true;
    TExprType FunctType = etExtended;
    std::vector<TExprType> Params;
    TFunctKind Kind = fkBuiltin;
    uint8_t Id = 0;
    std::unique_ptr<TParser> Formula;
    ~TFunct();
};

struct TVariable {
    QString Name, Description, UserText;
    TExprType VarType = etInteger;
    std::unique_ptr<TExprValue> DefaultValue, CurrentValue;
    const TExprValue *Value() const
    {
        return CurrentValue ? CurrentValue.get() : DefaultValue.get();
    }
};

// Owner data of a dictionary symbol: its table row, and the function or variable it names.
struct TSymbolRef {
    uint8_t Row = 0;
    void *Data = nullptr;
};

class TAdCalc {
public:
    using TErrorEvent =
        std::function<void(TAdCalc *Sender, int ErrorLine, int ErrorPosition, int ErrorPlace,
                           int ErrorCode, const QString &ErrorStr, int Handle)>;
    using TFunctErrorEvent = std::function<void(TAdCalc *Sender, const QString &FunctName,
                                                int ErrorLine, int ErrorPosition, int ErrorPlace,
                                                int ErrorCode, const QString &ErrorStr)>;
    template <typename T>
    using TGetVarEvent = std::function<void(TAdCalc *Sender, const QString &VarName, bool &Found,
                                            T &Value, int Handle)>;
    template <typename T>
    using TGetFunctEvent = std::function<void(TAdCalc *Sender, const QString &FunctName,
                                              bool Active, const TFunctParamValues &ParamValues,
                                              bool &Found, T &Value, int Handle)>;
    using TGetIntegerVarEvent = TGetVarEvent<int32_t>;
    using TGetExtendedVarEvent = TGetVarEvent<long double>;
    using TGetBooleanVarEvent = TGetVarEvent<bool>;
    using TGetStringVarEvent = TGetVarEvent<QString>;
    using TGetDateTimeVarEvent = TGetVarEvent<TDateTime>;
    using TGetIntegerFunctEvent = TGetFunctEvent<int32_t>;
    using TGetExtendedFunctEvent = TGetFunctEvent<long double>;
    using TGetBooleanFunctEvent = TGetFunctEvent<bool>;
    using TGetStringFunctEvent = TGetFunctEvent<QString>;
    using TGetDateTimeFunctEvent = TGetFunctEvent<TDateTime>;
    using TVarListEvent =
        std::function<void(TAdCalc *Sender, const QString &VarName, TExprType VarType, void *Value,
                           const QString &Description, const QString &UserText)>;
    using TFunctListEvent = std::function<void(
        TAdCalc *Sender, const QString &FunctName, bool Active, TExprType FunctType,
        const QString &Formula, const std::vector<TExprType> &Params, const QString &Description,
        const QString &UserText)>;

    TErrorEvent OnError;
    TFunctErrorEvent OnFunctError;
    TGetIntegerVarEvent OnGetIntegerVar;
    TGetExtendedVarEvent OnGetExtendedVar;
    TGetBooleanVarEvent OnGetBooleanVar;
    TGetStringVarEvent OnGetStringVar;
    TGetDateTimeVarEvent OnGetDateTimeVar;
    TGetIntegerFunctEvent OnGetIntegerFunct;
    TGetExtendedFunctEvent OnGetExtendedFunct;
    TGetBooleanFunctEvent OnGetBooleanFunct;
    TGetStringFunctEvent OnGetStringFunct;
    TGetDateTimeFunctEvent OnGetDateTimeFunct;
    TVarListEvent OnVarList;     // assignable; nothing here fires it
    TFunctListEvent OnFunctList; // assignable; nothing here fires it

    // Offered by a host that binds names to its record's fields; none: every name goes to the
    // events.
    TFieldBinder *Binder = nullptr;

    // Stands in for the error message box of a refused identifier; without it the text goes to
    // qWarning.
    std::function<void(const QString &Text)> ErrorBox;

    TAdCalc();
    ~TAdCalc();
    TAdCalc(const TAdCalc &) = delete;
    TAdCalc &operator=(const TAdCalc &) = delete;

    TStringSign StringSign() const;
    void SetStringSign(TStringSign Value);
    TCommentSign CommentSign() const;
    void SetCommentSign(TCommentSign Value);
    bool CaseSensitivity() const { return FReader.CaseSensitivity(); }
    void SetCaseSensitivity(bool Value);

    // Returns false when the name was refused (after its message).
    bool AddFunct(QString Name, bool Active, TExprType FunctType,
                  const std::vector<TExprType> &Params);

    bool CalcInteger(const QString &Expr, int32_t &Value, int Handle);
    bool CalcExtended(const QString &Expr, long double &Value, int Handle);
    bool CalcBoolean(const QString &Expr, bool &Value, int Handle);
    bool CalcString(const QString &Expr, QString &Value, int Handle);
    bool CalcDateTime(const QString &Expr, TDateTime &Value, int Handle);

    void Compile(const QString &Expr, int Handle);
    bool CalcCompiledBoolean(bool &Value, int Handle);
    void RemoveCompiled(int Handle);

    // For the parser.
    QString NormalizeName(const QString &Name) const;
    bool GetIntegerVariable(const QString &Name, int32_t &Value);
    bool GetExtendedVariable(const QString &Name, long double &Value);
    bool GetBooleanVariable(const QString &Name, bool &Value);
    bool GetStringVariable(const QString &Name, QString &Value);
    bool GetDateTimeVariable(const QString &Name, TDateTime &Value);

    // The registration path of functions and variables (built-ins, AddFunct, formula functions).
    // Returns false when the name was refused.
    bool RegisterFunct(QString Name, const QString &Description, const QString &UserText,
                       bool Active, TExprType FunctType, const std::vector<TExprType> &Params,
                       TFunctKind Kind, uint8_t Id, const QString &Formula);
    bool RegisterVariable(QString Name, TExprType VarType, const TExprValue *DefaultValue,
                          const QString &Description = {}, const QString &UserText = {});
    bool SetVariableValue(const QString &Name, const TExprValue &Value);

    store::TReader &Reader() { return FReader; }
    bool NeedRecompile = false;
    bool ErrorReported = false;
    const TFunctParamValues *CurrentParams = nullptr;

private:
    friend class TParser;
    store::TReader FReader;
    store::TDList FCompiled;
    int FEvalDepth = 0; // evaluations in progress (formula functions nest)
    int FDescent = 0;   // nesting of the descent over all parsers
    // The parser last found under a handle, so that a filter run does not look the key up per
    // record.
    int FCachedHandle = 0;
    TParser *FCachedParser = nullptr;
    // Records dropped while an evaluation may still point at them; freed when the outermost one
    // ends.
    std::vector<std::pair<int, TSymbolRef *>> FRetiredSymbols;
    std::vector<TParser *> FRetiredParsers;

    void registerSymbols();
    void registerBuiltins();
    bool checkIdentifier(QString &Name);
    QString identifierError(QString &Name) const;
    void saveSymbol(int Structure, void *Properties, store::TFileHandle &H);
    void loadSymbol(int Structure, void *&Properties, store::TFileHandle &H);
    void message(const QString &Text);
    void disposeSymbol(int Structure, void *Properties);
    void releaseSymbol(int Structure, TSymbolRef *Ref);
    void recompileAll();
    void enterEvaluation() { ++FEvalDepth; }
    void leaveEvaluation()
    {
        if (--FEvalDepth == 0 && (!FRetiredSymbols.empty() || !FRetiredParsers.empty()))
            releaseRetired();
    }
    void releaseRetired();
    template <typename T>
    bool calc(const QString &Expr, T &Value, int Handle, TExprType Type);
    TVariable *findVariable(const QString &Name, TExprType Type);
};

// Number texts with "." as the decimal point whatever the locale.
long double StrToFloatDot(const QString &S, int &Code);
QString FloatToStrDot(long double Value);

} // namespace qf::expr

#pragma once
// The record variables: the expression engine's variable requests answered from the fields of the
// current record of CurrentDataSet or, failing that, from a calculated field evaluated on the spot
// (with the evaluation stack and the repeated-call guard and its latch); the host function "Now";
// the engine's error reports turned into messages worded by handle (1 a calculated field, 2 the
// main table's record filter, 5 the filter of a copy); the record filter's compile, removal and
// per-record evaluation; and the evaluation of one name for the merge. It binds the engine's events
// when made and unbinds them when destroyed. Message boxes and the windows it speaks of are hooks.

#include "expr/adcalc.h"
#include "tables/calc/calcfields.h"
#include "tables/data/dataset.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace qf::expr {
class TParser;
} // namespace qf::expr

namespace qf::tables {

// Handles of the evaluations.
enum : int { hCalcField = 1, hMainFilter = 2, hCopyFilter = 5 };

class TRecordVariables : private expr::TFieldBinder {
public:
    // Declares "Now" on Calc and binds its events.
    TRecordVariables(expr::TAdCalc &Calc, TCalcFields &CalcFields);
    ~TRecordVariables();
    TRecordVariables(const TRecordVariables &) = delete;
    TRecordVariables &operator=(const TRecordVariables &) = delete;

    // The dataset whose current record answers; not owned, kept after it closes.
    TADOQuery *CurrentDataSet = nullptr;
    // The main table's dataset: its Filtered state decides whether a calculated field's error asks
    // about the filter.
    TADOQuery *MainDataSet = nullptr;

    QStringList FEvalStack;     // upper-case names under evaluation, innermost last
    bool FCalcError = false;    // the repeated-call latch; cleared as each evaluation starts
    bool FInFilter = false;     // the last evaluation came from the filter
    bool FFilterActive = false; // the compiled filter is evaluated

    // Hooks of the window; each may stay unset (the message is then dropped, a question answered
    // No).
    std::function<void(const QString &Text)> ShowError; // error icon, OK
    std::function<bool(const QString &Text)> AskYesNo;  // error icon, Yes and No; true for Yes
    // Before the main filter's question: the Filter tab to front, its memo's caret at ErrorPlace
    // (1-based index of the offending symbol's last character; 0 when unknown).
    std::function<void(int ErrorPlace)> OnFilterError;
    // The mailing dialog: whether it is visible, and ending its list preparation.
    std::function<bool()> MailingVisible;
    std::function<void()> StopPreparing;

    // The engine's events.
    void AdCalc1GetIntegerVar(const QString &VarName, bool &Found, int32_t &Value);
    void AdCalc1GetExtendedVar(const QString &VarName, bool &Found, long double &Value);
    void AdCalc1GetBooleanVar(const QString &VarName, bool &Found, bool &Value);
    void AdCalc1GetStringVar(const QString &VarName, bool &Found, QString &Value);
    void AdCalc1GetDateTimeVar(const QString &VarName, bool &Found, expr::TDateTime &Value);
    void AdCalc1GetDateTimeFunct(const QString &FunctName, bool &Found, expr::TDateTime &Value);
    void AdCalc1Error(int ErrorLine, int ErrorPosition, int ErrorPlace, int ErrorCode,
                      const QString &ErrorStr, int Handle);

    // The record filter. Before the main dataset opens: FFilterActive := true and Text compiled
    // under Handle; after it closes: the compiled text removed.
    void CompileFilter(const QString &Text, int Handle = hMainFilter);
    void RemoveFilter(int Handle = hMainFilter);
    // One record of DataSet (Accept comes in true): left as it came unless the evaluation succeeds.
    void EvaluateFilter(TADOQuery &DataSet, bool &Accept, int Handle);
    // DataSet's record filter event calls EvaluateFilter with Handle.
    void AttachFilter(TADOQuery &DataSet, int Handle = hMainFilter);

private:
    // The names of a text bound to the fields of CurrentDataSet.
    uint64_t BindStamp(TRecord &Record) override;
    int Bind(const QString &Name, uint8_t &Answers, bool &Safe) override;
    int32_t ReadInteger(int Field) override;
    long double ReadExtended(int Field) override;
    bool ReadBoolean(int Field) override;
    void ReadString(int Field, QString &Value) override;
    expr::TDateTime ReadDateTime(int Field) override;
    int TextEquals(int Field, QByteArrayView Ascii) override;
    TBytes FieldBytes(int Field) override;
    const TADOQuery *FBindSet = nullptr;
    uint64_t FBindGeneration = 0;
    uint64_t FBindStamp = 0;

    struct TNameSlot {
        QString VarName; // as the engine hands it
        QString Upper;
        int Field = -2; // index in the cached dataset, -1 none, -2 not looked up yet
        const TField *FieldRef = nullptr; // the field at Field
        uint8_t Rows = 0;                 // the variable events (by engine type) its type answers
    };
    struct TCompiledField;

    template <typename T>
    void Lookup(const QString &VarName, bool &Found, T &Value, int Row);
    TNameSlot &Slot(const QString &VarName);
    int FieldIndex(TNameSlot &Slot);
    int FindFieldIndex(TNameSlot &Slot);
    template <typename T>
    bool Evaluate(const QString &Name, const QString &Expression, int Row, T &Value);
    expr::TParser &Parser(const QString &Name, const QString &Expression);
    void ReportFailure(const QString &Description, int ErrorPlace, int Handle);
    void ReportCalcFieldMessage(const QString &Message);

    expr::TAdCalc &FCalc;
    TCalcFields &FCalcFields;
    std::vector<TNameSlot> FSlots;
    size_t FLastSlot = 0;
    const TADOQuery *FSlotSet = nullptr;
    uint64_t FSlotGeneration = 0;
    std::vector<std::unique_ptr<TCompiledField>> FCompiled;
};

} // namespace qf::tables

#pragma once
// The merge of one record: a "%" directly followed by a name (a word token of the main
// window's scanner) is replaced by the text of that name's value, taken from a calculated field
// of the project store first and from a field of the main dataset's current record second.
// Numbers and dates are written in the user's locale (QLocale()). Names that match nothing, and
// calculated fields that fail, stay in the text as written. Runs in the user interface thread.

#include "composer/valuetext.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf::store {
class TDList;
class TReader;
} // namespace qf::store
namespace qf::expr {
class TAdCalc;
class TParser;
} // namespace qf::expr
namespace qf::tables {
class TADOQuery;
} // namespace qf::tables

namespace qf::composer {

class TMailMerge {
public:
    // The project store, the scanner configured as the main window's, the engine. All outlive
    // the merge.
    TMailMerge(store::TDList &DList1, store::TReader &Reader1, expr::TAdCalc &AdCalc1);
    ~TMailMerge();
    TMailMerge(const TMailMerge &) = delete;
    TMailMerge &operator=(const TMailMerge &) = delete;

    // The main dataset (none: no dataset fields).
    tables::TADOQuery *ADOQuery1 = nullptr;
    // The record evaluation state shared with the record variables and the filter: the
    // calculated fields under evaluation (innermost last), the error latch, the filter flag.
    // The merge's own unless the window points them at its own.
    QStringList *FEvalStack;
    bool *FCalcError;
    bool *FInFilter;
    // Points the engine's variable look-ups at the main dataset before a calculated field runs.
    std::function<void(tables::TADOQuery *DataSet)> OnPointAtDataSet;
    // A calculated field whose evaluation raised rather than reporting an error code.
    std::function<void(const QString &FieldName, const QString &Message)> OnCalcException;

    bool EvaluateName(const QString &Name, QString &Value);
    QString ExpandPlaceholders(const QString &Text);

    // The value texts, shared with the preview and the tests.
    static QString BoolText(bool Value);

    // A name ready for look-up: upper-cased, with the keys of its calculated-field items.
    struct TName {
        qsizetype Length; // of the name as written
        QString Upper;
        std::string ExprKey, TypeKey;
        // The store's version at which no calculated field of this name was found, or at which
        // its items were found, held where these point.
        mutable uint64_t NoCalcAt = ~uint64_t(0), CalcAt = ~uint64_t(0);
        mutable const QString *ExprText = nullptr; // none when the item holds no text
        mutable const int32_t *TypeCode = nullptr; // none when the item holds no integer
        // The dataset field it names, found for the dataset at its fields' generation.
        mutable const tables::TADOQuery *FieldSet = nullptr;
        mutable uint64_t FieldGeneration = 0;
        mutable int FieldIndex = -1;
        mutable uint8_t FieldKind = 0; // its tables::TDbfType
        // A dBASE text or number field's place in the record's bytes (offset -1: read through
        // the field).
        mutable int FieldOffset = -1, FieldWidth = 0;
        explicit TName(const QString &Name);
    };

private:
    // Where the placeholders of one text may stand: for every "%", the token the scanner reads
    // right after it when that token can be a name. The tokens depend on the text and the scanner
    // only, so a text merged for many records is scanned once.
    struct TPlan {
        QString Text;
        uint64_t ReaderVersion = 0;
        struct TMark {
            qsizetype Percent; // index of the "%"
            int Name;          // index into Names, -1 when no name follows
        };
        std::vector<TMark> Marks;
        std::vector<TName> Names;
        mutable uint64_t LastUse = 0;
    };
    std::vector<std::shared_ptr<const TPlan>> FPlans;
    uint64_t FUseCount = 0;
    std::shared_ptr<const TPlan> planOf(const QString &Text);

    // Calculated-field texts tokenized once and evaluated for every record, as the engine's
    // compiled texts are; tokenized again whenever the engine's symbols or signs change.
    struct TCompiled {
        std::unique_ptr<expr::TParser> Parser;
        uint64_t SymbolsVersion = 0;
        int Signs = 0;
        bool InUse = false;
    };
    std::vector<std::pair<QString, std::unique_ptr<TCompiled>>> FCompiled;
    size_t FLastCompiled = 0; // the entry found last
    TCompiled *compiledOf(const QString &Expr);
    // The value of Name written into Out (in the buffer it holds when that is enough); Out is left
    // as it was when there is none.
    bool evaluate(const TName &Name, QString &Out);

    std::unique_ptr<const TName> FLastName; // the last name EvaluateName was asked for
    QString FLastNameText;
    int FDepth = 0;                                       // EvaluateName calls under way
    std::vector<std::unique_ptr<const TName>> FHeldNames; // names they still read
    QString FValue;                                       // a value on its way into a merged text
    // The current record's bytes for the text and number fields of a merge: read once, and
    // again after a calculated field ran.
    const char *FRecord = nullptr;
    const std::atomic<bool> *FRecordLost = nullptr;
    bool FRecordRead = false;
    bool record();       // FRecord read when it is not yet; whether there are bytes
    bool intact() const; // the bytes read from FRecord were there
    TValueTexts FTexts;
    int FTextsRecNo = -1; // the record EvaluateName last ran on: a step on keeps FTexts' locale
    store::TDList &FDlist;
    store::TReader &FReader;
    expr::TAdCalc &FAdcalc;
    QStringList FOwnEvalStack;
    bool FOwnCalcError = false, FOwnInFilter = false;
    bool evaluateCalcField(const QString &Name, const QString &ExprHeld, int Type, QString &Out);
};

} // namespace qf::composer

#pragma once
// Value types of the expression language and the error raised for faults that have no error code.

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qf::expr {

enum TExprType : uint8_t {
    etInteger = 0,
    etExtended = 1,
    etBoolean = 2,
    etString = 3,
    etDateTime = 4
};
enum TStringSign : uint8_t { ssApostrophe, ssQMark };
enum TCommentSign : uint8_t { csApostrophe, csQMark, csDublDiv };

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;

// One value of any expression type; only the member of its type is meaningful.
struct TExprValue {
    int32_t I = 0;
    long double E = 0;
    bool B = false;
    QString S;
    TDateTime D = 0;

    void *Ptr(TExprType Type)
    {
        switch (Type) {
        case etInteger: return &I;
        case etExtended: return &E;
        case etBoolean: return &B;
        case etString: return &S;
        case etDateTime: return &D;
        }
        return nullptr;
    }
};

struct TFunctParamValue {
    TExprType Type = etInteger;
    void *Value = nullptr; // points at a value of Type; valid only during the call

    int32_t AsInteger() const { return *static_cast<const int32_t *>(Value); }
    long double AsExtended() const { return *static_cast<const long double *>(Value); }
    bool AsBoolean() const { return *static_cast<const bool *>(Value); }
    const QString &AsString() const { return *static_cast<const QString *>(Value); }
    TDateTime AsDateTime() const { return *static_cast<const TDateTime *>(Value); }
};
using TFunctParamValues = std::vector<TFunctParamValue>;

// Raised out of a Calc operation for faults that the language gives no code: an integer literal out
// of range, an invalid or overflowing floating-point operation, a date that cannot exist, nesting
// too deep.
class EExprError : public std::runtime_error {
public:
    explicit EExprError(const QString &Message) : std::runtime_error(Message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

} // namespace qf::expr

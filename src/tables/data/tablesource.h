#pragma once
// A table's rows as the dataset layer sees them. A dBASE file, an Access table and an SQL result
// each provide one; the dataset (cursor, sort, filter, edit states) works over any of them.
//
// Rows are addressed by a stable row id 0..RowCount()-1 that never changes while the source is
// open: deleted rows keep their id (IsDeleted), appended rows get the next ids.

#include "expr/exprconv.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace qf::tables {

// The field types of the data-access layer, with the ordinals the expression variables rely on.
enum TFieldType : int {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
    ftDBaseOle = 20,
    ftTypedBinary = 21,
    ftCursor = 22,
    ftFixedChar = 23,
    ftWideString = 24,
    ftLargeint = 25
};

struct TSourceField {
    QString Name;
    TFieldType DataType = ftString;
    int Size = 0;     // characters for text fields, else the storage width
    int Decimals = 0; // for numbers
};

// Every failure of the layer: a message a person can act on.
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString &Message)
        : std::runtime_error(Message.toStdString()), FMessage(Message)
    {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// The rows a pass in the table's order reads between two PassedRows hints.
inline constexpr int64_t kPassStretch = 1024;

class TTableSource {
public:
    virtual ~TTableSource() = default;

    virtual const std::vector<TSourceField> &Fields() const = 0;
    virtual int64_t RowCount() const = 0;
    virtual bool IsDeleted(int64_t Row) const
    {
        (void)Row;
        return false;
    }

    // Values: null is an invalid QVariant. Text fields give QString, numbers double (or qint64 for
    // integer types), dates QDate, date-times QDateTime, logicals bool, memos QString.
    virtual QVariant Value(int64_t Row, int Field) const = 0;
    virtual bool IsNull(int64_t Row, int Field) const { return !Value(Row, Field).isValid(); }
    virtual QString AsString(int64_t Row, int Field) const { return Value(Row, Field).toString(); }
    virtual double AsFloat(int64_t Row, int Field) const { return Value(Row, Field).toDouble(); }
    // A number as the expressions read it: the extended value nearest its decimal text, as the
    // same digits typed as a literal give.
    virtual long double AsExtended(int64_t Row, int Field) const
    {
        return expr::DoubleToExtended(AsFloat(Row, Field));
    }
    // A fast road for sorting: the stored bytes of a text value when they are plain ASCII (empty
    // for null). False when the source has no such road for this value; the caller then uses
    // AsString.
    virtual bool AsciiText(int64_t Row, int Field, QByteArrayView &Text) const
    {
        (void)Row;
        (void)Field;
        (void)Text;
        return false;
    }
    // A pass in the table's order has gone past the rows From..To-1 and reads them seldom again: a
    // source that maps its file may let the system drop their pages, so that a long pass over a
    // large table does not keep all of it in memory. Only a hint; nothing is lost.
    virtual void PassedRows(int64_t From, int64_t To) const
    {
        (void)From;
        (void)To;
    }
    // What the user should be told about the rows when the source opened (a damaged file whose
    // readable records were opened); empty when nothing.
    virtual QString Warning() const { return QString(); }

    // Changes stay pending until ApplyUpdates writes them all; a read-only source throws
    // EDatabaseError with its reason before changing anything.
    virtual bool ReadOnly() const { return true; }
    virtual QString ReadOnlyReason() const { return QStringLiteral("The table is read-only."); }
    // Raises EDatabaseError when the field cannot take the value (too long, not a number...), so
    // that an editor can refuse it at once; changes nothing.
    virtual void ValidateValue(int Field, const QVariant &Value) const
    {
        (void)Field;
        (void)Value;
    }
    virtual void SetValue(int64_t Row, int Field, const QVariant &Value)
    {
        (void)Row;
        (void)Field;
        (void)Value;
        throw EDatabaseError(ReadOnlyReason());
    }
    virtual int64_t AppendRow() { throw EDatabaseError(ReadOnlyReason()); }
    virtual void DeleteRow(int64_t Row)
    {
        (void)Row;
        throw EDatabaseError(ReadOnlyReason());
    }
    virtual bool HasPendingChanges() const { return false; }
    virtual void ApplyUpdates() {}
    virtual void CancelUpdates() {}
};

} // namespace qf::tables

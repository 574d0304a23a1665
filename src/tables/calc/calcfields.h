#pragma once
// Calculated fields as the project store keeps them: two items per field, "CF~Expr~" + NAME (kind
// 2, the expression as a QString owned by the item) and "CF~Type~" + NAME (kind 1, the type code as
// an int32_t owned by the item), NAME in upper case. TCalcFields adds, deletes, lists and edits
// them and checks new names; it installs the store's filter event, through which the name list is
// collected. The project store's items own their data as DisposeProjectItem releases it.

#include "store/dlist.h"
#include "store/reader.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace qf::tables {

// Type codes of a calculated field, equal to the type box's item index and to the engine's types.
enum TCalcFieldType : int32_t {
    cfInteger = 0,
    cfFloat = 1,
    cfBoolean = 2,
    cfString = 3,
    cfDateTime = 4
};

// The owner data of the project store's items by kind code: kinds 1, 13, 14 an int32_t, kinds 5, 9
// a uint8_t, kinds 2, 3, 4, 6, 8, 10, 11, 12 a QString, each allocated with new.
enum TPayload { plNone, plInt32, plString, plByte };
TPayload PayloadOfKind(int Kind);
void DisposeProjectItem(int Structure, void *Properties);
// Separator "~" and the disposal above; the main window's store is set up this way.
void SetupProjectStore(store::TDList &Store);

// The part of Key after its last "~": the whole key without one, empty when it ends with one.
QString CalcFieldNameFromKey(const QString &Key);
// Locale upper case, as names are stored and compared.
QString CalcFieldName(const QString &Text);

extern const QString CalcExprPrefix; // "CF~Expr~"
extern const QString CalcTypePrefix; // "CF~Type~"

class TCalcFields {
public:
    // Reader supplies the blank and delimiter tests of the name rules.
    TCalcFields(store::TDList &Store, const store::TReader &Reader);
    ~TCalcFields();
    TCalcFields(const TCalcFields &) = delete;
    TCalcFields &operator=(const TCalcFields &) = delete;

    store::TDList &Store() { return FStore; }

    // 1 while the name list is collected; the project save and the look-ups set it to 0.
    uint8_t FDListScanMode = 0;

    // The names in the store's key order (ascending bytes of the upper-case names).
    QStringList RefreshCalcFieldList();
    // The store's filter event: collects the names while FDListScanMode is 1.
    void DList1Filter(const std::string &Key, int Structure, void *Properties, bool &Enabled);

    // The name rules: no digit first; no blank, delimiter of the reader or "~".
    bool ValidName(const QString &Text) const;
    // A new field of type String with an empty expression; Name is upper-cased here.
    void Add(const QString &Name);
    // Removes both items ("CF~Type~" first).
    void Delete(const QString &Name);
    bool Exists(const QString &Name) const;

    // The items' data; false (Value untouched) when the item is missing.
    bool Expression(const QString &Name, QString &Value) const;
    bool TypeCode(const QString &Name, int32_t &Value) const;
    // Change an existing item in place; false when it is missing.
    bool SetExpression(const QString &Name, const QString &Value);
    bool SetTypeCode(const QString &Name, int32_t Value);

    // The data of both items of the upper-case Name, when both exist; valid until the store's keys
    // change (its Version).
    bool Find(const QString &Name, const QString *&Expression, const int32_t *&Type) const;

private:
    store::TDList &FStore;
    const store::TReader &FReader;
    QStringList FCollected;
};

} // namespace qf::tables

#pragma once
// The items of a mail project in the project store (separator "~") and the data each holds
// there, by kind code: kinds 1, 13 and 14 an int32_t, kinds 2, 3, 4, 6, 8, 10, 11 and 12 a
// QString, kinds 5 and 9 a uint8_t, every other kind nothing. Whoever adds an item allocates
// its data with new (the helpers below do); the store's dispose event, installed by
// TMailProject::Attach, deletes it. Keys are the items' names as UTF-8.

#include "tables/calc/calcfields.h"

#include <QString>
#include <cstdint>

namespace qf::store {
class TDList;
} // namespace qf::store

namespace qf::composer {

using tables::PayloadOfKind;
using tables::TPayload;
using enum tables::TPayload;

// Keys and kind codes.
inline constexpr char ItemFText[] = "FText";         // 4: record filter text
inline constexpr char ItemUseF[] = "UseF";           // 5: "Use Filter", 0 or 1
inline constexpr char ItemDoc[] = "Doc";             // 6: HTML source
inline constexpr char ItemFrom[] = "From";           // 8: sender profile name
inline constexpr char ItemSubMail[] = "SubMail";     // 9: mail format, 0 plain text, 4 HTML
inline constexpr char ItemSubject[] = "Subject";     // 10
inline constexpr char ItemToAddr[] = "ToAddr";       // 11: recipient field
inline constexpr char ItemPlain[] = "Plain";         // 12: plain-text body
inline constexpr char ItemCharset[] = "Charset";     // 14: row of the charset table
inline constexpr char ItemAttach[] = "Attach";       // 3: attachment file names, CR LF between
inline constexpr char CalcExprPrefix[] = "CF~Expr~"; // 2 + NAME: calculated field expression
inline constexpr char CalcTypePrefix[] = "CF~Type~"; // 1 + NAME: its type code 0..4
enum : int {
    kindCalcType = 1,
    kindCalcExpr = 2,
    kindAttach = 3,
    kindFText = 4,
    kindUseF = 5,
    kindDoc = 6,
    kindFrom = 8,
    kindSubMail = 9,
    kindSubject = 10,
    kindToAddr = 11,
    kindPlain = 12,
    kindCharset = 14
};

// Adding replaces an existing item, whose old data the store releases.
void PutString(store::TDList &List, const QString &Key, int Kind, const QString &Value);
void PutInt32(store::TDList &List, const QString &Key, int Kind, int32_t Value);
void PutByte(store::TDList &List, const QString &Key, int Kind, uint8_t Value);
// False when the item is missing or holds another kind of data.
bool GetString(const store::TDList &List, const QString &Key, QString &Value);
bool GetInt32(const store::TDList &List, const QString &Key, int32_t &Value);
bool GetByte(const store::TDList &List, const QString &Key, uint8_t &Value);
// The string data of an item in place, for owners that change it without adding it again.
QString *StringData(const store::TDList &List, const QString &Key);

} // namespace qf::composer

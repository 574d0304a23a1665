#pragma once
// The dBASE III table and memo files this program writes itself: the empty table with its header,
// the record and memo layout, and the conversion of a value into a field of another kind.

#include "tables/data/dbf/dbfcodec.h"
#include "tables/data/fieldtypes.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace qf::tables {

class TField;

// One field of a table to be written.
struct TFieldDefRec {
    QString SourceName;
    QString Name;
    TDbfType Kind = dtC;
    int Size = 0;
    int EditWidth = 0;
    int GridWidth = 0;
    std::optional<QStringList> PickList;
    uint8_t Template = 0;
    uint8_t Autocomplete = 0;
};

constexpr int kDbfMemoBlock = 512;

char DbfTypeLetter(TDbfType Kind);
// Width and decimals in the record; only C takes its width from Size.
int DbfFieldWidth(TDbfType Kind, int Size);
int DbfFieldDecimals(TDbfType Kind);
// The name as a descriptor holds it, upper-cased one character to one, at most 10 characters
// and 10 bytes of UTF-8 (cut between characters); the writer puts it in the table's code page.
QByteArray DbfFieldName(const QString &Name);

// The memo file beside a table file: same base name, extension ".dbt" in the case of the table's.
QString DbfMemoFileName(const QString &TableFileName);
// The code-page file beside a table file: same base name, extension ".cpg" in the case of the
// table's.
QString DbfCodePageFileName(const QString &TableFileName);
// Writes the code-page file of a table with the given text.
// Throws EDatabaseError with the system's message when it cannot be written.
void WriteDbfCodePageFile(const QString &TableFileName, QByteArrayView Text);

// Creates the named table file, its code-page file (when the encoding has one), and its memo file
// when a field is a memo, without records; names and text in the encoding's code page, its
// language-driver byte in the header.
// Throws EDatabaseError with the system's message when a file cannot be written, and before
// touching anything when the definitions cannot make a table (no field, a duplicate name, a bad
// width, a name the code page cannot hold).
void WriteDbfHeader(const QString &FileName, const std::vector<TFieldDefRec> &FieldDefs,
                    const TDbfEncoding &Encoding = DbfLocaleEncoding());

// YYYYMMDD of the value's date; eight blanks outside the years 1..9999.
QString FormatDbfDate(TDateTime Value);

// A value as the conversion table takes it: its kind and its readings.
struct TDbfSourceValue {
    TDbfType Kind = dtC;
    bool Null = true;
    QString Text;
    double Float = 0;
    TDateTime DateTime = 0;
    bool Boolean = false;
};
TDbfSourceValue DbfSourceValue(const TField &Field);

// The text that goes into a field of kind Target (a number already rounded to the field's
// width); nothing when the field stays blank. Rounded, when given, tells whether a number lost
// digits to fit.
std::optional<QString> ConvertDbfValue(TDbfType Target, const TDbfSourceValue &Value,
                                       bool *Rounded = nullptr);

// Fixed-point text with the given decimals; when it is wider than Width, rounded to the most
// decimals that fit (Rounded tells whether that lost digits); nothing when even the whole number
// does not fit.
std::optional<QByteArray> FormatDbfNumber(double Value, int Width, int Decimals,
                                          bool *Rounded = nullptr);

// Puts Text into the Width bytes at Field (which hold blanks): C left-aligned UTF-8 cut at a
// character boundary, N right-aligned (first Width characters), D and L as given. Memo references:
// PlaceDbfMemoRef.
void PlaceDbfField(char *Field, TDbfType Kind, int Width, const QString &Text);
void PlaceDbfMemoRef(char *Field, int Width, quint32 Block);

// Appends a memo text at the next block boundary of a dBASE III memo file, ended by two 0x1A.
// Returns its block number; throws EDatabaseError with the system's message when writing fails.
quint32 AppendDbfMemo(QFileDevice &Memo, QByteArrayView Text);
// Sets the memo header's next free block from the file's size.
void UpdateDbfMemoHeader(QFileDevice &Memo);

// The system's text for the last failure of a file (errno based).
QString DbfFileError(const QFileDevice &File, const QString &Action);
// Writes all of Data, so that a full disk reports the system's reason rather than a short count.
// False when the file refused (its error string then says why).
bool WriteDbfBytes(QFileDevice &File, const char *Data, qint64 Size);

} // namespace qf::tables

#pragma once
// The restructure dialog's field list: built from the open table and its field records, edited
// (add, edit, delete, move) with the field dialog's checks, and its rows as the grid shows them.
// It is the dialog's own copy: the open table changes only when the list is saved as a table.

#include "tables/data/dbf/dbfwriter.h"
#include "tables/fieldrecords.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace qf::tables {

class TADOQuery;

// "C", "N", "D", "L" or "M"; empty for any other value.
QString DbfTypeText(TDbfType Kind);
// When Source has entries, Target takes a copy of them.
void CopyPickList(const QStringList &Source, std::optional<QStringList> &Target);

class TRestructure {
public:
    std::vector<TFieldDefRec> FFieldDefs;
    uint8_t FCreateMode = 0;

    // One record per field of DataSet (none when it is closed), with the field records' widths,
    // pick lists and flags (matched by position).
    void BuildFieldDefs(const TADOQuery &DataSet, const std::vector<TFieldEditInfo> &FieldInfo);
    void FreeFieldDefs() { FFieldDefs.clear(); }

    // The grid's cells of field Index: name, type letter, size (only for C).
    QStringList RowTexts(int Index) const;

    // Appends an empty C field record (the one the field dialog then fills) and returns its index.
    int Add();
    // Removes the field at Index; nothing when Index is out of range.
    void Delete(int Index);
    // Swaps the field at Index with the one above or below; false when there is none.
    bool MoveUp(int Index);
    bool MoveDown(int Index);

    // The field dialog's checks on OK, in their order: the message of the first that fails, empty
    // when all pass. TypeIndex: 0 Character .. 4 Memo; Index: the field being edited or added.
    QString CheckField(int Index, const QString &Name, int TypeIndex,
                       const QString &SizeText) const;
    // False when another field (not Index) already bears Name, upper-cased.
    bool IsUniqueFieldName(int Index, const QString &Name) const;
    // The field dialog's values into the record at Index (its source field stays).
    void ApplyEdit(int Index, const QString &Name, int TypeIndex, const QString &SizeText);
};

} // namespace qf::tables

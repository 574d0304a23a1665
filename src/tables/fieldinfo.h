#pragma once
// Building and keeping the field records of the open table: the kinds and editor widths taken
// from the dataset's fields, the pick lists filled from the first records, and the widths and
// lists brought up to date after a post. Works on the dataset only; the editor's controls follow
// the records they are built from.

#include "tables/data/dataset.h"
#include "tables/fieldrecords.h"

#include <vector>

namespace qf::tables {

// Records the pick-list pass looks at when a table opens.
inline constexpr int kPickListRecords = 50;

// The editor width in characters a field starts with.
int InitialEditorWidth(TDbfType Kind, const TField &Field);

// One record per field of the open dataset, with the defaults of a table never seen before.
std::vector<TFieldEditInfo> BuildFieldRecords(const TADOQuery &DataSet);

// The text a field's current value adds to its pick list (C, N and D); a null number gives "0".
QString PickListText(const TField &Field, TDbfType Kind);

// From the first record, for at most kPickListRecords records: widen editors to their values
// and add new values to the end of the pick lists. Leaves the dataset on its first record.
void FillPickLists(TADOQuery &DataSet, std::vector<TFieldEditInfo> &Records);

// After a post: C editors widen to the current values (true when a width changed), and each
// C, N and D value that is new to its list goes to the top, the oldest entries dropping off.
bool UpdateAfterPost(const TADOQuery &DataSet, std::vector<TFieldEditInfo> &Records);

// The flags and pick lists that a reopen or a failed deletion carries over to the same table.
struct TFieldSettings {
    uint8_t Template = 0;
    uint8_t Autocomplete = 0;
    QStringList PickList;
};
std::vector<TFieldSettings> SaveFieldSettings(const std::vector<TFieldEditInfo> &Records);
// By field index, as far as both reach.
void RestoreFieldSettings(const std::vector<TFieldSettings> &Saved,
                          std::vector<TFieldEditInfo> &Records);

} // namespace qf::tables

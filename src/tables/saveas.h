#pragma once
// Save As of the restructure dialog: the field list written as a dBASE table under a temporary
// name in the target's folder (with the open table's records unless creating), checked by reading
// it back, then put in place of the target by renames and opened in the workspace with the sort,
// widths, pick lists and flags of the carried-over fields. The open table may be its own target.
// Until the new table is open the target's previous files stay (moved aside), so a failure at any
// step leaves them as they were, removes the temporary files and reopens the table that was open.

#include "tables/data/dbf/dbfcopy.h"

#include <QString>
#include <functional>
#include <vector>

namespace qf::tables {

class TTableWorkspace;

class TSaveAsFlow {
public:
    explicit TSaveAsFlow(TTableWorkspace &Workspace);

    // The copy's hooks (copy options dialog, the copy's record filter) are set on it.
    TDbfCopy Copy;
    // Hourglass on and off around the copy.
    std::function<void(bool Busy)> OnBusy;
    // Asked when values would be lost (no form in their new type, or cut to a narrower field):
    // true saves the table so.
    std::function<bool(const QString &Question)> OnConfirmLoss;

    // The chosen name without an extension gets ".dbf". Returns false when the user declined to
    // save with blank values (nothing changed). Raises EDatabaseError with a message for the user
    // when the table could not be written, put in place or opened; the target is then as it was.
    bool SaveAs(const QString &ChosenName, std::vector<TFieldDefRec> &FieldDefs, bool CreateMode);

    // Set when the new table stands but old files could not be deleted; empty otherwise.
    QString Warning;

private:
    void Restore(const std::vector<TFieldDefRec> &FieldDefs, const QString &SortField,
                 bool Descended);

    TTableWorkspace &FWorkspace;
};

} // namespace qf::tables

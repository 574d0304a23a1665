#pragma once
// The commands on the records of the open table: add, edit, delete with its confirmation, find a
// value, find the first pair of equal neighbours in the sort order, and the record position text.
// They also keep the dataset's post events: every post is written at once by the batch update.
//
// A change the table refuses (an Access table is read-only; a .dbf another program changed; a
// full disk) is reported through OnError with the table's name, and nothing the user typed is
// thrown away: a refused post leaves the record in its edit state, a refused batch update
// leaves the change pending in the table's source.

#include "tables/data/dataset.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace qf::tables {

class TTableWorkspace;

inline const QString kSearchNotFound = QStringLiteral("Search text not found");
inline const QString kReviewCompleted = QStringLiteral("Review is Completed");

class TRecordCommands {
public:
    enum TDeleteAnswer { daNo, daYes, daYesDontAskAgain };

    explicit TRecordCommands(TTableWorkspace &Workspace);
    ~TRecordCommands();
    TRecordCommands(const TRecordCommands &) = delete;
    TRecordCommands &operator=(const TRecordCommands &) = delete;

    // Hooks the window binds.
    std::function<bool()> ConfirmDel;         // the "ConfirmDel" option
    std::function<TDeleteAnswer()> AskDelete; // the "Delete Record" dialog
    std::function<void()> TurnOffConfirmDel;  // in the options and the settings
    std::function<void(const QString &Message)> OnError;
    std::function<void()> OnEditorLayout;   // editor widths changed after a post
    std::function<void()> OnButtonsChanged; // the edit state or the record count changed
    std::function<void()> OnScroll;         // the current record changed
    std::function<void()> OnPosted;         // a record was posted (before it is written)
    // Changes that could not be written are about to be lost: true lets them go.
    std::function<bool(const QString &Message)> AskDiscard;

    // The dataset's events; the constructor binds them.
    void BeforeInsertOrEdit();
    void AfterCancel();
    void BeforePost();
    void AfterPost();

    // What can run now; the window disables the rest.
    bool Active() const;
    bool Writable() const;
    bool CanAdd() const { return Writable(); }
    // A record to show. A read-only table (Access, an SQL result) is shown too; the editor
    // refuses a change to it with the reason.
    bool CanEdit() const;
    bool CanDelete() const;
    bool CanFind() const { return !FindFieldNames().isEmpty(); }
    bool CanFindDuplicates() const;
    // Why the open table takes no changes (empty when it does).
    QString ReadOnlyReason() const;

    // Appends a record for the editor; false (reported) when the table refuses.
    bool AddRecord();
    // Asks when "ConfirmDel" is on, deletes the current record and writes the table. False when
    // nothing was deleted (declined, or refused and reported).
    bool DeleteCurrentRecord();

    // Names of the fields Find offers: all but logical and memo fields, in field order.
    QStringList FindFieldNames() const;
    // Locates Value in the named field from the first record; Including matches a leading part.
    // Case counts in both modes. Throws EDatabaseError when Value is no number or date for such
    // a field. Found: the grid's column moves to the field.
    enum TFindResult { frNothing, frFound, frNotFound };
    TFindResult Find(const QString &FieldName, const QString &Value, bool Including);

    // From the current record on, stops on the second of the first two neighbours whose sort
    // field values are equal (true); at the end goes back to where it started (false).
    bool FindDuplicates();

    // Before the open table closes (Close, Reopen, another table, Execute SQL, the window's close):
    // changes that a refused batch update left pending are written now, or the user lets them
    // go. False: the table must stay open.
    bool SavePendingChanges();

    // "Record n of m".
    QString RecordPositionText() const;

    // The name messages give the open table.
    QString TableTitle() const;

    int FEditRecNo = -1;

private:
    void Report(const QString &What, const QString &Reason);

    TTableWorkspace &FWs;
};

} // namespace qf::tables

#pragma once
// The copy of a table into a new dBASE III file: the empty table written from a field list, then
// the records of an open dataset, each value converted into its new field's kind, memo texts into
// the new memo file. A value that cannot be converted stays blank and is counted with its record
// number, so that the caller can tell the user before anything is replaced. The hourglass and the
// copy options dialog are the caller's (hooks). Text cut to a narrower character field is counted
// the same way.

#include "tables/data/dbf/dbfwriter.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace qf::tables {

class TADOQuery;

// The choices of the copy options dialog.
struct TCopyOptions {
    bool CopyData = true;
    bool OnlyFiltered = false;   // only the records the record filter accepts
    bool SortedSequence = false; // in the open table's sort order
};

// A value left blank because it has no form in its new field or its code page, cut to a
// narrower field, rounded to fit a number field, or a memo whose text the damaged memo file lost.
struct TCopyProblem {
    enum TKind { Blank, Unencodable, Cut, Rounded, MemoLost };
    int64_t RecNo = 0; // 1-based, in the order of the copy
    QString FieldName; // in the new table
    QString Text;      // the value as the open table shows it
    TKind Kind = Blank;
    QString Kept; // what the field keeps of it (Cut, Rounded); the memo file (MemoLost)
};

class TDbfCopy {
public:
    // Asked after the empty table is written and before any record is read; unset copies all
    // records in the table's own order.
    std::function<TCopyOptions()> OnCopyOptions;
    // Compiles the record filter for the copy and binds Records' filter event to it; called only
    // when the copy takes filtered records. OnRemoveFilter runs after every copy that compiled it.
    std::function<void(TADOQuery &Records)> OnPrepareFilter;
    std::function<void()> OnRemoveFilter;

    // Writes FileName (and its memo and code-page files) from FieldDefs and, unless CreateMode is
    // set or Source is closed or empty, copies Source's records through a clone of it, so Source's
    // cursor does not move. A definition whose SourceName is not a field of Source but whose Name
    // is gets that field as its source. A copy of a dBASE table keeps its encoding; a created
    // table and a copy of any other source take the locale's (DbfLocaleEncoding). Raises
    // EDatabaseError naming the file and the record when a write fails; the files written so far
    // stay for the caller to remove.
    void CopyToDbf(const QString &FileName, std::vector<TFieldDefRec> &FieldDefs, TADOQuery *Source,
                   bool CreateMode);

    // What the last copy did.
    int64_t Copied() const { return FCopied; }
    int64_t ProblemCount() const { return FProblemCount; }
    // A message listing the first problems in record order (at most kKeptProblems, each value
    // shortened) and how many there are; empty when there are none.
    QString ProblemText() const;

    static constexpr int kKeptProblems = 10;

private:
    void CopyRecords(const QString &FileName, const std::vector<TFieldDefRec> &FieldDefs,
                     TADOQuery &Records, const TDbfCodec &Codec);
    void AddProblem(int64_t RecNo, const QString &FieldName, const QString &Text,
                    TCopyProblem::TKind Kind = TCopyProblem::Blank,
                    const QString &Kept = QString());

    int64_t FCopied = 0;
    int64_t FProblemCount = 0;
    std::vector<TCopyProblem> FProblems;
    QByteArray FCodePage; // the new table's, for the problem text
};

} // namespace qf::tables

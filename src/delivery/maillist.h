#pragma once
// The mail list of a mailing: one message per record from the dataset's current record to its
// last visible one (the record filter hides the others), with recipient, subject and body
// merged for that record, and the settings every message of the mailing shares.
//
// The preparation merges and checks every message before anything is sent, but keeps none of
// them: it counts them and notes where they begin. While the mailing runs the messages are
// merged again, a few ahead of the senders, in the user interface thread (the dataset and the
// merge live there; the modal mailing keeps the table as it was).

#include <QString>
#include <QStringList>
#include <functional>

namespace qf::tables {
class TADOQuery;
} // namespace qf::tables

namespace qf::delivery {

struct TMailItem {
    QString Address; // the recipient field's value, without the blanks around it
    QString Subject;
    QString Body;
    int RecNo = 0; // the record it was merged from
};

// The mailing settings, captured at the start of every preparation.
struct TMailSettings {
    QString Host;
    int Port = 25;
    QString User;
    QString SenderName;
    QString SenderAddress;
    QString ReplyAddress;
    QString ContentType = QStringLiteral("text/plain");
    QString CharSet = QStringLiteral("utf-8");
    QStringList Attachments;
    int ThreadLimit = 15;
};

// What the merge gives for the current record (the main window's merge).
struct TMailMerge {
    std::function<bool(const QString &Name, QString &Value)> EvaluateName;
    std::function<QString(const QString &Text)> ExpandPlaceholders;
};

// What one preparation reads: the dataset, the merge, the recipient field, subject and body
// as typed, and a flag an expression error sets to stop the pass.
struct TMailSource {
    tables::TADOQuery *DataSet = nullptr;
    TMailMerge Merge;
    QString RecipientField;
    QString Subject;
    QString Body;
    const bool *StopPreparing = nullptr;
    // Called with the progress in percent when it moved on by more than 3 points.
    std::function<void(int Percent)> OnProgress;
};

// What the main window's mailing reads from the parts that own it (the table workspace, the
// merge, the composer); each part sets its own entry.
struct TMailOrigin {
    std::function<tables::TADOQuery *()> DataSet;
    TMailMerge Merge;
    std::function<int()> CharsetIndex;        // a row of CharsetTable
    std::function<QStringList()> Attachments; // file names, in list order
};

// A prepared list: message I is the record at position FirstRecNo + I (the pass walks the
// visible records one after the other).
struct TMailPlan {
    int FirstRecNo = 0;
    int Count = 0;
};

enum TPrepareResult { prPrepared, prInvalidAddress, prStopped, prUnwritable };

// Walks the records from the current one, merges each and checks that its subject and body
// can be written in the settings' charset (an HTML body writes what it cannot hold as
// character references). prUnwritable leaves the reason, naming the record, in Error. The
// dataset stands on the record it started from afterwards, also after a stop or an exception.
TPrepareResult PrepareMailList(const TMailSource &Source, const TMailSettings &Settings,
                               TMailPlan &Plan, QString &Error);

// Message Index of a prepared list merged again; false with the reason in Error.
bool MergeMailAgain(const TMailSource &Source, const TMailPlan &Plan, int Index, TMailItem &Item,
                    QString &Error);

// The port text as a number; false when it is not a whole number.
bool ConvertPort(const QString &Text, int &Port);

} // namespace qf::delivery

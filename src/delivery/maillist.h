#pragma once
// The prepared mail list: one message per record from the dataset's current record to its
// last visible one (the record filter hides the others), with recipient, subject and body
// merged for that record, and the settings every message of the mailing shares. All of it is
// made in the user interface thread before any sender thread exists, and only read while
// they run.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace qf::tables {
class TADOQuery;
} // namespace qf::tables

namespace qf::delivery {

struct TMailItem {
    QString Address; // the recipient field's value as it reads
    QString Subject;
    QString Body;
};
using TMailList = std::vector<TMailItem>;

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

enum TPrepareResult { prPrepared, prInvalidAddress, prStopped };

// Walks the records from the current one and fills List; the dataset stands on the record it
// started from afterwards, also after a stop or an exception.
TPrepareResult PrepareMailList(const TMailSource &Source, TMailList &List);

// The port text as a number; false when it is not a whole number.
bool ConvertPort(const QString &Text, int &Port);

} // namespace qf::delivery

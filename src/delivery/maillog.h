#pragma once
// The mailing log: lines collected in memory and appended to one log file, each ended by
// CR LF, in UTF-8. The file is "Quillfast.log" in the user's home folder. A flush writes all
// pending lines at once or none of them, so a retried flush never writes a line twice.

#include <QString>
#include <QStringList>

namespace qf::delivery {

// "Quillfast.log" in the home folder.
QString DefaultLogFileName();

class TMailLog {
public:
    // Lines kept when they go to no file ("Write Log" off): only the last ones, so that a long
    // mailing's memory does not grow with its log.
    static constexpr int MaxUnwrittenLines = 10000;

    QString FileName = DefaultLogFileName();
    // The lines not yet in the file, oldest first; a flush drops what it wrote.
    QStringList FLogLines;
    int FLogWritten = 0;    // lines written since the last Clear
    bool Unwritten = false; // no flush is coming: keep only the last MaxUnwrittenLines

    void Clear();
    // One line: a line break inside Text (a field's value) would split it, so it becomes a blank.
    void AddLog(const QString &Text);
    bool Pending() const { return !FLogLines.isEmpty(); }
    // Appends Lines to the file (created when missing). On failure the file is left as it was
    // and Error holds the system's message.
    bool Write(const QStringList &Lines, QString *Error) const;
    // The first Count pending lines are in the file.
    void Written(qsizetype Count);
};

} // namespace qf::delivery

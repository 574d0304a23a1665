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
    QString FileName = DefaultLogFileName();
    QStringList FLogLines;
    int FLogWritten = 0;

    void Clear();
    void AddLog(const QString &Text) { FLogLines << Text; }
    bool Pending() const { return FLogLines.size() > FLogWritten; }
    // The lines from FLogWritten on, appended to the file (created when missing). On failure
    // the file is left as it was, FLogWritten stays and Error holds the system's message.
    bool Flush(const QStringList &Pending, QString *Error);
};

} // namespace qf::delivery

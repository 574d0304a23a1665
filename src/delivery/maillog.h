#pragma once
// The mailing log: lines collected in memory and appended to one log file, each ended by
// CR LF, in UTF-8. The file is "Quillfast.log" in the user's home folder. A flush writes all
// pending lines at once or none of them, so a retried flush never writes a line twice.
//
// The pending lines are kept as the bytes the file gets, in one buffer that is reused from
// flush to flush: a line costs no allocation of its own, which over a long mailing would
// scatter small blocks across the senders' heaps and make them grow.

#include <QByteArray>
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
    int FLogWritten = 0;    // lines written since the last Clear
    bool Unwritten = false; // no flush is coming: keep only the last MaxUnwrittenLines

    void Clear();
    // One line: a line break inside Text (a field's value) would split it, so it becomes a blank.
    void AddLog(const QString &Text);
    bool Pending() const { return FLines > 0; }
    // The lines not yet in the file, oldest first.
    QStringList Lines() const;
    // Hands the pending lines' bytes over for writing (none is pending afterwards).
    void Take(QByteArray &Bytes, int &Lines);
    // After the write: written, the buffer is kept for the next lines; else the lines are
    // pending again, before those added meanwhile.
    void Taken(QByteArray &Bytes, int Lines, bool Written);
    // Appends the bytes to the file (created when missing). On failure the file is left as it
    // was and Error holds the system's message.
    bool Write(const QByteArray &Bytes, QString *Error) const;

private:
    QByteArray FBytes; // the pending lines, each ended by CR LF
    QByteArray FSpare; // an emptied buffer whose memory the next Take reuses
    int FLines = 0;
};

} // namespace qf::delivery

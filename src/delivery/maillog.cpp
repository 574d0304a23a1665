#include "delivery/maillog.h"

#include <QDir>
#include <QFile>

namespace qf::delivery {

QString DefaultLogFileName() { return QDir::homePath() + QStringLiteral("/Quillfast.log"); }

void TMailLog::Clear()
{
    FLogLines.clear();
    FLogWritten = 0;
}

bool TMailLog::Flush(const QStringList &Pending, QString *Error)
{
    if (Pending.isEmpty())
        return true;
    QByteArray Bytes;
    for (const QString &Line : Pending)
        Bytes += Line.toUtf8() + "\r\n";
    QFile F(FileName);
    if (!F.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (Error)
            *Error = F.errorString();
        return false;
    }
    const qint64 OldSize = F.size();
    const bool Ok = F.write(Bytes) == Bytes.size() && F.flush();
    if (!Ok) {
        if (Error)
            *Error = F.errorString();
        F.resize(OldSize); // a part of the lines would be written again by the next flush
        F.close();
        return false;
    }
    F.close();
    FLogWritten += int(Pending.size());
    return true;
}

} // namespace qf::delivery

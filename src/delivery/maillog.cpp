#include "delivery/maillog.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace qf::delivery {

QString DefaultLogFileName() { return QDir::homePath() + QStringLiteral("/Quillfast.log"); }

void TMailLog::Clear()
{
    FLogLines.clear();
    FLogWritten = 0;
}

void TMailLog::AddLog(const QString &Text)
{
    QString Line = Text;
    Line.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    FLogLines << Line;
    if (Unwritten && FLogLines.size() > MaxUnwrittenLines)
        FLogLines.removeFirst();
}

bool TMailLog::Write(const QStringList &Lines, QString *Error) const
{
    if (Lines.isEmpty())
        return true;
    QByteArray Bytes;
    for (const QString &Line : Lines)
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
    return true;
}

void TMailLog::Written(qsizetype Count)
{
    Count = std::min(Count, FLogLines.size());
    FLogLines.remove(0, Count);
    FLogWritten += int(Count);
}

} // namespace qf::delivery

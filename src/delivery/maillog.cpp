#include "delivery/maillog.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace qf::delivery {

QString DefaultLogFileName() { return QDir::homePath() + QStringLiteral("/Quillfast.log"); }

void TMailLog::Clear()
{
    FBytes.clear();
    FSpare.clear();
    FLines = 0;
    FLogWritten = 0;
}

void TMailLog::AddLog(const QString &Text)
{
    QByteArray Line = Text.toUtf8();
    // CR and LF are single bytes in UTF-8, never part of another character.
    Line.replace("\r\n", " ").replace('\r', ' ').replace('\n', ' ');
    FBytes += Line;
    FBytes += "\r\n";
    ++FLines;
    // Dropped in batches: one line at a time would move the whole buffer for every line.
    if (Unwritten && FLines >= 2 * MaxUnwrittenLines) {
        qsizetype At = 0;
        for (int I = FLines - MaxUnwrittenLines; I > 0; --I)
            At = FBytes.indexOf("\r\n", At) + 2;
        FBytes.remove(0, At);
        FLines = MaxUnwrittenLines;
    }
}

QStringList TMailLog::Lines() const
{
    QStringList Lines;
    Lines.reserve(FLines);
    for (qsizetype At = 0; At < FBytes.size();) {
        const qsizetype End = FBytes.indexOf("\r\n", At);
        Lines << QString::fromUtf8(FBytes.constData() + At, End - At);
        At = End + 2;
    }
    if (Unwritten && Lines.size() > MaxUnwrittenLines)
        Lines.remove(0, Lines.size() - MaxUnwrittenLines);
    return Lines;
}

void TMailLog::Take(QByteArray &Bytes, int &Lines)
{
    Bytes.swap(FBytes);
    FBytes.swap(FSpare);
    FSpare.clear();
    Lines = FLines;
    FLines = 0;
}

void TMailLog::Taken(QByteArray &Bytes, int Lines, bool Written)
{
    if (Written) {
        FLogWritten += Lines;
        Bytes.resize(0); // keeps its memory
        FSpare.swap(Bytes);
        return;
    }
    FBytes.prepend(Bytes);
    FLines += Lines;
}

bool TMailLog::Write(const QByteArray &Bytes, QString *Error) const
{
    if (Bytes.isEmpty())
        return true;
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

} // namespace qf::delivery

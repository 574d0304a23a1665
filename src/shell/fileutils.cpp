#include "shell/fileutils.h"

#include <QDir>
#include <QFileInfo>

namespace qf::shell {

QString MakeTempFileName(QString Dir, const QString &Prefix, const QString &Ext)
{
    if (Dir.isEmpty())
        Dir = QDir::tempPath() + QLatin1Char('/');
    else if (!Dir.endsWith(QLatin1Char('/')) && !Dir.endsWith(QLatin1Char('\\')))
        Dir += QLatin1Char('/');
    if (Prefix.size() >= 8)
        return Dir + Prefix + QLatin1Char('.') + Ext;
    // Stops at the first free name; the counter cannot run out before the folder's
    // capacity for files does.
    for (qint64 N = 0;; ++N) {
        const QString Name = Dir + Prefix + QString::number(N) + QLatin1Char('.') + Ext;
        if (!QFileInfo::exists(Name))
            return Name;
    }
}

QString RemoveFileExt(const QString &FileName)
{
    const qsizetype Dot = FileName.lastIndexOf(QLatin1Char('.'));
    if (Dot < 0)
        return FileName;
    // Users may type either separator; ":" keeps the drive letter rule of typed paths.
    for (qsizetype i = Dot + 1; i < FileName.size(); ++i) {
        const QChar C = FileName.at(i);
        if (C == QLatin1Char('/') || C == QLatin1Char('\\') || C == QLatin1Char(':'))
            return FileName;
    }
    return FileName.left(Dot);
}

int IntMax(int A, int B) { return A > B ? A : B; }
int IntMin(int A, int B) { return A < B ? A : B; }

} // namespace qf::shell

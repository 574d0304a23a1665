#include "tables/data/tablefiles.h"

#include "tables/data/dbf/dbfwriter.h"
#include "tables/data/tablesource.h"

#include <QFile>
#include <QFileInfo>

namespace qf::tables {

QStringList DbfTableFiles(const QString &TableFileName)
{
    const QFileInfo Info(TableFileName);
    const QString Layout = Info.path() + QLatin1Char('/') +
                           (Info.suffix().isEmpty() ? Info.fileName() : Info.completeBaseName()) +
                           QStringLiteral(".cfg");
    return {TableFileName, DbfMemoFileName(TableFileName), DbfCodePageFileName(TableFileName),
            Layout};
}

QString MakeTempTableName(const QString &Dir, const QString &Avoid)
{
    const QString Folder = Dir.endsWith(QLatin1Char('/')) ? Dir : Dir + QLatin1Char('/');
    const QString Taken = QFileInfo(Avoid).completeBaseName();
    for (qint64 N = 0;; ++N) {
        const QString Name = Folder + QStringLiteral("tmp%1.dbf").arg(N);
        bool Free = Taken.compare(QStringLiteral("tmp%1").arg(N), Qt::CaseInsensitive) != 0;
        for (const QString &File : DbfTableFiles(Name))
            Free = Free && !QFileInfo::exists(File);
        if (Free)
            return Name;
    }
}

void RemoveTableFiles(const QString &TableFileName)
{
    for (const QString &File : DbfTableFiles(TableFileName))
        QFile::remove(File);
}

TTableReplace::TTableReplace(const QString &NewFile, const QString &Target)
    : FNewFile(NewFile), FTarget(Target)
{}

TTableReplace::~TTableReplace()
{
    if (!FFinished)
        Rollback();
}

void TTableReplace::Commit()
{
    const auto Move = [this](const QString &From, const QString &To) {
        QFile File(From);
        // QFile::rename refuses an existing target, so nothing is ever overwritten here.
        if (!File.rename(To)) {
            const QString Reason = File.errorString();
            Rollback();
            throw EDatabaseError(
                QStringLiteral(
                    "Cannot rename \"%1\" to \"%2\": %3. The table \"%4\" is left as it was.")
                    .arg(From, To, Reason, FTarget));
        }
        FMoved.emplace_back(From, To);
    };
    const QStringList Old = DbfTableFiles(FTarget);
    for (const QString &File : Old) {
        if (!QFileInfo(File).isFile())
            continue;
        QString Aside;
        for (int N = 0; Aside.isEmpty() || QFileInfo::exists(Aside); ++N)
            Aside = File + QStringLiteral(".old%1").arg(N);
        Move(File, Aside);
    }
    const QStringList New = DbfTableFiles(FNewFile);
    for (int i = 0; i < 3; ++i) // the layout file belongs to the target's reader, not to the copy
        if (QFileInfo(New[i]).isFile())
            Move(New[i], Old[i]);
}

void TTableReplace::Rollback()
{
    for (auto It = FMoved.rbegin(); It != FMoved.rend(); ++It)
        QFile::rename(It->second, It->first);
    FMoved.clear();
}

QString TTableReplace::Finish()
{
    FFinished = true;
    QStringList Left;
    const QStringList Old = DbfTableFiles(FTarget);
    for (const auto &[From, To] : FMoved)
        if (Old.contains(From) && !QFile::remove(To)) // a target file moved aside
            Left.append(To);
    FMoved.clear();
    if (Left.isEmpty())
        return QString();
    return QStringLiteral("The previous files could not be deleted: %1")
        .arg(Left.join(QStringLiteral(", ")));
}

} // namespace qf::tables

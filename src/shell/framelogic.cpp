#include "shell/framelogic.h"

#include "shell/fileutils.h"

#include <QFileInfo>

namespace qf::shell {

QString CaptionText(const QString &ProjectFileName, const QString &TableName,
                    std::uint8_t SqlQueryMode)
{
    const QString Project = ProjectFileName.isEmpty()
                                ? QStringLiteral("(NONAME)")
                                : RemoveFileExt(QFileInfo(ProjectFileName).fileName());
    QString Table;
    if (!TableName.isEmpty())
        Table = QStringLiteral(" Using ") + RemoveFileExt(TableName);
    else if (SqlQueryMode == 1)
        Table = QStringLiteral(" Using (SQL QUERY)");
    else
        Table = QStringLiteral(" Using (NONAME)");
    return QStringLiteral("Quillfast - ") + Project + Table;
}

int SubjectEditWidth(int Panel3Width, int Edit2Left)
{
    return IntMax(Panel3Width - Edit2Left - 10, 150);
}

int PreviewStatusWidth(int Panel8Width, int NavigatorWidth)
{
    return IntMax(Panel8Width - NavigatorWidth - 20, 300);
}

QVector<QPoint> TileOrigins(int AreaWidth, int AreaHeight, int TileWidth, int TileHeight)
{
    QVector<QPoint> Origins;
    if (TileWidth <= 0 || TileHeight <= 0)
        return Origins;
    for (int y = 0; y < AreaHeight; y += TileHeight)
        for (int x = 0; x < AreaWidth; x += TileWidth)
            Origins.append(QPoint(x, y));
    return Origins;
}

} // namespace qf::shell

#include "store/reader.h"

namespace qf::shell {

void SetupMainReader(store::TReader &Reader)
{
    Reader.SetDefaultBlanks();
    Reader.ExcludeBlank(QChar(10));
    Reader.ExcludeBlank(QChar(13));
    Reader.SetDefaultDelimiters();
    Reader.AddDelimiter(QString(QChar(10)), 0, nullptr);
    Reader.AddDelimiter(QString(QChar(13)), 0, nullptr);
}

} // namespace qf::shell

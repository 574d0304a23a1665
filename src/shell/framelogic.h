#pragma once
// The main window's rules that need no window: caption text, the resize rule and
// the tiling of the background picture.

#include <QPoint>
#include <QString>
#include <QVector>
#include <cstdint>

namespace qf::shell {

// "Quillfast - " + project part + table part.
QString CaptionText(const QString &ProjectFileName, const QString &TableName,
                    std::uint8_t SqlQueryMode);

// The Subject edit (and the To and From lists) on the Mail page's top panel.
int SubjectEditWidth(int Panel3Width, int Edit2Left);
// The preview's status bar beside the record navigator.
int PreviewStatusWidth(int Panel8Width, int NavigatorWidth);

// Top-left corners of the tiles that cover an area; none for an empty tile.
QVector<QPoint> TileOrigins(int AreaWidth, int AreaHeight, int TileWidth, int TileHeight);

} // namespace qf::shell

namespace qf::store {
class TReader;
} // namespace qf::store

namespace qf::shell {

// The main window's scanner: blanks are the characters 0 to 32 except line feed and
// carriage return, which come out as delimiter tokens of their own; "_" stays part
// of words.
void SetupMainReader(store::TReader &Reader);

} // namespace qf::shell

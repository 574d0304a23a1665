#pragma once
// Test helper for calculated fields and the record filter: a table written with our dBASE writer
// from rows of texts.

#include "tables/data/dbf/dbfwriter.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace calctest {

using namespace qf::tables;

using TRow =
    std::vector<std::optional<QString>>; // per field its text (dates YYYYMMDD), none for blank

// Writes FileName (and its memo file) with the given fields and rows through the writer's layout.
inline void WriteTable(const QString &FileName, const std::vector<TFieldDefRec> &Defs,
                       const std::vector<TRow> &Rows)
{
    WriteDbfHeader(FileName, Defs, {0, "UTF-8", TDbfCodec()}); // the text below is UTF-8
    QFile Table(FileName);
    QFile Memo(DbfMemoFileName(FileName));
    bool HasMemo = false;
    int Length = 1;
    for (const TFieldDefRec &Def : Defs) {
        Length += DbfFieldWidth(Def.Kind, Def.Size);
        HasMemo |= Def.Kind == dtM;
    }
    ASSERT_TRUE(Table.open(QIODevice::ReadWrite));
    if (HasMemo) {
        ASSERT_TRUE(Memo.open(QIODevice::ReadWrite));
    }
    Table.seek(Table.size() - 1); // over the end mark
    QByteArray Bytes;
    for (const TRow &Row : Rows) {
        QByteArray Record(Length, ' ');
        char *At = Record.data() + 1;
        for (size_t i = 0; i < Defs.size(); ++i) {
            const int Width = DbfFieldWidth(Defs[i].Kind, Defs[i].Size);
            if (i < Row.size() && Row[i]) {
                if (Defs[i].Kind == dtM)
                    PlaceDbfMemoRef(At, Width, AppendDbfMemo(Memo, Row[i]->toUtf8()));
                else
                    PlaceDbfField(At, Defs[i].Kind, Width, *Row[i]);
            }
            At += Width;
        }
        Bytes += Record;
    }
    Bytes += '\x1A';
    Table.write(Bytes);
    if (HasMemo)
        UpdateDbfMemoHeader(Memo);
    char Count[4];
    qToLittleEndian<quint32>(quint32(Rows.size()), Count);
    Table.seek(4);
    Table.write(Count, 4);
}

} // namespace calctest

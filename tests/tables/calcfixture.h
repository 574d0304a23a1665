#pragma once
// Test helpers for calculated fields and the record filter: a table written with our dBASE writer
// from rows of texts, and SQLite (through python3-dbfread and sqlite3) as the oracle of which
// records a condition selects.

#include "tables/data/dbf/dbfwriter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
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

// The 0-based record numbers for which SQLite's WHERE Condition holds, over the table as dbfread
// reads it into an in-memory table of the same column names (dates as ISO text, logicals 0 and 1).
inline std::vector<int64_t> SqliteSelect(const QString &FileName, const QString &Condition)
{
    static const char *Script = R"(
import datetime, json, sqlite3, sys
from dbfread import DBF
t = DBF(sys.argv[1], encoding='utf-8', load=True)
names = [f.name for f in t.fields]
db = sqlite3.connect(':memory:')
db.execute('CREATE TABLE t(%s)' % ','.join(names))
def v(x):
    if isinstance(x, (datetime.date, datetime.datetime)): return x.isoformat()
    if isinstance(x, bool): return int(x)
    return x
for i, r in enumerate(t.records):
    db.execute('INSERT INTO t(rowid,%s) VALUES(?,%s)' % (','.join(names), ','.join('?' * len(names))),
               [i + 1] + [v(x) for x in r.values()])
print(json.dumps([row[0] - 1 for row in db.execute('SELECT rowid FROM t WHERE %s ORDER BY rowid' % sys.argv[2])]))
)";
    QProcess Python;
    Python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(Script), FileName, Condition});
    std::vector<int64_t> Rows;
    if (!Python.waitForFinished(60000) || Python.exitCode() != 0) {
        ADD_FAILURE() << "sqlite oracle failed: " << Python.readAllStandardError().toStdString();
        return Rows;
    }
    for (const QJsonValue &Row : QJsonDocument::fromJson(Python.readAllStandardOutput()).array())
        Rows.push_back(Row.toInteger());
    return Rows;
}

} // namespace calctest

#pragma once
// Test tables for the record commands: real .dbf files in a temporary folder, filled through the
// SQL engine, and opened in a workspace.

#include "dbforacle.h"
#include "tables/data/sql/sqlengine.h"
#include "tables/workspace.h"

#include <QDir>
#include <QTemporaryDir>

inline void FillTable(const QString &Folder, const QString &Sql)
{
    auto Tables = OpenSqlTables(TSqlDriver::DBase, Folder);
    ExecuteSql(*Tables, Sql);
    Tables->ApplyUpdates();
}

// people.dbf: NAME C(20), CITY C(12), AMOUNT N, BORN D, MEMBER L, NOTE M.
inline void MakePeople(const QString &Folder, const QString &Values)
{
    WriteDbfHeader(QDir(Folder).filePath("people.dbf"),
                   {Def("NAME", dtC, 20), Def("CITY", dtC, 12), Def("AMOUNT", dtN),
                    Def("BORN", dtD), Def("MEMBER", dtL), Def("NOTE", dtM)});
    if (!Values.isEmpty())
        FillTable(Folder, "INSERT INTO people VALUES " + Values);
}

inline QJsonArray StoredRecords(const QString &FileName)
{
    return ReadWithDbfread(FileName)["records"].toArray();
}

// Another program appends a record behind the workspace's back.
inline void AppendBehindTheBack(const QString &FileName)
{
    QFile File(FileName);
    ASSERT_TRUE(File.open(QIODevice::ReadWrite));
    QByteArray Bytes = File.readAll();
    const quint32 Count = qFromLittleEndian<quint32>(Bytes.constData() + 4);
    const quint16 Length = qFromLittleEndian<quint16>(Bytes.constData() + 10);
    qToLittleEndian<quint32>(Count + 1, Bytes.data() + 4);
    if (Bytes.endsWith('\x1A'))
        Bytes.chop(1);
    Bytes += QByteArray(Length, ' ') + '\x1A';
    File.seek(0);
    File.write(Bytes);
}

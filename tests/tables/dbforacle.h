#pragma once
// Test helpers: raw dBASE files built byte by byte, and Debian's python3-dbfread as an independent
// reader of every table we write.

#include "tables/data/dbf/dbfwriter.h"
#include "tables/data/tablesource.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QString>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

using namespace qf::tables;

class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale &Locale) { QLocale::setDefault(Locale); }
    ~LocaleGuard() { QLocale::setDefault(QLocale::c()); }
};

struct TRawField {
    const char *Name;
    char Type;
    int Width;
    int Decimals = 0;
};

// A table file: header, descriptors, 0x0D, the records as given (each without its deletion byte,
// a leading '*' in Deleted marks it), 0x1A.
inline QByteArray RawDbf(uint8_t Version, const std::vector<TRawField> &Fields,
                         const std::vector<QByteArray> &Records,
                         const std::vector<bool> &Deleted = {}, uint8_t LanguageDriver = 0)
{
    int RecordLength = 1;
    for (const TRawField &Field : Fields)
        RecordLength += Field.Width;
    QByteArray Bytes(32, '\0');
    Bytes[0] = char(Version);
    Bytes[1] = 124;
    Bytes[2] = 1;
    Bytes[3] = 2;
    qToLittleEndian<quint32>(quint32(Records.size()), Bytes.data() + 4);
    qToLittleEndian<quint16>(quint16(32 * Fields.size() + 33), Bytes.data() + 8);
    qToLittleEndian<quint16>(quint16(RecordLength), Bytes.data() + 10);
    Bytes[29] = char(LanguageDriver);
    for (const TRawField &Field : Fields) {
        QByteArray Descriptor(32, '\0');
        Descriptor.replace(0, int(qstrlen(Field.Name)), Field.Name);
        Descriptor[11] = Field.Type;
        Descriptor[16] = char(Field.Width);
        Descriptor[17] = char(Field.Decimals);
        Bytes += Descriptor;
    }
    Bytes += '\x0D';
    for (size_t i = 0; i < Records.size(); ++i) {
        QByteArray Record = Records[i].leftJustified(RecordLength - 1, ' ', true);
        Bytes += (i < Deleted.size() && Deleted[i]) ? '*' : ' ';
        Bytes += Record;
    }
    Bytes += '\x1A';
    return Bytes;
}

// One record's fields (without the deletion byte): numbers and memo references right-aligned,
// everything else left-aligned, each cut or padded to its width.
inline QByteArray RawRecord(const std::vector<TRawField> &Fields,
                            const std::vector<QByteArray> &Values)
{
    QByteArray Record;
    for (size_t i = 0; i < Fields.size(); ++i) {
        const QByteArray Value = i < Values.size() ? Values[i] : QByteArray();
        const bool Right = Fields[i].Type == 'N' || Fields[i].Type == 'M';
        Record += Right ? Value.rightJustified(Fields[i].Width, ' ', true)
                        : Value.leftJustified(Fields[i].Width, ' ', true);
    }
    return Record;
}

// A field definition as the writer takes it.
inline TFieldDefRec Def(const QString &Name, TDbfType Kind, int Size = 0)
{
    TFieldDefRec Field;
    Field.Name = Name;
    Field.Kind = Kind;
    Field.Size = Size;
    return Field;
}

inline void WriteBytes(const QString &FileName, const QByteArray &Bytes)
{
    QFile File(FileName);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(File.write(Bytes), Bytes.size());
}

// The message of the EDatabaseError that Action raises; empty when it raises none.
inline QString Message(const std::function<void()> &Action)
{
    try {
        Action();
    } catch (const EDatabaseError &Error) {
        return Error.Message();
    }
    return QString();
}

inline QByteArray ReadBytes(const QString &FileName)
{
    QFile File(FileName);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// What python3-dbfread reads: {"fields": [[name, type, length, decimals]...], "records":
// [[...]...], "count": header count}; values as JSON (dates "YYYY-MM-DD", null as null). Deleted
// records are skipped by dbfread itself. Without an encoding dbfread takes the header's
// language-driver byte, or when that is 0 (or 0xCC, Windows-1257, which it does not know) the code
// page a ".cpg" beside the table names (as GIS programs write it), else UTF-8.
inline QJsonObject ReadWithDbfread(const QString &FileName, const QString &Encoding = QString())
{
    static const char *Script = R"(
import json, sys, datetime, os
from dbfread import DBF
enc = sys.argv[2] or None
if enc is None and open(sys.argv[1], 'rb').read(30)[29] in (0, 0xcc):  # 0xcc (1257): not known
    enc = 'utf-8'
    base = os.path.splitext(sys.argv[1])[0]
    for cpg in (base + '.cpg', base + '.CPG'):
        if os.path.exists(cpg):
            name = open(cpg).read().strip()
            enc = 'cp' + name if name.isdigit() else name
t = DBF(sys.argv[1], encoding=enc, load=True)
def v(x):
    if isinstance(x, (datetime.date, datetime.datetime)): return x.isoformat()
    if isinstance(x, bytes): return x.decode('latin-1')
    return x
print(json.dumps({"fields": [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],
                  "records": [[v(x) for x in r.values()] for r in t.records],
                  "deleted": len(t.deleted), "count": t.header.numrecords}))
)";
    QProcess Python;
    Python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(Script), FileName, Encoding});
    if (!Python.waitForFinished(60000) || Python.exitCode() != 0) {
        ADD_FAILURE() << "dbfread failed on " << FileName.toStdString() << ": "
                      << Python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(Python.readAllStandardOutput()).object();
}

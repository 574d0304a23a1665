#pragma once
// Test helpers: a grid layout file built byte by byte from the format's table (independent of
// the writer), and the sample table copied into a temporary folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtEndian>

namespace layouttest {

class TLayoutBytes {
public:
    TLayoutBytes &Int(qint32 Value)
    {
        char B[4];
        qToLittleEndian<qint32>(Value, B);
        FBytes.append(B, 4);
        return *this;
    }
    TLayoutBytes &Str(const QString &Text)
    {
        const QByteArray U = Text.toUtf8();
        Int(qint32(U.size()));
        FBytes += U;
        return *this;
    }
    TLayoutBytes &Flag(bool Value)
    {
        FBytes += char(Value ? 1 : 0);
        return *this;
    }
    // One field entry; PickList only for kinds C, N and D (pass nullptr for L and M).
    TLayoutBytes &Entry(const QString &Name, qint32 EditWidth, bool Template, bool Autocomplete,
                        qint32 GridWidth, const QStringList *PickList)
    {
        Str(Name).Int(EditWidth).Flag(Template).Flag(Autocomplete).Int(GridWidth);
        if (PickList) {
            Int(qint32(PickList->size()));
            for (const QString &Entry : *PickList)
                Str(Entry);
        }
        return *this;
    }
    const QByteArray &Bytes() const { return FBytes; }

private:
    QByteArray FBytes;
};

// Copies the shipped sample (contacts.dbf and .dbt) into Folder; returns the table's file name.
inline QString CopySample(const QString &Folder, const QString &Name = QStringLiteral("contacts"))
{
    const QDir Source(QStringLiteral(QF_SAMPLE_DIR));
    const QString Table = QDir(Folder).filePath(Name + ".dbf");
    QFile::copy(Source.filePath("contacts.dbf"), Table);
    QFile::copy(Source.filePath("contacts.dbt"), QDir(Folder).filePath(Name + ".dbt"));
    QFile::setPermissions(Table, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(QDir(Folder).filePath(Name + ".dbt"),
                          QFile::ReadOwner | QFile::WriteOwner);
    return Table;
}

} // namespace layouttest

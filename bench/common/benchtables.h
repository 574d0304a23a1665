// What the table benchmarks share: the timer in seconds, the process's memory figures, the
// made-up words for names and cities, and the writer of a generated dBASE table (header, records
// filled by the caller from a seeded generator, memo file when a field is a memo, record count).
// The generated rows depend only on the seed and the caller's fill, so a table left in a folder
// by an earlier run is the same one the next run would write.

#pragma once

#include "tables/data/dbf/dbfwriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <random>
#include <vector>

namespace qf::bench {

inline double Seconds(const QElapsedTimer &Timer) { return double(Timer.nsecsElapsed()) / 1e9; }

// A figure from /proc/self/status in kB ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
inline long StatusKb(const char *Key)
{
    QFile Status(QStringLiteral("/proc/self/status"));
    if (!Status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &Line : Status.readAll().split('\n'))
        if (Line.startsWith(Key))
            return Line.mid(qstrlen(Key)).trimmed().split(' ').value(0).toLong();
    return 0;
}

inline const char *const kSyllables[] = {
    "an",  "ber", "cor", "dal",  "el",  "fin", "gar", "hol", "is",  "jon", "kel", "lin", "mar",
    "nor", "ol",  "per", "quin", "ros", "sal", "tor", "ul",  "ven", "wil", "xan", "yor", "zel"};

// A capitalised word of Parts syllables.
inline QByteArray Word(std::mt19937 &Random, int Parts)
{
    QByteArray Text;
    for (int i = 0; i < Parts; ++i)
        Text += kSyllables[Random() % 26];
    Text[0] = char(Text[0] - 32);
    return Text;
}

struct TBenchField {
    const char *Name;
    qf::tables::TDbfType Kind;
    int Size = 0;
};

inline std::vector<qf::tables::TFieldDefRec> BenchFields(std::initializer_list<TBenchField> Fields)
{
    std::vector<qf::tables::TFieldDefRec> Defs;
    for (const TBenchField &F : Fields) {
        qf::tables::TFieldDefRec Def;
        Def.Name = QString::fromLatin1(F.Name);
        Def.Kind = F.Kind;
        Def.Size = F.Size;
        Defs.push_back(Def);
    }
    return Defs;
}

// Writes Records records; Fill(Data, Index, Random, Memo) fills one record's fields (Data points
// past the deletion flag; Memo is the open memo file, or null when no field is a memo).
template <typename TFill>
void WriteBenchTable(const QString &FileName, const std::vector<qf::tables::TFieldDefRec> &Defs,
                     int Records, unsigned Seed, TFill Fill)
{
    using namespace qf::tables;
    int Length = 1;
    bool HasMemo = false;
    for (const TFieldDefRec &Def : Defs) {
        Length += DbfFieldWidth(Def.Kind, Def.Size);
        HasMemo = HasMemo || Def.Kind == dtM;
    }
    WriteDbfHeader(FileName, Defs);
    QFile Table(FileName), Memo(DbfMemoFileName(FileName));
    if (!Table.open(QIODevice::ReadWrite) || (HasMemo && !Memo.open(QIODevice::ReadWrite)))
        qFatal("cannot write the table");
    Table.seek(Table.size() - 1); // over the end mark
    std::mt19937 Random(Seed);
    QByteArray Chunk;
    for (int i = 0; i < Records; ++i) {
        QByteArray Record(Length, ' ');
        Fill(Record.data() + 1, i, Random, HasMemo ? &Memo : nullptr);
        Chunk += Record;
        if (Chunk.size() > (1 << 22)) {
            Table.write(Chunk);
            Chunk.clear();
        }
    }
    Chunk += '\x1A';
    Table.write(Chunk);
    if (HasMemo)
        UpdateDbfMemoHeader(Memo);
    char Count[4];
    qToLittleEndian<quint32>(quint32(Records), Count);
    Table.seek(4);
    Table.write(Count, 4);
}

// Reads a table and its memo file through once, as a table just used sits in the page cache.
inline void WarmPageCache(const QString &FileName)
{
    for (const QString &Name : {FileName, qf::tables::DbfMemoFileName(FileName)}) {
        QFile File(Name);
        if (!File.open(QIODevice::ReadOnly))
            continue;
        while (!File.read(1 << 24).isEmpty()) {
        }
    }
}

// NAME C30, STREET C40, CITY C20, AMOUNT N (a few empty), DUE D, PAID L, NOTE M (every fourth
// record; with LongMemos every fortieth one of 700 bytes).
inline void WritePeopleTable(const QString &FileName, int Records, bool LongMemos)
{
    using namespace qf::tables;
    const auto Defs = BenchFields({{"NAME", dtC, 30},
                                   {"STREET", dtC, 40},
                                   {"CITY", dtC, 20},
                                   {"AMOUNT", dtN},
                                   {"DUE", dtD},
                                   {"PAID", dtL},
                                   {"NOTE", dtM}});
    WriteBenchTable(
        FileName, Defs, Records, 42,
        [LongMemos](char *p, int i, std::mt19937 &Random, QFile *Memo) {
            PlaceDbfField(p, dtC, 30, QString::fromLatin1(Word(Random, 2) + ' ' + Word(Random, 3)));
            PlaceDbfField(p + 30, dtC, 40,
                          QString::fromLatin1(QByteArray::number(int(Random() % 999) + 1) + ' ' +
                                              Word(Random, 3) + " Street"));
            PlaceDbfField(p + 70, dtC, 20, QString::fromLatin1(Word(Random, 2)));
            if (i % 50 != 7) // a few empty amounts
                PlaceDbfField(p + 90, dtN, 15,
                              QString::number((Random() % 10000000) / 100.0, 'f', 5));
            PlaceDbfField(p + 105, dtD, 8, FormatDbfDate(36526 + double(Random() % 9000)));
            p[113] = Random() % 2 ? 'T' : 'F';
            if (i % 4 == 0) {
                const QByteArray Text =
                    "Note " + QByteArray::number(i) + ' ' +
                    QByteArray(LongMemos && i % 40 == 0 ? 700 : 60 + int(Random() % 200), 'n');
                PlaceDbfMemoRef(p + 114, 10, AppendDbfMemo(*Memo, Text));
            }
        });
}

} // namespace qf::bench

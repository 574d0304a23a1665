// Writes the sample table Quillfast opens for a newcomer: contacts.dbf with its memo file, a few
// hundred fictional contacts (names, example.org addresses, cities, amounts, dates, notes).
// The same seed always gives the same records. Usage: make_sample <folder>

#include "tables/data/dbf/dbfwriter.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstdio>
#include <random>

using namespace qf::tables;

namespace {

const char *const kFirst[] = {"Ada",  "Bram",  "Celia", "Dorian", "Elsa",  "Farid", "Greta", "Hugo",
                              "Ines", "Jonas", "Kira",  "Leon",   "Mira",  "Nils",  "Olga",  "Piet",
                              "Rosa", "Silas", "Tara",  "Umar",   "Vera",  "Wim",   "Yara",  "Zeno",
                              "Alma", "Boris", "Clara", "Emil",   "Frida", "Ivo"};
const char *const kLast[] = {"Ashdown",   "Birchley", "Calloway", "Dunmere",   "Ellsworth",
                             "Fenwick",   "Garroway", "Hollin",   "Ingram",    "Jessop",
                             "Kettering", "Lockley",  "Marlow",   "Northcott", "Oakhurst",
                             "Pemberton", "Quarry",   "Rushford", "Selby",     "Thornbury",
                             "Upton",     "Vance",    "Whitlock", "Yardley"};
const char *const kCity[] = {"Eastbrook", "Millhaven", "Northwick", "Oakridge",  "Port Lerwin",
                             "Redcastle", "Southmere", "Westfold",  "Ambervale", "Brightwater"};
const char *const kNote[] = {"Prefers mail in the morning.", "Asked for the yearly summary.",
                             "Met at the spring fair; interested in the newsletter.",
                             "Moved last year; address checked by phone.",
                             "Wants plain-text mail only.\r\nPlease do not call after six."};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample <folder>\n");
        return 2;
    }
    const QString FileName =
        QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("contacts.dbf"));
    struct TDef {
        const char *Name;
        TDbfType Kind;
        int Size;
    };
    const TDef Layout[] = {{"FIRSTNAME", dtC, 15}, {"LASTNAME", dtC, 20}, {"EMAIL", dtC, 40},
                           {"CITY", dtC, 20},      {"AMOUNT", dtN, 0},    {"JOINED", dtD, 0},
                           {"ACTIVE", dtL, 0},     {"NOTES", dtM, 0}};
    std::vector<TFieldDefRec> Defs;
    int Length = 1;
    for (const TDef &D : Layout) {
        TFieldDefRec Def;
        Def.Name = QString::fromLatin1(D.Name);
        Def.Kind = D.Kind;
        Def.Size = D.Size;
        Defs.push_back(Def);
        Length += DbfFieldWidth(D.Kind, D.Size);
    }
    try {
        WriteDbfHeader(FileName, Defs, TDbfEncoding()); // UTF-8, as the table always was
        QFile Table(FileName), Memo(DbfMemoFileName(FileName));
        if (!Table.open(QIODevice::ReadWrite) || !Memo.open(QIODevice::ReadWrite))
            throw EDatabaseError(QStringLiteral("cannot write %1").arg(FileName));
        Table.seek(Table.size() - 1); // over the end mark
        std::mt19937 Random(2026);
        const int Records = 300;
        QByteArray Data;
        for (int i = 0; i < Records; ++i) {
            const QString First = QString::fromLatin1(kFirst[Random() % std::size(kFirst)]);
            const QString Last = QString::fromLatin1(kLast[Random() % std::size(kLast)]);
            QByteArray Record(Length, ' ');
            char *p = Record.data() + 1;
            PlaceDbfField(p, dtC, 15, First);
            PlaceDbfField(p + 15, dtC, 20, Last);
            PlaceDbfField(p + 35, dtC, 40,
                          QStringLiteral("%1.%2%3@example.org")
                              .arg(First.toLower(), Last.toLower())
                              .arg(i + 1));
            PlaceDbfField(p + 75, dtC, 20, QString::fromLatin1(kCity[Random() % std::size(kCity)]));
            if (i % 23 != 5) // a few contacts without an amount
                PlaceDbfField(p + 95, dtN, 15,
                              QString::number(double(Random() % 500000) / 100.0, 'f', 5));
            const QDate Joined = QDate(2015, 1, 1).addDays(qint64(Random() % 3650));
            PlaceDbfField(p + 110, dtD, 8, Joined.toString(QStringLiteral("yyyyMMdd")));
            p[118] = Random() % 5 ? 'T' : 'F';
            if (i % 3 == 0)
                PlaceDbfMemoRef(
                    p + 119, 10,
                    AppendDbfMemo(Memo, QByteArray(kNote[Random() % std::size(kNote)])));
            Data += Record;
        }
        Data += '\x1A';
        Table.write(Data);
        UpdateDbfMemoHeader(Memo);
        char Count[4];
        qToLittleEndian<quint32>(quint32(Records), Count);
        Table.seek(4);
        Table.write(Count, 4);
        // The date of the last update stays fixed, so the shipped file is the generator's output.
        const char Updated[3] = {char(126), 1, 1};
        Table.seek(1);
        Table.write(Updated, 3);
    } catch (const EDatabaseError &E) {
        std::fprintf(stderr, "%s\n", qPrintable(E.Message()));
        return 1;
    }
    return 0;
}

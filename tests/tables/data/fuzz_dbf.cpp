// Bounded random damage to dBASE table and memo files: every read either raises EDatabaseError or
// returns what is there, never reads past a file (checked under AddressSanitizer) or crashes.

#include "dbforacle.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"

#include <QTemporaryDir>
#include <random>

using namespace qf::tables;

namespace {
void ReadRows(const TDbfTable &Table, int64_t Limit)
{
    for (int64_t Row = 0; Row < std::min<int64_t>(Table.RowCount(), Limit); ++Row) {
        (void)Table.IsDeleted(Row);
        for (int f = 0; f < int(Table.Fields().size()); ++f) {
            (void)Table.Value(Row, f);
            (void)Table.AsString(Row, f);
            (void)Table.AsFloat(Row, f);
            (void)Table.IsNull(Row, f);
        }
    }
}

QByteArray Mutate(QByteArray Bytes, std::mt19937 &Random)
{
    const int Kind = int(Random() % 4);
    if (Kind == 0 && !Bytes.isEmpty())
        return Bytes.left(qsizetype(Random() % size_t(Bytes.size())));
    for (int i = 1 + int(Random() % 8); i > 0 && !Bytes.isEmpty(); --i) {
        // Most damage goes to the header, where lengths and counts live.
        const size_t Span = std::min<size_t>(size_t(Bytes.size()), Random() % 2 ? 200 : SIZE_MAX);
        Bytes[qsizetype(Random() % Span)] = char(Kind == 1   ? 0xFF
                                                 : Kind == 2 ? 0x00
                                                             : int(Random() % 256));
    }
    return Bytes;
}
} // namespace

TEST(TablesFuzz, DamagedDbfAndDbtFiles)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"NAME", 'C', 10},
                                           {"AMOUNT", 'N', 8, 2},
                                           {"DUE", 'D', 8},
                                           {"OK", 'L', 1},
                                           {"NOTE", 'M', 10}};
    std::vector<QByteArray> Records, Many;
    for (int i = 0; i < 20; ++i)
        Records.push_back(
            RawRecord(Fields, {"name" + QByteArray::number(i), QByteArray::number(i * 1.5),
                               "20240101", "T", QByteArray::number(1 + i % 3)}));
    const QByteArray Dbf = RawDbf(0x83, Fields, Records);
    QByteArray Db3(512, '\0'), Db4(512, '\0');
    qToLittleEndian<quint32>(4, Db3.data());
    qToLittleEndian<quint16>(512, Db4.data() + 20); // dBASE IV blocks
    for (int i = 0; i < 3; ++i) {
        Db3 += (QByteArray("memo text ") + QByteArray(600 * i, 'm') + "\x1A\x1A")
                   .leftJustified(512 * (1 + i), '\0');
        Db4 += (QByteArray("\xFF\xFF\x08\x00\x20\x00\x00\x00", 8) + QByteArray(24, 'x'))
                   .leftJustified(512, '\0');
    }
    const QString Name = Dir.filePath("fuzz.dbf"), Memo = Dir.filePath("fuzz.dbt");
    std::mt19937 Random(20261206);
    for (int Round = 0; Round < 3000; ++Round) {
        QByteArray Table = Dbf;
        if (Round % 2)
            Table[0] = char(0x8B);
        const int Target = int(Random() % 3);
        WriteBytes(Name, Target != 1 ? Mutate(Table, Random) : Table);
        const QByteArray &MemoBytes = Round % 2 ? Db4 : Db3;
        WriteBytes(Memo, Target != 0 ? Mutate(MemoBytes, Random) : MemoBytes);
        try {
            ReadRows(TDbfTable(Name), 64);
        } catch (const EDatabaseError &) {
        }
    }

    // Cut short by another program while open: every read of a lost page (row flags, values,
    // numbers, nulls, memos) is reported as such, none crashes.
    int Reported = 0;
    for (int i = 0; i < 400; ++i) // odd records refer to a memo block in the memo file's third page
        Many.push_back(RawRecord(Fields, {"many", "1.5", "20240101", "F", i % 2 ? "20" : "1"}));
    const QByteArray Big = RawDbf(0x83, Fields, Many);
    const QByteArray BigMemo = Db3 + QByteArray(3, '\0') + QByteArray(9000, 'm');
    for (int Round = 0; Round < 100; ++Round) {
        WriteBytes(Name, Big);
        WriteBytes(Memo, BigMemo);
        const bool CutMemo = Random() % 2;
        try {
            TDbfTable Table(Name);
            ASSERT_TRUE(QFile::resize(CutMemo ? Memo : Name,
                                      qint64(Random() % size_t((CutMemo ? BigMemo : Big).size()))));
            ReadRows(Table, Table.RowCount());
        } catch (const EDatabaseError &Error) {
            // The file that was cut is the one named.
            EXPECT_TRUE(
                Error.Message().contains(QStringLiteral("\"%1\" was cut short by another program")
                                             .arg(CutMemo ? Memo : Name)))
                << Error.what();
            ++Reported;
        }
    }
    EXPECT_GT(Reported, 20);

    // The dataset over a damaged table: open, sort and walk.
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString(Dir.path(), Dir.path(), kDbaseDriver);
    for (int Round = 0; Round < 200; ++Round) {
        WriteBytes(Name, Mutate(Dbf, Random));
        WriteBytes(Memo, Mutate(Db3, Random));
        TADOQuery Query(&Connection);
        Query.SQL = "SELECT * FROM fuzz.dbf";
        try {
            Query.Open();
            for (int f = 0; f < Query.FieldCount(); ++f)
                Query.SetSort(Query.Fields(f).FieldName() + " DESC");
            for (Query.First(); !Query.Eof(); Query.Next())
                for (int f = 0; f < Query.FieldCount(); ++f)
                    (void)Query.Fields(f).AsString();
        } catch (const EDatabaseError &) {
        }
    }
}

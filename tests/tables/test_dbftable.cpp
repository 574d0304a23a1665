// The dBASE reader over real files, damaged ones included, and the batch update checked by dbfread.

#include "dbforacle.h"
#include "tables/dbf/dbftable.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <unistd.h>

using namespace qf::tables;

namespace {
const std::vector<TRawField> kPeople = {{"NAME", 'C', 10}, {"AGE", 'N', 5, 1}, {"BORN", 'D', 8}, {"OK", 'L', 1}};

QByteArray P(const char *Name, const char *Age, const char *Born, const char *Ok) { return RawRecord(kPeople, {Name, Age, Born, Ok}); }

QByteArray Db3Memo(const std::vector<QByteArray> &Texts)
{
    QByteArray Bytes(512, '\0');
    qToLittleEndian<quint32>(quint32(Texts.size() + 1), Bytes.data());
    for (const QByteArray &Text : Texts) {
        QByteArray Block = Text + "\x1A\x1A";
        Bytes += Block.leftJustified((Block.size() + 511) / 512 * 512, '\0');
    }
    return Bytes;
}

} // namespace

TEST(TablesDbf, ReadsFieldsValuesAndSkipsNothingButMarksDeleted)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("people.dbf");
    WriteBytes(Name, RawDbf(0x03, kPeople,
                            {P("Anna", "42.5", "19800102", "T"), P("Bob", "7.0", "20240229", "F"), P("Gone", "1.0", "19000101", "?"), P("", "****", "", "")},
                            {false, false, true, false}));
    TDbfTable Table(Name);
    ASSERT_EQ(Table.Fields().size(), 4u);
    EXPECT_EQ(Table.Fields()[0].DataType, ftString);
    EXPECT_EQ(Table.Fields()[0].Size, 10);
    EXPECT_EQ(Table.Fields()[1].DataType, ftFloat);
    EXPECT_EQ(Table.Fields()[1].Decimals, 1);
    EXPECT_EQ(Table.Fields()[2].DataType, ftDate);
    EXPECT_EQ(Table.Fields()[3].DataType, ftBoolean);
    ASSERT_EQ(Table.RowCount(), 4);
    EXPECT_FALSE(Table.IsDeleted(0));
    EXPECT_TRUE(Table.IsDeleted(2));
    EXPECT_EQ(Table.Value(0, 0).toString(), "Anna");
    EXPECT_EQ(Table.AsFloat(0, 1), 42.5);
    EXPECT_EQ(Table.Value(0, 2).toDate(), QDate(1980, 1, 2));
    EXPECT_EQ(Table.Value(0, 3), QVariant(true));
    EXPECT_EQ(Table.Value(1, 3), QVariant(false));
    EXPECT_EQ(Table.Value(1, 2).toDate(), QDate(2024, 2, 29));
    // Blanks, an overflow mark and an unknown logical read as null.
    EXPECT_TRUE(Table.IsNull(2, 3));
    for (int f = 0; f < 4; ++f)
        EXPECT_TRUE(Table.IsNull(3, f)) << f;
    EXPECT_EQ(Table.AsString(3, 0), "");
}

TEST(TablesDbf, TextDecodingByLanguageDriverUtf8OrWindows1252)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"T", 'C', 12}};
    WriteBytes(Dir.filePath("utf.dbf"), RawDbf(0x03, Fields, {"Gr\xC3\xBC\xC3\x9F" "e", "caf\xE9 \x80"}));
    TDbfTable Utf(Dir.filePath("utf.dbf"));
    EXPECT_EQ(Utf.AsString(0, 0), QString::fromUtf8("Grüße"));
    EXPECT_EQ(Utf.AsString(1, 0), QString::fromUtf8("café €")); // not UTF-8: Windows-1252

    WriteBytes(Dir.filePath("cyr.dbf"), RawDbf(0x03, Fields, {"\xCF\xF0\xE8\xE2\xE5\xF2"}, {}, 0xC9));
    TDbfTable Cyrillic(Dir.filePath("cyr.dbf"));
    EXPECT_EQ(Cyrillic.AsString(0, 0), QString::fromUtf8("Привет"));
    // Writing in the table's code page; a character it cannot hold is refused, not dropped.
    Cyrillic.SetValue(0, 0, QString::fromUtf8("Мир"));
    EXPECT_THROW(Cyrillic.SetValue(0, 0, QString::fromUtf8("日本")), EDatabaseError);
    Cyrillic.ApplyUpdates();
    EXPECT_EQ(ReadBytes(Dir.filePath("cyr.dbf")).mid(32 + 32 + 1 + 1, 3), QByteArray("\xCC\xE8\xF0"));
    const QJsonObject Oracle = ReadWithDbfread(Dir.filePath("cyr.dbf"), "cp1251");
    EXPECT_EQ(Oracle["records"].toArray()[0].toArray()[0].toString(), QString::fromUtf8("Мир"));

    WriteBytes(Dir.filePath("dos.dbf"), RawDbf(0x03, Fields, {"\x81\x84"}, {}, 0x01));
    EXPECT_EQ(TDbfTable(Dir.filePath("dos.dbf")).AsString(0, 0), QString::fromUtf8("üä"));
}

TEST(TablesDbf, MemosOfDbaseThreeAndFour)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"ID", 'N', 3}, {"NOTE", 'M', 10}};
    const QByteArray Long(700, 'x');
    WriteBytes(Dir.filePath("m3.dbf"), RawDbf(0x83, Fields, {RawRecord(Fields, {"1", "1"}), RawRecord(Fields, {"2", "2"}), RawRecord(Fields, {"3", ""}), RawRecord(Fields, {"4", "99"})}));
    WriteBytes(Dir.filePath("m3.dbt"), Db3Memo({"first", Long}));
    TDbfTable Three(Dir.filePath("m3.dbf"));
    EXPECT_EQ(Three.Value(0, 1).toString(), "first");
    EXPECT_EQ(Three.Value(1, 1).toString(), QString::fromLatin1(Long));
    EXPECT_TRUE(Three.IsNull(2, 1));
    EXPECT_TRUE(Three.IsNull(3, 1)); // a block past the end of the memo file

    // dBASE IV: blocks of the header's size with a length prefix; an upper-case .DBT is found.
    QByteArray Db4(512, '\0');
    qToLittleEndian<quint32>(3, Db4.data());
    qToLittleEndian<quint16>(512, Db4.data() + 20);
    auto Block = [](const QByteArray &Text) {
        QByteArray B("\xFF\xFF\x08\x00", 4);
        QByteArray Length(4, '\0');
        qToLittleEndian<quint32>(quint32(Text.size() + 8), Length.data());
        B += Length + Text;
        return B.leftJustified((B.size() + 511) / 512 * 512, '\0');
    };
    Db4 += Block("with \x1A inside") + Block("second");
    WriteBytes(Dir.filePath("M4.DBF"), RawDbf(0x8B, Fields, {RawRecord(Fields, {"1", "1"}), RawRecord(Fields, {"2", "2"})}));
    WriteBytes(Dir.filePath("M4.DBT"), Db4);
    TDbfTable Four(Dir.filePath("M4.DBF"));
    EXPECT_EQ(Four.Value(0, 1).toString(), "with \x1A inside");
    EXPECT_EQ(Four.Value(1, 1).toString(), "second");

    // Writing appends blocks in each file's own layout; dbfread reads both back.
    Four.SetValue(0, 1, QStringLiteral("changed four"));
    Four.ApplyUpdates();
    EXPECT_EQ(Four.Value(0, 1).toString(), "changed four");
    EXPECT_EQ(Four.Value(1, 1).toString(), "second");
    EXPECT_THROW(Three.SetValue(2, 1, QStringLiteral("cut \x1A here")), EDatabaseError); // would end the text
    Four.SetValue(1, 1, QStringLiteral("kept \x1A whole"));
    Four.ApplyUpdates();
    EXPECT_EQ(Four.Value(1, 1).toString(), "kept \x1A whole");
    const QString Third = QString(600, QLatin1Char('m')) + QString::fromUtf8("ü"); // over two blocks
    Three.SetValue(2, 1, Third);
    Three.ApplyUpdates();
    const QByteArray Memo3 = ReadBytes(Dir.filePath("m3.dbt"));
    EXPECT_EQ(qFromLittleEndian<quint32>(Memo3.constData()), quint32((Memo3.size() + 511) / 512)); // the next free block
    const QJsonArray Records = ReadWithDbfread(Dir.filePath("m3.dbf"))["records"].toArray();
    ASSERT_EQ(Records.size(), 4);
    EXPECT_EQ(Records[0].toArray()[1].toString(), "first");
    EXPECT_EQ(Records[1].toArray()[1].toString(), QString::fromLatin1(Long));
    EXPECT_EQ(Records[2].toArray()[1].toString(), Third);
    EXPECT_EQ(ReadWithDbfread(Dir.filePath("M4.DBF"))["records"].toArray()[0].toArray()[1].toString(), "changed four");
}

TEST(TablesDbf, DbaseFourMemoBlockSizeComesFromTheMemoHeader)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"NOTE", 'M', 10}};
    QByteArray Memo(64, '\0');
    qToLittleEndian<quint32>(3, Memo.data());
    qToLittleEndian<quint16>(64, Memo.data() + 20);
    Memo += QByteArray("\xFF\xFF\x08\x00\x0C\x00\x00\x00" "four", 12).leftJustified(64, '\0');
    Memo += QByteArray("\xFF\xFF\x08\x00\x0B\x00\x00\x00" "two", 11).leftJustified(64, '\0');
    WriteBytes(Dir.filePath("small.dbf"), RawDbf(0x8B, Fields, {RawRecord(Fields, {"2"}), RawRecord(Fields, {"1"})}));
    WriteBytes(Dir.filePath("small.dbt"), Memo);
    TDbfTable Table(Dir.filePath("small.dbf"));
    EXPECT_EQ(Table.AsString(0, 0), "two");
    EXPECT_EQ(Table.AsString(1, 0), "four");
    Table.SetValue(0, 0, QStringLiteral("new"));
    Table.ApplyUpdates();
    EXPECT_EQ(Table.AsString(0, 0), "new");
    EXPECT_EQ(ReadBytes(Dir.filePath("small.dbt")).size() % 64, 0);
    EXPECT_EQ(ReadBytes(Dir.filePath("small.dbf")).mid(32 + 32 + 1 + 1, 10), "0000000003");
}

TEST(TablesDbf, DamagedFilesGiveAClearErrorOrTheRecordsThatAreThere)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("bad.dbf");
    const QByteArray Good = RawDbf(0x03, kPeople, {P("Anna", "42.5", "19800102", "T"), P("Bob", "7.0", "20240229", "F")});

    // A record count beyond the file: only the whole records that are there.
    QByteArray Lying = Good;
    qToLittleEndian<quint32>(4000000000u, Lying.data() + 4);
    Lying.chop(10); // the second record is cut short
    WriteBytes(Name, Lying);
    EXPECT_EQ(TDbfTable(Name).RowCount(), 1);

    // Header damage and a missing memo file: refused with a message that says what is wrong.
    QByteArray LongHeader = Good;
    qToLittleEndian<quint16>(60000, LongHeader.data() + 8);
    QByteArray Narrow = Good;
    qToLittleEndian<quint16>(10, Narrow.data() + 10); // fields wider than the record
    for (const auto &[Bytes, Text] : std::vector<std::pair<QByteArray, const char *>>{
             {LongHeader, "damaged"}, {Narrow, "damaged"}, {RawDbf(0x03, {{"A", 'C', 0}}, {"", ""}), "width of 0"}, {Good.left(20), "too short"},
             {RawDbf(0x83, {{"N", 'M', 10}}, {"1"}), "memo file"}}) { // bad.dbt is never written
        WriteBytes(Name, Bytes);
        const QString Error = Message([&] { TDbfTable T(Name); });
        EXPECT_TRUE(Error.contains(QLatin1String(Text))) << Error.toStdString();
    }
    // A zero-width field beside real ones reads as empty.
    WriteBytes(Name, RawDbf(0x03, {{"A", 'C', 0}, {"B", 'C', 2}}, {"ok"}));
    TDbfTable ZeroWidth(Name);
    EXPECT_TRUE(ZeroWidth.IsNull(0, 0));
    EXPECT_EQ(ZeroWidth.AsString(0, 1), "ok");

    EXPECT_TRUE(Message([&] { TDbfTable T(Dir.filePath("none.dbf")); }).contains("No such file"));
    if (geteuid() != 0) {
        WriteBytes(Name, Good);
        QFile::setPermissions(Name, QFile::WriteOwner);
        EXPECT_TRUE(Message([&] { TDbfTable T(Name); }).contains("Permission denied"));
    }
}

TEST(TablesDbf, FileCutShortByAnotherProgramWhileOpenIsReportedNotACrash)
{
    // Enough records that the map spans several pages, so the cut removes whole pages.
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("cut.dbf");
    std::vector<QByteArray> Records;
    for (int i = 0; i < 3000; ++i)
        Records.push_back(P(QByteArray::number(i).constData(), "1.0", "20000101", "T"));
    WriteBytes(Name, RawDbf(0x03, kPeople, Records));
    const QByteArray Memo = Db3Memo({QByteArray(9000, 'm')});
    WriteBytes(Dir.filePath("memo.dbf"), RawDbf(0x83, {{"TEXT", 'M', 10}}, {"1"}));
    WriteBytes(Dir.filePath("memo.dbt"), Memo);

    TDbfTable Table(Name);
    TDbfTable MemoTable(Dir.filePath("memo.dbf"));
    ASSERT_EQ(Table.AsString(2999, 0), "2999");
    Table.SetValue(0, 0, "changed");
    ASSERT_TRUE(QFile::resize(Name, 4096));
    ASSERT_TRUE(QFile::resize(Dir.filePath("memo.dbt"), 1024));

    EXPECT_EQ(Table.AsString(1, 0), "1"); // the pages still there read as before
    for (const auto &Read : std::vector<std::function<void()>>{
             [&] { Table.AsString(2999, 0); }, [&] { Table.Value(2998, 1); }, [&] { Table.IsNull(2997, 2); },
             [&] { Table.AsFloat(2996, 1); }, [&] { Table.IsDeleted(2995); }, [&] { MemoTable.Value(0, 0); }})
        EXPECT_TRUE(Message(Read).contains("cut short by another program")) << Message(Read).toStdString();
    // The batch update refuses rather than writing records it can no longer read; nothing is lost.
    EXPECT_TRUE(Message([&] { Table.ApplyUpdates(); }).contains("by another program"));
    EXPECT_TRUE(Table.HasPendingChanges());
    EXPECT_EQ(ReadBytes(Name).size(), 4096);

    // Guarded maps are limited: beyond them a table is refused, never opened unguarded.
    std::vector<std::unique_ptr<TDbfTable>> Open;
    QString Error;
    for (int i = 0; i < 300 && Error.isEmpty(); ++i)
        Error = Message([&] { Open.push_back(std::make_unique<TDbfTable>(Name)); });
    EXPECT_TRUE(Error.contains("Too many tables")) << Error.toStdString();
    Open.clear();
    EXPECT_EQ(TDbfTable(Name).AsString(0, 0), "0");
}

TEST(TablesDbf, BatchUpdateWritesInPlaceAppendsDeletesAndKeepsHeaderRight)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("people.dbf");
    WriteBytes(Name, RawDbf(0x03, kPeople, {P("Anna", "42.5", "19800102", "T"), P("Bob", "7.0", "20240229", "F"), P("Cleo", "3.0", "20200101", "T")}));
    QByteArray Before = ReadBytes(Name);
    Before[1] = 99; // an old date, to see it renewed
    WriteBytes(Name, Before);

    TDbfTable Table(Name);
    Table.SetValue(1, 0, QStringLiteral("Bobby"));
    Table.SetValue(1, 1, 8.24); // rounded to the field's one decimal
    const int64_t New = Table.AppendRow();
    EXPECT_EQ(New, 3);
    Table.SetValue(New, 0, QStringLiteral("Dora"));
    Table.SetValue(New, 2, QDate(2001, 9, 11));
    Table.SetValue(New, 3, false);
    Table.DeleteRow(2);
    EXPECT_TRUE(Table.HasPendingChanges());
    // Pending values are what the source shows, before anything is written.
    EXPECT_EQ(Table.AsString(1, 0), "Bobby");
    EXPECT_EQ(ReadBytes(Name).size(), Before.size());

    Table.ApplyUpdates();
    EXPECT_FALSE(Table.HasPendingChanges());
    const QByteArray After = ReadBytes(Name);
    EXPECT_EQ(qFromLittleEndian<quint32>(After.constData() + 4), 4u);
    const QDate Today = QDate::currentDate();
    EXPECT_EQ(uint8_t(After[1]), Today.year() - 1900);
    EXPECT_EQ(uint8_t(After[3]), Today.day());
    EXPECT_EQ(After.size(), 161 + 4 * 25 + 1);
    EXPECT_EQ(After.back(), '\x1A');
    EXPECT_EQ(After.mid(161 + 25, 25), " " + P("Bobby", "8.2", "20240229", "F")); // in place
    EXPECT_EQ(After[161 + 50], '*');

    const QJsonObject Oracle = ReadWithDbfread(Name);
    EXPECT_EQ(Oracle["count"].toInt(), 4);
    EXPECT_EQ(Oracle["deleted"].toInt(), 1);
    const QJsonArray Records = Oracle["records"].toArray();
    ASSERT_EQ(Records.size(), 3);
    EXPECT_EQ(Records[1].toArray()[0].toString(), "Bobby");
    EXPECT_DOUBLE_EQ(Records[1].toArray()[1].toDouble(), 8.2);
    EXPECT_EQ(Records[2].toArray()[0].toString(), "Dora");
    EXPECT_TRUE(Records[2].toArray()[1].isNull());
    EXPECT_EQ(Records[2].toArray()[2].toString(), "2001-09-11");
    EXPECT_EQ(Records[2].toArray()[3].toBool(), false);
    // Row ids stay; the reopened file agrees.
    EXPECT_EQ(Table.RowCount(), 4);
    EXPECT_TRUE(Table.IsDeleted(2));
    EXPECT_EQ(TDbfTable(Name).AsString(3, 0), "Dora");

    // Two holders of the table: once one has appended, the other's appended row would land on it.
    TDbfTable Other(Name);
    Table.SetValue(Table.AppendRow(), 0, QStringLiteral("Eve"));
    Table.ApplyUpdates();
    Other.SetValue(Other.AppendRow(), 0, QStringLiteral("Fay"));
    EXPECT_TRUE(Message([&] { Other.ApplyUpdates(); }).contains("changed by another program"));
    EXPECT_TRUE(Other.HasPendingChanges());
    EXPECT_EQ(TDbfTable(Name).AsString(4, 0), "Eve");
}

TEST(TablesDbf, ValuesThatDoNotFitAreRefusedAndFailedWritesKeepChanges)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("people.dbf");
    WriteBytes(Name, RawDbf(0x03, kPeople, {P("Anna", "42.5", "19800102", "T")}));
    TDbfTable Table(Name);
    EXPECT_THROW(Table.SetValue(0, 0, QStringLiteral("far too long a name")), EDatabaseError);
    EXPECT_THROW(Table.SetValue(0, 1, 123456.0), EDatabaseError);
    EXPECT_THROW(Table.SetValue(0, 1, QStringLiteral("many")), EDatabaseError);
    EXPECT_THROW(Table.SetValue(0, 2, QStringLiteral("not a date")), EDatabaseError);
    EXPECT_THROW(Table.SetValue(0, 3, QStringLiteral("perhaps")), EDatabaseError);
    EXPECT_FALSE(Table.HasPendingChanges());
    Table.SetValue(0, 1, QStringLiteral("-9.5"));
    EXPECT_EQ(Table.AsFloat(0, 1), -9.5);

    // The file cannot be written (a folder took its name, which stops root too): the changes stay.
    ASSERT_TRUE(QFile::rename(Name, Dir.filePath("moved.dbf")));
    ASSERT_TRUE(QDir(Dir.path()).mkdir("people.dbf"));
    const QString Error = Message([&] { Table.ApplyUpdates(); });
    EXPECT_TRUE(Error.contains("Is a directory")) << Error.toStdString();
    EXPECT_TRUE(Table.HasPendingChanges());
    EXPECT_EQ(Table.AsFloat(0, 1), -9.5);
    ASSERT_TRUE(QDir(Dir.path()).rmdir("people.dbf"));
    ASSERT_TRUE(QFile::rename(Dir.filePath("moved.dbf"), Name));
    Table.ApplyUpdates();
    EXPECT_EQ(TDbfTable(Name).AsFloat(0, 1), -9.5);

    // A table that another program replaced by five bytes while it was open: nothing is written
    // over them, the changes stay, and reading stays safe.
    Table.SetValue(0, 0, QStringLiteral("Zoe"));
    WriteBytes(Name, QByteArray("short"));
    EXPECT_TRUE(Message([&] { Table.ApplyUpdates(); }).contains("changed by another program"));
    EXPECT_EQ(ReadBytes(Name), "short");
    EXPECT_EQ(Table.AsString(0, 0), "Zoe");
    // Inside the file's last page the system shows zeros, not a fault: the record reads blank.
    EXPECT_EQ(Message([&] { Table.IsDeleted(0); }), "");
}

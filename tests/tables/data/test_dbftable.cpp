// The dBASE reader over real files, damaged ones included, and the batch update checked by dbfread.

#include "dbforacle.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/fieldtypes.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

using namespace qf::tables;

namespace {
const std::vector<TRawField> kPeople = {
    {"NAME", 'C', 10}, {"AGE", 'N', 5, 1}, {"BORN", 'D', 8}, {"OK", 'L', 1}};

QByteArray P(const char *Name, const char *Age, const char *Born, const char *Ok)
{
    return RawRecord(kPeople, {Name, Age, Born, Ok});
}

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

TEST(TablesDbf, OneEncodingPerTableForReadingAndWriting)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"T", 'C', 12}, {"NOTE", 'M', 10}};
    // Each table: its bytes, language byte and .cpg text; the text read, a text written, its bytes,
    // and the encoding dbfread needs for the file (empty when a write must be refused).
    struct TCase {
        const char *File;
        QByteArray Stored;
        uint8_t LanguageDriver;
        const char *Cpg;
        const char *Read;
        const char *Written;
        QByteArray WrittenBytes;
        const char *Oracle;
    };
    for (const TCase &Case : std::vector<TCase>{
             {"utf",
              "Gr\xC3\xBC\xC3\x9F"
              "e",
              0, nullptr, "Grüße", "Straße",
              "Stra\xC3\x9F"
              "e",
              "utf-8"},
             // One byte that is no UTF-8 decides the whole table, memos included.
             {"ansi", "caf\xE9 \x80", 0, nullptr, "café €", "Müller", "M\xFCller", "cp1252"},
             {"cyr", "\xCF\xF0\xE8\xE2\xE5\xF2", 0xC9, nullptr, "Привет", "Мир", "\xCC\xE8\xF0",
              "cp1251"},
             {"gis", "\x8F\xE0\xA8\xA2\xA5\xE2", 0, "CP866\r\n", "Привет", "Мир", "\x8C\xA8\xE0",
              "cp866"},
             {"win", "\xCF\xF0\xE8\xE2\xE5\xF2", 0, "1251", "Привет", "日本", {}, nullptr},
             {"iso", "\xBF\xE0\xD8\xD2\xD5\xE2", 0, "ISO-8859-5", "Привет", "Мир", "\xBC\xD8\xE0",
              "iso-8859-5"},
             // Qt's tables read E6 of these as Greek mu and AA of IBM852 not at all.
             {"dos437", "5 \xE6m", 0x01, nullptr, "5 µm", "µ", "\xE6", "cp437"},
             {"dos852", "\xAA\x81", 0x64, nullptr, "¬ü", "Łódź", "\x9D\xA2\x64\xAB", "cp852"}}) {
        SCOPED_TRACE(Case.File);
        const QString Name = Dir.filePath(QString::fromLatin1(Case.File) + ".dbf");
        WriteBytes(Name, RawDbf(0x83, Fields, {RawRecord(Fields, {Case.Stored, "1"})}, {},
                                Case.LanguageDriver));
        WriteBytes(Dir.filePath(QString::fromLatin1(Case.File) + ".dbt"), Db3Memo({Case.Stored}));
        if (Case.Cpg)
            WriteBytes(Dir.filePath(QString::fromLatin1(Case.File) + ".cpg"), Case.Cpg);
        TDbfTable Table(Name);
        EXPECT_EQ(Table.AsString(0, 0), QString::fromUtf8(Case.Read));
        EXPECT_EQ(Table.AsString(0, 1), QString::fromUtf8(Case.Read));
        if (!Case.Oracle) { // a character the code page cannot hold is refused, not dropped
            EXPECT_TRUE(Message([&] {
                            Table.SetValue(0, 0, QString::fromUtf8(Case.Written));
                        }).contains("cannot store"));
            continue;
        }
        Table.SetValue(0, 0, QString::fromUtf8(Case.Written));
        Table.SetValue(0, 1, QString::fromUtf8(Case.Written));
        Table.ApplyUpdates();
        EXPECT_EQ(ReadBytes(Name).mid(32 + 2 * 32 + 1 + 1, Case.WrittenBytes.size()),
                  Case.WrittenBytes);
        const QJsonArray Record = ReadWithDbfread(Name, QString::fromLatin1(Case.Oracle))["records"]
                                      .toArray()[0]
                                      .toArray();
        EXPECT_EQ(Record[0].toString(), QString::fromUtf8(Case.Written));
        EXPECT_EQ(Record[1].toString(), QString::fromUtf8(Case.Written));
        EXPECT_EQ(Table.AsString(0, 1), QString::fromUtf8(Case.Written));
        // Only an unmarked table we decided is UTF-8 gets a .cpg, which says so.
        const QByteArray Cpg = ReadBytes(Dir.filePath(QString::fromLatin1(Case.File) + ".cpg"));
        EXPECT_EQ(Cpg, Case.Cpg ? QByteArray(Case.Cpg)
                                : QByteArray(Case.Oracle == QByteArray("utf-8") ? "UTF-8" : ""));
    }
    // Unmarked, with more memo text than opening looks at: the first memos say UTF-8, a later one
    // that is no UTF-8 still reads as Windows-1252, and no .cpg then claims UTF-8 for the table.
    {
        std::vector<QByteArray> Memos(600, QByteArray(500, 'a'));
        Memos.push_back("caf\xE9");
        std::vector<QByteArray> Records;
        for (size_t i = 0; i < Memos.size(); ++i)
            Records.push_back(RawRecord(Fields, {"x", QByteArray::number(qsizetype(i) + 1)}));
        const QString Name = Dir.filePath("late.dbf");
        WriteBytes(Name, RawDbf(0x83, Fields, Records));
        WriteBytes(Dir.filePath("late.dbt"), Db3Memo(Memos));
        TDbfTable Table(Name);
        EXPECT_EQ(Table.AsString(600, 1), QStringLiteral("café"));
        Table.SetValue(0, 0, QStringLiteral("y"));
        Table.ApplyUpdates();
        EXPECT_FALSE(QFile::exists(Dir.filePath("late.cpg")));
    }
    // The names other programs write in .cpg files, as iconv knows them.
    for (const auto &[Cpg, CodePage] :
         std::vector<std::pair<QByteArray, QByteArray>>{{"UTF-8", "UTF-8"},
                                                        {"utf8\n", "UTF-8"},
                                                        {"1252", "CP1252"},
                                                        {"88595", "ISO-8859-5"},
                                                        {"8859_15", "ISO-8859-15"},
                                                        {"ANSI 1251", "CP1251"},
                                                        {"nonsense", ""}})
        EXPECT_EQ(TDbfCodec::CpgCodePage(Cpg), CodePage) << Cpg.toStdString();
}

TEST(TablesDbf, MemosOfDbaseThree)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"ID", 'N', 3}, {"NOTE", 'M', 10}};
    const QByteArray Long(700, 'x');
    WriteBytes(Dir.filePath("m3.dbf"),
               RawDbf(0x83, Fields,
                      {RawRecord(Fields, {"1", "1"}), RawRecord(Fields, {"2", "2"}),
                       RawRecord(Fields, {"3", ""}), RawRecord(Fields, {"4", "99"}),
                       RawRecord(Fields, {"5", "4"}), RawRecord(Fields, {"6", "5"}),
                       RawRecord(Fields, {"7", "6"})}));
    // A single 0x1A belongs to the text; one followed only by padding ends it, as some writers do;
    // a text without an end runs to the end of the file.
    WriteBytes(Dir.filePath("m3.dbt"), Db3Memo({"first", Long,
                                                "before\x1A"
                                                "after"}) +
                                           QByteArray("ended\x1A").leftJustified(512, '\0') +
                                           "no end");
    TDbfTable Three(Dir.filePath("m3.dbf"));
    EXPECT_EQ(Three.Value(0, 1).toString(), "first");
    EXPECT_EQ(Three.Value(1, 1).toString(), QString::fromLatin1(Long));
    EXPECT_TRUE(Three.IsNull(2, 1));
    EXPECT_TRUE(Three.IsNull(3, 1)); // a block past the end of the memo file
    EXPECT_EQ(Three.Value(4, 1).toString(), "before\x1A"
                                            "after");
    EXPECT_EQ(Three.Value(5, 1).toString(), "ended");
    EXPECT_EQ(Three.Value(6, 1).toString(), "no end");

    // Writing appends blocks; a text the 0x1A would end is refused.
    EXPECT_THROW(Three.SetValue(2, 1, QStringLiteral("cut \x1A here")),
                 EDatabaseError); // would end the text
    const QString Third =
        QString(600, QLatin1Char('m')) + QString::fromUtf8("ü"); // over two blocks
    Three.SetValue(2, 1, Third);
    Three.ApplyUpdates();
    const QByteArray Memo3 = ReadBytes(Dir.filePath("m3.dbt"));
    EXPECT_EQ(qFromLittleEndian<quint32>(Memo3.constData()),
              quint32((Memo3.size() + 511) / 512)); // the next free block
    const QJsonArray Records = ReadWithDbfread(Dir.filePath("m3.dbf"))["records"].toArray();
    ASSERT_EQ(Records.size(), 7);
    EXPECT_EQ(Records[2].toArray()[1].toString(), Third);
}

// Memos that refer past the end of the memo file (one cut short, a damaged reference) are told
// once at the open, with the memo file's name, and a copy can ask which they are; a memo file
// cut while the table is open is named in the error.
TEST(TablesDbf, MemosPastTheEndOfTheMemoFileAreToldNotReadSilentlyAsEmpty)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"ID", 'N', 3}, {"NOTE", 'M', 10}};
    const QString Name = Dir.filePath("notes.dbf"), Memo = Dir.filePath("notes.dbt");
    std::vector<QByteArray> Records;
    for (const char *Ref : {"1", "3", "", "9999999999", "2", "40", "7         "})
        Records.push_back(RawRecord(Fields, {"1", Ref}));
    // The fifth refers to block 2 past the end too, but it is deleted.
    WriteBytes(Name, RawDbf(0x83, Fields, Records, {false, false, false, false, true}));
    WriteBytes(Memo, Db3Memo({"first"}));
    {
        TDbfTable Table(Name);
        EXPECT_EQ(Table.Warning(),
                  QStringLiteral("The memo file \"%1\" is damaged: 4 memos of the table \"%2\" "
                                 "refer to places past its end and read as empty.")
                      .arg(Memo, Name));
        QString Ref;
        EXPECT_FALSE(Table.MemoPastEnd(0, 1, &Ref));
        EXPECT_TRUE(Table.MemoPastEnd(3, 1, &Ref));
        EXPECT_EQ(Ref, "9999999999");
        EXPECT_TRUE(Table.MemoPastEnd(5, 1, &Ref));
        EXPECT_EQ(Ref, "40");
        EXPECT_TRUE(Table.IsNull(5, 1));
        EXPECT_FALSE(Table.MemoPastEnd(2, 1) || Table.MemoPastEnd(5, 0));
        // A text put in its place is no loss.
        Table.SetValue(5, 1, QStringLiteral("new"));
        EXPECT_FALSE(Table.MemoPastEnd(5, 1));
    }
    // Counted by the first pass over the rows in order, a stretch at a time; what it has not
    // reached when the warning is asked for is counted then.
    Records.assign(3000, RawRecord(Fields, {"1", "1"}));
    Records[10] = Records[2500] = Records[2999] = RawRecord(Fields, {"1", "2"});
    std::vector<bool> Deleted(3000, false);
    Deleted[10] = true;
    WriteBytes(Name, RawDbf(0x83, Fields, Records, Deleted));
    for (const int Passed : {0, 1100, 3000}) {
        TDbfTable Table(Name);
        for (int Row = 0; Row < Passed; ++Row)
            Table.IsDeleted(Row);
        EXPECT_TRUE(Table.Warning().contains(": 2 memos of the table")) << Passed;
    }
    // References of every form, counted at a glance or the long way, agree with the reading of
    // each one on its own.
    std::mt19937 Random(20261207);
    const QByteArray Forms[] = {"%1",       "%1        ", "000000%1", QByteArray("\0\0\0\0\0\0\0%1", 9),
                                "!%1",      "%1%1%1%1%1%1%1%1%1%1%1"};
    for (QByteArray &Record : Records) {
        QByteArray Ref = QByteArray(Forms[Random() % 6]).replace("%1", QByteArray::number(int(Random() % 9)));
        if (Random() % 3 == 0)
            Ref.clear();
        Record = QByteArray(3, ' ') + Ref.rightJustified(10, ' ', true);
    }
    WriteBytes(Name, RawDbf(0x83, Fields, Records, Deleted));
    {
        TDbfTable Table(Name);
        int Past = 0;
        for (int Row = 0; Row < 3000; ++Row)
            Past += !Table.IsDeleted(Row) && Table.MemoPastEnd(Row, 1);
        ASSERT_GT(Past, 100);
        EXPECT_TRUE(Table.Warning().contains(QStringLiteral(": %1 memos of").arg(Past)))
            << Table.Warning().toStdString();
    }
    WriteBytes(Name, RawDbf(0x83, Fields, {RawRecord(Fields, {"1", "1"})}));
    EXPECT_EQ(TDbfTable(Name).Warning(), "");
    WriteBytes(
        Name, RawDbf(0x83, Fields, {RawRecord(Fields, {"1", "1"}), RawRecord(Fields, {"2", "2"})}));
    WriteBytes(Memo, Db3Memo({"first"}) + Db3Memo({QByteArray(9000, 'm')}).mid(512));
    EXPECT_EQ(TDbfTable(Name).Warning(), "");

    // Cut while open: the error names the memo file, not the table.
    TDbfTable Table(Name);
    ASSERT_TRUE(QFile::resize(Memo, 1024));
    const QString Error = Message([&] { Table.AsString(1, 1); });
    EXPECT_TRUE(Error.startsWith(QStringLiteral("The memo file \"%1\" was cut short").arg(Memo)))
        << Error.toStdString();
}

// dBASE IV: blocks of the memo header's size with a length prefix; an upper-case .DBT is found.
TEST(TablesDbf, DbaseFourMemoBlockSizeComesFromTheMemoHeader)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"NOTE", 'M', 10}};
    QByteArray Memo(64, '\0');
    qToLittleEndian<quint32>(3, Memo.data());
    qToLittleEndian<quint16>(64, Memo.data() + 20);
    Memo += QByteArray("\xFF\xFF\x08\x00\x0C\x00\x00\x00"
                       "f\x1Aur",
                       12)
                .leftJustified(64, '\0');
    Memo += QByteArray("\xFF\xFF\x08\x00\x0B\x00\x00\x00"
                       "two",
                       11)
                .leftJustified(64, '\0');
    WriteBytes(Dir.filePath("SMALL.DBF"),
               RawDbf(0x8B, Fields, {RawRecord(Fields, {"2"}), RawRecord(Fields, {"1"})}));
    WriteBytes(Dir.filePath("SMALL.DBT"), Memo);
    TDbfTable Table(Dir.filePath("SMALL.DBF"));
    EXPECT_EQ(Table.AsString(0, 0), "two");
    EXPECT_EQ(Table.AsString(1, 0), "f\x1Aur"); // the length says where a text ends
    Table.SetValue(0, 0, QStringLiteral("kept \x1A whole"));
    Table.ApplyUpdates();
    EXPECT_EQ(Table.AsString(0, 0), "kept \x1A whole");
    EXPECT_EQ(ReadBytes(Dir.filePath("SMALL.DBT")).size() % 64, 0);
    EXPECT_EQ(ReadBytes(Dir.filePath("SMALL.DBF")).mid(32 + 32 + 1 + 1, 10), "0000000003");
}

TEST(TablesDbf, DamagedFilesGiveAClearErrorOrTheRecordsThatAreThere)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("bad.dbf");
    const QByteArray Good = RawDbf(
        0x03, kPeople, {P("Anna", "42.5", "19800102", "T"), P("Bob", "7.0", "20240229", "F")});

    // A header that promises more than the file holds: the whole records that are there, and word
    // of it.
    auto Lie = [&](uint32_t Count, int RecordLength, qsizetype Size) {
        QByteArray Bytes = Good;
        qToLittleEndian<quint32>(Count, Bytes.data() + 4);
        if (RecordLength)
            qToLittleEndian<quint16>(quint16(RecordLength), Bytes.data() + 10);
        Bytes.resize(Size, '\0');
        return Bytes;
    };
    for (const auto &[Bytes, Rows, Promised] : std::vector<std::tuple<QByteArray, int, QString>>{
             {Lie(4000000000u, 0, Good.size()), 2, "4000000000"},
             {Lie(2, 0, Good.size() - 10), 1, "2"}, // cut inside the second record
             {Lie(2, 65535, Good.size()), 0, "2"},  // a record longer than the file
             {Lie(0xFFFFFFFFu, 0, Good.size() + 5000), 2,
              "4294967295"}}) { // a zeroed tail is no records
        WriteBytes(Name, Bytes);
        TDbfTable Table(Name);
        EXPECT_EQ(Table.RowCount(), Rows);
        EXPECT_EQ(Table.Warning(), QStringLiteral("The table \"%1\" is damaged: its header "
                                                  "promises %2 records, but only %3 could be read.")
                                       .arg(Name, Promised)
                                       .arg(Rows));
    }
    WriteBytes(Name, Good);
    EXPECT_EQ(TDbfTable(Name).Warning(), "");

    // Header damage and a missing memo file: refused with a message that says what is wrong.
    QByteArray LongHeader = Good;
    qToLittleEndian<quint16>(60000, LongHeader.data() + 8);
    QByteArray Narrow = Good;
    qToLittleEndian<quint16>(10, Narrow.data() + 10); // fields wider than the record
    for (const auto &[Bytes, Text] : std::vector<std::pair<QByteArray, const char *>>{
             {LongHeader, "damaged"},
             {Narrow, "damaged"},
             {RawDbf(0x03, {{"A", 'C', 0}}, {"", ""}), "width of 0"},
             {Good.left(20), "too short"},
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
    TDbfTable Table(Name);
    ASSERT_EQ(Table.AsString(2999, 0), "2999");
    Table.SetValue(0, 0, "changed");
    ASSERT_TRUE(QFile::resize(Name, 4096)); // reading what is gone: the fuzzer
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
    WriteBytes(Name, RawDbf(0x03, kPeople,
                            {P("Anna", "42.5", "19800102", "T"), P("Bob", "7.0", "20240229", "F"),
                             P("Cleo", "3.0", "20200101", "T")}));
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
    EXPECT_EQ(uint8_t(After[1]), QDate::currentDate().year() - 1900);
    EXPECT_EQ(After.size(), 161 + 4 * 25 + 1);
    EXPECT_EQ(After.back(), '\x1A');
    EXPECT_EQ(After.mid(161 + 25, 25), " " + P("Bobby", "8.2", "20240229", "F")); // in place
    EXPECT_EQ(After[161 + 50], '*');

    const QJsonObject Oracle = ReadWithDbfread(Name);
    EXPECT_EQ(Oracle["count"].toInt(), 4);
    EXPECT_EQ(Oracle["deleted"].toInt(), 1);
    const QJsonArray Records = Oracle["records"].toArray();
    ASSERT_EQ(Records.size(), 3);
    EXPECT_TRUE(Records[2].toArray()[1].isNull());
    EXPECT_EQ(Records[2].toArray()[2].toString(), "2001-09-11");
    EXPECT_EQ(Records[2].toArray()[3].toBool(), false);
    EXPECT_TRUE(Table.IsDeleted(2)); // row ids stay

    // Two holders of the table: once one has appended, the other's appended row would land on it.
    TDbfTable Other(Name);
    Table.SetValue(Table.AppendRow(), 0, QStringLiteral("Eve"));
    Table.ApplyUpdates();
    Other.SetValue(Other.AppendRow(), 0, QStringLiteral("Fay"));
    EXPECT_TRUE(Message([&] { Other.ApplyUpdates(); }).contains("changed by another program"));
    EXPECT_TRUE(Other.HasPendingChanges());
    EXPECT_EQ(TDbfTable(Name).AsString(4, 0), "Eve");
}

TEST(TablesDbf, ValuesThatDoNotFitAreRefusedAndAReplacedFileIsNotWritten)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("people.dbf");
    WriteBytes(Name, RawDbf(0x03, kPeople, {P("Anna", "42.5", "19800102", "T")}));
    TDbfTable Table(Name);
    // Each refused, also by one byte, character or year too many, never cut to fit.
    for (const auto &[Field, Value] :
         std::vector<std::pair<int, QVariant>>{{0, QStringLiteral("far too long a name")},
                                               {0, QStringLiteral("elevenbytes")},
                                               {1, 123456.0},
                                               {1, 1000.0},
                                               {1, QStringLiteral("many")},
                                               {2, QStringLiteral("not a date")},
                                               {2, QDate(10000, 1, 1)},
                                               {3, QStringLiteral("perhaps")}})
        EXPECT_THROW(Table.SetValue(0, Field, Value), EDatabaseError)
            << Value.toString().toStdString();
    EXPECT_FALSE(Table.HasPendingChanges());
    Table.SetValue(0, 1, QStringLiteral("-9.5"));
    EXPECT_EQ(Table.AsFloat(0, 1), -9.5);

    // A file that cannot be written keeps the changes: the dataset's batch update test.
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

TEST(TablesDbf, TypedReadsAgreeWithTheValues)
{
    // The filter's readers (numbers, dates and text without variants) against the values and an
    // independent reading of the stored text.
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"T", 'C', 8}, {"N", 'N', 20, 2}, {"D", 'D', 8}};
    const std::vector<std::pair<const char *, const char *>> Rows = {
        {"12345.67", "20100101"},
        {"-0.50", "20000229"},
        {"1,5", "19000229"},
        {".5", "00000000"},
        {"5.", "        "},
        {"+5", "20231301"},
        {"1e3", "00010101"},
        {"12345678901234567", "99991231"},
        {"0.1", "2023-1-1"},
        {"abc", "20231131"},
        {"", "19991231"},
        {"-", "18991230"},
        {"1.2.3", "18991229"},
        {"9007199254740993", "20240229"},
        {"0000000000.1", "21000229"}};
    std::vector<QByteArray> Records;
    for (size_t i = 0; i < Rows.size(); ++i)
        Records.push_back(RawRecord(
            Fields, {i % 3 ? "plain" : (i % 2 ? "caf\xE9" : ""), Rows[i].first, Rows[i].second}));
    const QString Name = Dir.filePath("typed.dbf");
    WriteBytes(Name, RawDbf(0x03, Fields, Records, {}, 0));
    TDbfTable Table(Name);
    for (int64_t Row = 0; Row < int64_t(Rows.size()); ++Row) {
        SCOPED_TRACE(Rows[size_t(Row)].first);
        bool Ok = false;
        const double Number = QByteArray(Rows[size_t(Row)].first).replace(',', '.').toDouble(&Ok);
        EXPECT_EQ(Table.IsNull(Row, 1), !Ok);
        EXPECT_EQ(Table.AsFloat(Row, 1), Ok ? Number : 0.0);
        const QByteArray Date(Rows[size_t(Row)].second);
        const QDate Expected(Date.left(4).toInt(), Date.mid(4, 2).toInt(), Date.mid(6, 2).toInt());
        double Serial = -1;
        ASSERT_TRUE(Table.AsDate(Row, 2, Serial));
        EXPECT_EQ(Serial, Date.contains('-') || !Expected.isValid() ? 0.0 : DateToSerial(Expected));
        QString Text = QStringLiteral("left over");
        ASSERT_TRUE(Table.ReadText(Row, 0, Text));
        EXPECT_EQ(Text, Table.AsString(Row, 0));
        EXPECT_EQ(Text.isNull(), Table.IsNull(Row, 0));
    }
    EXPECT_EQ(Table.AsString(3, 0), QStringLiteral("café")); // one byte decides Windows-1252
    // A pending value is the dataset's to read: the typed readers decline it.
    Table.SetValue(0, 2, QDate(2020, 5, 17));
    Table.SetValue(0, 0, QStringLiteral("edited"));
    double Serial = -1;
    QString Text;
    EXPECT_FALSE(Table.AsDate(0, 2, Serial));
    EXPECT_FALSE(Table.ReadText(0, 0, Text));
    EXPECT_FALSE(Table.AsDate(0, 1, Serial)); // not a date field
}

// The table and memo files written from field definitions, and the value conversions of a copy.

#include "dbforacle.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/dbf/dbfwriter.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <tuple>

using namespace qf::tables;

namespace {
// The header the writer must produce: today's date, no records, the fields as given, Windows-1252
// (the language of the tests' C locale).
QByteArray ExpectedHeader(uint8_t Version, const std::vector<TRawField> &Fields)
{
    QByteArray Bytes = RawDbf(Version, Fields, {}, {}, 0x03);
    const QDate Today = QDate::currentDate();
    Bytes[1] = char(Today.year() - 1900);
    Bytes[2] = char(Today.month());
    Bytes[3] = char(Today.day());
    return Bytes;
}
} // namespace

TEST(TablesWriter, MemoFileAndNames)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("notes.dbf");
    // A stale memo file of the same name goes; one of another table stays.
    WriteBytes(Dir.filePath("notes.dbt"), QByteArray(2048, 'x'));
    WriteBytes(Dir.filePath("other.dbt"), QByteArray(10, 'x'));
    WriteBytes(Dir.filePath("notes.cpg"), "CP866");
    // Upper-cased one character to one ("ß" stays), in the code page, then cut to 10 bytes.
    WriteDbfHeader(Name, {Def("averyveryLongName", dtC, 5), Def("Remark", dtM), Def("ok", dtL),
                          Def("äbc", dtC, 3), Def("straße12345", dtC, 3), Def("amount", dtN),
                          Def("Since", dtD)});
    const QByteArray Bytes = ReadBytes(Name);
    EXPECT_EQ(Bytes, ExpectedHeader(0x83, {{"AVERYVERYL", 'C', 5},
                                           {"REMARK", 'M', 10},
                                           {"OK", 'L', 1},
                                           {"\xC4"
                                            "BC",
                                            'C', 3},
                                           {"STRA\xDF"
                                            "E1234",
                                            'C', 3},
                                           {"AMOUNT", 'N', 15, 5},
                                           {"SINCE", 'D', 8}}));
    EXPECT_EQ(ReadBytes(Dir.filePath("notes.cpg")), "1252"); // whatever stood there
    QByteArray EmptyMemo(512, '\0');
    EmptyMemo[0] = 1; // the next free block
    EXPECT_EQ(ReadBytes(Dir.filePath("notes.dbt")), EmptyMemo);
    EXPECT_EQ(ReadBytes(Dir.filePath("other.dbt")).size(), 10);
    EXPECT_EQ(ReadWithDbfread(Name)["fields"].toArray()[4].toArray()[0].toString(),
              TDbfTable(Name).Fields()[4].Name); // our reader agrees

    // File names are case-sensitive: NOTES.DBF gets NOTES.DBT and leaves notes.dbf and notes.dbt
    // alone.
    WriteDbfHeader(Dir.filePath("NOTES.DBF"), {Def("Remark", dtM)});
    EXPECT_EQ(ReadBytes(Dir.filePath("NOTES.DBT")).size(), 512);
    EXPECT_EQ(ReadBytes(Name).size(), Bytes.size());
}

TEST(TablesWriter, RefusesDefinitionsThatMakeNoTable)
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("keep.dbf");
    WriteBytes(Name, "precious");
    // Equal once cut to ten characters, or equal without regard to case: nothing is touched.
    EXPECT_THROW(WriteDbfHeader(Name, {Def("Telephone1x", dtC, 5), Def("TELEPHONE1y", dtC, 5)}),
                 EDatabaseError);
    EXPECT_THROW(WriteDbfHeader(Name, {Def("a", dtC, 5), Def("A", dtN)}), EDatabaseError);
    EXPECT_THROW(WriteDbfHeader(Name, {Def("a", dtC, 0)}), EDatabaseError);
    EXPECT_THROW(WriteDbfHeader(Name, {Def("a", dtC, 256)}), EDatabaseError);
    EXPECT_THROW(WriteDbfHeader(Name, {}), EDatabaseError);
    EXPECT_EQ(ReadBytes(Name), "precious");
}

TEST(TablesWriter, ConversionTable)
{
    auto Source = [](TDbfType Kind, const QString &Text, double Float = 0, bool Boolean = false) {
        TDbfSourceValue V;
        V.Kind = Kind;
        V.Null = false;
        V.Text = Text;
        V.Float = V.DateTime = Float;
        V.Boolean = Boolean;
        return V;
    };
    const double March5 = DateToSerial(QDate(2004, 3, 5));
    // Null leaves every kind blank.
    for (TDbfType Target : {dtC, dtN, dtD, dtL, dtM})
        EXPECT_FALSE(ConvertDbfValue(Target, TDbfSourceValue{}).has_value());

    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtN, "", 2.5)), "2.5");
    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtN, "", 1.0 / 3)), "0.333333333333333");
    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtL, "", 0, true)), "T");
    EXPECT_EQ(ConvertDbfValue(dtM, Source(dtL, "", 0, false)), "False");
    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtD, "", March5)), "5 Mar 2004");
    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtD, "", March5 + 0.5)), "5 Mar 2004 12:00:00");

    EXPECT_EQ(ConvertDbfValue(dtN, Source(dtC, "2")), "2.00000");
    EXPECT_FALSE(ConvertDbfValue(dtN, Source(dtC, "abc")).has_value());
    EXPECT_EQ(ConvertDbfValue(dtN, Source(dtD, "", March5 + 0.25)), "38051.25000");
    EXPECT_EQ(ConvertDbfValue(dtN, Source(dtL, "", 0, true)), "1.00000");
    // Longer than the field: rounded to the decimals that fit, and said so when digits go; blank
    // when the whole number does not fit.
    for (const auto &[Value, Text, Rounded] : std::vector<std::tuple<double, const char *, bool>>{
             {1234567890123.5, "1234567890123.5", false},
             {-1234567890.25, "-1234567890.250", false},
             {12345678901234.9, "12345678901235", true},
             {12345678901234.1234, "12345678901234", true},
             {-99999999999999.9, nullptr, false},
             {1e15, nullptr, false}}) {
        bool WasRounded = !Rounded;
        EXPECT_EQ(ConvertDbfValue(dtN, Source(dtN, "", Value), &WasRounded),
                  Text ? std::optional<QString>(QString::fromLatin1(Text)) : std::nullopt);
        EXPECT_EQ(WasRounded, Rounded) << Value;
    }
    EXPECT_EQ(ConvertDbfValue(dtN, Source(dtC, "12345678901234.9")), "12345678901235");
    EXPECT_FALSE(ConvertDbfValue(dtN, Source(dtD, "", -1e15)).has_value());

    EXPECT_EQ(ConvertDbfValue(dtD, Source(dtN, "", March5)), "20040305");
    EXPECT_EQ(ConvertDbfValue(dtD, Source(dtL, "", 0, true)), "18991231");
    EXPECT_EQ(ConvertDbfValue(dtD, Source(dtC, "5 Mar 2004")), "20040305");
    EXPECT_FALSE(ConvertDbfValue(dtD, Source(dtC, "someday")).has_value());

    EXPECT_EQ(ConvertDbfValue(dtL, Source(dtC, "t")), "T");
    EXPECT_FALSE(ConvertDbfValue(dtL, Source(dtC, "yes")).has_value());
    EXPECT_EQ(ConvertDbfValue(dtL, Source(dtN, "", 0)), "F");
    EXPECT_FALSE(ConvertDbfValue(dtL, Source(dtD, "", March5)).has_value());

    LocaleGuard German(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(ConvertDbfValue(dtN, Source(dtC, "12,5")), "12.50000");
    EXPECT_EQ(ConvertDbfValue(dtC, Source(dtN, "", 12.5)), "12,5");
    EXPECT_EQ(ConvertDbfValue(dtD, Source(dtC, "05.03.2004")), "20040305");
}

TEST(TablesWriter, FormatDbfDate)
{
    EXPECT_EQ(FormatDbfDate(DateToSerial(QDate(2004, 3, 5)) + 0.75), "20040305");
    EXPECT_EQ(FormatDbfDate(0), "18991230");
    EXPECT_EQ(FormatDbfDate(-1.25), "18991229");
    EXPECT_EQ(FormatDbfDate(DateToSerial(QDate(812, 1, 9))), "08120109");
    EXPECT_EQ(FormatDbfDate(1e12), "        ");
}

TEST(TablesWriter, FieldPlacementAndNumbers)
{
    QByteArray C(5, ' ');
    PlaceDbfField(C.data(), dtC, 5, "abcdefgh");
    EXPECT_EQ(C, "abcde");
    QByteArray Utf(5, ' ');
    PlaceDbfField(Utf.data(), dtC, 5,
                  QString::fromUtf8("abcdé")); // é would be split: cut before it
    EXPECT_EQ(Utf, "abcd ");

    // A copied record: numbers right-aligned, memo references as zero-padded block numbers.
    QByteArray Record(15 + 10, ' ');
    PlaceDbfField(Record.data(), dtN, 15,
                  *ConvertDbfValue(dtN, TDbfSourceValue{dtN, false, {}, 2.0, 0, false}));
    PlaceDbfMemoRef(Record.data() + 15, 10, 2);
    EXPECT_EQ(Record, "        2.000000000000002");

    // Memo blocks: text and two 0x1A at each block boundary, the header's next free block.
    QTemporaryDir Dir;
    QFile Memo(Dir.filePath("memo.dbt"));
    ASSERT_TRUE(Memo.open(QIODevice::ReadWrite));
    EXPECT_EQ(AppendDbfMemo(Memo, "0123456789"), 1u);
    EXPECT_EQ(AppendDbfMemo(Memo, "abcdefghij"), 2u);
    UpdateDbfMemoHeader(Memo);
    Memo.close();
    const QByteArray MemoBytes = ReadBytes(Dir.filePath("memo.dbt"));
    EXPECT_EQ(MemoBytes.size(), 1036);
    EXPECT_EQ(qFromLittleEndian<quint32>(MemoBytes.constData()), 3u);
    EXPECT_EQ(MemoBytes.mid(1024), "abcdefghij\x1A\x1A");

    EXPECT_EQ(FormatDbfNumber(123456789.123456, 15, 5), QByteArray("123456789.12346"));
    EXPECT_EQ(FormatDbfNumber(123456789012345.0, 15, 5), QByteArray("123456789012345"));
    EXPECT_FALSE(FormatDbfNumber(-123456789012345.0, 15, 5).has_value());
}

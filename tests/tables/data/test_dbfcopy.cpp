// The copy of an open table into a new dBASE III file with another structure, read back by
// dbfread and by GDAL, and putting a new table in place of another by renames (their failures:
// the Save As tests).

#include "datasetfixture.h"
#include "ogroracle.h"
#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbfcopy.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/tablefiles.h"
#include "tables/data/tablequery.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

using namespace qf::store;
using namespace qf::tables;

namespace {
const std::vector<TRawField> kFields = {{"NAME", 'C', 12}, {"AMOUNT", 'N', 8, 2}, {"DUE", 'D', 8},
                                        {"PAID", 'L', 1},  {"NOTE", 'M', 10},     {"CODE", 'C', 6},
                                        {"WHEN", 'C', 10}, {"DROPME", 'C', 3}};

const QString kLongNote = QString::fromUtf8("Grüße ") + QString(600, QLatin1Char('n'));

class TablesCopy : public TDbfFolder {
protected:
    void SetUp() override
    {
        TDbfFolder::SetUp();
        const auto R = [](std::vector<QByteArray> Values) { return RawRecord(kFields, Values); };
        WriteBytes(Dir.filePath("src.dbf"),
                   RawDbf(0x83, kFields,
                          {R({"Smith", "10.50", "20040305", "T", "1", "12,5", "05.03.2004", "x"}),
                           R({"anna", "0.00", "", "F", "", "abc", "nope", "y"}),
                           R({"", "", "", "", "", "", "", ""}),
                           R({"Gone", "1.00", "20000101", "T", "", "1", "", ""}),
                           R({"Zoë Ünal", "-2.25", "19991231", "F", "2", "7", "2004-03-05", ""})},
                          {false, false, false, true, false}));
        QByteArray Memo(512, '\0');
        qToLittleEndian<quint32>(4, Memo.data());
        Memo += QByteArray("first note\x1A\x1A").leftJustified(512, '\0') + kLongNote.toUtf8() +
                "\x1A\x1A";
        WriteBytes(Dir.filePath("src.dbt"), Memo);
        WriteBytes(Dir.filePath("src.cpg"), "UTF-8");
        OpenTable(QStringLiteral("src.dbf"));
    }

    static TFieldDefRec From(const QString &Source, const QString &Name, TDbfType Kind,
                             int Size = 0)
    {
        TFieldDefRec Field = Def(Name, Kind, Size);
        Field.SourceName = Source;
        return Field;
    }
};
} // namespace

TEST_F(TablesCopy, RestructuredRecordsAsTheConversionTableSays)
{
    LocaleGuard German(QLocale(QLocale::German, QLocale::Germany));
    Query.Next(); // the copy reads through a clone: the cursor here stays on record 2
    // Renamed, resized, retyped, moved, one dropped (DROPME), two added (one bearing a source's
    // name).
    std::vector<TFieldDefRec> Defs = {
        From("NAME", "client", dtC, 4), From("AMOUNT", "AMOUNT", dtC, 10),
        From("CODE", "CODE", dtN),      From("PAID", "PAIDMEMO", dtM),
        From("DUE", "DUE", dtN),        From("WHEN", "WHEN", dtD),
        From("NOTE", "NOTE", dtC, 20),  From("", "ADDED", dtC, 5),
        From("AMOUNT", "AMT2", dtL),    From("NAME", "NAMEMEMO", dtM),
        From("", "paid", dtL)};
    TDbfCopy Copy;
    const QString Target = Dir.filePath("new.dbf");
    Copy.CopyToDbf(Target, Defs, &Query, false);
    EXPECT_EQ(Query.RecNo(), 2);
    EXPECT_EQ(Defs[10].SourceName, "paid");
    EXPECT_EQ(Copy.Copied(), 4);

    // Values that have no form in their new kind are blank, and reported with their records.
    // So are texts cut to a narrower character field (not the blanks that pad them), a long value
    // quoted by its start.
    EXPECT_EQ(Copy.ProblemCount(), 5);
    EXPECT_EQ(Copy.ProblemText().toStdString(),
              "5 values would not be copied whole:\n"
              "record 1, field CLIENT: \"Smith\" would be cut to \"Smit\"\n"
              "record 2, field CODE: \"abc\" does not convert to the field's type and would be "
              "left blank\n"
              "record 2, field WHEN: \"nope\" does not convert to the field's type and would be "
              "left blank\n"
              "record 4, field CLIENT: \"Zoë Ünal\" would be cut to \"Zoë\"\n"
              "record 4, field NOTE: \"" +
                  kLongNote.left(60).toStdString() + "…\" would be cut to \"" +
                  kLongNote.left(18).toStdString() + "\"");

    const QJsonObject Oracle = ReadWithDbfread(Target);
    EXPECT_EQ(Oracle["count"].toInt(), 4);
    QStringList Names;
    for (const QJsonValue &Field : Oracle["fields"].toArray())
        Names << Field.toArray()[0].toString() + Field.toArray()[1].toString();
    EXPECT_EQ(Names, QStringList({"CLIENTC", "AMOUNTC", "CODEN", "PAIDMEMOM", "DUEN", "WHEND",
                                  "NOTEC", "ADDEDC", "AMT2L", "NAMEMEMOM", "PAIDL"}));
    const QJsonValue N; // null
    const QJsonArray Expected = {
        QJsonArray{"Smit", QString::fromUtf8("10,5"), 12.5, "True", 38051.0, "2004-03-05",
                   "first note", N, true, "Smith", true},
        QJsonArray{"anna", "0", N, "False", N, N, N, N, false, "anna", false},
        QJsonArray{N, N, N, N, N, N, N, N, N, N, N},
        QJsonArray{QString::fromUtf8("Zoë"), "-2,25", 7.0, "False", 36525.0, "2004-03-05",
                   kLongNote.left(18), N, true, QString::fromUtf8("Zoë Ünal"), false}};
    // dbfread reads blank C fields as "" and blank M fields as "" or None; both are blanks here.
    QJsonArray Records = Oracle["records"].toArray();
    for (QJsonValueRef Record : Records) {
        QJsonArray Values = Record.toArray();
        for (QJsonValueRef Value : Values)
            if (Value.isString() && Value.toString().isEmpty())
                Value = QJsonValue();
        Record = Values;
    }
    EXPECT_EQ(Records, Expected) << QJsonDocument(Records).toJson().toStdString();

    // GDAL agrees on the table file (memo fields are references to it).
    const auto Gdal = ReadWithOgrinfo(Target);
    ASSERT_EQ(Gdal.size(), 4u);
    EXPECT_EQ(Gdal[0].value("DUE"), "38051.00000");
    EXPECT_EQ(Gdal[0].value("WHEN"), "2004/03/05");
    EXPECT_EQ(Gdal[0].value("PAIDMEMO"), "0000000001");
    EXPECT_TRUE(Gdal[2].isEmpty());
    EXPECT_EQ(Gdal[3].value("NOTE"), kLongNote.left(18));

    // Memo blocks: one per text, after the header block; the next free block is the file's end.
    const QByteArray Memo = ReadBytes(DbfMemoFileName(Target));
    EXPECT_EQ(qFromLittleEndian<quint32>(Memo.constData()), quint32((Memo.size() + 511) / 512));
}

TEST_F(TablesCopy, OptionsFilterSortAndNoData)
{
    Query.SetSort("NAME DESC");
    std::vector<TFieldDefRec> Defs = {From("NAME", "NAME", dtC, 12), From("AMOUNT", "AMOUNT", dtN)};
    TDbfCopy Copy;
    bool Removed = false;
    Copy.OnCopyOptions = [] { return TCopyOptions{true, true, true}; };
    Copy.OnPrepareFilter = [](TADOQuery &Records) {
        Records.OnFilterRecord = [](TADOQuery &Set, bool &Accept) {
            Accept = Set.FieldByName("AMOUNT").AsFloat() != 0;
        };
    };
    Copy.OnRemoveFilter = [&] { Removed = true; };
    const QString Target = Dir.filePath("some.dbf");
    Copy.CopyToDbf(Target, Defs, &Query, false);
    EXPECT_TRUE(Removed);
    QJsonArray Names;
    for (const QJsonValue &Record : ReadWithDbfread(Target)["records"].toArray())
        Names.append(Record.toArray()[0]);
    EXPECT_EQ(Names, QJsonArray({QString::fromUtf8("Zoë Ünal"), "Smith"}));
    EXPECT_FALSE(QFile::exists(DbfMemoFileName(Target)));

    // A filter that accepts nothing, and "Copy Data" unchecked: valid empty tables.
    Copy.OnPrepareFilter = [](TADOQuery &Records) {
        Records.OnFilterRecord = [](TADOQuery &, bool &Accept) { Accept = false; };
    };
    Copy.CopyToDbf(Target, Defs, &Query, false);
    EXPECT_EQ(ReadBytes(Target).right(2), "\x0D\x1A");
    Copy.OnCopyOptions = [] { return TCopyOptions{false, false, false}; };
    Copy.CopyToDbf(Target, Defs, &Query, false);
    EXPECT_EQ(ReadWithDbfread(Target)["count"].toInt(), 0);
    // Create mode writes the structure only.
    Copy.OnCopyOptions = nullptr;
    Copy.CopyToDbf(Target, Defs, &Query, true);
    EXPECT_EQ(ReadWithDbfread(Target)["count"].toInt(), 0);
    Copy.CopyToDbf(Target, Defs, &Query, false);
    EXPECT_EQ(ReadWithDbfread(Target)["count"].toInt(), 4);
}

TEST_F(TablesCopy, MemoFileThatCannotBeOpenedIsAnError)
{
    std::vector<TFieldDefRec> Defs = {From("NAME", "NAME", dtC, 12), From("NOTE", "NOTE", dtM)};
    TDbfCopy Copy;
    const QString Target = Dir.filePath("bad.dbf");
    // The memo file cannot be opened for the copy: an error naming it, not blank memos.
    Copy.OnCopyOptions = [&] {
        QFile::remove(DbfMemoFileName(Target));
        QDir(Dir.path()).mkdir("bad.dbt");
        return TCopyOptions();
    };
    const QString Error = Message([&] { Copy.CopyToDbf(Target, Defs, &Query, false); });
    EXPECT_TRUE(Error.contains("memo file") && Error.contains("bad.dbt")) << Error.toStdString();
    QDir(Dir.path()).rmdir("bad.dbt");
}

TEST(TablesReplace, RenamesAndPutsBack)
{
    QTemporaryDir Dir;
    const QString Target = Dir.filePath("t.dbf");
    WriteBytes(Target, "old table");
    WriteBytes(Dir.filePath("t.dbt"), "old memo");
    WriteBytes(Dir.filePath("t.cfg"), "old layout");
    const QString New = MakeTempTableName(Dir.path());
    WriteBytes(New, "new table");
    WriteBytes(Dir.filePath("tmp0.cpg"), "UTF-8");
    const QStringList Before = QDir(Dir.path()).entryList(QDir::Files);

    // Committed, then rolled back (the new table could not be opened): the old files again.
    {
        TTableReplace Replace(New, Target);
        Replace.Commit();
        EXPECT_EQ(ReadBytes(Target), "new table");
        EXPECT_FALSE(QFile::exists(Dir.filePath("t.dbt")));
        Replace.Rollback();
    }
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), Before);

    // Finished: the new table under the old name, the old memo and layout file gone.
    TTableReplace Replace(New, Target);
    Replace.Commit();
    EXPECT_EQ(Replace.Finish(), "");
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList({"t.cpg", "t.dbf"}));
    EXPECT_EQ(ReadBytes(Target), "new table");
}

// A new table takes the ANSI code page of the user's locale, with the header byte and the ".cpg"
// other programs read it by. dbfread (by the byte, or the ".cpg" where the byte is 0), GDAL (by
// the ".cpg") and LibreOffice (told the code page) read every value as it was written; text the
// code page cannot hold is refused. (GDAL drops the last character that glibc's Windows-1255 and
// 1258 hold back for a mark that could follow: those texts end in a full stop.)
TEST(TablesEncoding, NewTablesTakeTheLocaleCodePage)
{
    struct TCase {
        QLocale Locale;
        uint8_t Byte;
        const char *Cpg;
        int LibreOffice;
        const char *Text;
    };
    const TCase Cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), 0x03, "1252", 1, "Straße, Zoë € „x“"},
        {QLocale(QLocale::Serbian, QLocale::LatinScript, QLocale::Serbia), 0xC8, "1250", 33,
         "Đorđe Šćepanović"},
        {QLocale(QLocale::Russian, QLocale::Russia), 0xC9, "1251", 34, "Привет, мир"},
        {QLocale(QLocale::Hebrew, QLocale::Israel), 0x7D, "1255", 37, "שלום עולם."},
        {QLocale(QLocale::Lithuanian, QLocale::Lithuania), 0xCC, "1257", 39, "Ąžuolas ėčę"},
        {QLocale(QLocale::Vietnamese, QLocale::Vietnam), 0x00, "1258", 40, "Đông Hà."},
        {QLocale(QLocale::Thai, QLocale::Thailand), 0x7C, "874", 32, "สวัสดี"},
        {QLocale(QLocale::Japanese, QLocale::Japan), 0x00, "UTF-8", 76, "日本語 Straße"},
    };
    QTemporaryDir Dir;
    std::vector<std::pair<QString, int>> Written;
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(Case.Cpg);
        LocaleGuard Locale(Case.Locale);
        const QString Name = Dir.filePath(QStringLiteral("t%1.dbf").arg(Written.size()));
        std::vector<TFieldDefRec> Defs = {Def("NAME", dtC, 40), Def("NOTE", dtM)};
        TDbfCopy().CopyToDbf(Name, Defs, nullptr, true); // Create DBF
        EXPECT_EQ(uint8_t(ReadBytes(Name)[29]), Case.Byte) << Case.Cpg;
        EXPECT_EQ(ReadBytes(DbfCodePageFileName(Name)), Case.Cpg);

        TDbfTable Table(Name);
        const QString Text = QString::fromUtf8(Case.Text);
        const int64_t Row = Table.AppendRow();
        Table.SetValue(Row, 0, Text);
        Table.SetValue(Row, 1, Text + QStringLiteral(" memo"));
        // Text from another script than the locale's has no place in its code page.
        const QString Foreign = QString::fromUtf8(Case.Byte == 0xC9 ? "Straße" : "Привет");
        const QString Error = Message([&] { Table.ValidateValue(0, Foreign); });
        EXPECT_EQ(Error.isEmpty(), QByteArray(Case.Cpg) == "UTF-8") << Error.toStdString();
        EXPECT_TRUE(Error.isEmpty() || Error.contains(Case.Cpg)) << Error.toStdString();
        Table.ApplyUpdates();

        const QJsonArray Dbfread = ReadWithDbfread(Name)["records"].toArray();
        EXPECT_EQ(Dbfread, QJsonArray({QJsonArray{Text, Text + " memo"}})) << Case.Cpg;
        const auto Gdal = ReadWithOgrinfo(Name);
        ASSERT_EQ(Gdal.size(), 1u);
        EXPECT_EQ(Gdal[0].first(), Text); // NAME, which GDAL reads as NAM in Windows-1258
        Written.emplace_back(Name, Case.LibreOffice);
    }
    const auto Office = ReadWithLibreOffice(Written, Dir.path());
    for (size_t i = 0; i < Written.size(); ++i) {
        const QString Text = QString::fromUtf8(Cases[i].Text);
        EXPECT_EQ(Office[i], std::vector<QStringList>({{Text, Text + " memo"}})) << Cases[i].Cpg;
    }
}

// A copy of a dBASE table keeps its code page, byte and ".cpg"; a copy of an SQL result takes the
// locale's, and lists the values that code page cannot hold.
TEST_F(TablesCopy, CopiesKeepTheSourceEncodingOthersTakeTheLocale)
{
    LocaleGuard Russian(QLocale(QLocale::Russian, QLocale::Russia));
    // A number wider than the new field is rounded to fit, and listed.
    const std::vector<TRawField> Fields = {{"NAME", 'C', 20}, {"BIG", 'N', 19, 1}};
    WriteBytes(Dir.filePath("cz.dbf"),
               RawDbf(0x03, Fields,
                      {RawRecord(Fields, {"\x8Elu\x9Dou\xE8k\xFD", "12345678901234.9"})}, {},
                      0xC8));
    std::vector<TFieldDefRec> Defs = {From("NAME", "NAME", dtC, 20), From("BIG", "BIG", dtN)};
    struct TCase {
        const char *Source; // a table, or an SQL statement
        int Byte;
        const char *Cpg;
        QJsonArray Names;
        int64_t Problems;
    };
    for (const TCase &Case :
         {TCase{"src.dbf", 0, "UTF-8", {"Smith", "anna", "", QString::fromUtf8("Zoë Ünal")}, 0},
          TCase{"cz.dbf", 0xC8, "", {QString::fromUtf8("Žluťoučký")}, 1},
          TCase{"SELECT NAME FROM src WHERE DUE IS NOT NULL", 0xC9, "1251", {"Smith", ""}, 1}}) {
        SCOPED_TRACE(Case.Source);
        Query.Close();
        if (QByteArray(Case.Source).startsWith("SELECT"))
            Query.SQL = QString::fromLatin1(Case.Source);
        else
            ASSERT_TRUE(PrepareTableQuery(SQLSet, Query, QString::fromLatin1(Case.Source)));
        Query.Open();
        TDbfCopy Copy;
        const QString Target = Dir.filePath("copy.dbf");
        Copy.CopyToDbf(Target, Defs, &Query, false);
        EXPECT_EQ(uint8_t(ReadBytes(Target)[29]), Case.Byte);
        EXPECT_EQ(ReadBytes(DbfCodePageFileName(Target)), Case.Cpg);
        QJsonArray Names;
        for (const QJsonValue &Record : ReadWithDbfread(Target)["records"].toArray())
            Names.append(Record.toArray()[0]);
        EXPECT_EQ(Names, Case.Names);
        EXPECT_EQ(Copy.ProblemCount(), Case.Problems);
        const QString Listed = Case.Byte == 0xC8
                                   ? QStringLiteral("would be rounded to 12345678901235")
                                   : QString::fromUtf8("\"Zoë Ünal\" holds characters that the "
                                                       "code page WINDOWS-1251 cannot store");
        EXPECT_TRUE(Case.Problems == 0 || Copy.ProblemText().contains(Listed))
            << Copy.ProblemText().toStdString();
    }
}

// A write the disk stops short (a full disk, here a file size limit) gives the system's reason for
// the rest, not "Unknown error".
TEST_F(TablesCopy, FullDiskGivesTheSystemsReason)
{
    std::vector<TFieldDefRec> Defs = {From("NAME", "NAME", dtC, 12), From("NOTE", "NOTE", dtM)};
    TDbfCopy Copy;
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Old{};
    getrlimit(RLIMIT_FSIZE, &Old);
    rlimit Limit = Old;
    Limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &Limit);
    const QString Error =
        Message([&] { Copy.CopyToDbf(Dir.filePath("f.dbf"), Defs, &Query, false); });
    setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldHandler);
    EXPECT_TRUE(Error.contains("f.dbt") && Error.contains("File too large")) << Error.toStdString();
}

// The copy of an open table into a new dBASE III file with another structure, read back by
// dbfread and by GDAL, and putting a new table in place of another by renames (their failures:
// the Save As tests).

#include "datasetfixture.h"
#include "ogroracle.h"
#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbfcopy.h"
#include "tables/data/tablefiles.h"
#include "tables/data/tablequery.h"

#include <QDir>
#include <QTemporaryDir>

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
    // So are texts cut to a narrower character field (not the blanks that pad them).
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
                  kLongNote.toStdString() + "\" would be cut to \"" +
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
    EXPECT_EQ(Gdal[0].value("CLIENT"), "Smit");
    EXPECT_EQ(Gdal[0].value("CODE").toDouble(), 12.5);
    EXPECT_EQ(Gdal[0].value("DUE"), "38051.00000");
    EXPECT_EQ(Gdal[0].value("WHEN"), "2004/03/05");
    EXPECT_EQ(Gdal[0].value("PAIDMEMO"), "0000000001");
    EXPECT_EQ(Gdal[1].keys(),
              QStringList({"AMOUNT", "AMT2", "CLIENT", "NAMEMEMO", "PAID", "PAIDMEMO"}));
    EXPECT_TRUE(Gdal[2].isEmpty());
    EXPECT_EQ(Gdal[3].value("CLIENT"), QString::fromUtf8("Zoë"));
    EXPECT_EQ(Gdal[3].value("NOTE"), kLongNote.left(18));
    EXPECT_EQ(Gdal[3].value("AMT2"), "T");
    EXPECT_EQ(Gdal[3].value("PAID"), "F");

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
    EXPECT_EQ(ReadWithDbfread(Target)["count"].toInt(), 0);
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
    EXPECT_EQ(QFileInfo(New).fileName(), "tmp0.dbf");
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

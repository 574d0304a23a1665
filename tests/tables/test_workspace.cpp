// The table workspace without a window: the roads into a table, the open and close events in
// their order, Reopen, the sort, and the grid layout file against bytes built from its format.

#include "dbforacle.h"
#include "tables/workspace.h"
#include "workspacefixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qf::tables;
using namespace layouttest;

namespace {

class TablesWorkspace : public TSampleWorkspace {
protected:
    void SetUp() override
    {
        TSampleWorkspace::SetUp();
        Cfg = Dir.filePath("contacts.cfg");
    }
    QStringList Column(int Field, int Rows = 5)
    {
        QStringList Values;
        for (int i = 0; i < Rows; ++i)
            Values << W.ADOQuery1().RowText(i, Field);
        return Values;
    }

    QString Cfg;
};

const QStringList kPick = {"Ada", "Émile"};

// The layout file of the open table's field records as the format's table lays it out.
QByteArray ExpectedLayout(const QString &Sort, bool Descending,
                          const std::vector<TFieldEditInfo> &Fields)
{
    TLayoutBytes B;
    B.Str(Sort).Flag(Descending).Int(qint32(Fields.size()));
    for (size_t i = 0; i < Fields.size(); ++i) {
        const TFieldEditInfo &F = Fields[i];
        B.Entry(kSampleFields[int(i)], F.EditWidth, F.Template, F.Autocomplete, F.GridWidth,
                HasPickList(F.Kind) ? &F.PickList : nullptr);
    }
    return B.Bytes();
}

} // namespace

TEST_F(TablesWorkspace, LayoutFileWrittenOnCloseAndReadOnOpen)
{
    W.OpenDBFFile(Table);
    ASSERT_TRUE(W.Active());
    EXPECT_EQ(W.TableName, "contacts.dbf");
    EXPECT_EQ(W.DataBaseDir, Dir.path() + "/");
    EXPECT_FALSE(QFile::exists(Cfg)); // never opened before: defaults, no sort
    EXPECT_EQ(W.ADOQuery1().Sort(), "");

    ASSERT_TRUE(W.TitleClick(1));
    W.ToggleDescended();
    EXPECT_EQ(W.ADOQuery1().Sort(), "LASTNAME DESC");
    W.FieldInfo[0].Template = W.FieldInfo[0].Autocomplete = 1;
    W.FieldInfo[0].PickList = kPick;
    W.FieldInfo[4].PickList = QStringList{"12.5"};
    W.GetColumnWidth = [](int Column) { return 70 + 10 * Column; };
    std::vector<TFieldEditInfo> Fields = W.FieldInfo;
    for (size_t i = 0; i < Fields.size(); ++i)
        Fields[i].GridWidth = 70 + 10 * int(i);
    ASSERT_EQ(Fields.size(), 8u);
    W.Close();
    EXPECT_EQ(W.TableName, "");
    EXPECT_TRUE(W.FieldInfo.empty());
    EXPECT_EQ(ReadBytes(Cfg), ExpectedLayout("LASTNAME", true, Fields));

    // Opened again, the table takes everything back from the file.
    std::vector<std::pair<int, int>> Widths;
    W.SetColumnWidth = [&](int Column, int Width) { Widths.emplace_back(Column, Width); };
    W.OpenDBFFile(Table);
    EXPECT_EQ(W.FSortField, "LASTNAME");
    EXPECT_TRUE(W.Descended);
    EXPECT_EQ(W.ADOQuery1().Sort(), "LASTNAME DESC");
    EXPECT_EQ(W.FieldInfo[0].PickList, kPick);
    EXPECT_EQ(W.FieldInfo[0].Template, 1);
    EXPECT_EQ(W.FieldInfo[4].PickList, QStringList{"12.5"});
    EXPECT_EQ(Widths.size(), 8u);
    EXPECT_EQ(Widths.back(), std::make_pair(7, 140));
    QStringList Names = Column(1, 300);
    EXPECT_TRUE(
        std::is_sorted(Names.rbegin(), Names.rend(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        }));

    // Unsorted and closed: no sort name; the "Descended" tick stays as it was.
    W.Unsort();
    W.GetColumnWidth = nullptr;
    W.Close();
    const QByteArray Unsorted = ReadBytes(Cfg);
    EXPECT_EQ(Unsorted.left(5), QByteArray(4, '\0') + '\1');
}

TEST_F(TablesWorkspace, LoaderChecksStopAsTheFormatSays)
{
    const QStringList None;
    W.OpenDBFFile(Table); // no layout file yet: the field records' defaults
    const std::vector<TFieldEditInfo> Defaults = W.FieldInfo;
    auto Load = [&](const QByteArray &Bytes) {
        W.Close();
        WriteBytes(Cfg, Bytes);
        W.OpenDBFFile(Table);
    };
    // A sort name of 12 bytes: the whole file is ignored.
    TLayoutBytes Long;
    Long.Str("ABCDEFGHIJKL").Flag(true).Int(8).Entry("FIRSTNAME", 33, true, true, 77, &kPick);
    Load(Long.Bytes());
    EXPECT_EQ(W.FSortField, "");
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);
    EXPECT_EQ(W.FieldInfo[0].PickList, Defaults[0].PickList);

    // Another field count: only the sort and the descending flag are taken.
    TLayoutBytes Count;
    Count.Str("CITY").Flag(true).Int(9).Entry("FIRSTNAME", 33, true, true, 77, &kPick);
    Load(Count.Bytes());
    EXPECT_EQ(W.FSortField, "CITY");
    EXPECT_TRUE(W.Descended);
    EXPECT_EQ(W.ADOQuery1().Sort(), "CITY DESC");
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);

    // Two swapped entries keep their defaults; the entries after them still load (names match
    // without regard to case); a pick list of 50 loads; 51 stops the load at that field.
    QStringList Fifty, FiftyOne;
    for (int i = 0; i < 51; ++i)
        (i < 50 ? Fifty : FiftyOne) << QString::number(i);
    FiftyOne = Fifty + QStringList{"50"};
    TLayoutBytes Swap;
    Swap.Str("").Flag(false).Int(8);
    Swap.Entry("LASTNAME", 21, true, false, 50, &kPick)
        .Entry("FIRSTNAME", 22, true, false, 50, &kPick);
    Swap.Entry("email", 23, false, true, 60, &Fifty).Entry("CITY", 0, true, false, -5, &FiftyOne);
    Swap.Entry("AMOUNT", 25, true, true, 70, &None);
    Load(Swap.Bytes());
    EXPECT_EQ(W.FSortField, "");
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);
    EXPECT_EQ(W.FieldInfo[1].Template, 0);
    EXPECT_EQ(W.FieldInfo[2].EditWidth, 23);
    EXPECT_EQ(W.FieldInfo[2].Autocomplete, 1);
    EXPECT_EQ(W.FieldInfo[2].PickList, Fifty);
    EXPECT_EQ(W.FieldInfo[3].EditWidth, Defaults[3].EditWidth); // 0 is no width
    EXPECT_EQ(W.FieldInfo[3].Template, 1); // read before the count that stops the load
    EXPECT_EQ(W.FieldInfo[3].GridWidth, 0);
    EXPECT_EQ(W.FieldInfo[3].PickList, Defaults[3].PickList);
    EXPECT_EQ(W.FieldInfo[4].EditWidth, Defaults[4].EditWidth);

    // A sort field the table does not have (a column removed since) is dropped, not an error.
    TLayoutBytes Gone;
    Gone.Str("PHONE").Flag(false).Int(0);
    Load(Gone.Bytes());
    EXPECT_TRUE(W.Active());
    EXPECT_EQ(W.FSortField, "");
    EXPECT_EQ(W.ADOQuery1().Sort(), "");
}

TEST_F(TablesWorkspace, RoadsEventsAndTheLayoutOfTheRightFolder)
{
    QStringList Events;
    W.OnOpening = [&] { Events << "opening:" + W.TableName; };
    W.OnFieldRecordsBuilt = [&] { Events << QString("built:%1").arg(W.FieldInfo.size()); };
    W.OnOpened = [&] { Events << QString("opened:%1").arg(W.FieldInfo[0].EditWidth == 12); };
    W.OnClosed = [&] {
        Events << QString("closed:%1:%2").arg(W.TableName).arg(QFile::exists(Cfg));
    };
    W.OnFieldRecordsFreed = [&] { Events << QString("freed:%1").arg(W.FieldInfo.size()); };
    W.OnSelectTable = [&](const QStringList &, QString &) { return false; };
    WriteBytes(Cfg, TLayoutBytes()
                        .Str("")
                        .Flag(false)
                        .Int(8)
                        .Entry("FIRSTNAME", 12, false, false, 0, &kPick)
                        .Bytes());

    // Capitals in the extension take the dBASE road; the name stays as chosen.
    ASSERT_TRUE(QFile::rename(Table, Dir.filePath("Contacts.DBF")));
    ASSERT_TRUE(QFile::rename(Dir.filePath("contacts.dbt"), Dir.filePath("Contacts.DBT")));
    ASSERT_TRUE(QFile::rename(Cfg, Dir.filePath("Contacts.cfg")));
    Cfg = Dir.filePath("Contacts.cfg");
    EXPECT_FALSE(W.OpenFile(Dir.filePath("Contacts.txt")));
    EXPECT_FALSE(W.Active());
    ASSERT_TRUE(W.OpenFile(Dir.filePath("Contacts.DBF")));
    EXPECT_EQ(W.TableName, "Contacts.DBF");
    EXPECT_EQ(Events, (QStringList{"opening:Contacts.DBF", "built:8", "opened:1"}));

    // A table of another folder: the open table's layout goes beside it, not into the new folder.
    QTemporaryDir Other;
    const QString OtherTable = CopySample(Other.path(), "other");
    QFile::remove(Cfg);
    Events.clear();
    W.OpenDBFFile(OtherTable);
    EXPECT_EQ(Events,
              (QStringList{"closed::1", "freed:0", "opening:other.dbf", "built:8", "opened:0"}));
    EXPECT_FALSE(QFile::exists(Other.filePath("Contacts.cfg")));
    EXPECT_EQ(W.DataBaseDir, Other.path() + "/");

    // An SQL result has no layout file.
    W.SqlQueryMode = 1;
    EXPECT_EQ(W.GridConfigFile(), "");
    W.SqlQueryMode = 0;

    // Not a table: the open fails with the layer's message and leaves nothing open.
    WriteBytes(Dir.filePath("broken.dbf"), "not a table");
    EXPECT_FALSE(Message([&] { W.OpenDBFFile(Dir.filePath("broken.dbf")); }).isEmpty());
    EXPECT_FALSE(W.Active());
}

TEST_F(TablesWorkspace, ReopenKeepsWhatIsInMemoryAndReportsAnUnwritableLayoutOnce)
{
    QStringList Errors;
    W.OnWriteError = [&](const QString &Message) { Errors << Message; };
    int Column = 3, Restored = -1;
    W.GetCurrentColumn = [&] { return Column; };
    W.SetCurrentColumn = [&](int Value) { Restored = Value; };
    W.OpenDBFFile(Table);
    // The layout file cannot be written: a folder stands in its way.
    ASSERT_TRUE(QDir().mkpath(Cfg));
    W.TitleClick(3);
    W.ToggleDescended();
    W.FieldInfo[2].Template = 1;
    W.FieldInfo[2].Autocomplete = 1;
    W.FieldInfo[2].PickList = QStringList{"x@example.org"};
    W.Reopen();
    W.Reopen();
    EXPECT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors.value(0).contains("contacts.dbf")) << Errors.value(0).toStdString();
    EXPECT_EQ(W.TableName, "contacts.dbf");
    EXPECT_EQ(W.ADOQuery1().Sort(), "CITY DESC");
    EXPECT_EQ(W.FSorted, 1);
    EXPECT_EQ(W.FieldInfo[2].Template, 1);
    EXPECT_EQ(W.FieldInfo[2].Autocomplete, 1);
    EXPECT_EQ(W.FieldInfo[2].PickList, QStringList{"x@example.org"});
    EXPECT_EQ(Restored, 3);
}

TEST(TablesSample, GeneratorMakesTheShippedTableWhichDbfreadReads)
{
    QTemporaryDir Dir;
    QProcess Make;
    Make.start(QStringLiteral(QF_MAKE_SAMPLE), {Dir.path()});
    ASSERT_TRUE(Make.waitForFinished(60000));
    ASSERT_EQ(Make.exitCode(), 0) << Make.readAllStandardError().toStdString();
    for (const char *Name : {"contacts.dbf", "contacts.dbt"})
        EXPECT_EQ(ReadBytes(Dir.filePath(Name)), ReadBytes(QDir(QF_SAMPLE_DIR).filePath(Name)))
            << Name;

    const QJsonObject Read = ReadWithDbfread(QDir(QF_SAMPLE_DIR).filePath("contacts.dbf"));
    const QJsonArray Records = Read["records"].toArray();
    EXPECT_GE(Records.size(), 200);
    int Memos = 0;
    for (const QJsonValue &Record : Records) {
        const QJsonArray R = Record.toArray();
        EXPECT_TRUE(R[2].toString().endsWith("@example.org"));
        EXPECT_FALSE(R[0].toString().isEmpty());
        Memos += !R[7].toString().isEmpty();
    }
    EXPECT_GT(Memos, 50);
}

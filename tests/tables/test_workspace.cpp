// The table workspace without a window: the roads into a table, the open and close events in
// their order, Reopen, the sort, and the grid layout file against bytes built from its format.

#include "dbforacle.h"
#include "workspacefixture.h"

#include <QDir>

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
    // The layout file replaced by Bytes, and the table opened again.
    void Load(const QByteArray &Bytes)
    {
        W.Close();
        WriteBytes(Cfg, Bytes);
        W.OpenDBFFile(Table);
    }
    QString Cfg;
};

const QStringList kPick = {"Ada", "Émile"};

} // namespace

TEST_F(TablesWorkspace, LayoutFileWrittenOnCloseAndReadOnOpen)
{
    W.OpenDBFFile(Table);
    ASSERT_TRUE(W.Active());
    EXPECT_FALSE(QFile::exists(Cfg)); // never opened before: defaults, no sort
    ASSERT_TRUE(W.TitleClick(1));
    W.ToggleDescended();
    EXPECT_EQ(W.ADOQuery1().Sort(), "LASTNAME DESC");
    W.FieldInfo[0].Template = W.FieldInfo[0].Autocomplete = 1;
    W.FieldInfo[0].PickList = kPick;
    W.GetColumnWidth = [](int Column) { return 70 + 10 * Column; };
    TLayoutBytes Expected;
    Expected.Str("LASTNAME").Flag(true).Int(8);
    for (int i = 0; i < 8; ++i) {
        const TFieldEditInfo &F = W.FieldInfo[size_t(i)];
        Expected.Entry(W.ADOQuery1().Fields(i).FieldName(), F.EditWidth, F.Template, F.Autocomplete,
                       70 + 10 * i, HasPickList(F.Kind) ? &F.PickList : nullptr);
    }
    W.Close();
    EXPECT_TRUE(W.FieldInfo.empty());
    EXPECT_EQ(ReadBytes(Cfg), Expected.Bytes());

    // Opened again, the table takes everything back from the file.
    std::vector<std::pair<int, int>> Widths;
    W.SetColumnWidth = [&](int Column, int Width) { Widths.emplace_back(Column, Width); };
    W.OpenDBFFile(Table);
    EXPECT_EQ(W.ADOQuery1().Sort(), "LASTNAME DESC");
    EXPECT_EQ(W.FieldInfo[0].PickList, kPick);
    EXPECT_EQ(W.FieldInfo[0].Template, 1);
    EXPECT_EQ(Widths.size(), 8u);
    EXPECT_EQ(Widths.back(), std::make_pair(7, 140));

    // Unsorted and closed: no sort name; the "Descended" tick stays as it was.
    W.Unsort();
    W.Close();
    EXPECT_EQ(ReadBytes(Cfg).left(5), QByteArray(4, '\0') + '\1');
}

TEST_F(TablesWorkspace, LoaderChecksStopAsTheFormatSays)
{
    W.OpenDBFFile(Table); // no layout file yet: the field records' defaults
    const std::vector<TFieldEditInfo> Defaults = W.FieldInfo;
    // A sort name of 12 bytes: the whole file is ignored.
    Load(TLayoutBytes()
             .Str("ABCDEFGHIJKL")
             .Flag(1)
             .Int(8)
             .Entry("FIRSTNAME", 33, 1, 1, 77, &kPick)
             .Bytes());
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);
    // Another field count: only the sort and the descending flag are taken.
    Load(TLayoutBytes()
             .Str("CITY")
             .Flag(true)
             .Int(9)
             .Entry("FIRSTNAME", 33, 1, 1, 77, &kPick)
             .Bytes());
    EXPECT_EQ(W.ADOQuery1().Sort(), "CITY DESC");
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);

    // Two swapped entries keep their defaults; the entries after them still load (names match
    // without regard to case); a pick list of 50 loads; 51 stops the load at that field.
    QStringList Fifty;
    for (int i = 0; i < 50; ++i)
        Fifty << QString::number(i);
    const QStringList FiftyOne = Fifty + QStringList{"50"};
    Load(TLayoutBytes()
             .Str("")
             .Flag(false)
             .Int(8)
             .Entry("LASTNAME", 21, true, false, 50, &kPick)
             .Entry("FIRSTNAME", 22, true, false, 50, &kPick)
             .Entry("email", 23, false, true, 60, &Fifty)
             .Entry("CITY", 0, true, false, -5, &FiftyOne)
             .Entry("AMOUNT", 25, true, true, 70, &Fifty)
             .Bytes());
    EXPECT_EQ(W.FieldInfo[0].EditWidth, Defaults[0].EditWidth);
    EXPECT_EQ(W.FieldInfo[2].EditWidth, 23);
    EXPECT_EQ(W.FieldInfo[2].PickList, Fifty);
    EXPECT_EQ(W.FieldInfo[3].EditWidth, Defaults[3].EditWidth); // 0 is no width
    EXPECT_EQ(W.FieldInfo[3].Template, 1); // read before the count that stops the load
    EXPECT_EQ(W.FieldInfo[3].GridWidth, 0);
    EXPECT_EQ(W.FieldInfo[3].PickList, Defaults[3].PickList);
    EXPECT_EQ(W.FieldInfo[4].EditWidth, Defaults[4].EditWidth);

    // A sort field the table does not have (a column removed since) is dropped, not an error.
    Load(TLayoutBytes().Str("PHONE").Flag(false).Int(0).Bytes());
    EXPECT_TRUE(W.Active());
    EXPECT_EQ(W.FSortField, "");
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

    // Capitals in the extension take the dBASE road; the name stays as chosen.
    ASSERT_TRUE(QFile::rename(Table, Dir.filePath("Contacts.DBF")));
    ASSERT_TRUE(QFile::rename(Dir.filePath("contacts.dbt"), Dir.filePath("Contacts.DBT")));
    Cfg = Dir.filePath("Contacts.cfg");
    WriteBytes(
        Cfg,
        TLayoutBytes().Str("").Flag(false).Int(8).Entry("FIRSTNAME", 12, 0, 0, 0, &kPick).Bytes());
    EXPECT_FALSE(W.OpenFile(Dir.filePath("Contacts.txt")));
    ASSERT_TRUE(W.OpenFile(Dir.filePath("Contacts.DBF")));
    EXPECT_EQ(Events, (QStringList{"opening:Contacts.DBF", "built:8", "opened:1"}));

    // A table of another folder: the open table's layout goes beside it, not into the new folder.
    QTemporaryDir Other;
    QFile::remove(Cfg);
    Events.clear();
    W.OpenDBFFile(CopySample(Other.path(), "other"));
    EXPECT_EQ(Events,
              (QStringList{"closed::1", "freed:0", "opening:other.dbf", "built:8", "opened:0"}));
    EXPECT_FALSE(QFile::exists(Other.filePath("Contacts.cfg")));
    EXPECT_EQ(W.DataBaseDir, Other.path() + "/");
    W.SqlQueryMode = 1; // an SQL result has no layout file
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
    int Restored = -1;
    W.GetCurrentColumn = [] { return 3; };
    W.SetCurrentColumn = [&](int Value) { Restored = Value; };
    W.OpenDBFFile(Table);
    ASSERT_TRUE(QDir().mkpath(Cfg)); // a folder stands in the layout file's way
    W.TitleClick(3);
    W.ToggleDescended();
    W.FieldInfo[2].Template = W.FieldInfo[2].Autocomplete = 1;
    W.FieldInfo[2].PickList = QStringList{"x@example.org"};
    W.Reopen();
    W.Reopen();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("contacts.dbf")) << Errors[0].toStdString();
    EXPECT_EQ(W.ADOQuery1().Sort(), "CITY DESC");
    EXPECT_EQ(W.FieldInfo[2].Template, 1);
    EXPECT_EQ(W.FieldInfo[2].Autocomplete, 1);
    EXPECT_EQ(W.FieldInfo[2].PickList, QStringList{"x@example.org"});
    EXPECT_EQ(Restored, 3);
}

// The field records, the record commands and Execute SQL over real .dbf files in a workspace,
// without a window; python3-dbfread reads the files back.

#include "recordfixture.h"
#include "tables/fieldinfo.h"
#include "tables/recordcommands.h"
#include "tables/sqlstatement.h"

using namespace qf::tables;

namespace {

class Records : public ::testing::Test {
protected:
    void Open(const QString &Values)
    {
        MakePeople(Dir.path(), Values);
        W.RecordCommands().OnError = [this](const QString &M) { Errors << M; };
        W.OpenDBFFile(File());
    }
    QString File() const { return Dir.filePath("people.dbf"); }
    TRecordCommands &C() { return W.RecordCommands(); }
    TADOQuery &Q() { return W.ADOQuery1(); }
    QTemporaryDir Dir;
    TTableWorkspace W;
    QStringList Errors;
};

TEST_F(Records, FieldRecordsAndPickListsFromTheFirstFiftyRecords)
{
    QStringList Rows;
    for (int i = 1; i <= 70; ++i)
        Rows << QStringLiteral("('Name %1', '', %2, NULL, NULL, NULL)")
                    .arg(i)
                    .arg(i <= 2 ? "NULL" : "1.5");
    Rows << "('Longer than ten xx', 'X', 2, '2024-03-01', 1, 'm')";
    Open(Rows.join(','));
    ASSERT_EQ(W.FieldInfo.size(), 6u);
    const TFieldEditInfo &Name = W.FieldInfo[0], &City = W.FieldInfo[1], &Amount = W.FieldInfo[2];
    EXPECT_EQ(Name.Kind, dtC);
    EXPECT_EQ(W.FieldInfo[3].Kind, dtD);
    EXPECT_EQ(W.FieldInfo[4].Kind, dtL);
    EXPECT_EQ(W.FieldInfo[5].Kind, dtM);
    // Names of the first 50 records in record order; the 71st record's long name is not seen.
    ASSERT_EQ(Name.PickList.size(), 50);
    EXPECT_EQ(Name.PickList.first(), "Name 1");
    EXPECT_EQ(Name.PickList.last(), "Name 50");
    EXPECT_EQ(Name.EditWidth, 10);
    // Empty texts stay out of a C list; a null number enters an N list as "0", once.
    EXPECT_TRUE(City.PickList.isEmpty());
    EXPECT_EQ(City.EditWidth, 10); // size 12, bounded to 10
    EXPECT_EQ(Amount.PickList, QStringList({"0", FloatToStr(1.5)}));
    EXPECT_EQ(Amount.Autocomplete, 1);
    EXPECT_EQ(W.FieldInfo[4].Autocomplete, 0);
    EXPECT_EQ(W.FieldInfo[4].EditWidth, 8); // MEMBER plus 2
    EXPECT_EQ(W.FieldInfo[5].EditWidth, 40);
    EXPECT_EQ(Q().RecNo(), 1);
}

TEST_F(Records, PostWritesTheFileAndPutsNewValuesOnTopOfThePickList)
{
    QStringList Rows;
    for (int i = 1; i <= 50; ++i)
        Rows << QStringLiteral("('N%1', 'Oslo', 1, NULL, 0, NULL)").arg(i);
    Open(Rows.join(','));
    Q().Edit();
    Q().FieldByName("NAME").SetAsString("N7"); // already listed: the list stays
    Q().Post();
    EXPECT_EQ(W.FieldInfo[0].PickList.first(), "N1");
    Q().Edit();
    Q().FieldByName("NAME").SetAsString("A new name of twenty");
    Q().FieldByName("MEMBER").Clear();
    Q().Post();
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    EXPECT_EQ(W.FieldInfo[0].PickList.first(), "A new name of twenty");
    EXPECT_EQ(W.FieldInfo[0].PickList.size(), 50);
    EXPECT_FALSE(W.FieldInfo[0].PickList.contains("N50"));
    EXPECT_EQ(W.FieldInfo[0].EditWidth, 20);
    const QJsonArray Stored = StoredRecords(File());
    EXPECT_EQ(Stored[0].toArray()[0].toString(), "A new name of twenty");
    EXPECT_EQ(Stored[0].toArray()[4].toBool(), false); // a null logical is posted as false
}

TEST_F(Records, RefusedBatchUpdateKeepsTheTypedValuesPendingAndNamesTheTable)
{
    Open("('Smith', 'Oslo', 1, NULL, 0, NULL)");
    AppendBehindTheBack(File());
    Q().Edit();
    Q().FieldByName("NAME").SetAsString("Typed");
    Q().Post();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"people.dbf\"")) << Errors[0].toStdString();
    EXPECT_TRUE(Errors[0].contains("changed by another program")) << Errors[0].toStdString();
    // Still open, the typed value still shown and pending; the file untouched.
    ASSERT_TRUE(Q().Active());
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "Typed");
    EXPECT_TRUE(Q().Source()->HasPendingChanges());
    EXPECT_EQ(StoredRecords(File())[0].toArray()[0].toString(), "Smith");
}

TEST_F(Records, DeleteAsksOnlyWhenConfirmationIsOn)
{
    Open("('A', '', 1, NULL, 0, NULL), ('B', '', 2, NULL, 0, NULL), ('C', '', 3, NULL, 0, NULL)");
    bool Confirm = true;
    int Asked = 0, TurnedOff = 0;
    TRecordCommands::TDeleteAnswer Answer = TRecordCommands::daNo;
    C().ConfirmDel = [&] { return Confirm; };
    C().AskDelete = [&] {
        ++Asked;
        return Answer;
    };
    C().TurnOffConfirmDel = [&] {
        ++TurnedOff;
        Confirm = false;
    };

    EXPECT_FALSE(C().DeleteCurrentRecord()); // No keeps the record and the confirmation
    EXPECT_EQ(Asked, 1);
    EXPECT_EQ(StoredRecords(File()).size(), 3);
    Answer = TRecordCommands::daYesDontAskAgain;
    EXPECT_TRUE(C().DeleteCurrentRecord());
    EXPECT_EQ(TurnedOff, 1);
    EXPECT_TRUE(C().DeleteCurrentRecord()); // no question any more
    EXPECT_EQ(Asked, 2);
    const QJsonArray Left = StoredRecords(File());
    ASSERT_EQ(Left.size(), 1);
    EXPECT_EQ(Left[0].toArray()[0].toString(), "C");
}

TEST_F(Records, FailedDeletionShowsTheTableAsStored)
{
    Open("('A', '', 1, NULL, 0, NULL), ('B', '', 2, NULL, 0, NULL)");
    Q().SetRecNo(2);
    AppendBehindTheBack(File());
    EXPECT_FALSE(C().DeleteCurrentRecord());
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"people.dbf\""));
    ASSERT_TRUE(Q().Active());
    EXPECT_EQ(W.TableName, "people.dbf");
    EXPECT_EQ(Q().RecordCount(), 3); // B is back, with the other program's record
    EXPECT_EQ(Q().RecNo(), 2);
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "B");
}

TEST_F(Records, FindAndFindDuplicates)
{
    Open("('Smith', 'Oslo', 1, '2020-01-02', 0, NULL), ('anna', '', 2, NULL, 0, NULL), "
         "('Anna', '', 2, NULL, 0, NULL), ('Bo', '', 3, NULL, 1, NULL)");
    EXPECT_EQ(C().FindFieldNames(), QStringList({"NAME", "CITY", "AMOUNT", "BORN"}));
    int Column = -1;
    W.SetCurrentColumn = [&](int C) { Column = C; };
    EXPECT_EQ(C().Find("NAME", "smith", false), TRecordCommands::frNotFound);
    EXPECT_EQ(C().Find("NAME", "Sm", false), TRecordCommands::frNotFound);
    EXPECT_EQ(C().Find("name", "Sm", true), TRecordCommands::frFound);
    EXPECT_EQ(Q().RecNo(), 1);
    EXPECT_EQ(Column, 0);
    EXPECT_EQ(C().Find("AMOUNT", "3", false), TRecordCommands::frFound);
    EXPECT_EQ(Q().RecNo(), 4);
    EXPECT_EQ(Column, 2);
    EXPECT_EQ(C().Find("BORN", DateToStr(QDate(2020, 1, 2)), false), TRecordCommands::frFound);
    EXPECT_EQ(Q().RecNo(), 1);
    EXPECT_THROW(C().Find("AMOUNT", "many", false), EDatabaseError);
    EXPECT_EQ(C().Find("", "x", false), TRecordCommands::frNothing);

    // Unsorted: nothing to review.
    EXPECT_FALSE(C().CanFindDuplicates());
    EXPECT_FALSE(C().FindDuplicates());
    W.FSortField = "NAME";
    W.FSorted = 1;
    Q().First();
    EXPECT_TRUE(C().FindDuplicates()); // anna, Anna: stops on the second
    EXPECT_EQ(Q().RecNo(), 3);
    Q().SetRecNo(3);
    EXPECT_FALSE(C().FindDuplicates()); // from Anna on: none; back where it started
    EXPECT_EQ(Q().RecNo(), 3);
    W.FSortField = "CITY"; // '' followed by '' is no pair
    Q().SetRecNo(2);
    EXPECT_FALSE(C().FindDuplicates());
    EXPECT_EQ(C().RecordPositionText(), "Record 2 of 4");
}

TEST_F(Records, ExecuteSqlJoinsAndWritesChangesThrough)
{
    Open("('Smith', 'Oslo', 1, NULL, 0, NULL), ('Berg', 'Bergen', 2, NULL, 0, NULL)");
    WriteDbfHeader(Dir.filePath("cities.dbf"), {Def("CITY", dtC, 12), Def("COUNTRY", dtC, 12)});
    FillTable(Dir.path(), "INSERT INTO cities VALUES ('Oslo', 'Norway'), ('Bergen', 'Norway')");
    ExecuteSqlStatement(
        W, sdDbase, Dir.path(),
        "SELECT p.NAME, c.COUNTRY FROM people p JOIN cities c ON p.CITY = c.CITY ORDER BY p.NAME",
        false);
    EXPECT_EQ(W.SqlQueryMode, 1);
    EXPECT_TRUE(W.TableName.isEmpty());
    ASSERT_EQ(Q().RecordCount(), 2);
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "Berg");
    EXPECT_EQ(W.FieldInfo.size(), 2u); // field records for the result as for a table
    EXPECT_FALSE(C().CanAdd());        // a result takes no records
    EXPECT_THROW(Q().Edit(), EDatabaseError);

    ExecuteSqlStatement(W, sdDbase, Dir.path(),
                        "UPDATE people SET CITY = 'Tromso' WHERE NAME = 'Berg'", false);
    EXPECT_TRUE(Q().IsEmpty());
    const QJsonArray Stored = StoredRecords(File());
    ASSERT_EQ(Stored.size(), 2);
    EXPECT_EQ(Stored[1].toArray()[1].toString(), "Tromso");

    const QString Error = Message(
        [&] { ExecuteSqlStatement(W, sdDbase, Dir.path(), "SELECT NOPE FROM people", false); });
    EXPECT_TRUE(Error.contains("NOPE")) << Error.toStdString();
    EXPECT_FALSE(Q().Active());
    EXPECT_EQ(W.SqlQueryMode, 0);
}

TEST(SqlFiles, NamesKindsAndFiles)
{
    EXPECT_EQ(SqlFileName("/a/query"), "/a/query.sql");
    EXPECT_EQ(SqlFileName("/a/query.txt"), "/a/query.txt");
    EXPECT_EQ(SqlDatabaseKindOf("/data/clients.mdb"), sdAccess);
    EXPECT_EQ(SqlDatabaseKindOf("/data/tables"), sdDbase);
    EXPECT_EQ(ConnectionStringValue(SqlConnectionString(sdAccess, "/data/db/clients.mdb"), "DBQ"),
              "clients.mdb");
    EXPECT_EQ(
        ConnectionStringValue(SqlConnectionString(sdAccess, "/data/db/clients.mdb"), "DefaultDir"),
        "/data/db/");
    EXPECT_EQ(ConnectionStringValue(SqlConnectionString(sdDbase, "/data/tables"), "DBQ"),
              "/data/tables");

    QTemporaryDir Dir;
    const QString Name = Dir.filePath("q.sql");
    WriteSqlFile(Name, "SELECT * FROM people\nWHERE NAME = 'Åse'");
    EXPECT_EQ(ReadSqlFile(Name), "SELECT * FROM people\nWHERE NAME = 'Åse'");
    WriteBytes(Dir.filePath("old.sql"), "SELECT '\xC5se'"); // Windows-1252 from elsewhere
    EXPECT_EQ(ReadSqlFile(Dir.filePath("old.sql")), "SELECT 'Åse'");
    EXPECT_THROW(ReadSqlFile(Dir.filePath("missing.sql")), EDatabaseError);
    EXPECT_THROW(WriteSqlFile(Dir.filePath("no/such/folder/q.sql"), "x"), EDatabaseError);
}

} // namespace

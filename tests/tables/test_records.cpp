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
        C().OnError = [this](const QString &M) { Errors << M; };
        W.OpenDBFFile(File());
    }
    QString File() const { return Dir.filePath("people.dbf"); }
    QString Stored(int Record, int Field)
    {
        return StoredRecords(File())[Record].toArray()[Field].toVariant().toString();
    }
    TRecordCommands &C() { return W.RecordCommands(); }
    TADOQuery &Q() { return W.ADOQuery1(); }
    QTemporaryDir Dir;
    TTableWorkspace W;
    QStringList Errors;
};

TEST_F(Records, FieldRecordsAndPickListsFromTheFirstFiftyRecords)
{
    QStringList Rows;
    for (int i = 1; i <= 50; ++i)
        Rows << QStringLiteral("('Name %1', '', %2, NULL, NULL, NULL)")
                    .arg(i)
                    .arg(i <= 2 ? "NULL" : "1.5");
    Rows << "('Longer than ten xx', 'X', 2, '2024-03-01', 1, 'm')";
    Open(Rows.join(','));
    const TFieldEditInfo &Name = W.FieldInfo[0];
    // Names of the first 50 records in record order; the 51st record's long name is not seen.
    ASSERT_EQ(Name.PickList.size(), 50);
    EXPECT_EQ(Name.PickList.last(), "Name 50");
    EXPECT_EQ(Name.EditWidth, 10);
    // Empty texts stay out of a C list; a null number enters an N list as "0", once.
    EXPECT_TRUE(W.FieldInfo[1].PickList.isEmpty());
    EXPECT_EQ(W.FieldInfo[2].PickList, QStringList({"0", FloatToStr(1.5)}));
}

TEST_F(Records, PostWritesTheFileAndPutsNewValuesOnTopOfThePickList)
{
    QStringList Rows;
    for (int i = 1; i <= 50; ++i)
        Rows << QStringLiteral("('N%1', 'Oslo', 1, NULL, 0, NULL)").arg(i);
    Open(Rows.join(','));
    Q().Edit();
    Q().FieldByName("NAME").SetAsString("Name eleven");
    Q().FieldByName("MEMBER").Clear();
    Q().Post();
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    EXPECT_EQ(W.FieldInfo[0].PickList.first(), "Name eleven");
    EXPECT_EQ(W.FieldInfo[0].PickList.size(), 50);
    EXPECT_EQ(W.FieldInfo[0].EditWidth, 11);
    EXPECT_EQ(Stored(0, 0), "Name eleven");
    EXPECT_EQ(Stored(0, 4), "false"); // a null logical is posted as false
}

TEST_F(Records, RefusedWritesKeepTheTypedValuesOrShowTheTableAsStored)
{
    Open("('Smith', 'Oslo', 1, NULL, 0, NULL), ('B', '', 2, NULL, 0, NULL)");
    AppendBehindTheBack(File());
    Q().Edit();
    Q().FieldByName("NAME").SetAsString("Typed");
    Q().Post();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"people.dbf\"") &&
                Errors[0].contains("changed by another program"))
        << Errors[0].toStdString();
    // Still open, the typed value still shown and pending; the file untouched.
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "Typed");
    EXPECT_TRUE(Q().Source()->HasPendingChanges());
    EXPECT_EQ(Stored(0, 0), "Smith");

    // A failed deletion with nothing else pending shows the table as it is stored.
    W.Reopen();
    Q().SetRecNo(2);
    AppendBehindTheBack(File());
    EXPECT_FALSE(C().DeleteCurrentRecord());
    EXPECT_EQ(Errors.size(), 2);
    EXPECT_EQ(Q().RecordCount(), 4); // B is back, with the other program's records
    EXPECT_EQ(Q().RecNo(), 2);
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "B");
}

TEST_F(Records, DeleteAsksOnlyWhenConfirmationIsOn)
{
    Open("('A', '', 1, NULL, 0, NULL), ('B', '', 2, NULL, 0, NULL), ('C', '', 3, NULL, 0, NULL)");
    bool Confirm = true;
    int Asked = 0;
    TRecordCommands::TDeleteAnswer Answer = TRecordCommands::daNo;
    C().ConfirmDel = [&] { return Confirm; };
    C().AskDelete = [&] { return ++Asked, Answer; };
    C().TurnOffConfirmDel = [&] { Confirm = false; };
    EXPECT_FALSE(C().DeleteCurrentRecord()); // No keeps the record and the confirmation
    Answer = TRecordCommands::daYesDontAskAgain;
    EXPECT_TRUE(C().DeleteCurrentRecord());
    EXPECT_TRUE(C().DeleteCurrentRecord()); // no question any more
    EXPECT_EQ(Asked, 2);
    const QJsonArray Left = StoredRecords(File());
    ASSERT_EQ(Left.size(), 1);
    EXPECT_EQ(Left[0][0].toString(), "C");
}

TEST_F(Records, FindAndFindDuplicates)
{
    Open("('Smith', 'Oslo', 1, '2020-01-02', 0, NULL), ('anna', '', 2, NULL, 0, NULL), "
         "('Anna', '', 2, NULL, 0, NULL), ('Bo', '', 3, NULL, 1, NULL)");
    EXPECT_EQ(C().FindFieldNames(), QStringList({"NAME", "CITY", "AMOUNT", "BORN"}));
    int Column = -1;
    W.SetCurrentColumn = [&](int C) { Column = C; };
    EXPECT_EQ(C().Find("NAME", "Sm", false), TRecordCommands::frNotFound);
    EXPECT_EQ(C().Find("name", "Sm", true), TRecordCommands::frFound);
    EXPECT_EQ(C().Find("AMOUNT", "3", false), TRecordCommands::frFound);
    EXPECT_EQ(Q().RecNo(), 4);
    EXPECT_EQ(Column, 2);
    EXPECT_EQ(C().Find("BORN", DateToStr(QDate(2020, 1, 2)), false), TRecordCommands::frFound);
    EXPECT_EQ(Q().RecNo(), 1);
    EXPECT_THROW(C().Find("AMOUNT", "many", false), EDatabaseError);

    EXPECT_FALSE(C().FindDuplicates()); // unsorted: nothing to review
    W.FSortField = "NAME";
    W.FSorted = 1;
    EXPECT_TRUE(C().FindDuplicates()); // anna, Anna: stops on the second
    EXPECT_EQ(Q().RecNo(), 3);
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
    const auto Run = [&](const QString &Sql) {
        ExecuteSqlStatement(W, sdDbase, Dir.path(), Sql, false);
    };
    Run("SELECT p.NAME, c.COUNTRY FROM people p JOIN cities c ON p.CITY = c.CITY ORDER BY p.NAME");
    EXPECT_EQ(W.SqlQueryMode, 1);
    ASSERT_EQ(Q().RecordCount(), 2);
    EXPECT_EQ(Q().FieldByName("NAME").AsString(), "Berg");
    EXPECT_EQ(W.FieldInfo.size(), 2u); // field records for the result as for a table
    EXPECT_FALSE(C().CanAdd());        // a result takes no records

    Run("UPDATE people SET CITY = 'Tromso' WHERE NAME = 'Berg'");
    EXPECT_EQ(Stored(1, 1), "Tromso");
    const QString Error = Message([&] { Run("SELECT NOPE FROM people"); });
    EXPECT_TRUE(Error.contains("NOPE")) << Error.toStdString();
    EXPECT_EQ(W.SqlQueryMode, 0);
}

TEST(SqlFiles, NamesKindsAndFiles)
{
    EXPECT_EQ(SqlFileName("/a/query.txt"), "/a/query.txt");
    EXPECT_EQ(SqlDatabaseKindOf("/data/clients.mdb"), sdAccess);
    EXPECT_EQ(SqlDatabaseKindOf("/data/tables"), sdDbase);
    const QString Access = SqlConnectionString(sdAccess, "/data/db/clients.mdb");
    EXPECT_EQ(ConnectionStringValue(Access, "DBQ"), "clients.mdb");
    EXPECT_EQ(ConnectionStringValue(Access, "DefaultDir"), "/data/db/");

    QTemporaryDir Dir;
    WriteSqlFile(Dir.filePath("q.sql"), "SELECT * FROM people\nWHERE NAME = 'Åse'");
    EXPECT_EQ(ReadSqlFile(Dir.filePath("q.sql")), "SELECT * FROM people\nWHERE NAME = 'Åse'");
    WriteBytes(Dir.filePath("old.sql"), "SELECT '\xC5se'"); // Windows-1252 from elsewhere
    EXPECT_EQ(ReadSqlFile(Dir.filePath("old.sql")), "SELECT 'Åse'");
    EXPECT_THROW(ReadSqlFile(Dir.filePath("missing.sql")), EDatabaseError);
    EXPECT_THROW(WriteSqlFile(Dir.filePath("no/such/folder/q.sql"), "x"), EDatabaseError);
}

} // namespace

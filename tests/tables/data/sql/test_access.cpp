// The dataset over an Access database: the connection string's road, table names, and every
// change (dataset, table source and SQL statement) refused before anything changes.

#include "../mdb/mdbfixtures.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"

using namespace qf::tables;

TEST(TablesAccess, OpenBrowseAndRefuseChanges)
{
    REQUIRE_MDB_FIXTURES();
    const QString Folder = MdbFixtureDir() + QLatin1Char('/');
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString("fruit.mdb", Folder, kAccessDriver);
    QStringList Tables;
    Connection.GetTableNames(Tables);
    EXPECT_TRUE(Tables.contains("Fruit"));
    EXPECT_FALSE(Tables.filter("MSys").size());

    const QByteArray Before = FileHash(MdbFixture("fruit.mdb"));
    TADOQuery Query(&Connection);
    Query.SQL = "SELECT * FROM Fruit";
    Query.Open();
    ASSERT_GT(Query.RecordCount(), 1);
    const int Count = Query.RecordCount();
    const QString First = Query.Fields(0).AsString();

    // Every road to a change: the dataset's commands, the table source itself, SQL statements.
    TTableSource &Source = *Query.Source();
    TADOQuery Statement(&Connection);
    std::vector<std::function<void()>> Changes = {[&] { Query.Edit(); },
                                                  [&] { Query.Append(); },
                                                  [&] { Query.Insert(); },
                                                  [&] { Query.Delete(); },
                                                  [&] { Source.SetValue(0, 0, "Changed"); },
                                                  [&] { Source.AppendRow(); },
                                                  [&] { Source.DeleteRow(0); }};
    for (const char *Sql :
         {"UPDATE Fruit SET Sugar = 0", "INSERT INTO Fruit (Fruit) VALUES ('Kiwi')",
          "DELETE FROM [Fruit Salad]"})
        Changes.push_back([&, Sql] {
            Statement.SQL = QString::fromLatin1(Sql);
            Statement.Open();
        });
    for (size_t i = 0; i < Changes.size(); ++i) {
        try {
            Changes[i]();
            ADD_FAILURE() << "change " << i << " of an Access table was accepted";
        } catch (const EDatabaseError &Error) {
            EXPECT_TRUE(Error.Message().contains("read-only")) << Error.what();
            EXPECT_TRUE(i < 4 || i > 6 || Error.Message().contains("\"Fruit\"")) << Error.what();
        }
        EXPECT_EQ(Query.State(), dsBrowse);
        EXPECT_FALSE(Statement.Active());
    }
    EXPECT_FALSE(Source.HasPendingChanges());
    EXPECT_EQ(Query.RecordCount(), Count);
    Query.First();
    EXPECT_EQ(Query.Fields(0).AsString(), First);
    EXPECT_NO_THROW(Query.UpdateBatch());
    Statement.SQL = "SELECT COUNT(*) FROM [Fruit Salad]";
    Statement.Open();
    EXPECT_EQ(Statement.Fields(0).AsInteger(), 18);
    Query.Close();
    EXPECT_EQ(FileHash(MdbFixture("fruit.mdb")), Before);
}

// The dataset over an Access database: the connection string's road, table names, and changes
// refused before anything changes.

#include "mdb/mdbfixtures.h"
#include "tables/connection.h"
#include "tables/dataset.h"

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
    Query.SetSort(Query.Fields(0).FieldName() + " DESC");
    Query.First();
    const QString Last = Query.Fields(0).AsString();
    Query.SetSort("");
    EXPECT_EQ(Query.Fields(0).AsString(), Last); // the current record stays current
    Query.First();
    EXPECT_EQ(Query.Fields(0).AsString(), First);

    for (const auto &Change : std::vector<std::function<void()>>{[&] { Query.Edit(); }, [&] { Query.Append(); }, [&] { Query.Insert(); }, [&] { Query.Delete(); }}) {
        try {
            Change();
            ADD_FAILURE() << "a change of an Access table was accepted";
        } catch (const EDatabaseError &Error) {
            EXPECT_TRUE(Error.Message().contains("read-only")) << Error.what();
        }
        EXPECT_EQ(Query.State(), dsBrowse);
    }
    EXPECT_EQ(Query.RecordCount(), Count);
    EXPECT_NO_THROW(Query.UpdateBatch());
    Query.Close();
    EXPECT_EQ(FileHash(MdbFixture("fruit.mdb")), Before);
}

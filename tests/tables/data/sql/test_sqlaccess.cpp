#include "../mdb/mdbfixtures.h"
#include "tables/data/mdb/mdbdatabase.h"
#include "tables/data/sql/sqlengine.h"

#include <set>

using namespace qf::tables;

namespace {

class SqlAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_MDB_FIXTURES();
        Tables = OpenSqlTables(TSqlDriver::Access, MdbFixture("fruit.mdb"));
    }
    std::unique_ptr<TTableSource> Run(const QString &Sql) { return ExecuteSql(*Tables, Sql); }
    std::unique_ptr<TSqlTables> Tables;
};

TEST_F(SqlAccess, JoinAndGroupByAgreeWithTheTablesThemselves)
{
    TMdbDatabase Database(MdbFixture("fruit.mdb"));
    const auto Fruit = Database.OpenTable("Fruit");
    const auto Salad = Database.OpenTable("Fruit Salad");

    // The join worked out by hand over the rows libmdb read.
    std::multiset<std::pair<qint64, QString>> Expected; // (-Sugar, salad fruit)
    for (int64_t S = 0; S < Salad->RowCount(); ++S)
        for (int64_t F = 0; F < Fruit->RowCount(); ++F)
            if (Fruit->Value(F, 0).toString() == Salad->Value(S, 0).toString())
                Expected.emplace(-Fruit->Value(F, 4).toLongLong(), Salad->Value(S, 0).toString());
    auto R = Run("SELECT s.Fruit, f.Sugar FROM [Fruit Salad] s JOIN Fruit f ON f.Fruit = s.Fruit "
                 "ORDER BY f.Sugar DESC, s.Fruit");
    ASSERT_EQ(R->RowCount(), static_cast<int64_t>(Expected.size()));
    ASSERT_GT(R->RowCount(), 5);
    int64_t Row = 0;
    for (const auto &Entry : Expected) {
        EXPECT_EQ(R->AsString(Row, 0), Entry.second);
        EXPECT_EQ(R->Value(Row, 1).toLongLong(), -Entry.first);
        ++Row;
    }
    EXPECT_EQ(R->Fields()[0].DataType, ftWideString);
    EXPECT_EQ(R->Fields()[0].Size, 50);
    EXPECT_EQ(R->Fields()[1].DataType, ftInteger);

    EXPECT_EQ(Run("SELECT COUNT(*) FROM fruit")->Value(0, 0).toInt(), 37);
}

TEST_F(SqlAccess, DatesCompareAsDates)
{
    auto Monitor = OpenSqlTables(TSqlDriver::Access, MdbFixture("Monitor.mdb"));
    auto R = ExecuteSql(*Monitor, "SELECT LastVisit, Graph_Day, LineNumber FROM "
                                  "Monitor_Authenticate WHERE LastVisit > '2000-06-17' "
                                  "AND LastVisit < '2000-06-18'");
    ASSERT_EQ(R->RowCount(), 1);
    EXPECT_EQ(R->Fields()[0].DataType, ftDateTime);
    EXPECT_EQ(R->Value(0, 0), QVariant(QDateTime(QDate(2000, 6, 17), QTime(20, 36, 24))));
    EXPECT_EQ(R->Value(0, 1), QVariant(true));
    EXPECT_EQ(R->Value(0, 2).toLongLong(), 1234567890);
    EXPECT_THROW(OpenSqlTables(TSqlDriver::Access, MdbFixture("nothing-here.mdb")), EDatabaseError);
}

} // namespace

// SQL over real dBASE files: statements change the tables' pending edits, the batch update
// writes them, and python3-dbfread reads the files back.

#include "../../dbforacle.h"
#include "tables/data/sql/sqlengine.h"

#include <QDir>
#include <QTemporaryDir>

using namespace qf::tables;

namespace {

class SqlDbf : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteDbfHeader(Dir.filePath("people.dbf"),
                       {Def("ID", dtN), Def("NAME", dtC, 12), Def("BORN", dtD), Def("MEMBER", dtL),
                        Def("NOTE", dtM)});
        WriteDbfHeader(Dir.filePath("ORDERS.DBF"), {Def("PERSON", dtN), Def("ITEM", dtC, 10)});
        Tables = OpenSqlTables(TSqlDriver::DBase, Dir.path());
    }
    std::unique_ptr<TTableSource> Run(const QString &Sql) { return ExecuteSql(*Tables, Sql); }
    QTemporaryDir Dir;
    std::unique_ptr<TSqlTables> Tables;
};

TEST_F(SqlDbf, StatementsAreWrittenByTheBatchUpdate)
{
    Run("INSERT INTO people VALUES (1, 'Åse', '1980-05-01', 1, 'likes tea'), (2, 'Bo', "
        "'1975-01-31', 0, NULL), "
        "(3, 'Cleo', NULL, 1, 'x')");
    Run("INSERT INTO orders.dbf (PERSON, ITEM) SELECT ID, 'Pen' FROM people WHERE MEMBER");
    // Pending until the batch update: the files still hold no records.
    EXPECT_EQ(ReadWithDbfread(Dir.filePath("people.dbf"))["records"].toArray().size(), 0);
    ASSERT_TRUE(Tables->HasPendingChanges());
    Tables->ApplyUpdates();
    EXPECT_FALSE(Tables->HasPendingChanges());

    QJsonArray People = ReadWithDbfread(Dir.filePath("people.dbf"))["records"].toArray();
    ASSERT_EQ(People.size(), 3);
    EXPECT_EQ(People[0].toArray()[1].toString(), "Åse");
    EXPECT_EQ(People[0].toArray()[2].toString(), "1980-05-01");
    EXPECT_EQ(People[0].toArray()[3].toBool(), true);
    EXPECT_EQ(People[0].toArray()[4].toString(), "likes tea");
    EXPECT_EQ(People[1].toArray()[3].toBool(), false);
    EXPECT_TRUE(People[1].toArray()[4].isNull());
    EXPECT_EQ(ReadWithDbfread(Dir.filePath("ORDERS.DBF"))["records"].toArray().size(), 2);

    auto R = Run("SELECT p.NAME, o.ITEM FROM people p JOIN orders o ON o.PERSON = p.ID WHERE "
                 "p.BORN IS NOT NULL ORDER BY p.NAME");
    ASSERT_EQ(R->RowCount(), 1);
    EXPECT_EQ(R->AsString(0, 0), "Åse");

    const QByteArray Orders = ReadBytes(Dir.filePath("ORDERS.DBF"));
    R = Run("UPDATE people SET NAME = upper(NAME), BORN = '1999-12-31', ID = ID + 10 WHERE ID = 3");
    EXPECT_TRUE(R->Fields().empty());
    EXPECT_EQ(R->RowCount(), 0);
    Run("DELETE FROM people WHERE NOT MEMBER");
    Tables->ApplyUpdates();
    const QJsonObject Read = ReadWithDbfread(Dir.filePath("people.dbf"));
    People = Read["records"].toArray();
    ASSERT_EQ(People.size(), 2);
    EXPECT_EQ(Read["deleted"].toInt(), 1);
    EXPECT_EQ(People[1].toArray()[0].toDouble(), 13);
    EXPECT_EQ(People[1].toArray()[1].toString(), "CLEO");
    EXPECT_EQ(People[1].toArray()[2].toString(), "1999-12-31");
    EXPECT_EQ(People[1].toArray()[4].toString(), "x"); // fields the statement did not set stay
    EXPECT_EQ(ReadBytes(Dir.filePath("ORDERS.DBF")),
              Orders); // a table no statement changed is not written
    // A value the field cannot hold stops the statement; nothing of it stays.
    EXPECT_TRUE(Message([&] {
                    Run("UPDATE people SET NAME = 'a name far too long for the field'");
                }).contains("too long"));
    EXPECT_FALSE(Tables->HasPendingChanges());
    EXPECT_EQ(Run("SELECT COUNT(*), GROUP_CONCAT(NAME) FROM people")->AsString(0, 1), "Åse,CLEO");
}

TEST_F(SqlDbf, MissingFolderIsReported)
{
    EXPECT_THROW(OpenSqlTables(TSqlDriver::DBase, Dir.filePath("nowhere")), EDatabaseError);
}

} // namespace

// A memo that holds no text, or only blanks, is null as blank text is: in SQL, and when written.
TEST_F(SqlDbf, EmptyMemoIsNullAsBlankTextIs)
{
    const std::vector<TRawField> Fields = {{"NAME", 'C', 8}, {"NOTE", 'M', 10}};
    WriteBytes(Dir.filePath("notes.dbf"),
               RawDbf(0x83, Fields,
                      {RawRecord(Fields, {"a", "1"}), RawRecord(Fields, {"", ""}),
                       RawRecord(Fields, {"c", "2"}), RawRecord(Fields, {"  ", "3"})}));
    QByteArray Memo(512, '\0');
    Memo[0] = 4;
    for (const QByteArray &Text : {QByteArray(), QByteArray("   "), QByteArray("text")})
        Memo += (Text + "\x1A\x1A").leftJustified(512, '\0');
    WriteBytes(Dir.filePath("notes.dbt"), Memo);
    const auto Count = [&](const char *Where) {
        return Run(QStringLiteral("SELECT COUNT(*) FROM notes WHERE ") + QLatin1String(Where))
            ->Value(0, 0)
            .toInt();
    };
    EXPECT_EQ(Count("NOTE IS NULL"), 3);
    EXPECT_EQ(Count("NAME IS NULL"), 2);
    Run("INSERT INTO notes VALUES ('d', '')");
    Tables->ApplyUpdates();
    EXPECT_EQ(Count("NOTE IS NULL"), 4);
    EXPECT_EQ(ReadBytes(Dir.filePath("notes.dbt")), Memo); // no block for the empty text
}

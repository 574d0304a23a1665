#include "../../dbforacle.h"
#include "tables/data/sql/memorytable.h"
#include "tables/data/sql/sqlengine.h"
#include "tables/data/sql/sqlvalues.h"
#include "testtable.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qf::tables;

namespace {

TSourceField F(const char *Name, TFieldType Type, int Size = 0, int Decimals = 0)
{
    return TSourceField{QString::fromLatin1(Name), Type, Size, Decimals};
}

// A folder whose .dbf files are test tables: the files exist, the opener hands out the tables.
class SqlFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        PeopleTable = std::make_unique<TTestTable>(std::vector<TSourceField>{
            F("ID", ftFloat, 5), F("NAME", ftString, 10), F("CITY", ftString, 12),
            F("BORN", ftDate, 8), F("ACTIVE", ftBoolean, 1), F("SALARY", ftFloat, 9, 2),
            F("NOTES", ftMemo, 10)});
        People = PeopleTable.get();
        People->AddRow({1.0, "Anna", "Oslo", QDate(1980, 5, 1), true, 1200.5, "first"});
        People->AddRow({2.0, "Bert", "Bergen", QDate(1975, 1, 31), false, 900.0, QVariant()});
        People->AddRow({3.0, "Cleo", "Oslo", QDate(1990, 12, 24), true, 1500.25, "x"});
        People->AddRow({4.0, "Dag", QVariant(), QVariant(), false, QVariant(), QVariant()});
        OrdersTable = std::make_unique<TTestTable>(std::vector<TSourceField>{
            F("PERSON", ftFloat, 5), F("ITEM", ftString, 10), F("AMOUNT", ftFloat, 8, 2)});
        Orders = OrdersTable.get();
        Orders->AddRow({1.0, "Pen", 2.5});
        Orders->AddRow({1.0, "Book", 20.0});
        Orders->AddRow({3.0, "Lamp", 35.0});
        Orders->AddRow({9.0, "Ghost", 1.0});
        for (const char *Name : {"people.dbf", "Orders.DBF", "notes.txt"}) {
            QFile File(Dir.filePath(Name));
            ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        }
        Tables = std::make_unique<TDbfFolderTables>(
            Dir.path(), [this](const QString &FileName) -> std::unique_ptr<TTableSource> {
                ++Opened;
                // The tables pass to the connection; People and Orders still look at their rows.
                std::unique_ptr<TTestTable> &Held =
                    FileName.endsWith("people.dbf") ? PeopleTable : OrdersTable;
                EXPECT_TRUE(Held) << "opened twice: " << FileName.toStdString();
                return std::move(Held);
            });
    }

    std::unique_ptr<TTableSource> Run(const QString &Sql) { return ExecuteSql(*Tables, Sql); }

    QString Error(const QString &Sql)
    {
        return Message([&] { Run(Sql); });
    }

    QStringList Column(const TTableSource &Result, int Field)
    {
        QStringList Values;
        for (int64_t Row = 0; Row < Result.RowCount(); ++Row)
            Values.append(Result.IsNull(Row, Field) ? QStringLiteral("<null>")
                                                    : Result.AsString(Row, Field));
        return Values;
    }

    QTemporaryDir Dir;
    std::unique_ptr<TTestTable> PeopleTable, OrdersTable;
    TTestTable *People = nullptr, *Orders = nullptr;
    std::unique_ptr<TDbfFolderTables> Tables;
    int Opened = 0;
};

TEST_F(SqlFolder, SelectWithWhereOrderByGroupByAndJoin)
{
    auto R = Run(
        "SELECT NAME, CITY FROM people WHERE ACTIVE AND BORN < '1995-01-01' ORDER BY NAME DESC");
    EXPECT_EQ(Column(*R, 0), (QStringList{"Cleo", "Anna"}));

    R = Run("SELECT p.NAME, o.ITEM, o.AMOUNT FROM people p JOIN orders o ON o.PERSON = p.ID ORDER "
            "BY o.AMOUNT");
    EXPECT_EQ(Column(*R, 0), (QStringList{"Anna", "Anna", "Cleo"}));
    EXPECT_EQ(Column(*R, 1), (QStringList{"Pen", "Book", "Lamp"}));

    // Tables open once per connection, only when a statement names them.
    EXPECT_EQ(Opened, 2);
}

TEST_F(SqlFolder, ResultFieldsKeepTheirTypesAndValues)
{
    auto R = Run("SELECT ID, NAME, BORN, ACTIVE, SALARY, NOTES, NAME || '!' AS SHOUT, COUNT(*) "
                 "OVER () AS N, "
                 "1.5 * 2 AS R FROM people WHERE ID = 1");
    ASSERT_EQ(R->RowCount(), 1);
    const auto &Fields = R->Fields();
    ASSERT_EQ(Fields.size(), 9u);
    const std::vector<TFieldType> Types = {ftFloat, ftString, ftDate,    ftBoolean, ftFloat,
                                           ftMemo,  ftString, ftInteger, ftFloat};
    for (size_t I = 0; I < Types.size(); ++I)
        EXPECT_EQ(Fields[I].DataType, Types[I]) << I;
    EXPECT_EQ(Fields[4].Decimals, 2);
    EXPECT_EQ(Fields[6].Size, 5); // computed: from the values
    EXPECT_EQ(R->Value(0, 2), QVariant(QDate(1980, 5, 1)));
    EXPECT_EQ(R->Value(0, 3), QVariant(true));

    // Sizes count characters, not bytes.
    EXPECT_EQ(Run("SELECT 'Ærø' || '€' AS X")->Fields()[0].Size, 4);
    // Long computed text becomes a memo; a statement without rows still has its fields.
    R = Run("SELECT printf('%300s', NAME) AS WIDE FROM people");
    EXPECT_EQ(R->Fields()[0].DataType, ftMemo);
    EXPECT_EQ(Run("SELECT NAME FROM people WHERE 0")->Fields().size(), 1u);
}

TEST_F(SqlFolder, TableNamesMayCarryTheExtensionAndIgnoreCase)
{
    EXPECT_EQ(Run("SELECT * FROM people.dbf")->RowCount(), 4);
    EXPECT_EQ(Run("select o.item from ORDERS.dbf o join People.DBF p on p.id = o.person where "
                  "p.name = 'Anna'")
                  ->RowCount(),
              2);
    EXPECT_TRUE(Error("SELECT * FROM notes").startsWith("no such table: notes"));
    // Every spelling of a table reaches the one source, so its pending changes stay together.
    EXPECT_EQ(Run("SELECT COUNT(*) FROM \"people.dbf\" a JOIN PeOpLe b ON a.ID = b.ID")
                  ->Value(0, 0)
                  .toInt(),
              4);
    EXPECT_EQ(Opened, 2);
}

TEST_F(SqlFolder, EqualityAndRowidUseLookupsNotScans)
{
    PeopleTable = std::make_unique<TTestTable>(
        std::vector<TSourceField>{F("K", ftFloat, 6), F("V", ftString, 8)});
    TTestTable *Big = PeopleTable.get();
    for (int I = 0; I < 3000; ++I)
        Big->AddRow({double(I), QStringLiteral("v%1").arg(I)});
    OrdersTable = std::make_unique<TTestTable>(std::vector<TSourceField>{
        F("PERSON", ftFloat, 5), F("ITEM", ftString, 10), F("AMOUNT", ftFloat, 8, 2)});
    Orders = OrdersTable.get();
    for (int I = 0; I < 3000; ++I)
        Orders->AddRow({double(2999 - I), "x", 1.0});
    auto R = Run("SELECT COUNT(*) FROM people JOIN orders ON orders.PERSON = people.K");
    EXPECT_EQ(R->Value(0, 0).toLongLong(), 3000);
    // A nested scan would read 9 million values.
    EXPECT_LT(Big->Reads + Orders->Reads, 100000);

    Big->Reads = 0;
    R = Run("SELECT V FROM people WHERE rowid = 1234");
    EXPECT_EQ(Column(*R, 0), QStringList{"v1234"});
    EXPECT_LT(Big->Reads, 10);
    EXPECT_EQ(Run("SELECT V FROM people WHERE rowid = 3000")->RowCount(), 0); // one past the end
    // Text against the number field and 3 against 3.0 still compare as SQLite compares them.
    EXPECT_EQ(Run("SELECT V FROM people WHERE K = '17'")->AsString(0, 0), "v17");
    EXPECT_EQ(Run("SELECT V FROM people WHERE V = 'v17'")->AsString(0, 0), "v17");
    EXPECT_EQ(Run("SELECT COUNT(*) FROM people WHERE V = NULL")->Value(0, 0).toInt(), 0);
}

TEST_F(SqlFolder, AFailingStatementLeavesNothingBehind)
{
    // The third row's text is too long for the field: the two before it are put back.
    QString Message = Error(
        "UPDATE people SET NAME = CASE WHEN ID = 3 THEN 'far too long a name' ELSE 'short' END");
    EXPECT_TRUE(Message.contains("too long")) << Message.toStdString();
    EXPECT_EQ(Column(*Run("SELECT NAME FROM people"), 0),
              (QStringList{"Anna", "Bert", "Cleo", "Dag"}));

    Message = Error("INSERT INTO orders (PERSON, ITEM) SELECT ID, CASE WHEN ID = 4 THEN 'much too "
                    "long' ELSE NAME END FROM people");
    EXPECT_TRUE(Message.contains("too long")) << Message.toStdString();
    EXPECT_EQ(Run("SELECT COUNT(*) FROM orders")->Value(0, 0).toInt(), 4);

    EXPECT_TRUE(Error("UPDATE people SET BORN = '31.12.2020' WHERE ID = 2").contains("YYYY-MM-DD"));
    EXPECT_TRUE(Error("UPDATE people SET SALARY = 'lots' WHERE ID = 2").contains("\"SALARY\""));
    EXPECT_EQ(People->Value(1, 5).toDouble(), 900.0);

    // A failed delete statement deletes nothing.
    Message = Error(
        "DELETE FROM people WHERE CASE WHEN ID = 3 THEN abs(-9223372036854775807 - 1) ELSE 1 END");
    EXPECT_EQ(Message, "integer overflow");
    EXPECT_FALSE(People->IsDeleted(0));
}

TEST_F(SqlFolder, SqliteMessagesAndRefusedStatements)
{
    EXPECT_EQ(Error("SELECT NOPE FROM people"), "no such column: NOPE");
    EXPECT_TRUE(Error("   ").contains("no statement"));
    EXPECT_TRUE(Error("SELECT 1; SELECT 2").contains("one SQL statement"));
    for (const char *Sql :
         {"CREATE TABLE x(a)", "DROP TABLE people", "ATTACH ':memory:' AS other",
          "PRAGMA table_info(people)", "BEGIN", "CREATE VIRTUAL TABLE y USING qf_table"})
        EXPECT_FALSE(Error(QString::fromLatin1(Sql)).isEmpty()) << Sql;
    EXPECT_EQ(Run("SELECT COUNT(*) FROM people")->Value(0, 0).toInt(), 4);
}

TEST(TablesSqlText, TableExtensionIsStrippedOnlyWhereTablesAreNamed)
{
    EXPECT_EQ(StripTableExtension("SELECT * FROM people.dbf", "dbf"), "SELECT * FROM people");
    EXPECT_EQ(
        StripTableExtension("select a.x from \"my people\".DBF a join b.dbf on a.dbf = b.k", "dbf"),
        "select a.x from \"my people\" a join b on a.dbf = b.k");
    EXPECT_EQ(StripTableExtension("UPDATE t.dbf SET x = 'y.dbf' WHERE t.dbf = 1", "dbf"),
              "UPDATE t SET x = 'y.dbf' WHERE t.dbf = 1");
    EXPECT_EQ(StripTableExtension("INSERT INTO t.dbf (a) VALUES (1) -- from x.dbf", "dbf"),
              "INSERT INTO t (a) VALUES (1) -- from x.dbf");
    EXPECT_EQ(StripTableExtension("SELECT * FROM main.t.dbf", "dbf"), "SELECT * FROM main.t.dbf");
    EXPECT_EQ(StripTableExtension("SELECT * FROM t.dbf", ""), "SELECT * FROM t.dbf");
}

TEST(TablesSqlValues, DeclaredTypesCarryTypeSizeAndDecimals)
{
    for (const TSourceField &Field :
         {F("A", ftString, 30), F("B", ftFloat, 10, 2), F("C", ftDate, 8), F("D", ftBoolean, 1),
          F("E", ftMemo, 10), F("F", ftInteger, 4), F("G", ftWideString, 50), F("H", ftDateTime),
          F("I", ftCurrency, 8, 4), F("J", ftBCD, 18), F("K", ftAutoInc, 4), F("L", ftWord, 1)}) {
        TSourceField Back;
        ASSERT_TRUE(FieldFromDeclaredType(SqlDeclaredType(Field), Back))
            << SqlDeclaredType(Field).toStdString();
        EXPECT_EQ(Back.DataType, Field.DataType) << SqlDeclaredType(Field).toStdString();
        EXPECT_EQ(Back.Size, Field.Size);
        EXPECT_EQ(Back.Decimals, Field.Decimals);
    }
    TSourceField Unknown;
    EXPECT_FALSE(FieldFromDeclaredType("", Unknown));
    EXPECT_FALSE(FieldFromDeclaredType("GEOMETRY", Unknown));
}

TEST(TablesSqlValues, OleDatesAndMemoryTableCells)
{
    EXPECT_EQ(OleDateToDateTime(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(OleDateToDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(OleDateToDateTime(1.99999999999), QDateTime(QDate(1900, 1, 1), QTime(0, 0)));
    EXPECT_FALSE(OleDateToDateTime(1e300).isValid());
    for (double Days : {-1.25, 0.0, 36694.5, 45000.75})
        EXPECT_DOUBLE_EQ(DateTimeToOleDate(OleDateToDateTime(Days)), Days);

    TMemoryTable Table(
        {F("D", ftDate), F("T", ftDateTime), F("S", ftString, 5), F("B", ftBoolean)});
    Table.BeginRow();
    Table.AddText("2020-02-29", 10);
    Table.AddDouble(36694.5);
    Table.AddInt(42);
    Table.AddInt(0);
    Table.BeginRow();
    Table.AddText("not a date", 10); // kept as text rather than lost
    // the rest of the row left short: nulls
    EXPECT_EQ(Table.Value(0, 0), QVariant(QDate(2020, 2, 29)));
    EXPECT_EQ(Table.Value(0, 1), QVariant(QDateTime(QDate(2000, 6, 17), QTime(12, 0))));
    EXPECT_EQ(Table.Value(0, 2), QVariant(QStringLiteral("42")));
    EXPECT_EQ(Table.Value(0, 3), QVariant(false));
    EXPECT_EQ(Table.Value(1, 0).toString(), "not a date");
    EXPECT_TRUE(Table.IsNull(1, 3));
    EXPECT_THROW(Table.Value(2, 0), EDatabaseError);
    EXPECT_THROW(Table.Value(0, 4), EDatabaseError);
}

} // namespace

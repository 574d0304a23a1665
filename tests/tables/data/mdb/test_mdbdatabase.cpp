#include "mdbfixtures.h"
#include "tables/data/mdb/mdbdatabase.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>

using namespace qf::tables;

namespace {

// Our value against mdb-reader's JSON value of the same cell.
void ExpectSameValue(const TTableSource &Table, int64_t Row, int Field, const QJsonValue &Expected,
                     const QString &Where)
{
    const QVariant Ours = Table.Value(Row, Field);
    const std::string At = Where.toStdString();
    if (Expected.isNull() || Expected.isUndefined()) {
        EXPECT_FALSE(Ours.isValid()) << At << " is " << Ours.toString().toStdString();
        return;
    }
    ASSERT_TRUE(Ours.isValid()) << At << " is null, expected "
                                << QJsonDocument(QJsonArray{Expected}).toJson().toStdString();
    switch (Table.Fields()[Field].DataType) {
    case ftBoolean: EXPECT_EQ(Ours.toBool(), Expected.toBool()) << At; break;
    case ftDateTime:
        // mdb-reader reads the stored date-time as UTC; ours is the same wall-clock time.
        EXPECT_EQ(Ours.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")),
                  Expected.toString())
            << At;
        break;
    case ftWideString:
    case ftMemo:
    case ftString: EXPECT_EQ(Ours.toString(), Expected.toString()) << At; break;
    default: {
        // Numbers; mdb-reader gives decimals as text.
        const double Want =
            Expected.isString() ? Expected.toString().toDouble() : Expected.toDouble();
        EXPECT_NEAR(Ours.toDouble(), Want, std::fabs(Want) * 1e-6) << At;
    }
    }
}

// Fixed-size numbers as the rows hold them: negative ones keep their sign, currency is in
// ten-thousandths.
TEST(MdbValues, IntegersAndCurrencyFromTheirBytes)
{
    const struct {
        QByteArray Bytes;
        qint64 Value;
    } Integers[] = {{QByteArray("\xFE\xFF", 2), -2},
                    {QByteArray("\x00\x80", 2), -32768},
                    {QByteArray("\xFF\x7F", 2), 32767},
                    {QByteArray("\xFF\xFF\xFF\xFF", 4), -1},
                    {QByteArray("\x01\x02\x03\x84", 4), -2080177663}};
    for (const auto &C : Integers)
        EXPECT_EQ(MdbInteger(reinterpret_cast<const unsigned char *>(C.Bytes.constData()),
                             int(C.Bytes.size())),
                  C.Value)
            << C.Bytes.toHex().toStdString();
    EXPECT_EQ(MdbCurrency(reinterpret_cast<const unsigned char *>("\x4E\x61\xBC\0\0\0\0\0")),
              1234.5678);
    EXPECT_EQ(
        MdbCurrency(reinterpret_cast<const unsigned char *>("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF")),
        -0.0001);
}

class MdbFixtures : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_MDB_FIXTURES(); }
};

TEST_F(MdbFixtures, EveryTableReadsAsMdbReaderReadsIt)
{
    int Compared = 0;
    for (const char *Name : {"Monitor.mdb", "testodbc.mdb", "fruit.mdb"}) {
        const QString FileName = MdbFixture(Name);
        const QJsonArray Tables = ReadWithMdbReader(FileName).array();
        ASSERT_FALSE(Tables.isEmpty()) << "mdb-reader read nothing from " << Name;
        TMdbDatabase Database(FileName);
        QStringList Expected;
        for (const QJsonValue &T : Tables)
            Expected.append(T.toObject()["name"].toString());
        EXPECT_EQ(Database.TableNames(), Expected) << Name;

        for (const QJsonValue &T : Tables) {
            const QJsonObject Table = T.toObject();
            const QString TableName = Table["name"].toString();
            const auto Ours = Database.OpenTable(TableName);
            const QJsonArray Columns = Table["columns"].toArray();
            const QJsonArray Rows = Table["rows"].toArray();
            ASSERT_EQ(Ours->Fields().size(), static_cast<size_t>(Columns.size()))
                << TableName.toStdString();
            for (int C = 0; C < Columns.size(); ++C)
                EXPECT_EQ(Ours->Fields()[C].Name, Columns[C].toObject()["name"].toString());
            ASSERT_EQ(Ours->RowCount(), Rows.size()) << TableName.toStdString();
            for (int R = 0; R < Rows.size(); ++R) {
                const QJsonArray Row = Rows[R].toArray();
                for (int C = 0; C < Columns.size(); ++C) {
                    ExpectSameValue(*Ours, R, C, Row[C],
                                    QStringLiteral("%1 %2 row %3 %4")
                                        .arg(QLatin1String(Name), TableName)
                                        .arg(R)
                                        .arg(Ours->Fields()[C].Name));
                    ++Compared;
                }
            }
        }
    }
    EXPECT_GT(Compared, 400);
}

// Names and values are compared with mdb-reader above; types, sizes, exact digits and lookups here.
TEST_F(MdbFixtures, FieldTypesSizesAndTableLookups)
{
    TMdbDatabase Database(MdbFixture("Monitor.mdb"));
    EXPECT_THROW(Database.OpenTable("MSysObjects"), EDatabaseError); // system tables are left out
    const auto Table = Database.OpenTable("monitor_authenticate");   // names match without case
    const auto &F = Table->Fields();
    ASSERT_EQ(F.size(), 12u);
    EXPECT_EQ(F[0].DataType, ftAutoInc);
    EXPECT_EQ(F[1].DataType, ftBCD);
    EXPECT_EQ(F[1].Size, 18);
    EXPECT_EQ(Table->Value(0, 1).toLongLong(),
              1234567890); // every digit: the comparison above allows a relative 1e-6
    EXPECT_EQ(F[2].DataType, ftWideString);
    EXPECT_EQ(F[2].Size, 8); // Jet 4 sizes are in bytes, two for each character
    EXPECT_EQ(F[5].DataType, ftBoolean);
    EXPECT_EQ(F[10].DataType, ftDateTime);
    EXPECT_EQ(F[11].Size, 255);
    // Jet 3: one byte per character.
    EXPECT_EQ(TMdbDatabase(MdbFixture("testodbc.mdb")).OpenTable("FPdev")->Fields()[1].Size, 255);
}

TEST_F(MdbFixtures, MissingUnreadableOrForeignFilesGiveAClearMessage)
{
    // Cut and damaged copies: fuzz_mdb.
    QTemporaryDir Dir;
    auto Message = [](const QString &FileName) {
        try {
            TMdbDatabase Database(FileName);
            for (const QString &Name : Database.TableNames())
                Database.OpenTable(Name);
            return QString();
        } catch (const EDatabaseError &E) {
            return E.Message();
        }
    };
    QFile Text(Dir.filePath("text.mdb"));
    ASSERT_TRUE(Text.open(QIODevice::WriteOnly));
    Text.write("This is not a database at all, only some text.\n");
    Text.close();
    std::vector<std::pair<QString, QString>> Cases = {{Dir.filePath("missing.mdb"), "missing.mdb"},
                                                      {Text.fileName(), "not an Access database"},
                                                      {Dir.path(), ""}};
    for (const auto &[FileName, Expected] : Cases) {
        const QString Error = Message(FileName);
        EXPECT_FALSE(Error.isEmpty()) << FileName.toStdString();
        EXPECT_TRUE(Error.contains(Expected)) << Error.toStdString();
    }
}

} // namespace

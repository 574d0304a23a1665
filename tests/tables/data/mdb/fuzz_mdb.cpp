// Bounded random damage to the Access fixtures: every damaged copy opens with a clear error or
// reads completely, without a crash, a hang or a read outside what libmdb hands back.

#include "fileio.h"
#include "mdbfixtures.h"
#include "tables/data/mdb/mdbdatabase.h"

#include <QRandomGenerator>

using namespace qf::tables;

namespace {

TEST(MdbFuzz, DamagedDatabasesFailCleanly)
{
    REQUIRE_MDB_FIXTURES();
    QTemporaryDir Dir;
    int Opened = 0, Refused = 0;
    for (const char *Name : {"Monitor.mdb", "testodbc.mdb", "fruit.mdb"}) {
        const QByteArray Whole = qftest::ReadFile(MdbFixture(Name));
        QRandomGenerator Random(20261206);
        for (int Round = 0; Round < 150; ++Round) {
            QByteArray Damaged = Whole;
            if (Round % 5 == 4) {
                Damaged.truncate(Random.bounded(static_cast<int>(Whole.size())));
            } else {
                for (int Hit = 1 + Random.bounded(20); Hit > 0; --Hit)
                    Damaged[Random.bounded(static_cast<int>(Damaged.size()))] =
                        static_cast<char>(Random.bounded(256));
            }
            const QString FileName = Dir.filePath(QStringLiteral("damaged.mdb"));
            ASSERT_TRUE(qftest::WriteFile(FileName, Damaged));
            try {
                TMdbDatabase Database(FileName);
                for (const QString &Table : Database.TableNames()) {
                    const auto Rows = Database.OpenTable(Table);
                    for (int64_t Row = 0; Row < Rows->RowCount(); ++Row)
                        for (size_t Field = 0; Field < Rows->Fields().size(); ++Field)
                            Rows->AsString(Row, static_cast<int>(Field));
                }
                ++Opened;
            } catch (const EDatabaseError &E) {
                EXPECT_FALSE(E.Message().isEmpty());
                ++Refused;
            }
        }
    }
    EXPECT_GT(Opened, 0);
    EXPECT_GT(Refused, 0);
}

} // namespace

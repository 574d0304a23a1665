// Damaged and foreign grid layout files: every cut of a whole file, random bytes changed, and
// counts and lengths replaced by hostile values. The reader never reads past the bytes it is
// given, never applies what it did not read, and keeps each pick list whole and within its bound.

#include "tables/gridlayout.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <random>

using namespace qf::tables;

namespace {

const QStringList kNames = {"NAME", "AMOUNT", "BORN", "OK", "NOTE", "CITY"};

std::vector<TFieldEditInfo> Fresh()
{
    std::vector<TFieldEditInfo> Fields(6);
    const TDbfType Kinds[] = {dtC, dtN, dtD, dtL, dtM, dtC};
    for (int i = 0; i < 6; ++i) {
        Fields[size_t(i)].Kind = Kinds[i];
        Fields[size_t(i)].EditWidth = 10;
    }
    return Fields;
}

QByteArray Whole()
{
    std::vector<TFieldEditInfo> Fields = Fresh();
    for (int i = 0; i < 6; ++i) {
        Fields[size_t(i)].GridWidth = 40 + i;
        Fields[size_t(i)].Template = uint8_t(i % 2);
        if (HasPickList(Fields[size_t(i)].Kind))
            for (int j = 0; j < 5 + 9 * i; ++j)
                Fields[size_t(i)].PickList << QStringLiteral("entry ä %1").arg(j);
    }
    return WriteGridLayout(QStringLiteral("NAME"), true, kNames, Fields);
}

void CheckSane(const std::vector<TFieldEditInfo> &Fields)
{
    ASSERT_EQ(Fields.size(), 6u);
    for (const TFieldEditInfo &F : Fields) {
        EXPECT_LE(F.PickList.size(), kMaxPickList);
        EXPECT_GE(F.EditWidth, 1);
        EXPECT_GE(F.GridWidth, 0);
        EXPECT_LE(F.Template, 1);
        EXPECT_LE(F.Autocomplete, 1);
        if (!HasPickList(F.Kind)) {
            EXPECT_TRUE(F.PickList.isEmpty());
        }
    }
}

} // namespace

TEST(TablesGridLayoutFuzz, EveryCutReadsAPrefixOfTheWhole)
{
    const QByteArray Bytes = Whole();
    std::vector<TFieldEditInfo> All = Fresh();
    ReadGridLayout(Bytes, kNames, All);
    EXPECT_EQ(All[5].PickList.size(), 50);
    EXPECT_EQ(All[1].GridWidth, 41);
    for (qsizetype Cut = 0; Cut < Bytes.size(); ++Cut) {
        // A copy of exactly Cut bytes, so that the sanitizer sees any read past it.
        const QByteArray Part(Bytes.constData(), Cut);
        std::vector<TFieldEditInfo> Fields = Fresh();
        const TGridLayoutHead Head = ReadGridLayout(Part, kNames, Fields);
        CheckSane(Fields);
        if (Head.HasSort) {
            EXPECT_EQ(Head.SortField, "NAME");
        }
        for (size_t i = 0; i < Fields.size(); ++i)
            for (int j = 0; j < Fields[i].PickList.size(); ++j)
                ASSERT_EQ(Fields[i].PickList[j], All[i].PickList[j]);
    }
}

TEST(TablesGridLayoutFuzz, RandomDamageNeverCrashes)
{
    const QByteArray Bytes = Whole();
    std::mt19937 Random(7);
    const qint32 Hostile[] = {-1, -2147483647 - 1, 2147483647, 51, 6, 0, 12, 11, 1 << 20};
    for (int Round = 0; Round < 20000; ++Round) {
        QByteArray Damaged = Bytes;
        const int Changes = 1 + int(Random() % 4);
        for (int c = 0; c < Changes; ++c) {
            const qsizetype At = qsizetype(Random() % quint32(Damaged.size()));
            if (Random() % 2 && At + 4 <= Damaged.size())
                qToLittleEndian<qint32>(Hostile[Random() % std::size(Hostile)],
                                        Damaged.data() + At);
            else
                Damaged[At] = char(Random());
        }
        if (Random() % 3 == 0)
            Damaged.truncate(qsizetype(Random() % quint32(Damaged.size() + 1)));
        const QByteArray Exact(Damaged.constData(), Damaged.size());
        std::vector<TFieldEditInfo> Fields = Fresh();
        ReadGridLayout(Exact, kNames, Fields);
        CheckSane(Fields);
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(TablesGridLayoutFuzz, ForeignBytesAndEmptyFiles)
{
    std::mt19937 Random(11);
    for (int Round = 0; Round < 5000; ++Round) {
        QByteArray Noise(qsizetype(Random() % 200), '\0');
        for (char &C : Noise)
            C = char(Random());
        std::vector<TFieldEditInfo> Fields = Fresh();
        ReadGridLayout(QByteArray(Noise.constData(), Noise.size()), kNames, Fields);
        CheckSane(Fields);
    }
    std::vector<TFieldEditInfo> Fields = Fresh();
    EXPECT_FALSE(ReadGridLayout(QByteArray(), kNames, Fields).HasSort);
}

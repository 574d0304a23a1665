// Damaged and foreign grid layout files: every cut of a whole file, random bytes changed, and
// counts and lengths replaced by hostile values. The reader never reads past the bytes it is
// given, never applies what it did not read, and keeps each pick list whole and within its bound.

#include "tables/gridlayout.h"

#include <QtEndian>
#include <gtest/gtest.h>
#include <random>

using namespace qf::tables;

namespace {

// The last field has no pick list: a whole file ends with its grid width.
const QStringList kNames = {"NAME", "AMOUNT", "BORN", "CITY", "OK", "NOTE"};
const TDbfType kKinds[] = {dtC, dtN, dtD, dtC, dtL, dtM};

// Reads an exact copy of Bytes (so that the sanitizer sees any read past it) into fresh records.
std::vector<TFieldEditInfo> Read(const QByteArray &Bytes, TGridLayoutHead *Head = nullptr)
{
    std::vector<TFieldEditInfo> Fields(6);
    for (size_t i = 0; i < 6; ++i)
        Fields[i].Kind = kKinds[i], Fields[i].EditWidth = 10;
    const TGridLayoutHead H =
        ReadGridLayout(QByteArray(Bytes.constData(), Bytes.size()), kNames, Fields);
    if (Head)
        *Head = H;
    for (const TFieldEditInfo &F : Fields) {
        EXPECT_LE(F.PickList.size(), HasPickList(F.Kind) ? kMaxPickList : 0);
        EXPECT_GE(F.EditWidth, 1);
        EXPECT_GE(F.GridWidth, 0);
        EXPECT_LE(F.Template, 1);
        EXPECT_LE(F.Autocomplete, 1);
    }
    return Fields;
}

QByteArray Whole()
{
    std::vector<TFieldEditInfo> Fields(6);
    for (size_t i = 0; i < 6; ++i) {
        Fields[i].Kind = kKinds[i];
        Fields[i].GridWidth = 40 + int(i);
        Fields[i].Template = uint8_t(i % 2);
        for (int j = 0; HasPickList(Fields[i].Kind) && j < 5 + 15 * int(i); ++j)
            Fields[i].PickList << QStringLiteral("entry ä %1").arg(j);
    }
    return WriteGridLayout(QStringLiteral("NAME"), true, kNames, Fields);
}

} // namespace

TEST(TablesGridLayoutFuzz, EveryCutReadsAPrefixOfTheWholeAndDamageIsHarmless)
{
    const QByteArray Bytes = Whole();
    const std::vector<TFieldEditInfo> All = Read(Bytes);
    EXPECT_EQ(All[3].PickList.size(), 50);
    EXPECT_EQ(All[5].GridWidth, 45);
    for (qsizetype Cut = 0; Cut < Bytes.size(); ++Cut) {
        TGridLayoutHead Head;
        const std::vector<TFieldEditInfo> Fields = Read(Bytes.left(Cut), &Head);
        EXPECT_TRUE(!Head.HasSort || Head.SortField == "NAME");
        EXPECT_EQ(Fields[5].GridWidth, 0) << Cut; // its last bytes are missing
        for (size_t i = 0; i < Fields.size(); ++i)
            for (int j = 0; j < Fields[i].PickList.size(); ++j)
                ASSERT_EQ(Fields[i].PickList[j], All[i].PickList[j]);
    }

    std::mt19937 Random(7);
    const qint32 Hostile[] = {-1, -2147483647 - 1, 2147483647, 51, 6, 0, 12, 11, 1 << 20};
    for (int Round = 0; Round < 20000 && !::testing::Test::HasFailure(); ++Round) {
        QByteArray Damaged = Bytes;
        for (int c = 1 + int(Random() % 4); c > 0; --c) {
            const qsizetype At = qsizetype(Random() % quint32(Damaged.size()));
            if (Random() % 2 && At + 4 <= Damaged.size())
                qToLittleEndian<qint32>(Hostile[Random() % std::size(Hostile)],
                                        Damaged.data() + At);
            else
                Damaged[At] = char(Random());
        }
        if (Random() % 3 == 0)
            Damaged.truncate(qsizetype(Random() % quint32(Damaged.size() + 1)));
        Read(Damaged);
    }
    for (int Round = 0; Round < 5000; ++Round) {
        QByteArray Noise(qsizetype(Random() % 200), '\0');
        for (char &C : Noise)
            C = char(Random());
        Read(Noise);
    }
}

// Damaged project files, every cut length and bounded random bit flips: each opens as far as it
// is whole, reports when it is not, and saves again. Also run under AddressSanitizer and UBSan.

#include "composer/attachments.h"
#include "composer/project.h"
#include "composer/projectitems.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace qf::composer;

namespace {

QByteArray SampleFile(const QString &Folder)
{
    TMailProject P;
    P.GetMessageSettings = [] {
        TMessageSettings S;
        S.FText = "A > 1";
        S.UseF = true;
        S.Subject = "Hello %NAME";
        S.ToAddr = "EMAIL";
        S.Plain = "plain";
        S.From = "me";
        return S;
    };
    TAttachments(P.DList1).Add({"/a/B.pdf", "/c"});
    PutString(P.DList1, "CF~Expr~X", kindCalcExpr, "1+2");
    PutInt32(P.DList1, "CF~Type~X", kindCalcType, 0);
    P.ChooseSaveFile = [&](QString &F) {
        F = Folder + "/sample.qfx";
        return true;
    };
    EXPECT_TRUE(P.SaveProjectAs());
    QFile F(Folder + "/sample.qfx");
    EXPECT_TRUE(F.open(QIODevice::ReadOnly));
    return F.readAll();
}

void OpenAndSave(const QString &Folder, const QByteArray &Bytes)
{
    const QString Name = Folder + "/damaged.qfx";
    {
        QFile F(Name);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        F.write(Bytes);
    }
    TMailProject P;
    TMessageSettings Seen;
    int Messages = 0;
    P.ApplyMessageSettings = [&](const TMessageSettings &S) { Seen = S; };
    P.OnError = [&](const QString &) { ++Messages; };
    const bool Whole = P.OpenMailFile(Name);
    EXPECT_EQ(Whole, Messages == 0);
    EXPECT_GE(Seen.Charset, 0);
    EXPECT_LT(Seen.Charset, CharsetCount);
    (void)TAttachments(P.DList1).Lines();
    P.GetMessageSettings = [&] { return Seen; };
    EXPECT_TRUE(P.SaveProject());
}

TEST(FuzzProject, EveryCutLength)
{
    QTemporaryDir Dir;
    const QByteArray Whole = SampleFile(Dir.path());
    ASSERT_GT(Whole.size(), 100);
    for (qsizetype N = 0; N <= Whole.size(); ++N)
        OpenAndSave(Dir.path(), Whole.left(N));
}

TEST(FuzzProject, BitFlips)
{
    QTemporaryDir Dir;
    const QByteArray Whole = SampleFile(Dir.path());
    std::mt19937 Random(20261206);
    for (int Round = 0; Round < 1500; ++Round) {
        QByteArray Bytes = Whole;
        const int Flips = 1 + int(Random() % 4);
        for (int K = 0; K < Flips; ++K)
            Bytes[qsizetype(Random() % Bytes.size())] ^= char(1u << (Random() % 8));
        OpenAndSave(Dir.path(), Bytes);
    }
}

} // namespace

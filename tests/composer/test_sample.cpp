// The sample project shipped beside the sample table: the generator writes it again byte for
// byte, and merged over the table's first contact every placeholder finds its value.

#include "composerfixture.h"

#include <QFile>
#include <QProcess>

namespace {

TEST(SampleProject, GeneratedAgainAndMergedOverTheSampleTable)
{
    QTemporaryDir Dir;
    ASSERT_EQ(QProcess::execute(QStringLiteral(QF_MAKE_SAMPLE_PROJECT), {Dir.path()}), 0);
    EXPECT_EQ(ReadBytes(Dir.filePath("letter.qfx")),
              ReadBytes(QStringLiteral(QF_SAMPLE_DIR "/letter.qfx")));

    for (const char *Name : {"contacts.dbf", "contacts.dbt"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(QF_SAMPLE_DIR "/") + Name, Dir.filePath(Name)));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TMailProject Project;
    TMessageSettings S;
    Project.ApplyMessageSettings = [&S](const TMessageSettings &Loaded) { S = Loaded; };
    ASSERT_TRUE(Project.OpenMailFile(QStringLiteral(QF_SAMPLE_DIR "/letter.qfx")));
    EXPECT_EQ(S.ToAddr, "EMAIL");
    EXPECT_EQ(S.SubMail, 4);
    EXPECT_EQ(Project.CharsetIndex, 14);

    TOpenTable Table;
    ASSERT_TRUE(Table.Open(Dir.path() + "/", QStringLiteral("contacts.dbf")));
    store::TReader Reader1;
    shell::SetupMainReader(Reader1);
    expr::TAdCalc AdCalc1; // quoting as the main window's engine does
    AdCalc1.SetStringSign(expr::ssApostrophe);
    AdCalc1.SetCommentSign(expr::csQMark);
    TMailMerge M(Project.DList1, Reader1, AdCalc1);
    TRecordHost Host(Project.DList1, Reader1, AdCalc1, M, Table.Query);
    Table.Query.First();
    QString To;
    ASSERT_TRUE(M.EvaluateName(S.ToAddr, To));
    EXPECT_EQ(To, "piet.garroway1@example.org");
    EXPECT_EQ(M.ExpandPlaceholders(S.Subject), "Your account in Ambervale");
    const QString Body = M.ExpandPlaceholders(S.Doc);
    EXPECT_TRUE(Body.contains("Dear Piet Garroway,")) << Body.toStdString();
    EXPECT_TRUE(Body.contains("<B>Ambervale</B> stands at <B>2733.36</B>"));
    EXPECT_FALSE(Body.contains('%'));
    EXPECT_FALSE(M.ExpandPlaceholders(S.Plain).contains('%'));
    EXPECT_TRUE(Host.Errors.empty());
    QLocale::setDefault(QLocale::c());
}

} // namespace

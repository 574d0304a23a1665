// The merge of one record over a real dBASE table, the engine and the project store.

#include "composerfixture.h"
#include "tables/restructure.h"
#include "tables/saveas.h"
#include "tables/workspace.h"

namespace {

const std::vector<TRawField> kFields = {
    {"NAME", 'C', 12}, {"NAME_2", 'C', 8}, {"AMOUNT", 'N', 10, 2}, {"DUE", 'D', 8},
    {"PAID", 'L', 1},  {"URL", 'C', 30},   {"E", 'C', 4},          {"NOTE", 'M', 10}};

class Merge : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TOpenTable Table;
    TMailProject Project;
    store::TReader Reader1;
    expr::TAdCalc AdCalc1;
    TMailMerge M{Project.DList1, Reader1, AdCalc1};
    std::unique_ptr<TRecordHost> Host;

    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString Folder = Dir.path() + QLatin1Char('/');
        WriteBytes(Dir.filePath("clients.dbf"),
                   RawDbf(0x83, kFields,
                          {RawRecord(kFields, {"Smith", "x7\xC3\xA9", "1234.5", "20240105", "T",
                                               "http://a.example/p?id=7", "ee", "1"}),
                           RawRecord(kFields, {"", "", "", "", "?", "", "", ""})}));
        QByteArray Memo(512, '\0');
        qToLittleEndian<quint32>(2, Memo.data());
        Memo += QByteArray("line one\r\nline two\x1A\x1A");
        WriteBytes(Dir.filePath("clients.dbt"), Memo);
        ASSERT_TRUE(Table.Open(Folder, QStringLiteral("clients.dbf")));
        shell::SetupMainReader(Reader1);
        Host = std::make_unique<TRecordHost>(Project.DList1, Reader1, AdCalc1, M, Table.Query);
        Table.Query.First();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QString X(const char *Text) { return M.ExpandPlaceholders(QString::fromUtf8(Text)); }
};

TEST_F(Merge, PlaceholdersBesidePunctuationAndAtTheEnds)
{
    EXPECT_EQ(X("Dear %NAME, hello"), "Dear Smith, hello");
    EXPECT_EQ(X("Dear %name, %Name."), "Dear Smith, Smith.");
    EXPECT_EQ(X("%NAME"), "Smith");
    EXPECT_EQ(X("%NAME%"), "Smith%");
    EXPECT_EQ(X("%%NAME"), "%Smith");
    EXPECT_EQ(X("%NAME.X %NAME-X"), "Smith.X Smith-X");
    EXPECT_EQ(X("%NAME_2 %NAME;"), "x7é Smith;"); // a text beyond ASCII is decoded
    EXPECT_EQ(X("%NAME\r\nnext"), "Smith\r\nnext");
    EXPECT_EQ(X("é %NAMEé"), "é %NAMEé"); // characters above 255 belong to the name
    EXPECT_EQ(X("<a href=%URL>%NAME</a>"), "<a href=http://a.example/p?id=7>Smith</a>");
    EXPECT_EQ(X("<P>Dear&nbsp;%NAME,&nbsp;</P>"), "<P>Dear&nbsp;Smith,&nbsp;</P>");
    // The same text for the next record gives that record's values.
    Table.Query.Next();
    EXPECT_EQ(X("Dear %NAME, hello"), "Dear , hello");
    // A name whose upper case is longer than itself ends where it was written.
    AddCalcField(Project.DList1, "STRASSE", 3, "\"x\"");
    EXPECT_EQ(X("%straße!"), "x!");
}

// The same text merged again after the dataset opened another table, and after that table was
// restructured: each time the fields are found by name in the table open now.
TEST_F(Merge, TheSameTextReadsTheFieldsOfTheTableOpenNow)
{
    const char *Text = "%NAME|%E|%CITY|%AMOUNT";
    tables::TTableWorkspace W;
    W.OpenDBFFile(Dir.filePath("clients.dbf"));
    M.ADOQuery1 = &W.ADOQuery1();
    EXPECT_EQ(X(Text), "Smith|ee|%CITY|1234.5");

    const std::vector<TRawField> Other = {{"E", 'C', 3}, {"CITY", 'C', 8}, {"NAME", 'C', 8}};
    WriteBytes(Dir.filePath("other.dbf"),
               RawDbf(0x03, Other, {RawRecord(Other, {"e2", "Rome", "Jones"})}));
    W.OpenDBFFile(Dir.filePath("other.dbf"));
    EXPECT_EQ(X(Text), "Jones|e2|Rome|%AMOUNT");

    // Restructured in place: NAME moved to the top, E dropped.
    tables::TRestructure List;
    List.BuildFieldDefs(W.ADOQuery1(), W.FieldInfo);
    ASSERT_TRUE(List.MoveUp(2));
    ASSERT_TRUE(List.MoveUp(1));
    List.Delete(1);
    tables::TSaveAsFlow Flow{W};
    Flow.OnConfirmLoss = [](const QString &) { return true; };
    ASSERT_TRUE(Flow.SaveAs(Dir.filePath("other.dbf"), List.FFieldDefs, false));
    ASSERT_EQ(W.ADOQuery1().FieldCount(), 2);
    EXPECT_EQ(X(Text), "Jones|%E|Rome|%AMOUNT");
}

TEST_F(Merge, StoredNumbersMergeAsTheTableWritesThem)
{
    // Stored texts and the table's own texts of their values (blank and no number: nothing).
    const std::vector<std::pair<const char *, const char *>> Rows = {
        {"1234.50", "1234.5"},
        {"-0.05", "-0.05"},
        {"000123.40", "123.4"},
        {"0.000120", "0.00012"},
        {"0.0000123", "1.23E-5"},
        {"5000000.000", "5000000"},
        {"123456789012345", "123456789012345"},
        {"1234567890123456", "1.23456789012346E15"},
        {"123456789012.3456", "123456789012.346"},
        {"12,5", "12.5"},
        {"1e5", "100000"},
        {"", ""},
        {"x", ""},
    };
    const std::vector<TRawField> Fields = {{"N", 'N', 24, 6}};
    std::vector<QByteArray> Records;
    for (const auto &Row : Rows)
        Records.push_back(RawRecord(Fields, {Row.first}));
    WriteBytes(Dir.filePath("numbers.dbf"), RawDbf(0x03, Fields, Records));
    Table.Query.Close();
    ASSERT_TRUE(
        tables::PrepareTableQuery(Table.SQLSet, Table.Query, QStringLiteral("numbers.dbf")));
    Table.Query.Open();
    for (const auto &Row : Rows) {
        EXPECT_EQ(X("%N"), QString::fromLatin1(Row.second)) << Row.first;
        Table.Query.Next();
    }
}

TEST_F(Merge, WhatIsNoPlaceholderStaysAsWritten)
{
    for (const char *Text :
         {"100%", "% NAME", "%12 and %3.5", "%XYZ", "%", "%%", "a%-b", "%\r\nNAME"})
        EXPECT_EQ(X(Text), QString::fromUtf8(Text)) << Text;
    // A name holding a delimiter cannot be addressed whole.
    EXPECT_EQ(X("%E-MAIL"), "ee-MAIL");
    // A text merged before is read again by the reader's delimiters of now.
    EXPECT_EQ(X("%NAME_2"), "x7é");
    Reader1.AddDelimiter(QStringLiteral("_"), 0, nullptr);
    EXPECT_EQ(X("%NAME_2"), "Smith_2");
    QString V = QStringLiteral("unchanged");
    EXPECT_FALSE(M.EvaluateName(QStringLiteral("XYZ"), V));
    EXPECT_EQ(V, "unchanged");
}

TEST_F(Merge, FieldKindsAndNullsInACommaLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(X("%AMOUNT|%DUE|%PAID|%NOTE"), "1234,5|05.01.2024|True|line one\r\nline two");
    Table.Query.Next();
    // Empty text, numbers and dates merge as nothing; an empty logical reads False. An
    // expression over them keeps its own rules.
    EXPECT_EQ(X("[%NAME]|[%AMOUNT]|%PAID|[%DUE]|[%NOTE]"), "[]|[]|False|[]|[]");
    AddCalcField(Project.DList1, "PLUS", 1, "AMOUNT + 1");
    EXPECT_EQ(X("%PLUS"), "1");
}

TEST_F(Merge, CalculatedFieldsOfEveryTypeWinOverFields)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AddCalcField(Project.DList1, "TWICE", 0, "2 * 21");
    AddCalcField(Project.DList1, "TAX", 1, "AMOUNT * 0.2");
    AddCalcField(Project.DList1, "RICH", 2, "AMOUNT > 1000");
    AddCalcField(Project.DList1, "GREETING", 3, "\"Dear \" + NAME");
    AddCalcField(Project.DList1, "LATER", 4, "DUE + 1.5");
    AddCalcField(Project.DList1, "NAME", 3, "\"calc\"");
    AddCalcField(Project.DList1, "NESTED", 3, "GREETING + \"!\"");
    EXPECT_EQ(X("%twice %TAX %RICH %GREETING %LATER %NAME %NESTED"),
              "42 246,9 True Dear Smith 06.01.2024 12:00:00 calc Dear Smith!");
    EXPECT_TRUE(Host->Errors.empty()) << Host->Errors.front().toStdString();
    EXPECT_TRUE(M.FEvalStack->isEmpty());
}

// The locale is taken once a pass: a changed locale shows when the record is asked again or a new
// pass begins.
TEST_F(Merge, CalculatedFloatsFollowAChangedLocale)
{
    AddCalcField(Project.DList1, "QUARTER", 1, "AMOUNT + 0.25");
    QString V;
    const auto Quarter = [&] {
        EXPECT_TRUE(M.EvaluateName(QStringLiteral("QUARTER"), V));
        return V;
    };
    EXPECT_EQ(Quarter(), "1234.75");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Quarter(), "1234,75");
    Table.Query.Next();
    EXPECT_EQ(Quarter(), "0,25");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Table.Query.First();
    EXPECT_EQ(Quarter(), "1234.75");
}

TEST_F(Merge, AFailingCalculatedFieldStaysAndIsReportedOnce)
{
    AddCalcField(Project.DList1, "BAD", 0, "NAME + 1");
    AddCalcField(Project.DList1, "ODD", 7, "1");
    AddCalcField(Project.DList1, "BIG", 1, "1e4000 * 1e4000");
    AddCalcField(Project.DList1, "FAR", 4, "DUE + 4000000"); // past the year 9999
    std::vector<QString> Raised;
    M.OnCalcException = [&](const QString &Name, const QString &) { Raised.push_back(Name); };
    EXPECT_EQ(X("a %BAD b %ODD c"), "a %BAD b %ODD c");
    ASSERT_EQ(Host->Errors.size(), 1u);
    EXPECT_TRUE(Host->Errors[0].contains("\"BAD\"")) << Host->Errors[0].toStdString();
    EXPECT_EQ(X("%BIG %FAR"), "%BIG %FAR");
    EXPECT_EQ(Raised, std::vector<QString>{"BIG"});
    // A field of the same name is not consulted for a calculated field that failed.
    AddCalcField(Project.DList1, "NAME", 0, "\"x\""); // a string for an integer
    EXPECT_EQ(X("%NAME"), "%NAME");
    EXPECT_TRUE(M.FEvalStack->isEmpty());
}

} // namespace

// The merge of one record over a real dBASE table, the engine and the project store.

#include "composerfixture.h"

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

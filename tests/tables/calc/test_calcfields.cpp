// Calculated fields in the project store, the record variables over real dBASE tables, and the
// record filter.

#include "calcfixture.h"
#include "composer/merge.h"
#include "dbforacle.h"
#include "store/sqlset.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/data/connection.h"
#include "tables/data/tablequery.h"

#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <random>

using namespace qf;
using namespace qf::tables;
using calctest::TRow;

namespace {

std::vector<TFieldDefRec> PeopleFields()
{
    return {Def("NAME", dtC, 20), Def("CITY", dtC, 12), Def("AMOUNT", dtN),
            Def("DUE", dtD),      Def("PAID", dtL),     Def("NOTE", dtM)};
}

QString S(const char *Text) { return QString::fromUtf8(Text); }

// A decimal text as an exact count of 10^-20 units; a blank reads as zero.
__int128 Units(const QString &Text)
{
    const QStringList Parts = (Text.isEmpty() ? QStringLiteral("0") : Text).split(u'.');
    const bool Negative = Parts[0].startsWith(u'-');
    __int128 Value = 0;
    for (const QChar C : Parts[0].mid(Negative) + Parts.value(1).leftJustified(20, u'0'))
        Value = Value * 10 + C.digitValue();
    return Negative ? -Value : Value;
}

class CalcFields : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        // The main window's scanner and engine settings.
        Reader.SetDefaultBlanks();
        Reader.SetDefaultDelimiters();
        for (const QChar Break : {QChar(10), QChar(13)}) {
            Reader.ExcludeBlank(Break);
            Reader.AddDelimiter(QString(Break), 0, nullptr);
        }
        Calc.SetStringSign(expr::ssApostrophe);
        Calc.SetCommentSign(expr::csQMark);
        SetupProjectStore(Store);

        Vars.MainDataSet = &Query;
        Vars.ShowError = [this](const QString &Text) { Errors << Text; };
        Vars.AskYesNo = [this](const QString &Text) {
            Questions << Text;
            const bool Yes = !Answers.empty() && Answers.front();
            if (!Answers.empty())
                Answers.pop_front();
            return Yes;
        };
        Vars.OnFilterError = [this](int Place) { Places.push_back(Place); };
        Vars.AttachFilter(Query);
        // Names are merged as the main window merges them, sharing the variables' state.
        Merge.FEvalStack = &Vars.FEvalStack;
        Merge.FCalcError = &Vars.FCalcError;
        Merge.FInFilter = &Vars.FInFilter;
        Merge.OnPointAtDataSet = [this](TADOQuery *DataSet) { Vars.CurrentDataSet = DataSet; };
        Merge.ADOQuery1 = &Query;

        calctest::WriteTable(
            Dir.filePath("people.dbf"), PeopleFields(),
            {TRow{S("Smith"), S("Berlin"), S("10.5"), S("20240105"), S("T"),
                  S("urgent: call back")},
             TRow{S("anna"), S("Hamburg"), S("3"), S("20230301"), S("F"), std::nullopt}, TRow(6),
             TRow{S("Bob"), S("Berlin"), S("-2.25"), S("20241231"), S("F"),
                  QString(600, QLatin1Char('n')) + S(" urgent")},
             TRow{S("Zoë"), S("Köln"), S("1000"), S("19991231"), S("T"), S("Ünïcode note")}});
        const QString Folder = Dir.path() + QLatin1Char('/');
        Connection.ConnectionString = FormatConnectionString(Folder, Folder, kDbaseDriver);
        InitTableQuerySet(SQLSet);
    }

    // Opens a table as the window does: the filter compiled first, then Filtered as "Use
    // Filter" says.
    void Open(const QString &Filter = QString(), bool UseFilter = false,
              const QString &Table = QStringLiteral("people.dbf"))
    {
        Query.Close();
        Vars.CompileFilter(Filter);
        Query.SetFiltered(UseFilter);
        ASSERT_TRUE(PrepareTableQuery(SQLSet, Query, Table));
        Query.Open();
    }

    std::vector<int64_t> Visible()
    {
        std::vector<int64_t> Rows;
        for (Query.First(); !Query.Eof(); Query.Next())
            Rows.push_back(Query.CurrentRow());
        return Rows;
    }

    void Define(const char *Name, int32_t Type, const QString &Expression)
    {
        Fields.Add(S(Name));
        Fields.SetTypeCode(S(Name), Type);
        Fields.SetExpression(S(Name), Expression);
    }

    // The name's text on every record of the table, "!" for a failed evaluation.
    QString Column(const char *Name)
    {
        QStringList Texts;
        for (Query.First(); !Query.Eof(); Query.Next()) {
            QString Value;
            Texts << (Merge.EvaluateName(S(Name), Value) ? Value : QStringLiteral("!"));
        }
        return Texts.join(u'|');
    }

    // The records a copy of the open table takes through Filter, the copy filter.
    int CopyCount(const QString &Filter)
    {
        TADOQuery Copy;
        Vars.AttachFilter(Copy, hCopyFilter);
        Vars.CompileFilter(Filter, hCopyFilter);
        Copy.SetFiltered(true);
        Copy.Clone(Query);
        const int Count = int(Copy.RecordCount());
        Vars.RemoveFilter(hCopyFilter);
        return Count;
    }

    QTemporaryDir Dir;
    store::TReader Reader;
    store::TDList Store;
    expr::TAdCalc Calc;
    TCalcFields Fields{Store, Reader};
    TRecordVariables Vars{Calc, Fields};
    composer::TMailMerge Merge{Store, Reader, Calc};
    store::TSQLSet SQLSet;
    TADOConnection Connection;
    TADOQuery Query{&Connection};
    QStringList Errors, Questions;
    std::deque<bool> Answers;
    std::vector<int> Places;
};

TEST_F(CalcFields, StoreItemsNamesAndTheirOrder)
{
    for (const char *Name : {"a_b", "Total", "ab", "a", "b", "Ärger", "x`y"})
        Fields.Add(S(Name));
    Fields.Delete(S("Total"));
    int32_t Type;
    EXPECT_FALSE(Fields.TypeCode(S("Total"), Type));
    // Other items of the project are not names.
    Store.Add(QStringLiteral("CF~Expr~FText"), 4, new QString(S("x")));
    Store.Add(QStringLiteral("CF~Expr~A~B"), 2, new QString());
    // Byte order of the upper-case names: "_" after the letters, a name before its extensions.
    EXPECT_EQ(Fields.RefreshCalcFieldList(),
              QStringList({S("A"), S("AB"), S("A_B"), S("B"), S("X`Y"), S("ÄRGER")}));
    for (const char *Good : {"A_B", "A2", "_x", "x`", "Ärger", "naïve", "Δx"})
        EXPECT_TRUE(Fields.ValidName(S(Good))) << Good;
    for (const char *Bad :
         {"2nd", "0a", "a b", "a-b", "a.b", "a~b", "a\tb", "a'b", "a\"b", "a\nb", "a%b", "a(b"})
        EXPECT_FALSE(Fields.ValidName(S(Bad))) << Bad;
}

TEST_F(CalcFields, EveryTypeOverEveryFieldKindAndNulls)
{
    Open();
    Define("INTF", cfInteger, S("length(NAME) + length(NOTE) * 1000"));
    Define("FLT", cfFloat, S("AMOUNT * 2 + 0.25"));
    Define("BOOL", cfBoolean, S("PAID and (AMOUNT > 5)"));
    Define("STR", cfString, S("NAME + '/' + CITY + '/' + copy(NOTE, 1, 6)"));
    Define("DT", cfDateTime, S("incmonth(DUE, 1)"));
    Define("DOUBLE", cfFloat, S("FLT * 2")); // a field referring to another

    EXPECT_EQ(Column("intf"), "17005|4|0|607003|12003");
    EXPECT_EQ(Column("FLT"), "21.25|6.25|0.25|-4.25|2000.25");
    EXPECT_EQ(Column("Bool"), "True|False|False|False|True");
    EXPECT_EQ(Column("str"), S("Smith/Berlin/urgent|anna/Hamburg/|//|Bob/Berlin/"
                               "nnnnnn|Zoë/Köln/Ünïcod"));
    QStringList Days;
    for (const QDate &Day : {QDate(2024, 2, 5), QDate(2023, 4, 1), QDate(1900, 1, 30),
                             QDate(2025, 1, 31), QDate(2000, 1, 31)})
        Days << DateTimeToStr(DateToSerial(Day));
    EXPECT_EQ(Column("dt"), Days.join(u'|'));
    EXPECT_EQ(Column("double"), "42.5|12.5|0.5|-8.5|4000.5");
    // Dataset fields: an empty logical reads False, an empty number nothing.
    EXPECT_EQ(Column("paid"), "True|False|False|False|True");
    EXPECT_EQ(Column("amount"), "10.5|3||-2.25|1000");
    EXPECT_EQ(Column("nothing"), "!|!|!|!|!");
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join(u'|').toStdString();
}

TEST_F(CalcFields, TypeMismatchesAndErrorsNameTheInnermostField)
{
    Open();
    // A number field and a Float field answer no integer request; a text field no number one.
    Define("HALF", cfInteger, S("AMOUNT div 2"));
    Define("FLT", cfFloat, S("AMOUNT"));
    Define("TWICE", cfInteger, S("FLT div 2"));
    Define("TEXT", cfFloat, S("NAME * 2"));
    Query.First();
    QString Value;
    for (const char *Name : {"half", "twice", "text"})
        EXPECT_FALSE(Merge.EvaluateName(S(Name), Value)) << Name;
    ASSERT_EQ(Errors.size(), 3);
    EXPECT_EQ(Errors[0], S("Error in expression of Calculated Field \"HALF\" with description:\n"
                           "\"Line 1, Col 6, Integer type value expected\""));
    EXPECT_TRUE(Errors[1].startsWith(S("Error in expression of Calculated Field \"TWICE\"")));
    EXPECT_TRUE(Errors[2].endsWith(S("Numerical type value expected\"")));

    // An error inside B used by A is reported once, for B.
    Errors.clear();
    Define("A", cfFloat, S("B * 2"));
    Define("B", cfFloat, S("AMOUNT / (AMOUNT - AMOUNT)"));
    EXPECT_FALSE(Merge.EvaluateName(S("a"), Value));
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].startsWith(S("Error in expression of Calculated Field \"B\"")));

    // A dataset field and a calculated field of one name: expressions read the field, the merge
    // the calculated field.
    Define("NAME", cfString, S("'calc'"));
    Define("SHOWN", cfString, S("NAME"));
    EXPECT_EQ(Column("shown").left(5), "Smith");
    EXPECT_EQ(Column("name").left(4), "calc");
}

TEST_F(CalcFields, RepeatedCallsAreReportedOncePerEvaluation)
{
    Open();
    Define("SELF", cfString, S("SELF + 'x'"));
    Define("A", cfInteger, S("B + 1"));
    Define("B", cfInteger, S("A + 1"));
    QString Value;
    EXPECT_FALSE(Merge.EvaluateName(S("self"), Value));
    EXPECT_EQ(Errors, QStringList({S("Repeated call of identifier \"SELF\"")}));
    EXPECT_TRUE(Vars.FCalcError);

    // The latch stays within its evaluation: a filter afterwards asks on each record whether to
    // switch it off (each failing record is kept), and a sound filter after it selects again.
    Errors.clear();
    Answers = {false, true};
    Open(S("SELF = 'x' or AMOUNT > 100"), true);
    EXPECT_EQ(Visible().size(), 5u);
    EXPECT_TRUE(Errors.isEmpty());
    EXPECT_EQ(Questions, QStringList(2, S("Repeated call of identifier \"SELF\";\nDo You "
                                          "whant to Disable Filter?")));
    Open(S("CITY = 'Berlin'"), true);
    EXPECT_EQ(Visible(), (std::vector<int64_t>{0, 3}));

    // The copy filter of an unfiltered table reports each record.
    Open();
    EXPECT_EQ(CopyCount(S("SELF = 'x'")), 5);
    EXPECT_EQ(Errors.size(), 5);
    EXPECT_EQ(CopyCount(S("AMOUNT > 100")), 1);

    // Each name evaluation reports again, once.
    Errors.clear();
    EXPECT_FALSE(Merge.EvaluateName(S("a"), Value));
    EXPECT_EQ(Errors, QStringList({S("Repeated call of identifier \"A\"")}));
    EXPECT_TRUE(Vars.FEvalStack.isEmpty());
}

TEST_F(CalcFields, NowAndTheMailingStopsInsteadOfAsking)
{
    Open(S("AMOUNT > -1000"), true);
    Define("STAMP", cfDateTime, S("NOW"));
    const double Before = DateTimeToSerial(QDateTime::currentDateTime());
    long double Stamp = 0;
    bool Found = false;
    Vars.AdCalc1GetExtendedVar(S("stamp"), Found, Stamp);
    EXPECT_FALSE(Found); // a DateTime field answers no Float request
    expr::TDateTime When = 0;
    Vars.AdCalc1GetDateTimeVar(S("stamp"), Found, When);
    EXPECT_TRUE(Found);
    EXPECT_GE(When, Before - 1e-6);

    // With the mailing dialog showing, a calculated field's error ends the preparation and shows
    // a message, even while the filter is on.
    int Stops = 0;
    Vars.MailingVisible = [] { return true; };
    Vars.StopPreparing = [&Stops] { ++Stops; };
    Define("BAD", cfFloat, S("1 / 0"));
    Vars.FInFilter = true;
    QString Value;
    EXPECT_FALSE(Merge.EvaluateName(S("bad"), Value));
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Questions.isEmpty());
}

TEST_F(CalcFields, FailingFiltersAskPerRecordUntilYes)
{
    Open(S("AMOUNT >"), false); // off: everything, no question
    EXPECT_EQ(Visible().size(), 5u);
    EXPECT_TRUE(Questions.isEmpty());

    Answers = {false, false, true};
    Open(S("AMOUNT >"), true);
    EXPECT_EQ(Visible().size(), 5u);
    ASSERT_EQ(Questions.size(), 3);
    EXPECT_TRUE(
        Questions[0].startsWith(S("Error in Filter Expression With Description:\n\"Line 1, Col ")));
    EXPECT_TRUE(Questions[0].endsWith(S("\";\nDo You whant to Disable Filter?")));
    EXPECT_EQ(Places.size(), 3u);
    EXPECT_GT(Places[0], 0);

    // Every opening compiles again; an empty text, a text of another type and a fault without an
    // error code fail the same way.
    for (const char *Text : {"", "NAME", "encodedate(2024, 13, 1) > DUE"}) {
        Questions.clear();
        Answers = {false, true};
        Open(S(Text), true);
        EXPECT_EQ(Visible().size(), 5u);
        EXPECT_EQ(Questions.size(), 2) << Text;
    }

    // A failing calculated field in the filter asks in its own words.
    Questions.clear();
    Answers = {true};
    Define("B", cfFloat, S("1 / (AMOUNT - AMOUNT)"));
    Open(S("B > 0 or NAME = 'Smith'"), true);
    EXPECT_EQ(Visible().size(), 5u);
    ASSERT_EQ(Questions.size(), 1);
    EXPECT_TRUE(Questions[0].startsWith(
        S("Error in expression of Calculated Field \"B\" with description:\n")));
    EXPECT_TRUE(Questions[0].endsWith(S(";\nDo You whant to Disable Filter?")));

    // The copy filter asks without pointing the filter page at the error; removed, it takes all.
    Questions.clear();
    Places.clear();
    Answers = {true};
    Open();
    EXPECT_EQ(CopyCount(S("CITY = 'Berlin'")), 2);
    EXPECT_EQ(CopyCount(S("CITY +")), 5);
    EXPECT_EQ(Questions.size(), 1);
    EXPECT_TRUE(Places.empty());
}

TEST_F(CalcFields, DecimalsCompareAsTheirDigits)
{
    // A number field holds decimal digits: it compares as the same digits typed as a literal,
    // in the filter and through a Float calculated field, pending edits included.
    const char *Values[] = {"10.1",          "10.10",  "0.07",    "0.1",  "0.10",  "0.3",  "0.30",
                            "0.30000000001", "999.99", "1234.56", "-0.3", "-0.30", "30.3", "0",
                            "-1234.56",      "2.675",  "0.21",    "0.9",  "1010",  "1.01", "10.3"};
    std::vector<TRow> Table(std::size(Values) + 1, TRow(6));
    for (size_t i = 0; i < std::size(Values); ++i)
        Table[i + 1][2] = S(Values[i]);
    calctest::WriteTable(Dir.filePath("dec.dbf"), PeopleFields(), Table);
    Define("AM", cfFloat, S("AMOUNT"));

    // Comparisons with every value and with near misses that doubles cannot tell apart, against
    // exact decimal arithmetic.
    const std::pair<const char *, std::function<bool(__int128, __int128)>> Ops[] = {
        {"=", std::equal_to<>()},    {"<>", std::not_equal_to<>()}, {"<", std::less<>()},
        {"<=", std::less_equal<>()}, {">", std::greater<>()},       {">=", std::greater_equal<>()}};
    const auto Check = [&](const QString &Text, const std::function<bool(__int128)> &Test) {
        std::vector<int64_t> Want;
        for (size_t r = 0; r < Table.size(); ++r)
            if (Test(Units(Table[r][2].value_or(QString()))))
                Want.push_back(int64_t(r));
        for (const QString &Name : {S("AMOUNT"), S("AM")}) {
            const QString Filter = QString(Text).replace(u'X', Name);
            Open(Filter, true, QStringLiteral("dec.dbf"));
            EXPECT_EQ(Visible(), Want) << Filter.toStdString();
        }
    };
    for (const char *Literal :
         {"10.1", "0.07", "0.1", "0.3", "999.99", "1234.56", "-0.3", "-1234.56", "30.3", "0",
          "2.675", "0.30000000001", "0.30000000000000001", "0.29999999999999999",
          "10.09999999999999999"})
        for (const auto &[Op, Compare] : Ops)
            Check(S("X ") + S(Op) + u' ' + S(Literal),
                  [&](__int128 A) { return Compare(A, Units(S(Literal))); });
    for (const auto &[Lo, Hi] : {std::pair{"0.1", "0.3"},
                                 {"0.07", "10.1"},
                                 {"999.99", "1234.56"},
                                 {"-0.3", "0"},
                                 {"0.3", "0.3"},
                                 {"-1234.56", "-0.3"}})
        Check(S("X >= %1 and X <= %2").arg(S(Lo), S(Hi)),
              [&](__int128 A) { return Units(S(Lo)) <= A && A <= Units(S(Hi)); });

    // A pending edit reads as the digits typed, in the edit buffer and once posted.
    Define("HIT", cfBoolean, S("AMOUNT = 0.07 and AM * 100 = 7"));
    Open(QString(), false, QStringLiteral("dec.dbf"));
    Query.First();
    Query.Edit();
    Query.FieldByName(S("AMOUNT")).SetAsString(S("0.07"));
    QString Hit;
    EXPECT_TRUE(Merge.EvaluateName(S("HIT"), Hit));
    EXPECT_EQ(Hit, S("True"));
    Query.Post();
    EXPECT_TRUE(Merge.EvaluateName(S("HIT"), Hit));
    EXPECT_EQ(Hit, S("True"));
    EXPECT_TRUE(Questions.isEmpty()) << Questions.join(u'|').toStdString();
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join(u'|').toStdString();
}

// Every form the engine binds to a field, over random records of every field kind with empties
// and pending edits: through the bound fields the same values, failures, messages and copies as
// through the events alone.
TEST_F(CalcFields, BoundFieldsAgreeWithTheEvents)
{
    std::mt19937 Random(20);
    std::vector<TRow> Rows(12);
    for (TRow &Row : Rows)
        for (const std::vector<const char *> &Items :
             {std::vector{"Smith", "anna", "Berlin", "Zoë", "a b", "0"},
              {"Berlin", "Köln", "Hamburg", "12"},
              {"10.5", "0", "-2.25", "1e3", "0.1", "99999999", "7,5", "-0"},
              {"20240105", "19991231", "20000229", "20100101", "20230230"},
              {"T", "F"},
              {"note", "Berlin"}})
            Row.push_back(Random() % 5 ? std::optional(S(Items[Random() % Items.size()]))
                                       : std::nullopt);
    calctest::WriteTable(Dir.filePath("random.dbf"), PeopleFields(), Rows);
    Define("CF", cfFloat, S("AMOUNT / 2"));
    Define("SELF", cfInteger, S("SELF + 1"));

    std::vector<std::pair<int, QString>> Forms = {
        {cfString, S("CITY")},
        {cfString, S("NAME + CITY + copy(NOTE, 1, 3)")},
        {cfInteger, S("length(CITY) + length(NOTE)")},
        {cfFloat, S("CF * 2 - AMOUNT / 3 + DUE")},
        {cfInteger, S("SELF + round(AMOUNT)")},
        {cfFloat, S("XX + 1")},
        {cfString, S("NAME + 'unclosed")},
        {cfDateTime, S("incmonth(DUE, 1)")},
        {cfInteger, S("trunc(AMOUNT) div 2 mod 3")},
        {cfBoolean, S("PAID xor (1 / AMOUNT > 0)")},
        {cfBoolean, S("if PAID then 1e4000 else 1 > AMOUNT")},
        {cfBoolean, S("AMOUNT > -1e6 and CITY = 'Berlin' and DUE >= 36525")},
        {cfBoolean, S("DUE < 3e6 and AMOUNT < 7.5 and NAME = '' or CITY = 'Ber'")}};
    // Number and date fields against constants either way round (around a stored day, beyond
    // every date, a zero of either sign), text fields against literals.
    for (const char *Field : {"AMOUNT", "DUE"})
        for (const char *Sign : {" > ", " = ", " <> ", " <= ", " >= ", " < "})
            for (const char *Constant : {"36524.5", "36525", "36525.5", "encodedate(2010, 1, 1)",
                                         "7.5", "-2.25", "0.1", "-0", "-1e6", "3e6"}) {
                Forms.emplace_back(cfBoolean, S(Field) + S(Sign) + S(Constant));
                Forms.emplace_back(cfBoolean, S(Constant) + S(Sign) + S(Field));
            }
    for (const char *Field : {"NAME", "CITY"})
        for (const char *Literal : {"'Berlin'", "''", "'Ber'", "'a b'"})
            Forms.emplace_back(cfBoolean, S(Field) + S(" = ") + S(Literal));

    expr::TFieldBinder *const Binder = Calc.Binder;
    QStringList Transcript[2];
    for (int Round = 0; Round < 2; ++Round) {
        Calc.Binder = Round == 0 ? Binder : nullptr;
        QStringList &Out = Transcript[Round];
        Open(QString(), false, S("random.dbf"));
        // Pending edits: one value changed, one emptied, one record appended.
        Query.First();
        Query.Edit();
        Query.FieldByName(S("CITY")).SetAsString(S("Berlin"));
        Query.FieldByName(S("AMOUNT")).Clear();
        Query.FieldByName(S("DUE")).SetAsString(S("2010-01-01"));
        Query.Post();
        Query.Append();
        Query.FieldByName(S("NAME")).SetAsString(S("new"));
        Query.Post();
        for (const auto &[Type, Expression] : Forms) {
            Define("E", Type, Expression);
            Out << Expression;
            for (Query.First(); !Query.Eof(); Query.Next()) {
                QString Value;
                Out << (Merge.EvaluateName(S("E"), Value) ? Value : S("!"));
            }
            if (Type == cfBoolean) {
                Answers.assign(3, false);
                Out << QString::number(CopyCount(Expression));
            }
            Out << Errors << Questions;
            Errors.clear();
            Questions.clear();
        }
    }
    Calc.Binder = Binder;
    ASSERT_EQ(Transcript[0].size(), Transcript[1].size());
    for (qsizetype i = 0; i < Transcript[0].size(); ++i)
        ASSERT_EQ(Transcript[0][i].toStdString(), Transcript[1][i].toStdString()) << "at " << i;
}

} // namespace

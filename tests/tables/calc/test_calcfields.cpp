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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <deque>
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

// Per condition the records it selects: by exact decimal arithmetic, by the
// same arithmetic in 64-bit-mantissa binary (each step rounded to nearest, as
// the engine's extended values) and by SQLite. A condition is [left operator or
// "", its operand, comparison, literal, upper literal].
QJsonArray DecimalOracle(const QString &FileName, const QJsonArray &Conditions)
{
    static const char *Script = R"(
import functools, json, operator, sqlite3, sys
from decimal import Decimal as D, getcontext
from fractions import Fraction as F
from dbfread import DBF
getcontext().prec = 200
vals = [(r['AMOUNT'] or b'').strip().decode() or '0' for r in DBF(sys.argv[1], raw=True).records]
def ext(x):
    x = F(x)
    if x == 0: return x
    s, x = (-1 if x < 0 else 1), abs(x)
    e = x.numerator.bit_length() - x.denominator.bit_length()
    if F(2) ** e > x: e -= 1
    q = x / F(2) ** (e - 63)
    n = q.numerator // q.denominator
    r = q - n
    if r > F(1, 2) or (r == F(1, 2) and n % 2): n += 1
    return s * n * F(2) ** (e - 63)
ops = {'=': operator.eq, '<>': operator.ne, '<': operator.lt, '<=': operator.le,
       '>': operator.gt, '>=': operator.ge}
arith = {'*': operator.mul, '/': operator.truediv, '+': operator.add, '-': operator.sub}
db = sqlite3.connect(':memory:')
db.execute('CREATE TABLE t(a REAL)')
db.executemany('INSERT INTO t(rowid, a) VALUES(?, ?)', [(i + 1, float(v)) for i, v in enumerate(vals)])
@functools.lru_cache(None)
def value(kind, text, lop='', arg=''):
    num = D if kind == 'dec' else lambda t: ext(D(t) if isinstance(t, str) else t)
    a = num(text)
    return num(arith[lop](a, num(arg))) if lop else a
out = []
for lop, arg, cmp, lo, hi in json.load(sys.stdin):
    def rows(kind):
        test = (lambda a: value(kind, lo) <= a <= value(kind, hi)) if cmp == 'between' else \
               (lambda a: ops[cmp](a, value(kind, lo)))
        return [i for i, v in enumerate(vals) if test(value(kind, v, lop, arg))]
    left = 'a' + (lop + arg if lop else '')
    where = left + (' BETWEEN %s AND %s' % (lo, hi) if cmp == 'between' else cmp + lo)
    out.append({'dec': rows('dec'), 'ext': rows('ext'),
                'sql': [r[0] - 1 for r in db.execute('SELECT rowid FROM t WHERE ' + where)]})
print(json.dumps(out))
)";
    QProcess Python;
    Python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(Script), FileName});
    Python.write(QJsonDocument(Conditions).toJson());
    Python.closeWriteChannel();
    if (!Python.waitForFinished(60000) || Python.exitCode() != 0) {
        ADD_FAILURE() << "decimal oracle failed: " << Python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(Python.readAllStandardOutput()).array();
}

std::vector<int64_t> Rows(const QJsonValue &List)
{
    std::vector<int64_t> Out;
    for (const QJsonValue &Row : List.toArray())
        Out.push_back(Row.toInteger());
    return Out;
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

TEST_F(CalcFields, FilteredRecordsMatchSqlite)
{
    // A larger table of random values, nulls among them.
    const char *Cities[] = {"Berlin", "Hamburg", "Köln", "Leipzig"};
    std::mt19937 Random(7);
    std::vector<TRow> Rows;
    for (int i = 0; i < 400; ++i) {
        TRow Row(6);
        if (i % 17 != 3)
            Row[0] = QStringLiteral("N%1").arg(Random() % 1000);
        if (i % 13 != 5)
            Row[1] = QString::fromUtf8(Cities[Random() % 4]);
        if (i % 11 != 2)
            Row[2] = QString::number(double(int(Random() % 200000) - 50000) / 100.0, 'f', 2);
        if (i % 19 != 4)
            Row[3] =
                QDate(1995, 1, 1).addDays(Random() % 11000).toString(QStringLiteral("yyyyMMdd"));
        if (i % 23 != 6)
            Row[4] = Random() % 2 ? S("T") : S("F");
        if (i % 3 == 0)
            Row[5] = QString(int(Random() % 300), QLatin1Char('m')) +
                     (Random() % 4 == 0 ? S(" urgent") : S(" later"));
        Rows.push_back(Row);
    }
    calctest::WriteTable(Dir.filePath("many.dbf"), PeopleFields(), Rows);
    Define("BIG", cfBoolean, S("AMOUNT * 2 > 1000"));

    const std::pair<const char *, const char *> Cases[] = {
        {"AMOUNT > 500 and CITY = 'Berlin'",
         "COALESCE(AMOUNT,0) > 500 AND COALESCE(CITY,'') = 'Berlin'"},
        {"DUE >= encodedate(2020, 1, 1) and DUE < encodedate(2021, 7, 1)",
         "COALESCE(DUE,'1899-12-30') >= '2020-01-01' AND "
         "COALESCE(DUE,'1899-12-30') < "
         "'2021-07-01'"},
        {"DUE < encodedate(1996, 1, 1) or CITY = 'Köln'",
         "COALESCE(DUE,'1899-12-30') < '1996-01-01' OR CITY = 'Köln'"},
        {"pos('urgent', NOTE) > 0 or length(NOTE) > 250",
         "instr(COALESCE(NOTE,''),'urgent') > 0 OR length(COALESCE(NOTE,'')) > "
         "250"},
        {"not(PAID) and (NOTE = '')", "NOT COALESCE(PAID,0) AND COALESCE(NOTE,'') = ''"},
        {"BIG or NAME = ''", "COALESCE(AMOUNT,0) * 2 > 1000 OR COALESCE(NAME,'') = ''"},
    };
    for (const auto &[Ours, Sql] : Cases) {
        Open(S(Ours), true, QStringLiteral("many.dbf"));
        const std::vector<int64_t> Expected =
            calctest::SqliteSelect(Dir.filePath("many.dbf"), S(Sql));
        EXPECT_FALSE(Expected.empty()) << Sql;
        EXPECT_EQ(Visible(), Expected) << Ours;
    }
    EXPECT_TRUE(Questions.isEmpty()) << Questions.join(u'|').toStdString();
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(CalcFields, DecimalsCompareAsTheirDigits)
{
    // A number field holds decimal digits: it must compare as the same digits
    // typed as a literal, in the filter and through a Float calculated field,
    // pending edits included.
    const char *Values[] = {"10.1",          "10.10",  "0.07",    "0.1",  "0.10",  "0.3",  "0.30",
                            "0.30000000001", "999.99", "1234.56", "-0.3", "-0.30", "30.3", "0",
                            "-1234.56",      "2.675",  "0.21",    "0.9",  "1010",  "1.01", "10.3"};
    std::mt19937 Random(11);
    std::vector<TRow> Table;
    for (int i = 0; i < 600; ++i) {
        TRow Row(6);
        if (i % 29 != 5)
            Row[2] = i % 3 ? S(Values[Random() % std::size(Values)])
                           : QString::number(int(Random() % 20001) - 10000) + S(".") +
                                 QString::number(Random() % 100).rightJustified(2, u'0');
        Table.push_back(Row);
    }
    calctest::WriteTable(Dir.filePath("dec.dbf"), PeopleFields(), Table);
    Define("AM", cfFloat, S("AMOUNT"));

    // Comparisons with every value and with near misses that doubles cannot tell
    // apart.
    QJsonArray Conditions;
    for (const char *Literal :
         {"10.1", "0.07", "0.1", "0.3", "999.99", "1234.56", "-0.3", "-1234.56", "30.3", "0",
          "2.675", "0.30000000001", "0.30000000000000001", "0.29999999999999999",
          "10.09999999999999999"})
        for (const char *Op : {"=", "<>", "<", "<=", ">", ">="})
            Conditions.append(QJsonArray{"", "", Op, Literal, ""});
    for (const auto &[Lo, Hi] : {std::pair{"0.1", "0.3"},
                                 {"0.07", "10.1"},
                                 {"999.99", "1234.56"},
                                 {"-0.3", "0"},
                                 {"0.3", "0.3"},
                                 {"-1234.56", "-0.3"}})
        Conditions.append(QJsonArray{"", "", "between", Lo, Hi});
    // Arithmetic rounds in binary, in extended precision as literals do.
    const std::pair<std::pair<const char *, const char *>, std::vector<const char *>> Sums[] = {
        {{"*", "3"}, {"30.3", "0.21", "0.9", "0.3", "3703.68"}},
        {{"*", "7"}, {"70.7", "2.1", "6999.93", "0.49"}},
        {{"*", "100"}, {"1010", "30", "123456", "7"}},
        {{"/", "10"}, {"1.01", "0.03", "99.999", "0.007"}},
        {{"+", "0.2"}, {"10.3", "0.5", "0.3", "0.27"}},
        {{"-", "0.1"}, {"10", "0.2", "0", "-0.03"}}};
    for (const auto &[Left, Literals] : Sums)
        for (const char *Literal : Literals)
            for (const char *Op : {"=", "<>", "<", ">="})
                Conditions.append(QJsonArray{Left.first, Left.second, Op, Literal, ""});

    const QJsonArray Expected = DecimalOracle(Dir.filePath("dec.dbf"), Conditions);
    ASSERT_EQ(Expected.size(), Conditions.size());
    int Differs = 0; // where SQLite's doubles miss what the digits say
    for (qsizetype k = 0; k < Conditions.size(); ++k) {
        const QJsonArray C = Conditions[k].toArray();
        const QString Name = k % 2 ? S("AM") : S("AMOUNT");
        const QString Left = C[0].toString().isEmpty()
                                 ? Name
                                 : Name + u' ' + C[0].toString() + u' ' + C[1].toString();
        const QString Text =
            C[2].toString() == u"between"
                ? S("%1 >= %2 and %1 <= %3").arg(Left, C[3].toString(), C[4].toString())
                : Left + u' ' + C[2].toString() + u' ' + C[3].toString();
        Open(Text, true, QStringLiteral("dec.dbf"));
        const QJsonObject Want = Expected[k].toObject();
        const bool Arithmetic = !C[0].toString().isEmpty();
        EXPECT_EQ(Visible(), Rows(Want[Arithmetic ? u"ext" : u"dec"])) << Text.toStdString();
        if (!Arithmetic && C[3].toString().size() <= 15) {
            EXPECT_EQ(Want[u"sql"], Want[u"dec"]) << Text.toStdString();
        }
        Differs += Want[u"sql"] != Want[Arithmetic ? u"ext" : u"dec"];
    }
    EXPECT_GT(Differs, 10);

    // A pending edit reads as the digits typed, in the edit buffer and once
    // posted.
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

} // namespace

// Random texts over random records of every field kind, empties and pending
// edits among them, through the bound fields and their node trees and again
// through the events and the walk alone: the same values, failures, messages
// and error places, in the same order.
TEST_F(CalcFields, BoundFieldsAndNodeTreesAgreeWithTheEvents)
{
    std::mt19937 Random(20);
    auto Pick = [&Random](std::initializer_list<const char *> Items) {
        return S(Items.begin()[Random() % Items.size()]);
    };
    std::vector<TRow> Rows;
    for (int r = 0; r < 12; ++r) {
        auto Maybe = [&](const QString &Text) {
            return Random() % 5 ? std::optional(Text) : std::nullopt;
        };
        Rows.push_back({Maybe(Pick({"Smith", "anna", "Berlin", "Zoë", "a b", "0"})),
                        Maybe(Pick({"Berlin", "Köln", "Hamburg", "12"})),
                        Maybe(Pick({"10.5", "0", "-2.25", "1e3", "0.1", "99999999", "7,5", "-0"})),
                        Maybe(Pick({"20240105", "19991231", "20000229", "20100101", "20230230"})),
                        Maybe(Pick({"T", "F"})), Maybe(Pick({"note", "Berlin"}))});
    }
    calctest::WriteTable(Dir.filePath("random.dbf"), PeopleFields(), Rows);
    Define("CF", cfFloat, S("AMOUNT / 2"));
    Define("SELF", cfInteger, S("SELF + 1"));

    std::function<QString(int)> Num, Text, Cond;
    Num = [&](int Depth) -> QString {
        switch (Random() % (Depth > 0 ? 9 : 4)) {
        case 0: return Pick({"AMOUNT", "DUE", "CF", "NAME", "SELF", "PAID", "XX"});
        case 1: return Pick({"0", "2", "-1", "0.1", "2147483647", "1e4000", "1.5"});
        case 2: return Pick({"AMOUNT", "DUE", "length(NAME)", "length(NOTE)"});
        case 3: return Pick({"encodedate(2010, 1, 1)", "round(2.5)", "3"});
        case 4:
            return Num(Depth - 1) + Pick({" + ", " - ", " * ", " / ", " ^ ", " div ", " mod "}) +
                   Num(Depth - 1);
        case 5: return S("(") + Num(Depth - 1) + S(")");
        case 6: return Pick({"-", "+", ""}) + Num(Depth - 1);
        case 7:
            return Pick({"round(", "trunc(", "abs(", "length(", "incmonth("}) + Num(Depth - 1) +
                   (Random() % 2 ? S(", 1)") : S(")"));
        default: return S("length(") + Text(Depth - 1) + S(")");
        }
    };
    Text = [&](int Depth) -> QString {
        switch (Random() % (Depth > 0 ? 4 : 2)) {
        case 0: return Pick({"NAME", "CITY", "NOTE", "AMOUNT", "XX"});
        case 1: return Pick({"'Berlin'", "''", "'a b'", "'Köln'", "'Berlin '", "'unclosed"});
        case 2: return Text(Depth - 1) + S(" + ") + Text(Depth - 1);
        default: return S("copy(") + Text(Depth - 1) + S(", 1, ") + Num(Depth - 1) + S(")");
        }
    };
    Cond = [&](int Depth) -> QString {
        switch (Random() % (Depth > 0 ? 6 : 3)) {
        case 0: return Num(Depth) + Pick({" > ", " = ", " <> ", " <= "}) + Num(Depth);
        case 1: return Text(Depth) + Pick({" = ", " <> ", " < "}) + Text(Depth);
        case 2: return Pick({"PAID", "true", "NAME", "AMOUNT", "1 / AMOUNT > 0"});
        case 3: return Cond(Depth - 1) + Pick({" and ", " or ", " xor ", " "}) + Cond(Depth - 1);
        case 4: return S("(") + Cond(Depth - 1) + S(")");
        default: return S("if ") + Cond(Depth - 1) + S(" then ") + Num(0) + S(" else 1");
        }
    };
    // Before them, the forms read from the record's bytes: a number and a date field against
    // constants either way round (around a stored day, beyond every date, a zero of either sign),
    // text fields against literals, and text fields alone.
    std::vector<std::pair<int, QString>> Fixed = {
        {cfString, S("CITY")}, {cfString, S("NAME + CITY")}, {cfInteger, S("length(CITY)")}};
    for (const char *Field : {"AMOUNT", "DUE"})
        for (const char *Sign : {" > ", " = ", " <> ", " <= ", " >= ", " < "})
            for (const char *Constant : {"36524.5", "36525", "36525.5", "encodedate(2010, 1, 1)",
                                         "7.5", "-2.25", "0.1", "-0", "-1e6", "3e6"}) {
                Fixed.emplace_back(cfBoolean, S(Field) + S(Sign) + S(Constant));
                Fixed.emplace_back(cfBoolean, S(Constant) + S(Sign) + S(Field));
            }
    for (const char *Field : {"NAME", "CITY"})
        for (const char *Literal : {"'Berlin'", "''", "'Ber'", "'a b'"})
            Fixed.emplace_back(cfBoolean, S(Field) + S(" = ") + S(Literal));
    // And-chains whose terms are tried most often false first.
    Fixed.emplace_back(cfBoolean, S("AMOUNT > -1e6 and CITY = 'Berlin' and DUE >= 36525"));
    Fixed.emplace_back(cfBoolean, S("DUE < 3e6 and AMOUNT < 7.5 and NAME = '' or CITY = 'Ber'"));

    expr::TFieldBinder *const Binder = Calc.Binder;
    QStringList Transcript[2];
    for (int Round = 0; Round < 2; ++Round) {
        std::mt19937 Texts(7);
        Random = Texts;
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
        for (size_t i = 0; i < 1500 + Fixed.size(); ++i) {
            const int Type = i < Fixed.size() ? Fixed[i].first : int(Random() % 5);
            const QString Expression = i < Fixed.size()    ? Fixed[i].second
                                       : Type == cfBoolean ? Cond(2)
                                       : Type == cfString  ? Text(2)
                                                           : Num(2);
            Define("E", Type, Expression);
            Out << Expression;
            for (Query.First(); !Query.Eof(); Query.Next()) {
                QString Value;
                try {
                    Out << (Merge.EvaluateName(S("E"), Value) ? Value : S("!"));
                } catch (const std::exception &Fault) {
                    Out << S("raised ") + S(Fault.what());
                }
            }
            if (Type == cfBoolean && i % 5 == 0) {
                // The copy filter over the records with their edits.
                TADOQuery Copy;
                Vars.AttachFilter(Copy, hCopyFilter);
                Vars.CompileFilter(Expression, hCopyFilter);
                Copy.SetFiltered(true);
                Answers.assign(3, false);
                try {
                    Copy.Clone(Query);
                    Out << QString::number(Copy.RecordCount());
                } catch (const std::exception &Fault) {
                    Out << S("raised ") + S(Fault.what());
                }
                Vars.RemoveFilter(hCopyFilter);
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

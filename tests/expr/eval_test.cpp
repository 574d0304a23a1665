// Evaluation: priorities and types, conditionals, comparisons, host variables and the numbered
// errors.

#include "exprfixture.h"

using namespace qf::expr;

using Eval = ExprFixture;

TEST_F(Eval, NumericPrioritiesSignsAndWrapping)
{
    ExpectI({{"1 + 2 * 3", 7},
             {"(1 + 2) * 3", 9},
             {"10 - 4 - 3", 3},
             {"-2 * 3 + 1", -5},
             {"+4", 4},
             {"7 div 2", 3},
             {"-7 div 2", -3},
             {"-7 mod 3", -1},
             {"7 mod (0 - 3)", 1},
             {"2147483647 + 1", INT32_MIN},
             {"0 - 2147483647 - 2", INT32_MAX},
             {"65537 * 65537", 131073}});
    Ints["m"] = INT32_MIN;
    ExpectI({{"m div (-1)", INT32_MIN}, {"m mod (-1)", 0}});
    // 0.1 read in extended precision, not as a double
    ExpectX({{"2 ^ 3 ^ 2", 64},
             {"-2 ^ 2", -4},
             {"7 / 2", 3.5},
             {"2 ^ (-2)", 0.25},
             {"0 ^ 5", 0},
             {"5 ^ 0", 1},
             {"(-2) ^ 3", -8},
             {"1.5e3 + 1", 1501},
             {"2 + 3 * 2 ^ 2", 14},
             {"0.1", 0.1L}});
    EXPECT_NEAR(double(*X("4 ^ 0.5")), 2.0, 1e-15);
    // Date-times are doubles; a date-time answer serves an extended operand.
    Dates["d"] = 100.25;
    ExpectD({{"36526 + 0.5", 36526.5}, {"1 / 4", 0.25}, {"d + 1", 101.25}});
    EXPECT_EQ(X("d * 2"), 200.5L);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(Eval, StringsAndBooleans)
{
    ExpectS({{"\"ab\" + \"cd\"", "abcd"},
             {"\"\"", ""},
             {"\"  spaced  \"", "  spaced  "},
             {"\"say \"\"hi\"\"\"", "say \"hi\""},
             {"\"a 'not a comment'\"", "a 'not a comment'"},
             {"\"Grüße\" + \"€\"", "Grüße€"}});
    // One level for all Boolean operators, left to right; texts compare in code point order, as the
    // UTF-8 bytes do; numbers compare exactly, in extended precision.
    ExpectB({{"1 < 2 and 3 > 4", false},
             {"true or false and false", false},
             {"true xor true", false},
             {"false xor true", true},
             {"1 <> 2", true},
             {"1 + 1 = 2", true},
             {"2 < 1 + 2", true},
             {"1 < 2 = true", true},
             {"true > false", true},
             {"(1 < 2) and (2 < 3)", true},
             {"\"ab\" < \"abc\"", true},
             {"\"B\" < \"a\"", true},
             {"\"\uFF61\" < \"😀\"", true},
             {"1 = 1.000000000000000001", false}});
}

TEST_F(Eval, HostVariables)
{
    Strs["name"] = "x";
    Exts["amount"] = 60000;
    Ints["n"] = 3;
    ExpectB({{"name = \"x\"", true},
             {"name = \"X\"", false},
             {"amount > 50000 and name = \"x\"", true},
             {"n * 2 = 6", true},
             {"2 < (n + 1)", true}});
    ExpectCode(etBoolean, "(n + 1) > 2", 10); // parentheses always open a Boolean expression here
    ExpectCode(etBoolean, "nobody", 3);       // a name that no event answers

    // Asked lower-cased, in type order: extended, then date-time; or date-time, extended, integer.
    Dates["when"] = 2.5;
    Asked.clear();
    EXPECT_EQ(X("When"), 2.5L);
    EXPECT_EQ((std::vector<QString>{"when", "when"}), Asked);
    Asked.clear();
    Ints["k"] = 7;
    EXPECT_EQ(D("K"), 7.0);
    EXPECT_EQ((std::vector<QString>{"k", "k", "k"}), Asked);
    // In an integer context a real answer is not taken.
    Exts["r"] = 1.5;
    ExpectCode(etInteger, "r", 1);
}

TEST_F(Eval, EventsCarryTheHandleLineAndColumn)
{
    std::vector<int> handles;
    Calc.OnGetIntegerVar = [&](TAdCalc *, const QString &N, bool &Found, int32_t &V, int H) {
        handles.push_back(H);
        Found = N != "x";
        V = 1;
    };
    EXPECT_EQ(I("a + b", 7), 2);
    EXPECT_EQ(handles, (std::vector<int>{7, 7}));
    EXPECT_FALSE(I("a +\n  2 *\n   x", 9));
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Handle, 9);
    EXPECT_EQ(Errors[0].Line, 3);
    EXPECT_EQ(Errors[0].Position, 4);
    EXPECT_EQ(Errors[0].Code, 1);
    // Without a handler nothing is reported and the result is still false.
    Calc.OnError = nullptr;
    EXPECT_FALSE(I("1 +"));
}

TEST_F(Eval, Conditionals)
{
    const struct {
        int a, plain, chained;
    } rows[] = {{2, 10, 3}, {0, 20, 1}, {1, 20, 2}};
    for (const auto &r : rows) {
        Ints["a"] = r.a;
        EXPECT_EQ(I("if a > 1 then 10 else 20"), r.plain) << r.a;
        EXPECT_EQ(I("if a = 0 then 1 else if a = 1 then 2 else 3"), r.chained) << r.a;
    }
    EXPECT_EQ(I("if a = 0 then if a = 1 then 1 else 2 else 3"), 3);
    // A true condition ends the text after its then-branch.
    EXPECT_EQ(I("if true then 1 else )))"), 1);
    EXPECT_TRUE(Errors.empty());
    ExpectCode(etInteger, "if true then 1", 21);
    ExpectCode(etInteger, "(if true then 1 else 2)", 1); // "if" inside parentheses is an error
    // A long else-if chain does not nest.
    Ints["a"] = 5;
    QString chain;
    for (int i = 0; i < 2000; ++i)
        chain += QStringLiteral("if a = %1 then %1 else ").arg(i);
    EXPECT_EQ(I(chain + "-1"), 5);
}

TEST_F(Eval, ErrorCodesFromRealTexts)
{
    // Every code a text can reach, with the text the host shows and the place of the reported
    // symbol.
    struct Case {
        TExprType Type;
        const char *Expr;
        int Code;
        const char *Text;
        int Place;
    };
    Ints["i"] = 1;
    const Case cases[] = {
        {etInteger, "", 1, "Integer type value expected", 0},
        {etInteger, "1 +", 1, "Integer type value expected", 3},
        {etInteger, "1.5", 1, "Integer type value expected", 3},
        {etExtended, "2 * -3", 2, "Extended type value expected",
         5}, // a sign only where an expression begins
        {etBoolean, "true and", 3, "Boolean type value expected", 8},
        {etString, "\"a\" + 1", 4, "String type value expected",
         7}, // no conversion of numbers to text
        {etDateTime, "\"a\"", 5, "DateTime type value expected", 3},
        {etInteger, "1 2", 6, R"("+", "-", "*", "Div" or "Mod" expected)", 3},
        {etInteger, "7 / 2", 6, R"("+", "-", "*", "Div" or "Mod" expected)", 3},
        {etExtended, "1 2", 7, R"("+", "-", "*", "/" or "^" expected)", 3},
        {etDateTime, "1 div 2", 7, R"("+", "-", "*", "/" or "^" expected)", 5},
        {etBoolean, "true true", 8, R"("AND", "OR" or "XOR" expected)", 9},
        {etString, "\"a\" \"b\"", 9, R"("+" expected)", 7},
        {etBoolean, "i", 10, "Comparison sign expected",
         1}, // a numeric host variable alone is no Boolean
        {etBoolean, "1 > i // 3", 8, R"("AND", "OR" or "XOR" expected)",
         8},                                                         // "//" ends the right side
        {etBoolean, "1/0 > 2", 3, "Boolean type value expected", 1}, // the first term is no number
        {etBoolean, "i + 1/0 > 2", 14, "Division by zero", 7},
        {etInteger, "round 2", 11, "\"(\" expected", 7},
        {etInteger, "(1 + 2", 12, "\")\" expected", 6},
        {etInteger, "pos(\"a\", \"b\", \"c\")", 12, "\")\" expected", 13},
        {etInteger, "pos(\"a\")", 13, R"("," expected)", 8},
        {etInteger, "7 div 0", 14, "Division by zero", 7},
        {etInteger, "7 mod (1 - 1)", 14, "Division by zero", 13},
        {etDateTime, "1 / 0", 14, "Division by zero", 5},
        {etInteger, "if true 1 else 2", 20, R"("Then" expected)", 9},
        {etInteger, "if false then 1", 21, R"("Else" expected)", 15},
        {etInteger, "strtoint(\"12 \")", 22, "Invalid Integer", 14},
        {etExtended, "strtofloat(\"1,5\")", 23, "Invalid Floating Point Number", 16},
        {etDateTime, "strtodate(\"no date\")", 24, "Invalid Date", 19},
        {etDateTime, "strtotime(\"noon\")", 25, "Invalid Time", 16},
        {etDateTime, "strtodatetime(\"x\")", 26, "Invalid Date and Time", 17},
        {etString, "\"open", 27, "String sign expected", 5},
    };
    for (const Case &c : cases) {
        const ErrorReport r = ExpectCode(c.Type, c.Expr, c.Code);
        EXPECT_EQ(r.Text, QString::fromUtf8(c.Text)) << c.Expr;
        EXPECT_EQ(r.Place, c.Place) << c.Expr;
    }
}

TEST_F(Eval, FaultsAndHostileTexts)
{
    // Faults without a code raise, report nothing, and leave the engine usable.
    EXPECT_THROW(I("2147483648"), EExprError);
    EXPECT_EQ(X("2147483648"), 2147483648.0L);
    for (const char *bad : {"sqrt(-1)", "ln(0)", "(-8) ^ 0.5", "10 ^ 5000", "1e5000"})
        EXPECT_THROW(X(bad), EExprError) << bad;
    EXPECT_THROW(D("1e300 * 1e300"), EExprError);
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(I("1 + 1"), 2);

    const QString deep = QString(5000, u'(') + "1" + QString(5000, u')');
    EXPECT_THROW(I(deep), EExprError);
    EXPECT_EQ(I(QString(100, u'(') + "1" + QString(100, u')')), 1);
    EXPECT_FALSE(I("+-*/^()=<>,;.'\""));
    EXPECT_FALSE(B(QString(10000, u'-')));
    ExpectCode(etBoolean, "1 < 2 div 3", 8); // "div" ends the right side of a comparison
    EXPECT_THROW(I(QString(20000, u'7')), EExprError);
    ExpectCode(etString, "\"" + QString(20000, u'x'), 27);
    EXPECT_EQ(S("\"" + QString(20000, u'x') + "\"")->size(), 20000);
}

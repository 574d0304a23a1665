// Evaluation: priorities and types, conditionals, comparisons, host variables and the numbered errors.

#include "exprfixture.h"

using Eval = ExprFixture;

TEST_F(Eval, IntegerPrioritiesAndAssociativity)
{
    EXPECT_EQ(I("1 + 2 * 3"), 7);
    EXPECT_EQ(I("(1 + 2) * 3"), 9);
    EXPECT_EQ(I("10 - 4 - 3"), 3);
    EXPECT_EQ(I("-2 * 3 + 1"), -5);
    EXPECT_EQ(I("+4"), 4);
    EXPECT_EQ(I("7 div 2"), 3);
    EXPECT_EQ(I("-7 div 2"), -3);
    EXPECT_EQ(I("-7 mod 3"), -1);
    EXPECT_EQ(I("7 mod (0 - 3)"), 1);
    EXPECT_FALSE(I("7 mod -3")); // a sign only where an expression begins
    EXPECT_EQ(LastCode(), 1);
    EXPECT_EQ(I("2 + 3 * 4 div 5 - 1"), 3);
}

TEST_F(Eval, IntegerArithmeticWraps)
{
    EXPECT_EQ(I("2147483647 + 1"), INT32_MIN);
    EXPECT_EQ(I("0 - 2147483647 - 2"), INT32_MAX);
    EXPECT_EQ(I("65536 * 65536"), 0);
    EXPECT_EQ(I("65537 * 65537"), 131073);
    Ints["m"] = INT32_MIN;
    EXPECT_EQ(I("m div (-1)"), INT32_MIN);
    EXPECT_EQ(I("m mod (-1)"), 0);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(Eval, ExtendedPowerAndSigns)
{
    EXPECT_EQ(X("2 ^ 3 ^ 2"), 64.0L);
    EXPECT_EQ(X("-2 ^ 2"), -4.0L);
    EXPECT_EQ(X("7 / 2"), 3.5L);
    EXPECT_EQ(X("2 ^ (-2)"), 0.25L);
    EXPECT_EQ(X("0 ^ 5"), 0.0L);
    EXPECT_EQ(X("5 ^ 0"), 1.0L);
    EXPECT_EQ(X("(-2) ^ 3"), -8.0L);
    EXPECT_NEAR(double(*X("4 ^ 0.5")), 2.0, 1e-15);
    EXPECT_EQ(X("1.5e3 + 1"), 1501.0L);
    EXPECT_EQ(X("2 + 3 * 2 ^ 2"), 14.0L);
    // 0.1 read in extended precision, not as a double
    EXPECT_EQ(X("0.1"), 0.1L);
}

TEST_F(Eval, DateTimeArithmeticStoresDoubles)
{
    EXPECT_EQ(D("36526 + 0.5"), 36526.5);
    EXPECT_EQ(D("1 / 4"), 0.25);
    Dates["d"] = 100.25;
    EXPECT_EQ(D("d + 1"), 101.25);
    EXPECT_EQ(X("d * 2"), 200.5L); // a date-time answer serves an extended operand
}

TEST_F(Eval, StringsConcatenateOnly)
{
    EXPECT_EQ(S("\"ab\" + \"cd\""), QString("abcd"));
    EXPECT_EQ(S("\"\""), QString(""));
    EXPECT_EQ(S("\"  spaced  \""), QString("  spaced  "));
    EXPECT_EQ(S("\"say \"\"hi\"\"\""), QString("say \"hi\""));
    EXPECT_EQ(S("\"a 'not a comment'\""), QString("a 'not a comment'"));
    EXPECT_EQ(S("\"Grüße\" + \"€\""), QString("Grüße€"));
    EXPECT_FALSE(S("1")); // no conversion of numbers to text
    EXPECT_EQ(LastCode(), 4);
}

TEST_F(Eval, BooleansShareOneLevelLeftToRight)
{
    EXPECT_EQ(B("1 < 2 and 3 > 4"), false);
    EXPECT_EQ(B("true or false and false"), false);
    EXPECT_EQ(B("true xor true"), false);
    EXPECT_EQ(B("false xor true"), true);
    EXPECT_EQ(B("1 + 1 = 2"), true);
    EXPECT_EQ(B("2 < 1 + 2"), true);
    EXPECT_EQ(B("1 < 2 = true"), true);
    EXPECT_EQ(B("true > false"), true);
    EXPECT_EQ(B("(1 < 2) and (2 < 3)"), true);
    EXPECT_EQ(B("\"abc\" < \"abd\""), true);
    EXPECT_EQ(B("\"ab\" < \"abc\""), true);
    EXPECT_EQ(B("\"B\" < \"a\""), true);
    EXPECT_EQ(B("\"\uFF61\" < \"😀\""), true); // code point order, as the UTF-8 bytes compare
    EXPECT_EQ(B("1 = 1.000000000000000001"), false); // exact, in extended precision
}

TEST_F(Eval, ComparisonFallbackByHostType)
{
    Strs["name"] = "x";
    Exts["amount"] = 60000;
    Ints["n"] = 3;
    EXPECT_EQ(B("name = \"x\""), true);
    EXPECT_EQ(B("name = \"X\""), false);
    EXPECT_EQ(B("amount > 50000 and name = \"x\""), true);
    EXPECT_EQ(B("n * 2 = 6"), true);
    // Parentheses always open a Boolean expression here.
    EXPECT_FALSE(B("(n + 1) > 2"));
    EXPECT_EQ(LastCode(), 10);
    EXPECT_EQ(B("2 < (n + 1)"), true);
    // A numeric host variable alone is no Boolean.
    EXPECT_FALSE(B("n"));
    EXPECT_EQ(LastCode(), 10);
    // A name that no event answers.
    EXPECT_FALSE(B("nobody"));
    EXPECT_EQ(LastCode(), 3);
}

TEST_F(Eval, HostVariablesAreAskedLowerCasedInTypeOrder)
{
    Dates["when"] = 2.5;
    EXPECT_EQ(X("When"), 2.5L);
    EXPECT_EQ((std::vector<QString>{"when", "when"}), Asked); // extended first, then date-time
    Asked.clear();
    Ints["k"] = 7;
    EXPECT_EQ(D("K"), 7.0);
    EXPECT_EQ((std::vector<QString>{"k", "k", "k"}), Asked); // date-time, extended, integer
    // In an integer context a real answer is not taken.
    Exts["r"] = 1.5;
    EXPECT_FALSE(I("r"));
    EXPECT_EQ(LastCode(), 1);
    // Case-sensitive engines ask with the name as written.
    Calc.SetCaseSensitivity(true);
    Ints["Big"] = 4;
    EXPECT_EQ(I("Big"), 4);
    EXPECT_FALSE(I("big"));
}

TEST_F(Eval, HandleComesBackInEveryEvent)
{
    std::vector<int> handles;
    Calc.OnGetIntegerVar = [&](TAdCalc *, const QString &, bool &Found, int32_t &V, int H) {
        handles.push_back(H);
        Found = true;
        V = 1;
    };
    EXPECT_EQ(I("a + b", 7), 2);
    EXPECT_EQ(handles, (std::vector<int>{7, 7}));
    EXPECT_FALSE(I("a +", 9));
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Handle, 9);
}

TEST_F(Eval, Conditionals)
{
    Ints["a"] = 2;
    EXPECT_EQ(I("if a > 1 then 10 else 20"), 10);
    Ints["a"] = 0;
    EXPECT_EQ(I("if a > 1 then 10 else 20"), 20);
    EXPECT_EQ(I("if a = 0 then 1 else if a = 1 then 2 else 3"), 1);
    Ints["a"] = 1;
    EXPECT_EQ(I("if a = 0 then 1 else if a = 1 then 2 else 3"), 2);
    Ints["a"] = 5;
    EXPECT_EQ(I("if a = 0 then 1 else if a = 1 then 2 else 3"), 3);
    EXPECT_EQ(I("if a = 0 then if a = 1 then 1 else 2 else 3"), 3);
    // A true condition ends the text after its then-branch.
    EXPECT_EQ(I("if true then 1 else )))"), 1);
    EXPECT_TRUE(Errors.empty());
    EXPECT_FALSE(I("if false then 1"));
    EXPECT_EQ(LastCode(), 21);
    EXPECT_FALSE(I("if true then 1"));
    EXPECT_EQ(LastCode(), 21);
    EXPECT_FALSE(I("if true 1 else 2"));
    EXPECT_EQ(LastCode(), 20);
    // "if" inside parentheses is an error.
    EXPECT_FALSE(I("(if true then 1 else 2)"));
    EXPECT_EQ(LastCode(), 1);
    // A long else-if chain does not nest.
    QString chain;
    for (int i = 0; i < 2000; ++i)
        chain += QStringLiteral("if a = %1 then %1 else ").arg(i);
    chain += "-1";
    EXPECT_EQ(I(chain), 5);
}

TEST_F(Eval, ErrorCodesFromRealTexts)
{
    // Every code a text can reach, with the text the host shows and the place of the reported symbol.
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
        {etExtended, "2 * -3", 2, "Extended type value expected", 5},
        {etBoolean, "true and", 3, "Boolean type value expected", 8},
        {etString, "\"a\" + 1", 4, "String type value expected", 7},
        {etDateTime, "\"a\"", 5, "DateTime type value expected", 3},
        {etInteger, "1 2", 6, R"("+", "-", "*", "Div" or "Mod" expected)", 3},
        {etInteger, "7 / 2", 6, R"("+", "-", "*", "Div" or "Mod" expected)", 3},
        {etExtended, "1 2", 7, R"("+", "-", "*", "/" or "^" expected)", 3},
        {etDateTime, "1 div 2", 7, R"("+", "-", "*", "/" or "^" expected)", 5},
        {etBoolean, "true true", 8, R"("AND", "OR" or "XOR" expected)", 9},
        {etString, "\"a\" \"b\"", 9, R"("+" expected)", 7},
        {etBoolean, "i", 10, "Comparison sign expected", 1},
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
        Errors.clear();
        bool ok = true;
        switch (c.Type) {
        case etInteger: ok = I(c.Expr).has_value(); break;
        case etExtended: ok = X(c.Expr).has_value(); break;
        case etBoolean: ok = B(c.Expr).has_value(); break;
        case etString: ok = S(c.Expr).has_value(); break;
        case etDateTime: ok = D(c.Expr).has_value(); break;
        }
        EXPECT_FALSE(ok) << c.Expr;
        ASSERT_EQ(Errors.size(), 1u) << c.Expr;
        EXPECT_EQ(Errors[0].Code, c.Code) << c.Expr;
        EXPECT_EQ(Errors[0].Text, QString::fromUtf8(c.Text)) << c.Expr;
        EXPECT_EQ(Errors[0].Place, c.Place) << c.Expr;
    }
    // The codes no text reaches keep their table texts; code 0 has none.
    ASSERT_EQ(ErrorMessages.size(), 28u);
    EXPECT_TRUE(ErrorMessages[0].isEmpty());
    EXPECT_EQ(ErrorMessages[16], QString("Variable name expected"));
    EXPECT_EQ(ErrorMessages[17], QString(R"("=" expected)"));
    EXPECT_EQ(ErrorMessages[18], QString(R"(";" or "." expected)"));
    EXPECT_EQ(ErrorMessages[19], QString(R"("." expected)"));
}

TEST_F(Eval, ErrorsAreReportedAtLineAndColumn)
{
    EXPECT_FALSE(I("1 +\n  2 *\n   x"));
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Line, 3);
    EXPECT_EQ(Errors[0].Position, 4);
    EXPECT_EQ(Errors[0].Code, 1);
    // Without a handler nothing is reported and the result is still false.
    Calc.OnError = nullptr;
    EXPECT_FALSE(I("1 +"));
}

TEST_F(Eval, FaultsWithoutCodeRaise)
{
    EXPECT_THROW(I("2147483648"), EExprError);
    EXPECT_EQ(X("2147483648"), 2147483648.0L);
    EXPECT_THROW(X("sqrt(-1)"), EExprError);
    EXPECT_THROW(X("ln(0)"), EExprError);
    EXPECT_THROW(X("(-8) ^ 0.5"), EExprError);
    EXPECT_THROW(X("10 ^ 5000"), EExprError);
    EXPECT_THROW(D("1e300 * 1e300"), EExprError);
    EXPECT_THROW(X("1e5000"), EExprError);
    EXPECT_TRUE(Errors.empty());
    // The engine stays usable afterwards.
    EXPECT_EQ(I("1 + 1"), 2);
}

TEST_F(Eval, HostileTextsFailCleanly)
{
    const QString deep = QString(5000, u'(') + "1" + QString(5000, u')');
    EXPECT_THROW(I(deep), EExprError);
    EXPECT_EQ(I(QString(100, u'(') + "1" + QString(100, u')')), 1);
    EXPECT_FALSE(I("+-*/^()=<>,;.'\""));
    EXPECT_FALSE(B(QString(10000, u'-')));
    EXPECT_FALSE(B("1 < 2 div 3")); // "div" ends the right side of a comparison
    EXPECT_EQ(LastCode(), 8);
    QString huge(20000, u'7');
    EXPECT_THROW(I(huge), EExprError);
    EXPECT_FALSE(S("\"" + QString(20000, u'x')));
    EXPECT_EQ(LastCode(), 27);
    EXPECT_EQ(S("\"" + QString(20000, u'x') + "\"")->size(), 20000);
}

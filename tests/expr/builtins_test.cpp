// The built-in functions with their edge values, and the call protocol.

#include "expr/exprconv.h"
#include "exprfixture.h"

#include <cfenv>
#include <cmath>

using Builtins = ExprFixture;

TEST_F(Builtins, RoundingAndIntegers)
{
    EXPECT_EQ(I("round(2.5)"), 2);
    EXPECT_EQ(I("round(3.5)"), 4);
    EXPECT_EQ(I("round(-2.5)"), -2);
    EXPECT_EQ(I("round(2.4999)"), 2);
    EXPECT_EQ(I("round(4294967296 + 5)"), 5); // the low 32 bits
    EXPECT_THROW(I("round(1e30)"), EExprError);
    EXPECT_THROW(I("round(9223372036854775807.5)"), EExprError); // rounds up to 2^63
    EXPECT_EQ(I("round(-9223372036854775808)"), 0);
    // Ties go to even whatever the thread's rounding mode, and the mode is left alone.
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(I("round(2.5)"), 2);
    EXPECT_EQ(I("round(-3.5)"), -4);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(X("int(-2.7)"), -2.0L);
    EXPECT_NEAR(double(*X("frac(-2.7)")), -0.7, 1e-15);
    EXPECT_EQ(X("abs(-3)"), 3.0L);
    EXPECT_EQ(X("sqr(-3)"), 9.0L);
    EXPECT_EQ(X("sqrt(16)"), 4.0L);
    EXPECT_EQ(X("iff(true, 1, 2)"), 1.0L);
    EXPECT_EQ(X("iff(1 > 2, 1, 2)"), 2.0L);
}

TEST_F(Builtins, IffComputesBothBranches)
{
    Exts["x"] = 0;
    EXPECT_FALSE(X("iff(x > 0, 1, 1/x)"));
    EXPECT_EQ(LastCode(), 14);
}

TEST_F(Builtins, StrToIntForms)
{
    EXPECT_EQ(I("strtoint(\"$1F\")"), 31);
    EXPECT_EQ(I("strtoint(\"0x1f\")"), 31);
    EXPECT_EQ(I("strtoint(\"X10\")"), 16);
    EXPECT_EQ(I("strtoint(\" 12\")"), 12);
    EXPECT_EQ(I("strtoint(\"-2147483648\")"), INT32_MIN);
    EXPECT_EQ(I("strtoint(\"+7\")"), 7);
    for (const char *bad : {"12 ", "2147483648", "", "$", "1.0", "$80000000", "x1g"}) {
        Errors.clear();
        EXPECT_FALSE(I(QStringLiteral("strtoint(\"%1\")").arg(bad))) << bad;
        EXPECT_EQ(LastCode(), 22) << bad;
    }
}

TEST_F(Builtins, StrToFloatIgnoresTheLocale)
{
    for (const char *name : {"C", "de_DE", "fr_FR"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        EXPECT_EQ(X("strtofloat(\"1.5\")"), 1.5L) << name;
        EXPECT_EQ(X("strtofloat(\" -2.5e2\")"), -250.0L) << name;
        EXPECT_EQ(X("strtofloat(\"3\")"), 3.0L) << name;
        EXPECT_FALSE(X("strtofloat(\"1,5\")")) << name;
        EXPECT_EQ(LastCode(), 23);
        EXPECT_EQ(S("floattostr(0.5)"), QString("0.5")) << name;
        EXPECT_EQ(X("1.25 * 2"), 2.5L) << name;
    }
    for (const char *bad : {"1e", "abc", "1.5 ", "--1", "1e5000"}) {
        Errors.clear();
        EXPECT_FALSE(X(QStringLiteral("strtofloat(\"%1\")").arg(bad))) << bad;
        EXPECT_EQ(LastCode(), 23) << bad;
    }
}

TEST_F(Builtins, FloatToStrGeneralFormat)
{
    EXPECT_EQ(S("floattostr(1/3)"), QString("0.333333333333333"));
    EXPECT_EQ(S("floattostr(2/3)"), QString("0.666666666666667"));
    EXPECT_EQ(S("floattostr(100)"), QString("100"));
    EXPECT_EQ(S("floattostr(-1.5)"), QString("-1.5"));
    EXPECT_EQ(S("floattostr(0.0001)"), QString("0.0001"));
    EXPECT_EQ(S("floattostr(0.00001)"), QString("1E-5"));
    EXPECT_EQ(S("floattostr(0.000015)"), QString("1.5E-5"));
    EXPECT_EQ(S("floattostr(999999999999999)"), QString("999999999999999"));
    EXPECT_EQ(S("floattostr(1e15)"), QString("1E15"));
    EXPECT_EQ(S("floattostr(1.5e20)"), QString("1.5E20"));
    EXPECT_EQ(S("floattostr(0)"), QString("0"));
    EXPECT_EQ(FloatToStrDot(12.25L), QString("12.25"));
    int code = -1;
    EXPECT_EQ(StrToFloatDot("2.5", code), 2.5L);
    EXPECT_EQ(code, 0);
    StrToFloatDot("2,5", code);
    EXPECT_EQ(code, 2);
}

TEST_F(Builtins, Transcendentals)
{
    EXPECT_NEAR(double(*X("log(10, 1000)")), 3.0, 1e-15);
    EXPECT_NEAR(double(*X("ln(exp(2))")), 2.0, 1e-15);
    EXPECT_NEAR(double(*X("sin(0.5)")), std::sin(0.5), 1e-15);
    EXPECT_NEAR(double(*X("cos(0.5)")), std::cos(0.5), 1e-15);
    EXPECT_EQ(X("sin(1e19)"), 0.0L);
    EXPECT_EQ(X("cos(-1e19)"), 0.0L);
    EXPECT_NEAR(double(*X("tan(0.5) * cotan(0.5)")), 1.0, 1e-15);
    EXPECT_NEAR(double(*X("arcsin(1) * 2")), M_PI, 1e-15);
    EXPECT_NEAR(double(*X("arccos(0) * 2")), M_PI, 1e-15);
    EXPECT_NEAR(double(*X("arctan(1) * 4")), M_PI, 1e-15);
    EXPECT_NEAR(double(*X("arcsinh(sinh(0.7))")), 0.7, 1e-15);
    EXPECT_NEAR(double(*X("arccosh(cosh(0.7))")), 0.7, 1e-15);
    EXPECT_NEAR(double(*X("arctanh(tanh(0.7))")), 0.7, 1e-15);
    for (const char *bad : {"ln(-1)", "log(1, 5)", "log(10, 0)", "arcsin(2)", "arccosh(0.5)", "arctanh(1)",
                            "cotan(0)", "exp(20000)", "sqr(1e3000)", "cosh(20000)"})
        EXPECT_THROW(X(bad), EExprError) << bad;
}

TEST_F(Builtins, TextFunctionsCountCharacters)
{
    EXPECT_EQ(I("pos(\"b\", \"abc\")"), 2);
    EXPECT_EQ(I("pos(\"B\", \"abc\")"), 0);
    EXPECT_EQ(I("pos(\"\", \"abc\")"), 0);
    EXPECT_EQ(I("pos(\"ß\", \"Grüße\")"), 4);
    EXPECT_EQ(I("length(\"Grüße\")"), 5);
    EXPECT_EQ(I("length(\"\")"), 0);
    EXPECT_EQ(S("copy(\"abcdef\", 0, 2)"), QString("ab"));
    EXPECT_EQ(S("copy(\"abc\", 5, 1)"), QString(""));
    EXPECT_EQ(S("copy(\"abcdef\", 2.9, 3)"), QString("bcd"));
    EXPECT_EQ(S("copy(\"abcdef\", 4, 100)"), QString("def"));
    EXPECT_EQ(S("copy(\"abcdef\", 2, -1)"), QString(""));
    EXPECT_EQ(S("copy(\"abcdef\", -1e30, 1e30)"), QString("abcdef"));
    EXPECT_EQ(S("copy(\"Grüße\", 3, 2)"), QString("üß"));
    // A character beyond the 16-bit range is one character.
    EXPECT_EQ(I("length(\"a😀b\")"), 3);
    EXPECT_EQ(I("pos(\"b\", \"a😀b\")"), 3);
    EXPECT_EQ(S("copy(\"a😀b\", 2, 1)"), QString("😀"));
    EXPECT_EQ(S("copy(\"a😀b\", 3, 5)"), QString("b"));
    EXPECT_EQ(I("pos(copy(\"abc\", 2, 1), copy(uppercase(\"xyzb\"), 1, 3) + \"b\")"), 4); // calls within calls
    EXPECT_EQ(S("ansiuppercase(\"grüße\")"), QString("GRÜSSE"));
    EXPECT_EQ(S("ansilowercase(\"ÄÖÜ\")"), QString("äöü"));
    EXPECT_EQ(S("uppercase(\"grüße\")"), QString("GRüßE"));
    EXPECT_EQ(S("lowercase(\"ÄBC\")"), QString("Äbc"));
    EXPECT_EQ(S("inttostr(-42)"), QString("-42"));
    EXPECT_EQ(S("inttostr(2147483647 + 1)"), QString("-2147483648"));
    EXPECT_EQ(B("not(1 > 2)"), true);
}

TEST_F(Builtins, Dates)
{
    EXPECT_EQ(D("encodedate(1899, 12, 30)"), 0.0);
    EXPECT_EQ(D("encodedate(2000, 1, 1)"), 36526.0);
    EXPECT_EQ(I("dayofweek(encodedate(2000, 1, 1))"), 7);
    EXPECT_EQ(I("dayofweek(0)"), 7);
    EXPECT_EQ(I("dayofweek(encodedate(1, 1, 1))"), 2);
    EXPECT_EQ(D("encodetime(12, 0, 0, 0)"), 0.5);
    EXPECT_EQ(D("encodedate(2004, 1, 31) + encodetime(6, 0, 0, 0)"), 38017.25);
    EXPECT_EQ(D("incmonth(encodedate(2004, 1, 31), 1)"), *D("encodedate(2004, 2, 29)"));
    EXPECT_EQ(D("incmonth(encodedate(2004, 3, 15) + 0.25, -14)"), *D("encodedate(2003, 1, 15) + 0.25"));
    EXPECT_EQ(D("incmonth(encodedate(2004, 1, 31), 12 * 3)"), *D("encodedate(2007, 1, 31)"));
    EXPECT_EQ(B("isleapyear(1900)"), false);
    EXPECT_EQ(B("isleapyear(2000)"), true);
    EXPECT_EQ(B("isleapyear(2004)"), true);
    EXPECT_EQ(B("isleapyear(65536 + 2000)"), true); // the low 16 bits
    for (const char *bad : {"encodedate(2003, 2, 29)", "encodedate(2000, 13, 1)", "encodedate(0, 1, 1)",
                            "encodetime(24, 0, 0, 0)", "encodetime(0, 60, 0, 0)", "incmonth(0, 200000)",
                            "dayofweek(1e300)", "incmonth(-1e10, 1)"})
        EXPECT_THROW(D(bad), EExprError) << bad;
}

TEST_F(Builtins, DateTextsFollowTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString day = *S("datetostr(encodedate(2004, 2, 29))");
    EXPECT_EQ(day, QString("29.02.2004")); // four-digit years, though the locale writes two
    EXPECT_EQ(S("timetostr(encodetime(13, 5, 9, 0))"), QString("13:05:09"));
    EXPECT_EQ(S("datetimetostr(encodedate(2004, 2, 29))"), day);
    EXPECT_EQ(S("datetimetostr(encodedate(2004, 2, 29) + encodetime(13, 5, 9, 0))"), day + " 13:05:09");
    EXPECT_EQ(S("formatdatetime(\"yyyy-MM-dd HH:mm\", encodedate(2004, 2, 29) + 0.5)"), QString("2004-02-29 12:00"));
    EXPECT_EQ(D("strtodate(\"29.02.2004\")"), *D("encodedate(2004, 2, 29)"));
    EXPECT_EQ(D("strtotime(\"13:05:09\")"), *D("encodetime(13, 5, 9, 0)"));
    EXPECT_EQ(D("strtodatetime(\"29.02.2004\")"), *D("encodedate(2004, 2, 29)"));
    EXPECT_FALSE(D("strtodate(\"30.02.2004\")"));
    EXPECT_EQ(LastCode(), 24);
    EXPECT_FALSE(D("strtodatetime(\"29.02.2004 99:00\")"));
    EXPECT_EQ(LastCode(), 26);
    // What the conversions write, they read back.
    for (const char *name : {"de_DE", "C", "en_US", "en_GB", "fr_FR", "ja_JP", "ar_EG"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        const QString moment = "encodedate(2004, 2, 29) + encodetime(13, 5, 9, 0)";
        EXPECT_EQ(D("strtodatetime(datetimetostr(" + moment + "))"), *D(moment)) << name;
        EXPECT_EQ(D("strtodate(datetostr(" + moment + "))"), *D("encodedate(2004, 2, 29)")) << name;
        EXPECT_EQ(D("strtotime(timetostr(0.75))"), 0.75) << name;
    }
}

TEST_F(Builtins, ArgumentAndResultTypes)
{
    EXPECT_FALSE(I("length(1)"));
    EXPECT_EQ(LastCode(), 4);
    EXPECT_FALSE(S("length(\"a\")")); // an integer result is no string operand
    EXPECT_EQ(LastCode(), 4);
    EXPECT_EQ(X("length(\"abc\") / 2"), 1.5L);
    EXPECT_EQ(I("LENGTH(\"abc\")"), 3);
}

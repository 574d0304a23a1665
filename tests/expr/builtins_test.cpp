// The built-in functions with their edge values, and the call protocol.

#include "expr/exprconv.h"
#include "exprfixture.h"

#include <QDate>
#include <QSet>
#include <cfenv>
#include <cmath>
#include <cstdio>

using namespace qf::expr;

using Builtins = ExprFixture;

TEST_F(Builtins, RoundingAndIntegers)
{
    ExpectI({{"round(2.5)", 2},
             {"round(3.5)", 4},
             {"round(-2.5)", -2},
             {"round(2.4999)", 2},
             {"round(4294967296 + 5)", 5} /* the low 32 bits */,
             {"round(-9223372036854775808)", 0}});
    EXPECT_THROW(I("round(1e30)"), EExprError);
    EXPECT_THROW(I("round(9223372036854775807.5)"), EExprError); // rounds up to 2^63
    // Ties go to even whatever the thread's rounding mode, and the mode is left alone.
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(I("round(2.5)"), 2);
    EXPECT_EQ(I("round(-3.5)"), -4);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(FE_TONEAREST);
    ExpectX({{"int(-2.7)", -2},
             {"abs(-3)", 3},
             {"sqr(-3)", 9},
             {"sqrt(16)", 4},
             {"iff(true, 1, 2)", 1},
             {"iff(1 > 2, 1, 2)", 2}});
    EXPECT_NEAR(double(*X("frac(-2.7)")), -0.7, 1e-15);
    // Iff computes both branches.
    Exts["x"] = 0;
    ExpectCode(etExtended, "iff(x > 0, 1, 1/x)", 14);
}

TEST_F(Builtins, NumberTexts)
{
    ExpectI({{"strtoint(\"$1F\")", 31},
             {"strtoint(\"0x1f\")", 31},
             {"strtoint(\"X10\")", 16},
             {"strtoint(\" 12\")", 12},
             {"strtoint(\"-2147483648\")", INT32_MIN},
             {"strtoint(\"+7\")", 7}});
    for (const char *bad : {"2147483648", "-2147483649", "", "$", "1.0", "$80000000", "x1g"})
        ExpectCode(etInteger, QStringLiteral("strtoint(\"%1\")").arg(bad), 22);
    // Number texts ignore the locale.
    for (const char *name : {"C", "de_DE", "fr_FR"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        ExpectX(
            {{"strtofloat(\"1.5\")", 1.5}, {"strtofloat(\" -2.5e2\")", -250}, {"1.25 * 2", 2.5}});
        ExpectCode(etExtended, "strtofloat(\"1,5\")", 23);
        EXPECT_EQ(S("floattostr(0.5)"), QString("0.5")) << name;
    }
    for (const char *bad : {"1e", "abc", "1.5 ", "--1", "1e5000"})
        ExpectCode(etExtended, QStringLiteral("strtofloat(\"%1\")").arg(bad), 23);
    // Denormals read as their value; below them a number is 0.
    EXPECT_EQ(*X("1e-4940 * 1e4900"), 1e-4940L * 1e4900L);
    EXPECT_GT(*X("strtofloat(\"1e-4940\")"), 0);
    EXPECT_EQ(*X("strtofloat(\"1e-4960\")"), 0);
    // The general format: fifteen digits, exponents outside 1E-5 to 1E15.
    ExpectS({{"floattostr(1/3)", "0.333333333333333"},
             {"floattostr(2/3)", "0.666666666666667"},
             {"floattostr(100)", "100"},
             {"floattostr(-1.5)", "-1.5"},
             {"floattostr(0.0001)", "0.0001"},
             {"floattostr(0.00001)", "1E-5"},
             {"floattostr(0.000015)", "1.5E-5"},
             {"floattostr(999999999999999)", "999999999999999"},
             {"floattostr(1e15)", "1E15"},
             {"floattostr(1.5e20)", "1.5E20"},
             {"floattostr(0)", "0"}});
    EXPECT_EQ(FloatToStrDot(12.25L), QString("12.25"));
    int code = -1;
    EXPECT_EQ(StrToFloatDot("2.5", code), 2.5L);
    EXPECT_EQ(code, 0);
    StrToFloatDot("2,5", code);
    EXPECT_EQ(code, 2);
}

TEST_F(Builtins, Transcendentals)
{
    const std::pair<const char *, double> near[] = {{"log(10, 1000)", 3.0},
                                                    {"tan(0.5) * cotan(0.5)", 1},
                                                    {"arcsin(1) * 2", M_PI},
                                                    {"arctanh(tanh(0.7))", 0.7}};
    for (auto &[e, v] : near)
        EXPECT_NEAR(double(*X(e)), v, 1e-15) << e;
    ExpectX({{"sin(1e19)", 0}, {"cos(-1e19)", 0}});
    for (const char *bad : {"ln(-1)", "log(1, 5)", "log(10, 0)", "arcsin(2)", "arccosh(0.5)",
                            "arctanh(1)", "cotan(0)", "exp(20000)", "sqr(1e3000)", "cosh(20000)"})
        EXPECT_THROW(X(bad), EExprError) << bad;
}

TEST_F(Builtins, TextFunctionsCountCharacters)
{
    // A character beyond the 16-bit range is one character.
    ExpectI({{"pos(\"b\", \"abc\")", 2},
             {"pos(\"B\", \"abc\")", 0},
             {"pos(\"\", \"abc\")", 0},
             {"pos(\"ß\", \"Grüße\")", 4},
             {"length(\"Grüße\")", 5},
             {"length(\"\")", 0},
             {"length(\"a😀b\")", 3},
             {"pos(\"b\", \"a😀b\")", 3},
             {"LENGTH(\"abc\")", 3},
             {"pos(copy(\"abc\", 2, 1), copy(uppercase(\"xyzb\"), 1, 3) + \"b\")",
              4}}); // calls within calls
    ExpectS({{"copy(\"abcdef\", 0, 2)", "ab"},
             {"copy(\"abc\", 5, 1)", ""},
             {"copy(\"abcdef\", 2.9, 3)", "bcd"},
             {"copy(\"abcdef\", 4, 100)", "def"},
             {"copy(\"abcdef\", 2, -1)", ""},
             {"copy(\"abcdef\", -1e30, 1e30)", "abcdef"},
             {"copy(\"Grüße\", 3, 2)", "üß"},
             {"copy(\"a😀b\", 2, 1)", "😀"},
             {"copy(\"a😀b\", 3, 5)", "b"},
             {"ansiuppercase(\"straße\")", "STRAßE"},
             {"ansilowercase(\"ÄÖÜİ\")", "äöüi"}, // one to one

             {"uppercase(\"grüßez\")", "GRüßEZ"},
             {"lowercase(\"ÄBC\")", "Äbc"},
             {"inttostr(-42)", "-42"},
             {"inttostr(2147483647 + 1)", "-2147483648"}});
    EXPECT_EQ(B("not(1 > 2)"), true);
    EXPECT_EQ(X("length(\"abc\") / 2"), 1.5L);
    ExpectCode(etInteger, "length(1)", 4);
    ExpectCode(etString, "length(\"a\")", 4); // an integer result is no string operand
}

TEST_F(Builtins, Dates)
{
    ExpectD({{"encodedate(1899, 12, 30)", 0},
             {"encodedate(2000, 1, 1)", 36526},
             {"encodetime(12, 0, 0, 0)", 0.5},
             {"encodedate(2004, 1, 31) + encodetime(6, 0, 0, 0)", 38017.25}});
    ExpectI({{"dayofweek(encodedate(2000, 1, 1))", 7}, {"dayofweek(encodedate(1, 1, 1))", 2}});
    EXPECT_EQ(D("incmonth(encodedate(2004, 1, 31), 1)"), *D("encodedate(2004, 2, 29)"));
    EXPECT_EQ(D("incmonth(encodedate(2004, 3, 15) + 0.25, -14)"),
              *D("encodedate(2003, 1, 15) + 0.25"));
    ExpectB({{"isleapyear(1900)", false},
             {"isleapyear(2000)", true},
             {"isleapyear(2004)", true},
             {"isleapyear(65536 + 2000)", true}}); // the low 16 bits
    for (const char *bad :
         {"encodedate(2003, 2, 29)", "encodedate(2000, 13, 1)", "encodedate(0, 1, 1)",
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
    EXPECT_EQ(S("datetimetostr(encodedate(2004, 2, 29) + encodetime(13, 5, 9, 0))"),
              day + " 13:05:09");
    EXPECT_EQ(S("formatdatetime(\"yyyy-MM-dd HH:mm\", encodedate(2004, 2, 29) + 0.5)"),
              QString("2004-02-29 12:00"));
    // An empty format writes the value as datetimetostr does.
    EXPECT_EQ(S("formatdatetime(\"\", encodedate(2004, 2, 29) + 0.5)"), day + " 12:00:00");
    // Texts round to the millisecond, carrying into the next day.
    ExpectS({{"datetimetostr(36526.99999999999)", "02.01.2000"},
             {"datetostr(36526.99999999999)", "02.01.2000"},
             {"timetostr(36526.99999999999)", "00:00:00"},
             {"formatdatetime(\"dd.MM.yyyy HH:mm:ss.zzz\", 36526.99999999999)",
              "02.01.2000 00:00:00.000"}});
    // From 1 January 0001, whatever its time, to 31 December 9999.
    ExpectS({{"datetimetostr(-693593.5)", "01.01.0001 12:00:00"},
             {"datetostr(2958465.75)", "31.12.9999"}});
    for (const char *bad : {"datetostr(-693594)", "datetostr(2958466)", "timetostr(2958466.5)"})
        EXPECT_THROW(S(bad), EExprError) << bad;
    // The time zone goes with its brackets and commas; the day period Qt does not know ("B")
    // goes too.
    for (const char *name : {"es_ES", "zh_TW", "be_BY"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        EXPECT_EQ(S("timetostr(encodetime(18, 5, 9, 0))"), QString("18:05:09")) << name;
    }
    // What the conversions write, they read back, in every locale the system offers.
    QStringList names;
    if (FILE *list = popen("locale -a", "r")) {
        char line[256];
        while (fgets(line, sizeof line, list))
            names << QString::fromLocal8Bit(line).trimmed();
        pclose(list);
    }
    QSet<QString> done;
    for (const QString &name : names) {
        const QLocale locale(name);
        if (done.contains(locale.name()))
            continue;
        done.insert(locale.name());
        QLocale::setDefault(locale);
        for (const QString time : {"encodetime(13, 5, 9, 0)", "encodetime(0, 5, 0, 0)"}) {
            const QString moment = "encodedate(2004, 2, 29) + " + time;
            EXPECT_EQ(D("strtodatetime(datetimetostr(" + moment + "))"), *D(moment))
                << name.toStdString() << " " << S("datetimetostr(" + moment + ")")->toStdString();
            EXPECT_EQ(D("strtotime(timetostr(" + time + "))"), *D(time)) << name.toStdString();
        }
        EXPECT_EQ(D("strtodate(datetostr(encodedate(2004, 2, 29)))"), *D("encodedate(2004, 2, 29)"))
            << name.toStdString();
    }
    EXPECT_GT(done.size(), 200) << "locales-all is not installed";
}

// Typed dates: the order and separator of the locale's short format, one or two digits for day and
// month, two or four for the year, and no year for this year.
TEST_F(Builtins, DatesAndTimesAsTyped)
{
    // Two-digit years fall within fifty years of today.
    const int thisYear = QDate::currentDate().year(), first = thisYear - 50, last = thisYear + 49;
    auto yy = [](int Year) { return QStringLiteral("%1").arg(Year % 100, 2, 10, QChar(u'0')); };
    const struct {
        const char *Locale;
        QString Text;
        int Y, M, D, Hour = 0, Min = 0, Sec = 0, MSec = 0;
    } good[] = {
        {"en_US", "1/2/2000", 2000, 1, 2},
        {"en_US", "12/31", thisYear, 12, 31},
        {"en_GB", " 2/1/2000 ", 2000, 1, 2},
        {"en_GB", "02/01/" + yy(first), first, 1, 2},
        {"de_DE", "2.1.2000", 2000, 1, 2},
        {"de_DE", "2.1." + yy(last), last, 1, 2},
        {"de_DE", "31.12.", thisYear, 12, 31},
        {"de_DE", "1.2. 10:30", thisYear, 2, 1, 10, 30},
        {"en_US", "23:59:59", 0, 0, 0, 23, 59, 59},
        {"en_US", "10:30", 0, 0, 0, 10, 30},
        {"en_US", "1/2/2000 10:30", 2000, 1, 2, 10, 30},
        {"en_US", "12:05 AM", 0, 0, 0, 0, 5},
        {"en_GB", "10:30 pm", 0, 0, 0, 22, 30},
        {"en_GB", "7:05", 0, 0, 0, 7, 5},
        {"en_GB", "0:00", 0, 0, 0, 0, 0},
        {"en_GB", "2/1/2000 12:00 pm", 2000, 1, 2, 12, 0},
        {"en_US", "10:30:15.250", 0, 0, 0, 10, 30, 15, 250},
        {"de_DE", "10:30:15,5", 0, 0, 0, 10, 30, 15, 500},
        {"C", "2 Jan 2000 7:05:09", 2000, 1, 2, 7, 5, 9},
    };
    for (const auto &g : good) {
        QLocale::setDefault(QLocale(QString::fromLatin1(g.Locale)));
        TDateTime want = 0, time = 0;
        ASSERT_TRUE(!g.Y || TryEncodeDate(g.Y, g.M, g.D, want));
        ASSERT_TRUE(TryEncodeTime(g.Hour, g.Min, g.Sec, g.MSec, time));
        const QString text = "(\"" + g.Text + "\")";
        if (!g.Y) {
            EXPECT_EQ(D("strtotime" + text), time) << g.Locale << " " << g.Text.toStdString();
            continue;
        }
        if (time == 0) {
            EXPECT_EQ(D("strtodate" + text), want) << g.Locale << " " << g.Text.toStdString();
        }
        EXPECT_EQ(D("strtodatetime" + text), want + time)
            << g.Locale << " " << g.Text.toStdString();
    }
    const std::pair<const char *, const char *> badDates[] = {
        {"en_GB", "2.1.2000"},     {"en_GB", "2/1/200"},   {"en_GB", "2/1/20000"},
        {"en_GB", "123/1/2000"},   {"en_GB", "31/2/2000"}, {"en_GB", "2//2000"},
        {"en_GB", "2/1/2000/5"},   {"en_US", "13/1/2000"}, {"de_DE", "2/1/2000"},
        {"de_DE", "2.1.2000 7:05"}};
    for (auto &[locale, text] : badDates) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        ExpectCode(etDateTime, QStringLiteral("strtodate(\"%1\")").arg(QString::fromLatin1(text)),
                   24);
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    for (const char *text : {"24:00", "10:60", "10:30:60", "13:00 pm", "0:30 am", "10", "10:",
                             "10:30:15.", "10:30:15.2500", "pm", "10:30 xm", "1:2:3:4", "10.30"})
        ExpectCode(etDateTime, QStringLiteral("strtotime(\"%1\")").arg(QString::fromLatin1(text)),
                   25);
    ExpectCode(etDateTime, "strtodatetime(\"2/1/2000 25:00\")", 26);
}

TEST_F(Builtins, FieldRulesOfTheSharedDateTexts)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TDateTime leapDay = 0, v = 0;
    ASSERT_TRUE(TryEncodeDate(2004, 2, 29, leapDay));
    // Outside the years 1..9999 a field shows nothing where a formula raises.
    EXPECT_THROW(DateTimeToStr(MinDateTime - 1), EExprError);
    EXPECT_EQ(DateTimeToStr(MinDateTime - 1, TDateRules::Field), QString());
    EXPECT_EQ(DateTimeToStr(MaxDateTime, TDateRules::Field), QString());
    EXPECT_EQ(DateTimeToStr(leapDay + 0.99999999999, TDateRules::Field), QString("01.03.2004"));
    // Two-digit years in formulas only; ISO dates and "H:mm" times in fields only.
    EXPECT_TRUE(TryStrToDateTime("29.02.04", v));
    EXPECT_FALSE(TryStrToDateTime("29.02.04", v, TDateRules::Field));
    EXPECT_FALSE(TryStrToDateTime("2004-02-29", v));
    ASSERT_TRUE(TryStrToDateTime("2004-02-29", v, TDateRules::Field));
    EXPECT_EQ(v, leapDay);
    ASSERT_TRUE(TryStrToDateTime("29.02.2004 7:30", v, TDateRules::Field));
    EXPECT_EQ(v, leapDay + 0.3125);
}

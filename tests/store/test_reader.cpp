#include "store/reader.h"

#include <gtest/gtest.h>

using namespace qf::store;

namespace {

// The tokens as "blanks text/kind" joined by "|"; kinds: w word, i integer, d decimal,
// x exponent, K keyword, D delimiter.
std::string scan(TReader &r, const QString &text, int start = 0)
{
    TScroller s(r);
    s.SetText(text, start);
    QString out;
    for (int guard = 0; s.Current().Kind != tkEnd && guard < 1000; ++guard, s.Next())
        out += (out.isEmpty() ? "" : "|") + s.Current().Blanks + s.Current().Text + "/" +
               QChar("EwidxKD"[s.Current().Kind]);
    return out.toStdString();
}

struct DefaultReader : ::testing::Test {
    TReader r;
    void SetUp() override
    {
        r.SetDefaultBlanks();
        r.SetDefaultDelimiters();
    }
};

} // namespace

TEST_F(DefaultReader, NumbersAreMergedAcrossDelimitersByFormat)
{
    const std::pair<const char *, const char *> rows[] = {
        {"3.14", "3.14/d"},
        {"1e-5", "1e-5/x"},
        {"3.14abc", "3/i|./D|14abc/w"},
        {"1. x", "1/i|./D| x/w"},
        {"12abc", "12abc/w"},
        // A sign or exponent with no digit after it is no part of a number.
        {"1e-x", "1e/w|-/D|x/w"},
        {"-5 .5", "-/D|5/i| ./D|5/i"},
        {"3 .14", "3/i| ./D|14/i"}, // a blank stops the merge
    };
    for (const auto &[in, out] : rows)
        EXPECT_EQ(scan(r, in), out) << in;

    r.SetNumericFormat(nfComma);
    EXPECT_EQ(scan(r, "3,14"), "3,14/d");
    r.SetNumericFormat(nfPeriod);
    r.ScientificNumber = false;
    EXPECT_EQ(scan(r, "1e5"), "1e5/w");
}

TEST_F(DefaultReader, LongestDelimiterAndWholeKeywords)
{
    r.AddDelimiter("<>", 11, nullptr);
    r.AddDelimiter("<=", 12, nullptr);
    r.AddKeyword("and", 20, nullptr);
    TScroller s(r);
    s.SetText("a<>b", 0);
    s.Next();
    EXPECT_EQ(s.Current().Structure, 11);
    EXPECT_EQ(scan(r, "a<>b<c andy and( x AND y"),
              "a/w|<>/D|b/w|</D|c/w| andy/w| and/K|(/D| x/w| AND/K| y/w");
    r.AddDelimiter("(+)", 0, nullptr);
    EXPECT_EQ(scan(r, "(+1 (+)"), "(/D|+/D|1/i| (+)/D");
}

TEST(Reader, DelimiterRegistrationAndCase)
{
    TReader r;
    r.AddDelimiter(">=", 4, nullptr);
    TStatus st = 0;
    int structure = -1;
    void *p = nullptr;
    ASSERT_TRUE(r.FindSymbol(">", st, structure, p));
    EXPECT_EQ(st, stDelimiter);
    EXPECT_TRUE(r.IsDelimiter("="));
    r.AddDelimiter("~~", 1, nullptr); // wildcard characters are not registered alone
    EXPECT_FALSE(r.IsDelimiter("~"));

    int k = 0;
    r.AddKeyword("Then", 3, &k);
    ASSERT_TRUE(r.FindSymbol("THEN", st, structure, p));
    EXPECT_EQ(st, stKeyword);
    EXPECT_EQ(p, &k);

    // Turning case sensitivity on drops every symbol, "_" in its text or not.
    r.AddKeyword("my_var", 1, nullptr);
    r.SetCaseSensitivity(true);
    EXPECT_FALSE(r.FindSymbol("my_var", st, structure, p));
    EXPECT_FALSE(r.IsDelimiter(">"));
    r.AddKeyword("Then", 3, nullptr);
    EXPECT_FALSE(r.FindSymbol("THEN", st, structure, p));
    EXPECT_TRUE(r.FindSymbol("Then", st, structure, p));

    // A delimiter that a filter keeps from removal is looked up by the new case rule at once,
    // by the one-character test and the scanner alike.
    r.AddDelimiter("A", 0, nullptr);
    r.Dictionary().OnFilter = [](TDList *, const std::string &, int, void *, bool &enabled) {
        enabled = false;
    };
    r.SetCaseSensitivity(false);
    EXPECT_FALSE(r.IsDelimiter(QString("A")));
    EXPECT_FALSE(r.IsDelimiter(QChar(u'A')));
    EXPECT_EQ(scan(r, "xAy"), "xAy/w");
}

TEST_F(DefaultReader, CursorWindowAndBlanks)
{
    TScroller s(r);
    s.SetText("a  b", 0);
    EXPECT_EQ(s.PosList[1].Position, 4);
    EXPECT_EQ(s.PosList[2].Position, 4); // the end keeps the position of the token before it
    s.Next();
    s.Next();
    EXPECT_EQ(s.Previous.Text, QString("b"));
    s.Next(); // past the end stays at the end
    EXPECT_EQ(s.Current().Kind, tkEnd);
    EXPECT_EQ(scan(r, "   \t "), "");
    s.SetText("skip me", 4);
    EXPECT_EQ(s.Current().Text, QString("me"));
    s.SetText("a b c d e f g", 0);
    EXPECT_EQ(s.PosList[5].Text, QString("f"));
}

TEST_F(DefaultReader, PlaceholderNames)
{
    // "_" and non-ASCII letters are part of names; characters beyond one UTF-16 unit stay whole.
    EXPECT_EQ(scan(r, QString::fromUtf8("Dear %first_name, %Straße! %x😀y")),
              "Dear/w| %/D|first_name/w|,/D| %/D|Straße/w|!/D| %/D|x😀y/w");
}

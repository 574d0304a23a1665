#include "store/reader.h"

#include <gtest/gtest.h>
#include <vector>

using namespace qf::store;

namespace {

struct Tok {
    QString text;
    int kind;
    QString blanks;
    bool operator==(const Tok &o) const
    {
        return text == o.text && kind == o.kind && blanks == o.blanks;
    }
};

void PrintTo(const Tok &t, std::ostream *os)
{
    *os << "{" << t.text.toStdString() << "," << t.kind << ",'" << t.blanks.toStdString() << "'}";
}

std::vector<Tok> scan(TReader &r, const QString &text, int start = 0)
{
    TScroller s(r);
    s.SetText(text, start);
    std::vector<Tok> out;
    for (int guard = 0; s.Current().Kind != tkEnd && guard < 1000; ++guard) {
        out.push_back({s.Current().Text, s.Current().Kind, s.Current().Blanks});
        s.Next();
    }
    return out;
}

std::vector<QString> texts(TReader &r, const QString &text)
{
    std::vector<QString> out;
    for (auto &t : scan(r, text))
        out.push_back(t.text);
    return out;
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
    EXPECT_EQ(scan(r, "3.14"), (std::vector<Tok>{{"3.14", tkDecimal, ""}}));
    EXPECT_EQ(scan(r, "1e-5"), (std::vector<Tok>{{"1e-5", tkExponent, ""}}));
    EXPECT_EQ(scan(r, "1.5E+3"), (std::vector<Tok>{{"1.5E+3", tkExponent, ""}}));
    EXPECT_EQ(
        scan(r, "2-3"),
        (std::vector<Tok>{{"2", tkInteger, ""}, {"-", tkDelimiter, ""}, {"3", tkInteger, ""}}));
    EXPECT_EQ(texts(r, "-5"), (std::vector<QString>{"-", "5"}));
    EXPECT_EQ(
        scan(r, "3.14abc"),
        (std::vector<Tok>{{"3", tkInteger, ""}, {".", tkDelimiter, ""}, {"14abc", tkWord, ""}}));
    EXPECT_EQ(scan(r, "1. x"),
              (std::vector<Tok>{{"1", tkInteger, ""}, {".", tkDelimiter, ""}, {"x", tkWord, " "}}));
    EXPECT_EQ(texts(r, ".5"), (std::vector<QString>{".", "5"}));
    EXPECT_EQ(scan(r, "12abc"), (std::vector<Tok>{{"12abc", tkWord, ""}}));
    // A sign or exponent with no digit after it is no part of a number.
    EXPECT_EQ(scan(r, "1e-x"),
              (std::vector<Tok>{{"1e", tkWord, ""}, {"-", tkDelimiter, ""}, {"x", tkWord, ""}}));
    EXPECT_EQ(texts(r, "1e-5abc"), (std::vector<QString>{"1e", "-", "5abc"}));
    // A blank stops the merge.
    EXPECT_EQ(texts(r, "3 .14"), (std::vector<QString>{"3", ".", "14"}));

    // The other numeric formats.
    r.SetNumericFormat(nfInteger);
    EXPECT_EQ(scan(r, "3.14").front(), (Tok{"3", tkInteger, ""}));
    r.SetNumericFormat(nfComma);
    EXPECT_EQ(scan(r, "3,14"), (std::vector<Tok>{{"3,14", tkDecimal, ""}}));
    r.SetNumericFormat(nfNone);
    EXPECT_EQ(scan(r, "12").front().kind, tkWord);
    r.SetNumericFormat(nfPeriod);
    r.ScientificNumber = false;
    EXPECT_EQ(scan(r, "1e5"), (std::vector<Tok>{{"1e5", tkWord, ""}}));
}

TEST_F(DefaultReader, LongestDelimiterAndWholeKeywords)
{
    r.AddDelimiter("<>", 11, nullptr);
    r.AddDelimiter("<=", 12, nullptr);
    r.AddKeyword("and", 20, nullptr);
    TScroller s(r);
    s.SetText("a<>b", 0);
    s.Next();
    EXPECT_EQ(s.Current().Text, QString("<>"));
    EXPECT_EQ(s.Current().Structure, 11);
    EXPECT_EQ(texts(r, "a<b"), (std::vector<QString>{"a", "<", "b"}));
    EXPECT_EQ(scan(r, "andy"), (std::vector<Tok>{{"andy", tkWord, ""}}));
    EXPECT_EQ(scan(r, "and("), (std::vector<Tok>{{"and", tkKeyword, ""}, {"(", tkDelimiter, ""}}));
    EXPECT_EQ(scan(r, "x AND y")[1], (Tok{"AND", tkKeyword, " "}));

    r.AddDelimiter("(+)", 0, nullptr);
    EXPECT_EQ(texts(r, "(+1"), (std::vector<QString>{"(", "+", "1"}));
    EXPECT_EQ(texts(r, "(+)"), (std::vector<QString>{"(+)"}));
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
    EXPECT_EQ(structure, 0);
    EXPECT_TRUE(r.IsDelimiter("="));
    ASSERT_TRUE(r.FindSymbol(">=", st, structure, p));
    EXPECT_EQ(structure, 4);

    r.AddDelimiter("~~", 1, nullptr); // wildcard characters are not registered alone
    EXPECT_FALSE(r.IsDelimiter("~"));
    EXPECT_TRUE(r.IsDelimiter("~~"));

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
    EXPECT_FALSE(r.FindSymbol("then", st, structure, p));
    r.AddKeyword("Then", 3, nullptr);
    EXPECT_FALSE(r.FindSymbol("THEN", st, structure, p));
    EXPECT_TRUE(r.FindSymbol("Then", st, structure, p));

    // A delimiter that a filter keeps from removal is looked up by the new case rule at once,
    // by the one-character test and the scanner alike.
    r.AddDelimiter("A", 0, nullptr);
    EXPECT_TRUE(r.IsDelimiter(QChar(u'A')));
    r.Dictionary().OnFilter = [](TDList *, const std::string &, int, void *, bool &enabled) {
        enabled = false;
    };
    r.SetCaseSensitivity(false);
    EXPECT_FALSE(r.IsDelimiter(QString("A")));
    EXPECT_FALSE(r.IsDelimiter(QChar(u'A')));
    TScroller s(r);
    s.SetText("xAy", 0);
    EXPECT_EQ(s.Current().Text, QString("xAy"));
}

TEST(Reader, DisposalAndListing)
{
    TReader r;
    std::vector<int> disposed;
    r.OnDisposeProperties = [&](TReader *, int s, void *) { disposed.push_back(s); };
    int a = 0, b = 0;
    r.AddKeyword("x", 1, &a);
    r.AddKeyword("X", 2, &b); // same key: the first is released
    EXPECT_EQ(disposed, std::vector<int>{1});
    r.AddDelimiter("+", 5, nullptr);
    std::vector<QString> listed;
    r.OnRegList = [&](TReader *, const QString &str, TStatus, int, void *) {
        listed.push_back(str);
    };
    r.ListSymbols();
    EXPECT_EQ(listed, (std::vector<QString>{"+", "X"}));
    r.RemoveKeywords();
    EXPECT_EQ(disposed, (std::vector<int>{1, 2}));
    EXPECT_TRUE(r.IsDelimiter("+"));
    r.RemoveSymbol("+");
    EXPECT_FALSE(r.IsDelimiter("+"));
}

TEST_F(DefaultReader, CursorWindowAndBlanks)
{
    TScroller s(r);
    s.SetText("a  b", 0);
    EXPECT_EQ(s.Current().Text, QString("a"));
    EXPECT_TRUE(s.Current().Blanks.isEmpty());
    EXPECT_EQ(s.Current().Position, 1);
    EXPECT_EQ(s.PosList[1].Text, QString("b"));
    EXPECT_EQ(s.PosList[1].Blanks, QString("  "));
    EXPECT_EQ(s.PosList[1].Position, 4);
    EXPECT_EQ(s.PosList[2].Kind, tkEnd);
    EXPECT_EQ(s.PosList[2].Position, 4); // the end keeps the position of the token before it
    s.Next();
    s.Next();
    EXPECT_EQ(s.Previous.Text, QString("b"));
    s.Next(); // past the end stays at the end
    EXPECT_EQ(s.Current().Kind, tkEnd);
    // Every end token keeps the last token's position, also over blanks at the end of the text.
    s.SetText("ab   ", 0);
    for (int i = 0; i < 8; ++i, s.Next()) {
        EXPECT_EQ(s.PosList[1].Kind, tkEnd);
        EXPECT_EQ(s.PosList[5].Position, 2);
    }
    EXPECT_EQ(s.Current().Position, 2);
    EXPECT_TRUE(s.Current().Blanks.isEmpty());

    s.SetText("   \t ", 0);
    EXPECT_EQ(s.Current().Kind, tkEnd);
    s.SetText("skip me", 4);
    EXPECT_EQ(s.Current().Text, QString("me"));
    EXPECT_EQ(s.Previous.Kind, tkEnd);
    EXPECT_EQ(s.Previous.Position, 4);

    s.SetText("a b c d e f g", 0);
    EXPECT_EQ(s.PosList[5].Text, QString("f"));
}

TEST_F(DefaultReader, PlaceholderNames)
{
    // "_" and non-ASCII letters are part of names (line breaks as tokens: the shell's set-up test).
    EXPECT_EQ(scan(r, "Dear %first_name, %Straße!"),
              (std::vector<Tok>{{"Dear", tkWord, ""},
                                {"%", tkDelimiter, " "},
                                {"first_name", tkWord, ""},
                                {",", tkDelimiter, ""},
                                {"%", tkDelimiter, " "},
                                {QString::fromUtf8("Straße"), tkWord, ""},
                                {"!", tkDelimiter, ""}}));
    // Characters beyond one UTF-16 unit stay whole.
    EXPECT_EQ(scan(r, QString::fromUtf8("%x😀y"))[1].text, QString::fromUtf8("x😀y"));
}

TEST(Reader, WildcardSymbols)
{
    TReader r;
    r.SetDefaultBlanks();
    r.WildCardEnabled = true;
    r.AddKeyword("ab~", 1, nullptr);
    r.AddKeyword("x`z", 2, nullptr);
    EXPECT_EQ(scan(r, "abcdef x1z xz x1zq"), (std::vector<Tok>{{"abcdef", tkKeyword, ""},
                                                               {"x1z", tkKeyword, " "},
                                                               {"xz", tkWord, " "},
                                                               {"x1zq", tkWord, " "}}));
}

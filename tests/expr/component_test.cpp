// The component: signs and comments, declared functions, formula functions, declared variables,
// compiled texts by handle and re-tokenizing, and the symbol array of a tokenized text.

#include "exprfixture.h"
#include "fileio.h"

#include <QTemporaryDir>

using namespace qf::expr;
using namespace qf::store;

using Component = ExprFixture;

namespace {
TParser tokenized(TAdCalc &Calc, const QString &Text) { return TParser(&Calc, Text, 0, true); }
} // namespace

TEST_F(Component, SignsAfterCreationAndSwaps)
{
    EXPECT_EQ(I("1 + 2 ' + 100"), 3);
    Calc.SetStringSign(ssApostrophe); // the comment sign swaps to the double quote
    ExpectS({{"'it''s' \" comment", "it's"}, {"''", ""}});
    ExpectCode(etString, "'a' 'b'", 9);
    Calc.SetCommentSign(csDublDiv);
    EXPECT_EQ(X("8 / 2 // / 0"), 4.0L);
    // The double quote now has no role: it is an unknown name.
    EXPECT_FALSE(S("\"a\""));
    Calc.SetStringSign(ssQMark);
    Calc.SetCommentSign(csApostrophe);
}

TEST_F(Component, TokenizedSymbols)
{
    TParser p = tokenized(Calc, "1 +\r\n  ab * 3.14 + \"abc\n+ 1");
    ASSERT_EQ(p.Symbols.size(), 10u); // and the end
    EXPECT_EQ(p.Symbols[0].Type, rowIntLiteral);
    EXPECT_EQ(p.Symbols[2].Text, QString("ab"));
    EXPECT_EQ(p.Symbols[2].Line, 2);
    EXPECT_EQ(p.Symbols[2].Position, 4);
    EXPECT_EQ(p.Symbols[4].Type, rowRealLiteral);
    EXPECT_EQ(p.Symbols[6].ErrorCode, 27); // the string runs to the end of its line
    EXPECT_EQ(p.Symbols[7].Line, 3);
}

TEST_F(Component, AddFunctChecksTheName)
{
    std::vector<QString> boxes;
    Calc.ErrorBox = [&](const QString &T) { boxes.push_back(T); };
    std::vector<QString> called;
    Calc.OnGetIntegerFunct = [&](TAdCalc *, const QString &Name, bool, const TFunctParamValues &P,
                                 bool &, int32_t &V, int) {
        called.push_back(Name);
        V = P.empty() ? 1 : P[0].AsInteger() * 10;
    };
    EXPECT_TRUE(Calc.AddFunct("my func", true, etInteger, {etInteger}));
    EXPECT_EQ(I("my_func(4)"), 40);
    EXPECT_EQ(called, (std::vector<QString>{"my_func"}));
    EXPECT_FALSE(Calc.AddFunct("if", true, etInteger, {}));
    EXPECT_FALSE(Calc.AddFunct("2x", true, etInteger, {}));
    EXPECT_FALSE(Calc.AddFunct("a+b", true, etInteger, {}));
    EXPECT_FALSE(Calc.AddFunct("", true, etInteger, {}));
    EXPECT_EQ(boxes,
              (std::vector<QString>{"\"if\" is a reserved word", "Incorrect identifier name",
                                    "Incorrect identifier name", "Identifier name missing"}));
}

TEST_F(Component, HostFunctions)
{
    Calc.AddFunct("Now", true, etDateTime, {});
    Calc.AddFunct("Off", false, etInteger, {});
    Calc.AddFunct("join", true, etString, {etString, etInteger, etBoolean});
    std::vector<QString> names;
    Calc.OnGetDateTimeFunct = [&](TAdCalc *, const QString &Name, bool Active,
                                  const TFunctParamValues &, bool &, TDateTime &V, int) {
        names.push_back(Name);
        EXPECT_TRUE(Active);
        V = 40000.5;
    };
    Calc.OnGetStringFunct = [&](TAdCalc *, const QString &, bool, const TFunctParamValues &P,
                                bool &Found, QString &V, int) {
        ASSERT_EQ(P.size(), 3u);
        EXPECT_EQ(P[1].Type, etInteger);
        V = P[0].AsString() + QString::number(P[1].AsInteger()) + (P[2].AsBoolean() ? "y" : "n");
        Found = P[1].AsInteger() >= 0;
    };
    EXPECT_EQ(D("Now + 1"), 40001.5);
    EXPECT_EQ(names, (std::vector<QString>{"now"}));
    EXPECT_EQ(S("join(\"a\", 1 + 1, 1 < 2)"), QString("a2y"));
    // A handler that does not find the function fails at the symbol after the call.
    EXPECT_EQ(ExpectCode(etString, "join(\"a\", -1, true) + \"b\"", 4).Place, 21);
    // Without parentheses, and an empty pair is an error at "(".
    ExpectCode(etDateTime, "now()", 7);
    // An inactive function fails at its name; an unassigned event fails the call.
    EXPECT_EQ(ExpectCode(etInteger, "off", 1).Place, 3);
    EXPECT_FALSE(I("length(\"x\") + off + 1"));
}

TEST_F(Component, FormulaFunctionsReadTheirParameters)
{
    ASSERT_TRUE(Calc.RegisterFunct("twice", {}, {}, true, etExtended, {etExtended}, fkFormula, 0,
                                   "param(1) * 2"));
    ASSERT_TRUE(Calc.RegisterFunct("greet", {}, {}, true, etString, {etString, etBoolean},
                                   fkFormula, 0,
                                   "if param(2) then \"Hello \" + param(1) else param(1)"));
    ASSERT_TRUE(
        Calc.RegisterFunct("bad", {}, {}, true, etInteger, {etInteger}, fkFormula, 0, "param(2)"));
    ASSERT_TRUE(Calc.RegisterFunct("loop", {}, {}, true, etInteger, {}, fkFormula, 0, "loop + 1"));
    EXPECT_EQ(X("twice(3) + twice(twice(1))"), 10.0L);
    EXPECT_EQ(S("greet(\"Ann\", true)"), QString("Hello Ann"));
    EXPECT_EQ(S("greet(\"Ann\", false)"), QString("Ann"));
    // param outside a call fails at its name.
    ExpectCode(etExtended, "param(1)", 2);
    // param converts only where the types allow.
    ASSERT_TRUE(Calc.RegisterFunct("whole", {}, {}, true, etInteger, {etExtended}, fkFormula, 0,
                                   "param(1)"));
    // An extended value is no integer; without OnFunctError the failure reaches OnError, once.
    ExpectCode(etInteger, "whole(2)", 1);
    // A formula that fails reports through OnFunctError, once, and OnError stays silent.
    std::vector<std::pair<QString, int>> functErrors;
    QString functText;
    Calc.OnFunctError = [&](TAdCalc *, const QString &Name, int, int, int, int Code,
                            const QString &Text) {
        functErrors.emplace_back(Name, Code);
        functText = Text;
    };
    Errors.clear();
    EXPECT_FALSE(I("bad(1)"));
    EXPECT_EQ(functErrors, (std::vector<std::pair<QString, int>>{{"bad", 15}}));
    EXPECT_EQ(functText, QString("Number of parameter is out of range"));
    EXPECT_TRUE(Errors.empty());
    // The comparison fallback reads a failed operand again: the failing formula still reports once.
    ASSERT_TRUE(Calc.RegisterFunct("check", {}, {}, true, etBoolean, {etInteger}, fkFormula, 0,
                                   "param(bad(1)) > 0"));
    functErrors.clear();
    EXPECT_FALSE(B("check(1)"));
    EXPECT_EQ(functErrors, (std::vector<std::pair<QString, int>>{{"bad", 15}}));
    EXPECT_TRUE(Errors.empty());
    // A formula that calls itself raises instead of overflowing the stack.
    EXPECT_THROW(I("loop"), EExprError);
    EXPECT_EQ(I("1 + 1"), 2);
}

TEST_F(Component, DeclaredVariables)
{
    TExprValue ten;
    ten.I = 10;
    ASSERT_TRUE(Calc.RegisterVariable("Rate", etInteger, &ten));
    ASSERT_TRUE(Calc.RegisterVariable("flag", etBoolean, nullptr));
    EXPECT_EQ(I("rate * 2"), 20);
    EXPECT_EQ(X("RATE / 4"), 2.5L);
    long double e = 0;
    EXPECT_FALSE(Calc.GetExtendedVariable("rate", e)); // only under its own type
    TExprValue now;
    now.I = 3;
    EXPECT_TRUE(Calc.SetVariableValue("rate", now));
    EXPECT_EQ(I("rate"), 3);
    ExpectCode(etString, "rate", 4);
    EXPECT_FALSE(B("flag")); // no value yet
    EXPECT_EQ(B("rate > 2"), true);
    EXPECT_TRUE(Asked.empty()); // declared variables never reach the host
}

TEST_F(Component, CompiledTextsByHandle)
{
    Ints["amount"] = 5;
    Calc.Compile("amount > 10", 2);
    Calc.Compile("amount > 3", 2);
    for (int32_t a : {1, 4, 100}) {
        Ints["amount"] = a;
        EXPECT_EQ(Compiled(2), a > 3) << a;
    }
    Calc.RemoveCompiled(2);
    bool v = true;
    EXPECT_FALSE(Calc.CalcCompiledBoolean(v, 2));
    EXPECT_TRUE(v);
    EXPECT_TRUE(Errors.empty());
    Calc.RemoveCompiled(2);
    Calc.RemoveCompiled(77);

    // Errors report on every evaluation, each with its own code.
    Calc.Compile("1 + 1000 / x > 1", 5);
    Ints["x"] = 0;
    EXPECT_FALSE(Compiled(5));
    EXPECT_FALSE(Compiled(5));
    ASSERT_EQ(Errors.size(), 2u);
    EXPECT_EQ(Errors[1].Code, 14);
    EXPECT_EQ(Errors[1].Handle, 5);
    // The next record lacks the field: the report names that, not the earlier division.
    Ints.erase("x");
    Strs["x"] = "text";
    EXPECT_FALSE(Compiled(5));
    EXPECT_EQ(Errors.back().Code, 3);
    EXPECT_EQ(Errors.back().Place, 12);
    Strs.erase("x");
    Ints["x"] = 10;
    EXPECT_EQ(Compiled(5), true);

    // Declaring a function recompiles the stored texts.
    Calc.Compile("bonus > 1", 1);
    EXPECT_FALSE(Compiled(1)); // an unknown name so far
    Calc.AddFunct("Bonus", true, etInteger, {});
    Calc.OnGetIntegerFunct = [](TAdCalc *, const QString &, bool, const TFunctParamValues &, bool &,
                                int32_t &V, int) { V = 2; };
    EXPECT_EQ(Compiled(1), true);
    // Re-registering the built-ins must not leave the stored text pointing at released records.
    Calc.SetCaseSensitivity(true);
    Calc.Compile("length(\"abc\") = 3", 3);
    Calc.SetCaseSensitivity(false);
    EXPECT_EQ(Compiled(3), true);

    // Events may change the engine during an evaluation.
    Calc.Compile("x > 1", 2);
    Calc.OnGetIntegerVar = [this](TAdCalc *, const QString &, bool &Found, int32_t &V, int) {
        Calc.Compile("x > 100", 2); // replaces the text being evaluated
        Calc.AddFunct("late", true, etInteger, {});
        Found = true;
        V = 5;
    };
    EXPECT_EQ(Compiled(2), true);
    EXPECT_EQ(Compiled(2), false);
    // Evaluating a stored text again from inside its own events is refused; the outer walk goes on.
    int refused = 0, calls = 0;
    Calc.OnGetIntegerVar = [&](TAdCalc *, const QString &, bool &Found, int32_t &V, int) {
        bool inner = false;
        try {
            if (calls++ == 0)
                Calc.CalcCompiledBoolean(inner, 2);
        } catch (const EExprError &) {
            ++refused;
        }
        Found = true;
        V = 500;
    };
    EXPECT_EQ(Compiled(2), true);
    EXPECT_EQ(refused, 1);
}

TEST_F(Component, DictionaryFileKeepsFormulaFunctionsAndVariables)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("symbols.dat");
    TExprValue rate;
    rate.E = 0.1L;
    ASSERT_TRUE(Calc.RegisterVariable("Rate", etExtended, &rate, "the rate", "note"));
    ASSERT_TRUE(Calc.RegisterFunct("net", "after tax", {}, true, etExtended, {etExtended},
                                   fkFormula, 0, "param(1) * (1 - rate)"));
    Calc.AddFunct("host", true, etInteger, {}); // served by the host: not part of the file
    QString error;
    ASSERT_TRUE(Calc.Reader().Dictionary().SaveToFile(file, 1, &error)) << error.toStdString();

    TAdCalc other;
    ASSERT_TRUE(other.Reader().Dictionary().LoadFromFile(file, 1, &error)) << error.toStdString();
    long double v = 0;
    ASSERT_TRUE(other.CalcExtended("net(200)", v, 0));
    EXPECT_EQ(v, 200 * (1 - 0.1L));
    long double r = 0;
    EXPECT_TRUE(other.GetExtendedVariable("rate", r));
    EXPECT_EQ(r, 0.1L);
    EXPECT_FALSE(other.CalcExtended("host", v, 0));

    // Every cut of the file loads what is whole and reports the rest, without harm.
    const QByteArray bytes = qftest::ReadFile(file);
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        const QString part = dir.filePath("part.dat");
        ASSERT_TRUE(qftest::WriteFile(part, bytes.left(cut)));
        TAdCalc third;
        third.Reader().Dictionary().LoadFromFile(part, 1, &error);
        long double x = 0;
        EXPECT_TRUE(third.CalcExtended("1 + 1", x, 0));
        third.CalcExtended("net(1)", x, 0);
    }
    // A file that claims a symbol of another kind is refused, and the language stays whole.
    const QString foreignFile = dir.filePath("foreign.dat");
    {
        TDList foreign;
        foreign.Add(std::string("and"), 1, nullptr);
        ASSERT_TRUE(foreign.SaveToFile(foreignFile, 1));
    }
    EXPECT_FALSE(Calc.Reader().Dictionary().LoadFromFile(foreignFile, 1, &error));
    EXPECT_EQ(B("true and true"), true);
}

TEST_F(Component, CompiledFilterAsksEachFieldInTypeOrder)
{
    std::vector<QString> log;
    auto logged = [&log](auto &Event, const char *Kind) {
        Event = [&log, Kind, inner = Event](TAdCalc *C, const QString &N, bool &Found, auto &V,
                                            int H) {
            log.push_back(QString::fromLatin1(Kind) + N);
            inner(C, N, Found, V, H);
        };
    };
    logged(Calc.OnGetBooleanVar, "B:");
    logged(Calc.OnGetExtendedVar, "E:");
    logged(Calc.OnGetDateTimeVar, "D:");
    logged(Calc.OnGetIntegerVar, "I:");
    logged(Calc.OnGetStringVar, "S:");
    Exts["amount"] = 60000;
    Strs["city"] = "Berlin";
    Bools["flag"] = false;
    Calc.Compile("Amount > 50000 and City = \"Berlin\" or Flag = true", 4);
    for (int round = 0; round < 2; ++round) {
        log.clear();
        EXPECT_EQ(Compiled(4), true);
        EXPECT_EQ(log, (std::vector<QString>{"B:amount", "E:amount", "B:city", "E:city", "D:city",
                                             "I:city", "S:city", "B:flag"}));
    }
    Strs["city"] = "Bremen";
    EXPECT_EQ(Compiled(4), false);
    Strs.erase("city"); // a field that no event answers: reported at its name
    EXPECT_FALSE(Compiled(4));
    EXPECT_EQ(Errors.back().Code, 3);
    EXPECT_EQ(Errors.back().Place, 23);
    Strs["city"] = "Berlin";
    EXPECT_EQ(Compiled(4), true);
    // A number compared with a text fails at the text.
    Calc.Compile("amount = \"x\"", 6);
    EXPECT_FALSE(Compiled(6));
    EXPECT_EQ(Errors.back().Code, 2);
    EXPECT_EQ(Errors.back().Place, 12);
}

TEST_F(Component, BuiltinCallsOfLiteralsGiveTheSameValueOnEveryRecord)
{
    // A compiled text reuses the value of such a call; failures are computed, and reported, anew.
    Calc.Compile("due >= encodedate(2010, 1, 1) and length(\"abc\") = 3", 6);
    for (const auto &[due, accepted] :
         std::vector<std::pair<TDateTime, bool>>{{40178, false}, {40179, true}, {50000, true}}) {
        Dates["due"] = due;
        EXPECT_EQ(Compiled(6), accepted) << due;
    }
    Calc.Compile("due >= encodedate(2010, 13, 1)", 6);
    for (int round = 0; round < 2; ++round)
        EXPECT_THROW(Compiled(6), EExprError);
    Calc.Compile("strtoint(\"x\") > 0", 6);
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(Compiled(6));
        ASSERT_EQ(Errors.size(), size_t(round) + 1);
        EXPECT_EQ(Errors.back().Code, 22);
        EXPECT_EQ(Errors.back().Place, 12);
    }
    // Not literals: the argument is read for every record.
    Calc.Compile("dayofweek(due) = 7", 6);
    Dates["due"] = 36526; // Saturday 1 January 2000
    EXPECT_EQ(Compiled(6), true);
    Dates["due"] = 36527;
    EXPECT_EQ(Compiled(6), false);
}

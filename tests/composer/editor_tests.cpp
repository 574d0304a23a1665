// TDomWork on the real WebEngine: every command on a real selection with the HTML it
// leaves, the command states where the caret stands, tables built and reshaped, undo and
// redo, scripts kept out, and a renderer that dies.

#include "composer/domwork.h"
#include "composer/ui/editorhost.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <csignal>

using namespace qf::composer;

namespace {

class TPrompts : public TDomPrompter {
public:
    QString Url;
    TImageSpec Image;
    TFontSpec Font;
    bool Accept = true;
    QStringList Errors;
    TFontSpec Seen;

    bool AskHyperlink(QString &U) override
    {
        U = Url;
        return Accept;
    }
    bool AskImage(TImageSpec &S) override
    {
        S = Image;
        return Accept;
    }
    bool AskFont(TFontSpec &S) override
    {
        Seen = S;
        S = Font;
        return Accept;
    }
    void ShowError(const QString &M) override { Errors << M; }
};

class Editor : public ::testing::Test {
protected:
    QWebEngineView View;
    TWebEditorHost *Host = nullptr;
    TDomWork *Dom = nullptr;
    TPrompts Prompts;

    void SetUp() override
    {
        View.resize(600, 400);
        View.show();
        Host = new TWebEditorHost(&View);
        Dom = new TDomWork(Host);
        Dom->Prompter = &Prompts;
    }
    void TearDown() override { delete Dom; }

    // Loads a document and waits until the page is ready and its bridge has reported.
    void Load(const QString &Body)
    {
        QSignalSpy Loaded(Host, &TDomHost::DocumentLoaded);
        QSignalSpy Pushed(Host, &TDomHost::StatePushed);
        Dom->SetDocumentHTML("<!DOCTYPE html><html><head><title>t</title></head><body>" + Body +
                             "</body></html>");
        ASSERT_TRUE(Loaded.wait(20000));
        Dom->Ready = true;
        if (Pushed.isEmpty()) {
            ASSERT_TRUE(Pushed.wait(20000));
        }
    }

    // Runs a script of the test in the editing world and returns its result.
    QVariant Js(const QString &Script)
    {
        QVariant Result;
        bool Done = false;
        View.page()->runJavaScript(Script, QWebEngineScript::ApplicationWorld,
                                   [&](const QVariant &R) {
                                       Result = R;
                                       Done = true;
                                   });
        EXPECT_TRUE(QTest::qWaitFor([&] { return Done; }, 20000)) << Script.toStdString();
        return Result;
    }

    // Selects the contents of the Index-th element matching Css (to the end of the
    // ToIndex-th one), or puts the caret at its start.
    void Select(const QString &Css, int Index = 0, int ToIndex = -1)
    {
        ASSERT_TRUE(Js(QStringLiteral(
                           "(function(){const a=document.querySelectorAll(%1)[%2];"
                           "const b=document.querySelectorAll(%1)[%3];if(!a||!b)return false;"
                           "const r=document.createRange();r.setStart(a,0);r.setEnd(b,b.childNodes.length);"
                           "getSelection().removeAllRanges();getSelection().addRange(r);return true;})()")
                           .arg(Quote(Css))
                           .arg(Index)
                           .arg(ToIndex < 0 ? Index : ToIndex))
                        .toBool());
        emit Host->InputStarted();  // as a click would
    }
    void Caret(const QString &Css, int Index = 0)
    {
        ASSERT_TRUE(Js(QStringLiteral("(function(){const a=document.querySelectorAll(%1)[%2];"
                                      "if(!a)return false;const r=document.createRange();"
                                      "r.selectNodeContents(a);r.collapse(true);"
                                      "getSelection().removeAllRanges();getSelection().addRange(r);"
                                      "return true;})()")
                           .arg(Quote(Css))
                           .arg(Index))
                        .toBool());
        emit Host->InputStarted();
    }
    static QString Quote(const QString &S) { return '"' + S + '"'; }

    QString Body()
    {
        return Js("document.body.innerHTML").toString();
    }
    // The table as text: rows separated by "|", cells as their text with spans.
    QString TableShape(int Index = 0)
    {
        return Js(QStringLiteral(
                      "(function(){const t=document.querySelectorAll('table')[%1];if(!t)return '';"
                      "return Array.from(t.rows).map(r=>Array.from(r.cells).map(c=>"
                      "c.textContent.replace(/\\u00a0/g,'').trim()+(c.colSpan>1?'<'+c.colSpan:'')+"
                      "(c.rowSpan>1?'^'+c.rowSpan:'')).join(',')).join('|');})()")
                      .arg(Index))
            .toString();
    }
    void FillCells()
    {
        Js("document.querySelectorAll('td').forEach((c,i)=>c.textContent=String.fromCharCode(97+i))");
    }
};

}  // namespace

TEST_F(Editor, DocumentHtmlKeepsTheDoctypeAndDropsTheScaffolding)
{
    Load("<p>Hello <b>world</b></p>");
    const QString Html = Dom->DocumentHTML();
    EXPECT_TRUE(Html.startsWith("<!DOCTYPE html><html>")) << Html.toStdString();
    EXPECT_TRUE(Html.contains("<p>Hello <b>world</b></p>"));
    EXPECT_FALSE(Html.contains("contenteditable"));
    EXPECT_EQ(Js("document.body.isContentEditable").toBool(), true);
}

TEST_F(Editor, NamedCommandsOnASelection)
{
    Load("<p id=a>one two</p><p id=b>three</p><p id=c>four</p>");
    Select("#a");
    Dom->ExecCommand("Bold", true);
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(true));
    Dom->ExecCommand("Bold", true);  // already bold: nothing runs
    EXPECT_TRUE(Body().contains("<p id=\"a\"><b>one two</b></p>")) << Body().toStdString();
    Dom->ExecCommand("Italic", true);
    Dom->ExecCommand("Underline", true);
    EXPECT_TRUE(Body().contains("<i><u>one two</u></i>")) << Body().toStdString();
    Dom->ExecCommand("Bold", false);
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(false));

    Select("#b");
    Dom->ExecCommand("ForeColor", ColorToInt(255, 0, 0));
    EXPECT_TRUE(Body().contains("<font color=\"#ff0000\">three</font>")) << Body().toStdString();
    EXPECT_EQ(Dom->QueryCommandValue("ForeColor"), QVariant(ColorToInt(255, 0, 0)));
    Dom->ExecCommand("FontSize", 5);
    EXPECT_EQ(Dom->QueryCommandValue("FontSize"), QVariant(5));
    Dom->ExecCommand("FontName", "Courier New");
    EXPECT_TRUE(Body().contains("face=\"Courier New\"")) << Body().toStdString();
    EXPECT_EQ(Dom->QueryCommandValue("FontName"), QVariant("Courier New"));

    Select("#c");
    Dom->ExecCommand("JustifyCenter", true);
    EXPECT_EQ(Dom->QueryCommandValue("JustifyCenter"), QVariant(true));
    EXPECT_TRUE(Body().contains("center")) << Body().toStdString();
    Dom->ExecCommand("JustifyRight", true);
    EXPECT_EQ(Dom->QueryCommandValue("JustifyRight"), QVariant(true));
    EXPECT_EQ(Dom->QueryCommandValue("JustifyCenter"), QVariant(false));
    Dom->ExecCommand("JustifyRight", false);
    EXPECT_EQ(Dom->QueryCommandValue("JustifyRight"), QVariant(false));
}

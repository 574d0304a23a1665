// TDomWork on the real WebEngine: the document read back whole, commands on a real selection with
// the HTML they leave, the command states where the caret stands, links and images, tables built
// and reshaped, and scripts kept out.

#include "composer/domwork.h"
#include "composer/ui/editorhost.h"
#include "webtest.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QWebEngineView>

using namespace qf::composer;

namespace {

class TPrompts : public TDomPrompter {
public:
    QString Url;
    TImageAttrs Image;
    TFontAttrs Font;
    TFontAttrs Seen;

    bool AskHyperlink(QString &U) override { return (U = Url, true); }
    bool AskImage(TImageAttrs &S) override { return (S = Image, true); }
    bool AskFont(TFontAttrs &S) override
    {
        Seen = S;
        S = Font;
        return true;
    }
    void ShowError(const QString &) override {}
};

// A table command: the caret in cell From (or cells From to To selected, or with From < 0 where it
// stands), the command, and the table's shape after it.
struct TTableStep {
    int From, To, Cmd;
    const char *Shape;
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
    QVariant Js(const QString &Script) { return RunJs(View.page(), Script); }
    QString Body() { return Js("document.body.innerHTML").toString(); }

    // Selects the contents of the Index-th element matching Css to the end of the ToIndex-th
    // one, or with ToIndex < 0 puts the caret after the first character of its text; then
    // reports input starting, as a click would.
    void Place(const QString &Css, int Index, int ToIndex)
    {
        const QString Range =
            ToIndex < 0
                ? "const t=document.createTreeWalker(a,NodeFilter.SHOW_TEXT).nextNode();"
                  "if(t&&t.length>1)r.setStart(t,1);else{r.selectNodeContents(a);r.collapse(true);}"
                : QStringLiteral("const b=document.querySelectorAll(%1)[%2];if(!b)return false;"
                                 "r.setStart(a,0);r.setEnd(b,b.childNodes.length);")
                      .arg('"' + Css + '"')
                      .arg(ToIndex);
        ASSERT_TRUE(Js(QStringLiteral("(function(){const a=document.querySelectorAll(%1)[%2];"
                                      "if(!a)return false;const r=document.createRange();%3"
                                      "getSelection().removeAllRanges();getSelection().addRange(r);"
                                      "return true;})()")
                           .arg('"' + Css + '"')
                           .arg(Index)
                           .arg(Range))
                        .toBool());
        emit Host->InputStarted();
    }
    void Select(const QString &Css, int Index = 0, int ToIndex = -1)
    {
        Place(Css, Index, ToIndex < 0 ? Index : ToIndex);
    }
    void Caret(const QString &Css, int Index = 0) { Place(Css, Index, -1); }

    // The table as text: rows separated by "|", cells as their text with spans.
    QString TableShape()
    {
        return Js("(function(){const t=document.querySelector('table');if(!t)return '';"
                  "return Array.from(t.rows).map(r=>Array.from(r.cells).map(c=>"
                  "c.textContent.replace(/\\u00a0/g,'').trim()+(c.colSpan>1?'<'+c.colSpan:'')+"
                  "(c.rowSpan>1?'^'+c.rowSpan:'')).join(',')).join('|');})()")
            .toString();
    }
    // Undo and redo answer a little later: each shape is waited for.
    void RunSteps(std::initializer_list<TTableStep> Steps)
    {
        for (const TTableStep &S : Steps) {
            if (S.From >= 0 && S.To < 0)
                Caret("td", S.From);
            else if (S.From >= 0)
                Select("td", S.From, S.To);
            Dom->ExecEditCommand(S.Cmd, 0, QVariant());
            EXPECT_TRUE(WaitUntil([&] { return TableShape() == S.Shape; }))
                << S.Cmd << " on " << S.From << ": " << TableShape().toStdString();
        }
    }
};

} // namespace

TEST_F(Editor, ALargeDocumentComesBackWholeWithTheDoctypeAndNoScaffolding)
{
    QString Big = "<p>Hello <b>world</b></p>";
    for (int i = 0; Big.size() < 1200 * 1024; ++i)
        Big += QStringLiteral("<p>Line %1 with some text: ÄÖÜ äöü € ✓</p>").arg(i);
    Load(Big);
    const QString Html = Dom->DocumentHTML();
    EXPECT_TRUE(Html.startsWith("<!DOCTYPE html><html>")) << Html.left(200).toStdString();
    EXPECT_TRUE(Html.contains(Big)) << Html.size();
    EXPECT_FALSE(Html.contains("contenteditable"));

    // Comments beside the doctype and the <html> element come back in their places.
    const QString Mso = "<!DOCTYPE html><!--[if mso]><meta name=\"x\"><![endif]--><html><head>"
                        "</head><body><p>x</p></body></html><!--end-->";
    QSignalSpy Loaded(Host, &TDomHost::DocumentLoaded);
    Dom->SetDocumentHTML(Mso);
    ASSERT_TRUE(Loaded.wait(20000));
    EXPECT_EQ(Dom->DocumentHTML(), Mso);
}

TEST_F(Editor, NamedCommandsOnASelection)
{
    Load("<p id=a>one two</p><p id=b>three</p><p id=c>four</p>");
    Select("#a");
    Dom->ExecCommand("Bold", true);
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(true));
    Dom->ExecCommand("Bold", true); // already bold: nothing runs
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

TEST_F(Editor, ParagraphFormatsListsIndentsAndLines)
{
    Load("<p id=a>alpha</p><p id=b>beta</p>");
    Dom->LoadBlockFormats();
    for (const char *Name : {"Normal", "Heading 1", "Formatted"})
        EXPECT_TRUE(Dom->BlockFormats.contains(Name)) << Name;
    Caret("#a");
    EXPECT_EQ(Dom->GetBlockFormat(), "Normal");
    Dom->SetBlockFormat("Heading 2");
    EXPECT_EQ(Dom->GetBlockFormat(), "Heading 2");
    EXPECT_TRUE(Body().contains(QRegularExpression("<h2( id=\"a\")?>alpha</h2>")))
        << Body().toStdString();

    // Each command, on the caret in Css, and what the body then holds or no longer holds.
    const struct {
        const char *Css;
        int Cmd;
        const char *Holds, *Lacks;
    } Steps[] = {{"#b", 2184, "<ol><li>beta</li></ol>", nullptr},
                 {"li", 2185, "<ul><li>beta</li></ul>", "<ol>"},
                 {"li", 2185, nullptr, "<ul>"},
                 {"h2", 2186, "<blockquote", nullptr},
                 {"h2", 2187, nullptr, "<blockquote"},
                 {"h2", 2150, "<hr>", nullptr}};
    QVariant Scratch;
    for (const auto &S : Steps) {
        Caret(S.Css);
        Dom->ExecHtmlCommand(S.Cmd, S.Cmd == 2150, false, Scratch);
        const QString Html = Body();
        EXPECT_TRUE(!S.Holds || Html.contains(S.Holds)) << S.Cmd << Html.toStdString();
        EXPECT_TRUE(!S.Lacks || !Html.contains(S.Lacks)) << S.Cmd << Html.toStdString();
        if (S.Cmd == 2184) {
            EXPECT_EQ(Dom->QueryCommandStatus(2184, false), TDomWork::Latched);
            EXPECT_EQ(Dom->QueryCommandStatus(2185, false), TDomWork::Enabled);
            EXPECT_EQ(Dom->GetBlockFormat(), "Numbered List");
        }
    }
}

TEST_F(Editor, HyperlinksImagesAndTheFontDialog)
{
    Load("<p id=a>link me</p><p id=b>x</p><p id=c>styled</p>");
    // A link, refused for a script address, then removed from the caret by an empty address.
    for (const char *Url : {"https://example.org/", "javascript:alert(1)", ""}) {
        *Url ? Select("#a") : Caret("a");
        Prompts.Url = Url;
        Dom->ExecHtmlCommand(2124, true, false, QVariant());
        EXPECT_EQ(Body().contains("<a href=\"https://example.org/\">link me</a>"), *Url != 0)
            << Url << Body().toStdString();
    }

    Caret("#b");
    Prompts.Image = {"pic.png", "A picture", "left", "2"};
    Dom->ExecHtmlCommand(2168, true, false, QVariant());
    EXPECT_TRUE(
        Body().contains("<img src=\"pic.png\" alt=\"A picture\" align=\"left\" border=\"2\">"))
        << Body().toStdString();

    // The font dialog starts from the selection's font and changes what the user changed.
    Select("#c");
    Dom->ExecCommand("Bold", true);
    Prompts.Font = {"Courier New", 6, ColorToInt(0, 0, 255), false, true, false};
    Dom->ExecEditCommand(5009, 0, QVariant());
    EXPECT_TRUE(Prompts.Seen.Bold);
    const QString Html = Body();
    for (const char *Part : {"face=\"Courier New\"", "size=\"6\"", "color=\"#0000ff\"", "<i>"})
        EXPECT_TRUE(Html.contains(Part)) << Part << Html.toStdString();
    EXPECT_FALSE(Html.contains("<b>")) << Html.toStdString();
}

TEST_F(Editor, CommandStatesFollowTheCaret)
{
    Load("<p id=a>plain <b id=bold>strong</b></p><ol><li id=item>item</li></ol>"
         "<table border=1><tr><td id=cell>c</td><td>d</td></tr></table>");
    Caret("#bold");
    bool Enabled = false, Latched = false;
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(true));
    Dom->QueryStatus(5019, true, Enabled, Latched);
    EXPECT_FALSE(Enabled);
    EXPECT_EQ(Dom->QueryCommandStatus(5002, true), TDomWork::Disabled); // nothing selected

    Caret("#item");
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(false));
    Dom->QueryStatus(2184, false, Enabled, Latched);
    EXPECT_TRUE(Enabled && Latched);
    EXPECT_EQ(Dom->GetBlockFormat(), "Numbered List");

    // A typing style waiting at a caret that stays.
    Caret("#a");
    Dom->ExecCommand("Bold", true);
    EXPECT_EQ(Dom->QueryCommandValue("Bold"), QVariant(true));

    Caret("#cell");
    for (int Id : {5005, 5006, 5007, 5019, 5020, 5021, 5047})
        EXPECT_EQ(Dom->IsEditCommandEnabled(Id), QVariant(TDomWork::Enabled)) << Id;
    EXPECT_EQ(Dom->IsEditCommandEnabled(5029), QVariant(TDomWork::Disabled));
    Select("td", 0, 1);
    EXPECT_EQ(Dom->IsEditCommandEnabled(5029), QVariant(TDomWork::Enabled));
    EXPECT_EQ(Dom->QueryCommandStatus(5002, true), TDomWork::Enabled);
    Dom->QueryStatus(2184, false, Enabled, Latched);
    EXPECT_FALSE(Latched);
    EXPECT_EQ(Dom->QueryCommandStatus(9999, true), TDomWork::NotSupported);

    // The page reports a caret move of its own accord, with the state there. A push already
    // on its way may still tell of the cell; the one for the move follows.
    QSignalSpy Changed(Dom, &TDomWork::DisplayChanged);
    Js("(function(){const "
       "r=document.createRange();r.selectNodeContents(document.getElementById('bold'));"
       "getSelection().removeAllRanges();getSelection().addRange(r);})()");
    EXPECT_TRUE(WaitUntil(
        [&] { return Changed.count() > 0 && Dom->QueryCommandValue("Bold") == QVariant(true); }));
}

TEST_F(Editor, TablesAreBuiltGrownMergedAndSplit)
{
    Load("<p id=a>before</p>");
    Caret("#a");
    Dom->InsertTable(2, 3, "1", "1", "1", "100%");
    Js("document.querySelectorAll('td').forEach((c,i)=>c.textContent=String.fromCharCode(97+i))");
    EXPECT_EQ(TableShape(), "a,b,c|d,e,f");

    RunSteps({{4, -1, 5021, "a,b,c|,,|d,e,f"},     // row above
              {7, -1, 5020, "a,,b,c|,,,|d,,e,f"},  // column to the left
              {0, -1, 5019, ",a,,b,c|,,,|d,,e,f"}, // cell to the left
              {3, 4, 5029, ",a,,bc<2|,,,|d,,e,f"}, // merge; then split back
              {3, -1, 5047, ",a,,bc,|,,,|d,,e,f"},
              // A single cell splits in two; its column widens in the other rows.
              {1, -1, 5047, ",a,,,bc,|,<2,,|d,<2,e,f"},
              // One step of undo takes back one table command, and redo repeats it.
              {-1, -1, 5049, ",a,,bc,|,,,|d,,e,f"},
              {-1, -1, 5033, ",a,,,bc,|,<2,,|d,<2,e,f"},
              {0, -1, 5005, "a,,,bc,|,<2,,|d,<2,e,f"},
              {2, -1, 5006, "a,,bc,|,,,|d,,e,f"}, // the widened cells narrow again
              {0, 6, 5007, "d,,e,f"},             // rows of a selection into the second row
              {0, -1, 5007, ""}});
    EXPECT_EQ(Js("document.querySelectorAll('table').length").toInt(), 0);
    EXPECT_TRUE(Body().contains("efore")) << Body().toStdString();
    EXPECT_FALSE(Dom->DocumentHTML().contains("data-qf")) << Dom->DocumentHTML().toStdString();

    Load("<table border=1><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr>"
         "<tr><td>e</td><td>f</td></tr></table>");
    RunSteps({{0, 3, 5029, "abcd<2|e,f"}}); // whole rows merge into one

    Load("<table border=1><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr>"
         "<tr><td>e</td><td>f</td></tr></table>");
    RunSteps({{2, -1, 5021, "a^3,b||c|e,f"}, // the spanning cell grows
              {1, -1, 5007, "a^2,|c|e,f"},   // and moves down
              {0, -1, 5047, "a,|,c|e,f"},
              {3, -1, 5020, "a,,|,,c|e,,f"}});
}

TEST_F(Editor, MessagesKeepNoScripts)
{
    Load("<p id=a onclick=\"document.title='ran'\">x</p><script>document.title='ran'</script>"
         "<a id=l href=\"javascript:void(document.title='ran')\">l</a>"
         "<img src=nothing.png onerror=\"document.title='ran'\">");
    const QString Html = Dom->DocumentHTML();
    EXPECT_FALSE(Html.contains("script", Qt::CaseInsensitive)) << Html.toStdString();
    EXPECT_FALSE(Html.contains("onclick") || Html.contains("onerror")) << Html.toStdString();
    EXPECT_EQ(Js("document.title").toString(), "t");

    // Generated or pasted HTML loses its scripts as well.
    Caret("#a");
    Dom->PasteHTML("<b onmouseover=\"x()\">pasted</b><script>document.title='ran'</script>");
    const QString After = Dom->DocumentHTML();
    EXPECT_TRUE(After.contains("<b>pasted</b>")) << After.toStdString();
    EXPECT_FALSE(After.contains("script") || After.contains("onmouseover")) << After.toStdString();
    Js("(function(){const d=new DataTransfer();d.setData('text/html','<i onclick=\\'x()\\'>clip</i>"
       "<script>document.title=1</script>');document.body.dispatchEvent(new ClipboardEvent('paste',"
       "{clipboardData:d,bubbles:true,cancelable:true}));})()");
    const QString Clip = Dom->DocumentHTML();
    EXPECT_TRUE(Clip.contains("<i>clip</i>")) << Clip.toStdString();
    EXPECT_FALSE(Clip.contains("script") || Clip.contains("onclick")) << Clip.toStdString();
}

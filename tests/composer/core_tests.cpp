// The composer's logic without a window: the generated table, the bridge's behaviour when
// the page does not answer or dies (with a stand-in page), and the preview page.

#include "../tables/dbforacle.h"
#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"

#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qf::composer;

// Readable values in failure messages.
inline void PrintTo(const QString &S, std::ostream *Out) { *Out << '"' << S.toStdString() << '"'; }
inline void PrintTo(const QVariant &V, std::ostream *Out)
{
    *Out << V.typeName() << ' ' << V.toString().toStdString();
}

namespace {

// A page that answers from a table of results, or never.
class TFakeHost : public TDomHost {
public:
    bool Answer = true;
    QVariantMap Results; // by function name
    QStringList Scripts, Loaded;

    void RunScript(const QString &Script, std::function<void(const QVariant &)> Done) override
    {
        Scripts << Script;
        if (!Answer)
            return;
        for (auto It = Results.cbegin(); It != Results.cend(); ++It)
            if (Script.contains(QStringLiteral("[\"%1\"").arg(It.key()))) {
                Done(It.value());
                return;
            }
        Done(QVariant());
    }
    void LoadDocument(const QString &Html) override { Loaded << Html; }
    void TriggerEditAction(int) override {}
};

QVariantMap State(bool Bold)
{
    return {{"values", QVariantMap{{"Bold", Bold}, {"FontSize", 3.0}, {"FontName", "Arial"}}},
            {"doc", QVariantMap{{"2184", 7}}},
            {"edit", QVariantMap{{"5002", 3}, {"5011", 3}, {"5029", 1}}},
            {"block", "Heading 1"},
            {"at", QDateTime::currentMSecsSinceEpoch() + 1}}; // taken after anything before
}

} // namespace

TEST(DomWorkTable, WidthsAddUpAndBadWidthsAreReported)
{
    const struct {
        int Rows, Cols;
        const char *Width, *Html;
        bool Invalid;
    } Rows[] = {
        {1, 3, "7",
         "<tr><td width=\"2\">&nbsp;</td><td width=\"2\">&nbsp;</td><td "
         "width=\"3\">&nbsp;</td></tr>",
         false},
        {1, 3, "2%",
         "<tr><td width=\"0%\">&nbsp;</td><td width=\"0%\">&nbsp;</td><td "
         "width=\"2%\">&nbsp;</td></tr>",
         false},
        {1, 2, "abc", "<tr><td>&nbsp;</td><td>&nbsp;</td></tr>", true},
        {1, 2, "-40", "<tr><td>&nbsp;</td><td>&nbsp;</td></tr>", false},
        {-1, 2, "1", "", false},
        {2, -1, "", "<tr></tr><tr></tr>", false},
    };
    for (const auto &R : Rows) {
        bool Invalid = !R.Invalid;
        EXPECT_EQ(
            TableHtml(R.Rows, R.Cols, "1", "2", "3", R.Width, &Invalid),
            QStringLiteral("<table border=1 cellpadding=2 cellspacing=3 width=\"%1\">%2</table>")
                .arg(R.Width, R.Html));
        EXPECT_EQ(Invalid, R.Invalid) << R.Width;
    }
    EXPECT_EQ(TableHtml(0, 3, "1", "1", "1", "100%"), "");
    EXPECT_EQ(TableWidth(true, "100", false), "100%");
    EXPECT_EQ(TableWidth(false, "50", true), "100%");
    int R, G, B;
    IntToColor(ColorToInt(0x12, 0x34, 0x56), R, G, B);
    EXPECT_EQ(std::tuple(R, G, B), std::tuple(0x12, 0x34, 0x56));
}

TEST(DomWorkBridge, APageThatDoesNotAnswerReadsAsDisabledWithoutHanging)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    Dom.CallTimeoutMs = 50;
    Dom.SetDocumentHTML("<p>kept</p>");
    emit Host->DocumentLoaded(true);
    Dom.Ready = true;
    Host->Answer = false;
    bool Enabled = true, Latched = true;
    Dom.QueryStatus(2184, false, Enabled, Latched);
    EXPECT_FALSE(Enabled || Latched);
    EXPECT_FALSE(Dom.QueryCommandValue("Bold").isValid());
    // The source must never be emptied by an editor that cannot answer.
    EXPECT_EQ(Dom.DocumentHTML(), "<p>kept</p>");
    // A page without the editing script answers nothing at once: no command target.
    Host->Answer = true;
    EXPECT_EQ(Dom.QueryCommandStatus(5002, true), TDomWork::NotSupported);
}

TEST(DomWorkBridge, PushedStatesAnswerQueriesWithoutAskingThePage)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    QSignalSpy Changed(&Dom, &TDomWork::DisplayChanged);
    Dom.Ready = true;
    emit Host->StatePushed(State(true));
    QVariantMap Init = State(true);
    Init["init"] = true;
    emit Host->StatePushed(Init);
    EXPECT_EQ(Changed.count(), 1); // the page's first report after loading is no edit

    Host->Scripts.clear();
    EXPECT_EQ(Dom.QueryCommandValue("FontSize"), QVariant(3));
    EXPECT_EQ(Dom.QueryCommandStatus(2184, false), TDomWork::Latched);
    EXPECT_EQ(Dom.GetBlockFormat(), "Heading 1");
    // Bold already on and the button going down: no command runs.
    Dom.ExecCommand("Bold", true);
    EXPECT_TRUE(Host->Scripts.isEmpty());
    Dom.ExecCommand("Bold", false);
    ASSERT_EQ(Host->Scripts.size(), 1);
    EXPECT_TRUE(Host->Scripts[0].contains("[\"exec\",[\"Bold\",false]]"));

    // Input makes the pushed state stale: the next query asks the page for every state at once;
    // a state the page took before the input does not count as fresh.
    emit Host->StatePushed(State(true));
    emit Host->InputStarted();
    Host->Scripts.clear();
    Host->Results["state"] = State(false);
    QVariantMap Old = State(true);
    Old["at"] = QDateTime::currentMSecsSinceEpoch() - 1000;
    emit Host->StatePushed(Old);
    EXPECT_EQ(Dom.QueryCommandValue("Bold"), QVariant(false));
    EXPECT_EQ(Dom.QueryCommandStatus(2184, false), TDomWork::Latched);
    EXPECT_EQ(Host->Scripts,
              QStringList{"window.qfDom ? qfDom.call.apply(null, [\"state\",[]]) : undefined"});
}

TEST(DomWorkBridge, ADeadRendererIsReloadedWithTheLastKnownDocument)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    Dom.SetDocumentHTML("<p>first</p>");
    // Until the page has the document, the document is the one sent to it.
    Host->Results["html"] = "<p>old page</p>";
    EXPECT_EQ(Dom.DocumentHTML(), "<p>first</p>");
    emit Host->DocumentLoaded(true);
    Host->Results["html"] = "<p>typed</p>";
    EXPECT_EQ(Dom.DocumentHTML(), "<p>typed</p>");
    QSignalSpy Restored(&Dom, &TDomWork::RendererRestored);
    emit Host->RendererDied();
    EXPECT_EQ(Restored.count(), 1);
    EXPECT_EQ(Host->Loaded.last(), "<p>typed</p>");
}

TEST(MailViews, TransfersRunOnlyWhereAFlagSaysTheOtherViewIsNewer)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    TMailViews Views(&Dom);
    QString Source = "<p>source</p>";
    QStringList Sets;
    Views.SourceText = [&] { return Source; };
    Views.SetSourceText = [&](const QString &T) {
        Sets << T;
        Source = T;
        Views.SourceChanged(); // as the view's change signal does
    };
    Views.PlainText = [] { return QStringLiteral("plain"); };

    // The first completion loads the block formats and then the source.
    Host->Results["blockFormats"] = QVariantList{"Normal", "Heading 1"};
    EXPECT_TRUE(Views.DocumentComplete());
    EXPECT_EQ(Dom.BlockFormats, QStringList({"Normal", "Heading 1"}));
    Views.AssignHTML();
    EXPECT_EQ(Host->Loaded, QStringList{"<p>source</p>"});
    emit Host->DocumentLoaded(true);
    Views.DisplayChanged(); // the load's own report is no edit
    EXPECT_FALSE(Views.DocumentComplete());
    EXPECT_FALSE(Views.FHtmlChanged);

    // An editor change reaches the source when it is shown; a source change the editor.
    Host->Results["html"] = "<p>edited</p>";
    Views.DisplayChanged();
    Views.EditShown();
    EXPECT_EQ(Host->Loaded.size(), 1);
    Views.SourceShown();
    EXPECT_EQ(Source, "<p>edited</p>");
    Source = "<p>typed source</p>";
    Views.SourceChanged();
    Views.SourceShown();
    EXPECT_EQ(Sets.size(), 1);
    Views.EditShown();
    EXPECT_EQ(Host->Loaded.last(), "<p>typed source</p>");

    // The readers: the newer side wins, the source when both are; the plain text stands apart.
    emit Host->DocumentLoaded(true);
    Views.FHtmlChanged = Views.FSourceChanged = true;
    EXPECT_EQ(Views.MessageBody(), "<p>typed source</p>");
    Views.DisplayChanged();
    EXPECT_EQ(Views.MessageBody(), "<p>edited</p>");
    Views.FMailFormat = 7; // any code but HTML is plain text
    EXPECT_EQ(Views.MessageBody(), "plain");
}

TEST(Preview, ThePageGetsTheCharsetLine)
{
    const QString Meta =
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">";
    EXPECT_EQ(TPreview::PageText("<html><head>\n<title>t</title></head>x", true, "iso-8859-1"),
              "<html><head>\r\n" + Meta + "\r\n<title>t</title></head>x\r\n");
    EXPECT_EQ(TPreview::PageText("<p>no head</p>\r\n<p>x</p>", true, "utf-8"),
              "<p>no head</p>\r\n<p>x</p>\r\n");
    // Plain text keeps its markup as typed and its line breaks, the first empty line too.
    EXPECT_EQ(
        TPreview::PageText("\na < b & <i>\r\n\r\nc", false, "koi8-r"),
        "<HEAD>\r\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/plain; charset=koi8-r\">\r\n"
        "</HEAD>\r\n<PRE style=\"white-space: pre-wrap; overflow-wrap: anywhere\">\r\n\r\n"
        "a &lt; b &amp; &lt;i&gt;\r\n\r\nc\r\n</PRE>\r\n");
    EXPECT_EQ(TextLines("a\rb\nc\r\n\r\nd"), QStringList({"a", "b", "c", "", "d"}));
}

TEST(Preview, TheFileIsWrittenInTheCharsetAndRemoved)
{
    QTemporaryDir Dir;
    qputenv("TMPDIR", Dir.path().toUtf8());
    TPreview P;
    P.ExpandPlaceholders = [](const QString &T) { return QString(T).replace("%Name%", "Jürgen"); };
    P.EvaluateName = [](const QString &N, QString &V) {
        V = "a@example.org";
        return N == "EMAIL";
    };
    P.CharsetName = [] { return QStringLiteral("iso-8859-1"); };
    EXPECT_EQ(P.PreviewTo("EMAIL"), "a@example.org");
    EXPECT_EQ(P.PreviewTo("MISSING"), "MISSING");

    ASSERT_TRUE(P.Build(true, "<html><head></head><body>%Name% \u20ac</body></html>"));
    EXPECT_FALSE(P.FPreviewDirty);
    EXPECT_EQ(
        ReadBytes(P.FPreviewFile),
        QByteArray("<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                   "charset=iso-8859-1\">\r\n</head><body>J\xfcrgen &#8364;</body></html>\r\n"));
    // UTF-7 is shown as UTF-8.
    P.CharsetName = [] { return QStringLiteral("utf-7"); };
    ASSERT_TRUE(P.Build(true, "<head>"));
    EXPECT_TRUE(ReadBytes(P.FPreviewFile).contains("charset=utf-8"));

    // A file that cannot be written: the build reports it and may run again.
    P.RemoveFile();
    QDir().mkpath(P.FPreviewFile); // a folder in the file's place
    QString Error;
    EXPECT_FALSE(P.Build(true, "<p>x</p>", &Error));
    EXPECT_TRUE(P.FPreviewDirty);
    EXPECT_FALSE(Error.isEmpty());
    QDir().rmdir(P.FPreviewFile);
    qunsetenv("TMPDIR");
}

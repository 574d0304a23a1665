// The composer's logic without a window: the generated table, the bridge's behaviour when
// the page does not answer or dies (with a stand-in page), and the preview page.

#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    QList<int> Actions;

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
    void TriggerEditAction(int CmdId) override { Actions << CmdId; }
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

TEST(DomWorkTable, WidthsAddUpAndTheLastColumnTakesTheRest)
{
    EXPECT_EQ(TableHtml(2, 3, "1", "1", "1", "100%"),
              "<table border=1 cellpadding=1 cellspacing=1 width=\"100%\">"
              "<tr><td width=\"33%\">&nbsp;</td><td width=\"33%\">&nbsp;</td><td "
              "width=\"34%\">&nbsp;</td></tr>"
              "<tr><td width=\"33%\">&nbsp;</td><td width=\"33%\">&nbsp;</td><td "
              "width=\"34%\">&nbsp;</td></tr>"
              "</table>");
    EXPECT_EQ(
        TableHtml(1, 3, "0", "2", "3", "7"),
        "<table border=0 cellpadding=2 cellspacing=3 width=\"7\"><tr><td width=\"2\">&nbsp;</td>"
        "<td width=\"2\">&nbsp;</td><td width=\"3\">&nbsp;</td></tr></table>");
    EXPECT_EQ(
        TableHtml(1, 3, "1", "1", "1", "2%"),
        "<table border=1 cellpadding=1 cellspacing=1 width=\"2%\"><tr><td width=\"0%\">&nbsp;</td>"
        "<td width=\"0%\">&nbsp;</td><td width=\"2%\">&nbsp;</td></tr></table>");
}

TEST(DomWorkTable, BadWidthsAndCounts)
{
    bool Invalid = false;
    EXPECT_EQ(TableHtml(1, 2, "1", "1", "1", "abc", &Invalid),
              "<table border=1 cellpadding=1 cellspacing=1 width=\"abc\"><tr><td>&nbsp;</td>"
              "<td>&nbsp;</td></tr></table>");
    EXPECT_TRUE(Invalid);
    EXPECT_EQ(TableHtml(1, 2, "1", "1", "1", "-40", &Invalid),
              "<table border=1 cellpadding=1 cellspacing=1 width=\"-40\"><tr><td>&nbsp;</td>"
              "<td>&nbsp;</td></tr></table>");
    EXPECT_FALSE(Invalid);
    EXPECT_EQ(TableHtml(0, 3, "1", "1", "1", "100%"), "");
    EXPECT_EQ(TableHtml(2, 0, "1", "1", "1", "100%"), "");
    EXPECT_EQ(TableHtml(-1, 2, "1", "1", "1", "100%"),
              "<table border=1 cellpadding=1 cellspacing=1 width=\"100%\"></table>");
    EXPECT_EQ(TableHtml(2, -1, "1", "1", "1", ""),
              "<table border=1 cellpadding=1 cellspacing=1 width=\"\"><tr></tr><tr></tr></table>");

    EXPECT_EQ(TableWidth(true, "100", false), "100%");
    EXPECT_EQ(TableWidth(true, "abc", true), "abc");
    EXPECT_EQ(TableWidth(false, "50", true), "100%");
    int R, G, B;
    IntToColor(ColorToInt(0x12, 0x34, 0x56), R, G, B);
    EXPECT_EQ(ColorToInt(255, 0, 0), 0x0000FF);
    EXPECT_EQ(std::tuple(R, G, B), std::tuple(0x12, 0x34, 0x56));
}

TEST(DomWorkBridge, APageThatDoesNotAnswerReadsAsDisabledWithoutHanging)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    Dom.CallTimeoutMs = 50;
    Dom.Ready = true;
    Dom.SetDocumentHTML("<p>kept</p>");
    emit Host->DocumentLoaded(true);
    Dom.Ready = true;
    Host->Answer = false;

    QElapsedTimer Clock;
    Clock.start();
    EXPECT_EQ(Dom.QueryCommandStatus(5002, true), TDomWork::Disabled);
    bool Enabled = true, Latched = true;
    Dom.QueryStatus(2184, false, Enabled, Latched);
    EXPECT_FALSE(Enabled);
    EXPECT_FALSE(Latched);
    EXPECT_FALSE(Dom.QueryCommandValue("Bold").isValid());
    EXPECT_EQ(Dom.GetBlockFormat(), "");
    // The source must never be emptied by an editor that cannot answer.
    EXPECT_EQ(Dom.DocumentHTML(), "<p>kept</p>");
    bool TimedOut = false;
    Dom.Call("state", {}, &TimedOut);
    EXPECT_TRUE(TimedOut);

    // A page without the editing script answers nothing at once: no command target.
    Host->Answer = true;
    EXPECT_EQ(Dom.QueryCommandStatus(5002, true), TDomWork::NotSupported);
}

TEST(DomWorkBridge, PushedStatesAnswerQueriesWithoutAskingThePage)
{
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    QSignalSpy Changed(&Dom, &TDomWork::DisplayChanged);
    emit Host->StatePushed(State(true));
    EXPECT_EQ(Changed.count(), 0); // not ready: no edit to report
    Dom.Ready = true;
    emit Host->StatePushed(State(true));
    EXPECT_EQ(Changed.count(), 1);
    QVariantMap Init = State(true);
    Init["init"] = true;
    emit Host->StatePushed(Init);
    EXPECT_EQ(Changed.count(), 1); // the page's first report after loading is no edit

    Host->Scripts.clear();
    EXPECT_EQ(Dom.QueryCommandValue("Bold"), QVariant(true));
    EXPECT_EQ(Dom.QueryCommandValue("FontSize"), QVariant(3));
    EXPECT_EQ(Dom.QueryCommandValue("FontName"), QVariant("Arial"));
    EXPECT_EQ(Dom.QueryCommandStatus(2184, false), TDomWork::Latched);
    EXPECT_EQ(Dom.IsEditCommandEnabled(5002), QVariant(3));
    EXPECT_EQ(Dom.GetBlockFormat(), "Heading 1");
    EXPECT_TRUE(Host->Scripts.isEmpty());

    // Bold already on and the button going down: no command runs.
    Dom.ExecCommand("Bold", true);
    EXPECT_TRUE(Host->Scripts.isEmpty());
    Dom.ExecCommand("Bold", false);
    ASSERT_EQ(Host->Scripts.size(), 1);
    EXPECT_TRUE(Host->Scripts[0].contains("[\"exec\",[\"Bold\",false]]"));

    // Disabled edit commands do not run; enabled ones go to the editor's own actions.
    emit Host->StatePushed(State(false));
    Dom.ExecEditCommand(5029, 0, QVariant());
    EXPECT_FALSE(Host->Scripts.last().contains("table"));
    Dom.ExecEditCommand(5002, 0, QVariant());
    EXPECT_EQ(Host->Actions, QList<int>{5002});

    // Input makes the pushed state stale: the next query asks the page for every state at once,
    // and the queries after it read that answer.
    emit Host->StatePushed(State(true));
    emit Host->InputStarted();
    Host->Scripts.clear();
    Host->Results["state"] = State(false);
    EXPECT_EQ(Dom.QueryCommandValue("Bold"), QVariant(false));
    EXPECT_EQ(Dom.QueryCommandStatus(2184, false), TDomWork::Latched);
    ASSERT_EQ(Host->Scripts.size(), 1);
    EXPECT_TRUE(Host->Scripts[0].contains("[\"state\",[]]"));
    // A state the page took before the input does not count as fresh.
    emit Host->InputStarted();
    QVariantMap Old = State(true);
    Old["at"] = QDateTime::currentMSecsSinceEpoch() - 1000;
    emit Host->StatePushed(Old);
    EXPECT_EQ(Dom.QueryCommandValue("Bold"), QVariant(false));
    EXPECT_EQ(Host->Scripts.size(), 2);

    // Not ready: the named commands and control commands do nothing.
    Dom.Ready = false;
    Host->Scripts.clear();
    EXPECT_FALSE(Dom.QueryCommandValue("Bold").isValid());
    Dom.ExecCommand("Bold", true);
    Dom.ExecEditCommand(5002, 0, QVariant());
    EXPECT_TRUE(Host->Scripts.isEmpty());
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
    Dom.Ready = true;
    Host->Results["html"] = "<html><body><p>typed</p></body></html>";
    EXPECT_EQ(Dom.DocumentHTML(), "<html><body><p>typed</p></body></html>");

    QSignalSpy Restored(&Dom, &TDomWork::RendererRestored);
    emit Host->RendererDied();
    EXPECT_FALSE(Dom.Ready);
    ASSERT_EQ(Restored.count(), 1);
    EXPECT_FALSE(Restored[0][0].toString().isEmpty());
    EXPECT_EQ(Host->Loaded.last(), "<html><body><p>typed</p></body></html>");
}

// (A bad width with rows is reported and still inserted: the window's Insert Table test.)
TEST(DomWorkBridge, InsertTableWithoutRowsDoesNothingAndWarnsOfNothing)
{
    struct TPrompter : TDomPrompter {
        QStringList Errors;
        bool AskHyperlink(QString &) override { return false; }
        bool AskImage(TImageAttrs &) override { return false; }
        bool AskFont(TFontAttrs &) override { return false; }
        void ShowError(const QString &M) override { Errors << M; }
    } Prompter;
    auto *Host = new TFakeHost;
    TDomWork Dom(Host);
    Dom.Prompter = &Prompter;
    Dom.InsertTable(0, 2, "1", "1", "1", "abc");
    EXPECT_TRUE(Host->Scripts.isEmpty());
    EXPECT_TRUE(Prompter.Errors.isEmpty());
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
    EXPECT_FALSE(Dom.Ready);
    emit Host->DocumentLoaded(true);
    EXPECT_FALSE(Views.DocumentComplete());
    EXPECT_TRUE(Dom.Ready);
    EXPECT_EQ(Dom.BlockFormats.size(), 2);

    // Nothing changed: showing either page transfers nothing.
    Views.SourceShown();
    Views.EditShown();
    EXPECT_TRUE(Sets.isEmpty());
    EXPECT_EQ(Host->Loaded.size(), 1);

    // An editor change reaches the source when it is shown, and both flags clear.
    Host->Results["html"] = "<p>edited</p>";
    Views.DisplayChanged();
    Views.EditShown();
    EXPECT_EQ(Host->Loaded.size(), 1);
    Views.SourceShown();
    EXPECT_EQ(Source, "<p>edited</p>");
    EXPECT_FALSE(Views.FHtmlChanged);
    EXPECT_FALSE(Views.FSourceChanged);

    // A source change reaches the editor when it is shown.
    Source = "<p>typed source</p>";
    Views.SourceChanged();
    Views.SourceShown();
    EXPECT_EQ(Sets.size(), 1);
    Views.EditShown();
    EXPECT_EQ(Host->Loaded.last(), "<p>typed source</p>");

    // The preview and the readers: the newer side wins; the plain text stands apart.
    Views.SourceChanged();
    Views.SyncForPreview();
    EXPECT_EQ(Host->Loaded.size(), 3);
    emit Host->DocumentLoaded(true);
    Host->Results["html"] = "<p>edited again</p>";
    Views.DisplayChanged();
    EXPECT_EQ(Views.MessageBody(), "<p>edited again</p>");
    Views.FMailFormat = TMailViews::PlainFormat;
    EXPECT_EQ(Views.MessageBody(), "plain");
    Views.FMailFormat = 7; // any other code is plain text too
    EXPECT_EQ(Views.MessageBody(), "plain");
}

TEST(Preview, ThePageGetsTheCharsetLine)
{
    const QString Meta =
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">";
    const QString Pre = "<PRE style=\"white-space: pre-wrap; overflow-wrap: anywhere\">";
    EXPECT_EQ(TPreview::PageText("<html><head>\n<title>t</title></head>x", true, "iso-8859-1"),
              "<html><head>\r\n" + Meta + "\r\n<title>t</title></head>x\r\n");
    EXPECT_EQ(TPreview::PageText("<HTML><Head><TITLE>t</TITLE>", true, "iso-8859-1"),
              "<HTML><Head>" + Meta + "\r\n<TITLE>t</TITLE>\r\n");
    EXPECT_EQ(TPreview::PageText("<p>no head</p>\r\n<p>x</p>", true, "utf-8"),
              "<p>no head</p>\r\n<p>x</p>\r\n");
    // Plain text keeps its markup as typed and its line breaks, the first empty line too.
    EXPECT_EQ(
        TPreview::PageText("\na < b & <i>\r\n\r\nc", false, "koi8-r"),
        "<HEAD>\r\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/plain; charset=koi8-r\">\r\n"
        "</HEAD>\r\n" +
            Pre + "\r\n\r\na &lt; b &amp; &lt;i&gt;\r\n\r\nc\r\n</PRE>\r\n");
    EXPECT_EQ(TextLines("a\rb\nc\r\n\r\nd"), QStringList({"a", "b", "c", "", "d"}));
}

TEST(Preview, TheFileIsWrittenInTheCharsetAndRemoved)
{
    QTemporaryDir Dir;
    qputenv("TMPDIR", Dir.path().toUtf8());
    TPreview P;
    EXPECT_TRUE(P.FPreviewDirty);
    P.ExpandPlaceholders = [](const QString &T) { return QString(T).replace("%Name%", "Jürgen"); };
    P.EvaluateName = [](const QString &N, QString &V) {
        V = "a@example.org";
        return N == "EMAIL";
    };
    P.CharsetName = [] { return QStringLiteral("iso-8859-1"); };
    EXPECT_EQ(P.PreviewTo("EMAIL"), "a@example.org");
    EXPECT_EQ(P.PreviewTo("MISSING"), "MISSING");
    EXPECT_EQ(P.PreviewSubject("Hi %Name%"), "Hi Jürgen");

    ASSERT_TRUE(P.Build(true, "<html><head></head><body>%Name% \u20ac</body></html>"));
    EXPECT_FALSE(P.FPreviewDirty);
    EXPECT_EQ(P.FPreviewFile, Dir.path() + "/$qfprev_.html");
    QFile F(P.FPreviewFile);
    ASSERT_TRUE(F.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        F.readAll(),
        QByteArray("<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                   "charset=iso-8859-1\">\r\n</head><body>J\xfcrgen &#8364;</body></html>\r\n"));
    F.close();

    // An empty plain body still makes a page; UTF-7 is shown as UTF-8.
    P.CharsetName = [] { return QStringLiteral("utf-7"); };
    P.FPreviewDirty = true;
    ASSERT_TRUE(P.Build(false, ""));
    ASSERT_TRUE(F.open(QIODevice::ReadOnly));
    EXPECT_EQ(F.readAll(),
              QByteArray("<HEAD>\r\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/plain; "
                         "charset=utf-8\">\r\n</HEAD>\r\n<PRE style=\"white-space: "
                         "pre-wrap; overflow-wrap: anywhere\">\r\n</PRE>\r\n"));
    F.close();

    // A file that cannot be written: the build reports it and may run again.
    P.RemoveFile();
    EXPECT_FALSE(QFile::exists(P.FPreviewFile));
    QDir().mkpath(P.FPreviewFile); // a folder in the file's place
    QString Error;
    EXPECT_FALSE(P.Build(true, "<p>x</p>", &Error));
    EXPECT_TRUE(P.FPreviewDirty);
    EXPECT_FALSE(Error.isEmpty());
    QDir().rmdir(P.FPreviewFile);
    qunsetenv("TMPDIR");
}

// The message editors in the real main window: the three views kept in step through
// edits in each, the mail format switch, the formatting bar and the Insert Table dialog,
// and the preview file.

#include "../tables/dbforacle.h"
#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"
#include "composer/ui/editordialogs.h"
#include "modal.h"
#include "shell/mainform.h"
#include "webtest.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>
#include <csignal>

using namespace qf;
using namespace qf::composer;

namespace {

// Presses the button of a message box or dialog that carries Text.
void Press(QWidget *Dialog, const QString &Text)
{
    for (QAbstractButton *B : Dialog->findChildren<QAbstractButton *>())
        if (B->text().remove('&') == Text) {
            B->click();
            return;
        }
    ADD_FAILURE() << "no button " << Text.toStdString();
}

// Answers the next message box with OK and keeps its text in Message.
void AnswerMessage(QString &Message)
{
    WhenModal<QWidget>([&Message](QWidget *W) {
        auto *Box = qobject_cast<QMessageBox *>(W);
        Message = Box ? Box->text() : QStringLiteral("(no message box)");
        Press(W, "OK");
    });
}

class Window : public ::testing::Test {
protected:
    std::unique_ptr<shell::TMainForm> F;

    void SetUp() override
    {
        F = std::make_unique<shell::TMainForm>();
        QSignalSpy Loaded(F->DomWork->Editor, &TDomHost::DocumentLoaded);
        F->show();
        F->EditView0Click(); // a hidden page loads slowly
        // The blank document, then the source loaded on the first completion.
        ASSERT_TRUE(WaitUntil([&] { return Loaded.count() >= 2; }, 30000));
        ASSERT_TRUE(F->DomWork->Ready);
    }
    void TearDown() override
    {
        if (!F)
            return;
        ForgetChanges();
        F->close();
        F.reset();
    }
    // The edits of a test are not saved: closing asks nothing.
    void ForgetChanges()
    {
        F->FModified = false;
        F->ResetModified();
    }

    QVariant Js(const QString &Script) { return RunJs(F->DHTMLEdit1->page(), Script); }
    QWidget *Keys()
    {
        return F->DHTMLEdit1->focusProxy() ? F->DHTMLEdit1->focusProxy() : F->DHTMLEdit1;
    }
    QString Body() { return Js("document.body.innerHTML").toString(); }

    // Selects the text of the first element matching Css, as the user's mouse would.
    void SelectIn(const QString &Css)
    {
        QSignalSpy Changed(F->DomWork, &TDomWork::DisplayChanged);
        ASSERT_TRUE(
            Js("(function(){const e=document.querySelector('" + Css +
               "');if(!e)return false;const r=document.createRange();r.selectNodeContents(e);"
               "getSelection().removeAllRanges();getSelection().addRange(r);return true;})()")
                .toBool());
        emit F->DomWork->Editor->InputStarted(); // as the mouse would
        ASSERT_TRUE(Changed.count() > 0 || Changed.wait(20000));
    }

    void TypeSource(const QString &Text)
    {
        F->SourceView0Click();
        F->RxRichEdit1->selectAll();
        const QStringList Lines = Text.split('\n');
        for (int i = 0; i < Lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(F->RxRichEdit1, Qt::Key_Return);
            QTest::keyClicks(F->RxRichEdit1, Lines[i]);
        }
    }
    // The editor's document loaded again after a transfer into it.
    void WaitForEditorLoad(QSignalSpy &Loaded)
    {
        ASSERT_TRUE(Loaded.count() > 0 || Loaded.wait(20000));
        ASSERT_TRUE(F->DomWork->Ready);
    }
    // The source typed, then shown in the editor.
    void EditSource(const QString &Text)
    {
        TypeSource(Text);
        EXPECT_TRUE(F->Views->FSourceChanged);
        QSignalSpy Loaded(F->DomWork->Editor, &TDomHost::DocumentLoaded);
        F->EditView0Click();
        WaitForEditorLoad(Loaded);
        EXPECT_FALSE(F->Views->FSourceChanged);
    }
};

} // namespace

TEST_F(Window, TheThreeViewsStayInStep)
{
    EditSource(
        "<html><head></head><body><p id=a>Dear reader</p><p id=b>Kind regards</p></body></html>");
    // Bold from the bar in the editor reaches the source when it is shown, as one undo step.
    SelectIn("#a");
    F->SpeedItem9->trigger();
    EXPECT_TRUE(F->SpeedItem9->isChecked());
    const QString Before = F->RxRichEdit1->toPlainText();
    F->SourceView0Click();
    EXPECT_TRUE(F->RxRichEdit1->toPlainText().contains("<b>Dear reader</b>"))
        << F->RxRichEdit1->toPlainText().toStdString();
    F->RxRichEdit1->undo();
    EXPECT_EQ(F->RxRichEdit1->toPlainText(), Before);

    // Typing in the editor reaches the body a mailing reads, without the Source page.
    QSignalSpy Loaded(F->DomWork->Editor, &TDomHost::DocumentLoaded);
    F->EditView0Click();
    WaitForEditorLoad(Loaded);
    SelectIn("#b");
    F->DHTMLEdit1->setFocus();
    QSignalSpy Changed(F->DomWork, &TDomWork::DisplayChanged);
    Js("getSelection().collapseToEnd()");
    QTest::keyClicks(Keys(), ", Ann");
    ASSERT_TRUE(WaitUntil([&] { return Body().contains("Kind regards, Ann"); }))
        << Body().toStdString();
    EXPECT_TRUE(Changed.count() > 0 || Changed.wait(20000));
    EXPECT_TRUE(F->Views->MessageBody().contains("Kind regards, Ann"));

    // The plain text has its own editor and body, and the formatting bar is off.
    F->PlainText0->trigger();
    EXPECT_EQ(F->EditorStack->currentWidget(), F->RxRichEdit2);
    EXPECT_FALSE(F->SpeedItem9->isEnabled() || F->ComboBox8->isEnabled());
    QTest::keyClicks(F->RxRichEdit2, "Plain words");
    EXPECT_EQ(F->Views->MessageBody(), "Plain words");
    F->HtmlMode->trigger();
    EXPECT_EQ(F->EditorStack->currentWidget(), F->DHTMLEdit1);
    EXPECT_TRUE(F->Views->MessageBody().contains("Kind regards, Ann"));

    // A source edit after an editor edit wins at the next preview.
    TypeSource("<p>newest</p>");
    F->Preview0Click();
    EXPECT_EQ(ReadBytes(F->Preview->FPreviewFile), "<p>newest</p>\r\n");
}

TEST_F(Window, ThePreviewFileIsWrittenShownOnceAndRemoved)
{
    TypeSource("<p>Hello</p>");
    F->Edit2->setText("Greetings");
    F->ComboBox2->addItem("EMAIL");
    QSignalSpy Shown(F->WebBrowser1, &QWebEngineView::loadFinished);
    F->Preview0Click();
    EXPECT_EQ(F->PreviewSubject->text(), "Greetings");
    EXPECT_EQ(F->PreviewTo->text(), "EMAIL"); // no record: the field name itself
    const QString File = F->Preview->FPreviewFile;

    // A second request while the page still loads builds nothing.
    QFile::remove(File);
    F->BuildPreview();
    EXPECT_FALSE(QFile::exists(File));
    ASSERT_TRUE(Shown.count() > 0 || Shown.wait(20000));
    EXPECT_EQ(F->WebBrowser1->url(), QUrl::fromLocalFile(File));

    // The format switch rebuilds the page; plain text shows its markup as typed.
    QTest::keyClicks(F->RxRichEdit2, "a <b> c");
    F->PlainText0->trigger();
    ASSERT_TRUE(Shown.count() > 1 || Shown.wait(20000));
    EXPECT_EQ(RunJs(F->WebBrowser1->page(), "document.body.innerText").toString().trimmed(),
              "a <b> c");

    // A preview that cannot be written says so, and the next request tries again.
    QFile::remove(File);
    QDir().mkpath(File);
    QString Message;
    AnswerMessage(Message);
    F->BuildPreview();
    EXPECT_EQ(Message, "Preview Failed");
    QDir().rmdir(File);
    F->BuildPreview();
    EXPECT_TRUE(QFile::exists(File));
    ForgetChanges();
    F->close();
    EXPECT_FALSE(QFile::exists(File));
}

TEST_F(Window, TheNavigatorWalksThePreviewThroughTheRecords)
{
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"NAME", 'C', 10}};
    WriteBytes(Dir.filePath("people.dbf"),
               RawDbf(0x03, Fields,
                      {RawRecord(Fields, {"Smith"}), RawRecord(Fields, {"Berg"}),
                       RawRecord(Fields, {"Dahl"})}));
    TypeSource("<p>Dear %NAME</p>");
    auto Page = [&] { return QString::fromUtf8(ReadBytes(F->Preview->FPreviewFile)); };
    auto Enabled = [&] {
        QString S;
        for (QToolButton *B : F->NavButtons)
            S += B->isEnabled() ? '1' : '0';
        return S;
    };
    auto Loaded = [&] { return WaitUntil([&] { return F->Preview->FPreviewDirty; }); };
    F->Preview0Click();
    ASSERT_TRUE(Loaded());
    EXPECT_EQ(Enabled(), "0000");

    // A table opened while the preview shows brings its first record; then First, Prior, Next,
    // Last: each click moves the record and rebuilds the page.
    F->OpenDBFFile(Dir.filePath("people.dbf"));
    EXPECT_TRUE(Page().contains("Dear Smith")) << Page().toStdString();
    const std::tuple<int, const char *, const char *> Clicks[] = {
        {2, "Berg", "1111"}, {3, "Dahl", "1100"}, {1, "Berg", "1111"}, {0, "Smith", "0011"}};
    for (const auto &[Button, Name, States] : Clicks) {
        ASSERT_TRUE(Loaded());
        QTest::mouseClick(F->NavButtons[std::size_t(Button)], Qt::LeftButton);
        EXPECT_TRUE(Page().contains(QStringLiteral("Dear ") + Name)) << Name;
        EXPECT_EQ(Enabled(), States) << Name;
    }
    // A click while the page still loads is shown once it has loaded.
    ASSERT_TRUE(Loaded());
    F->NavButtons[2]->click();
    F->NavButtons[2]->click();
    EXPECT_TRUE(WaitUntil([&] {
        return RunJs(F->WebBrowser1->page(), "document.body ? document.body.innerText : ''")
                   .toString() == "Dear Dahl";
    }));

    // Closing the table shows the placeholders again. The window then goes while it is
    // shown, with the focus in the subject, whose leaving merges the open table's record.
    F->CloseDB0->trigger();
    EXPECT_TRUE(WaitUntil([&] { return Page().contains("Dear %NAME"); }));
    F->OpenDBFFile(Dir.filePath("people.dbf"));
    F->Edit2->setFocus();
    ForgetChanges();
    F.reset();
}

TEST_F(Window, InsertTableDialogAndTheTableMenu)
{
    EditSource("<p id=a>x</p>");
    SelectIn("#a");
    // 2 rows of 3 columns 7 pixels wide.
    WhenModal<QWidget>([&](QWidget *W) {
        auto *T = qobject_cast<TTabForm *>(W);
        ASSERT_NE(T, nullptr);
        T->Columns->Up->click();
        T->WidthEdit->setText("7");
        T->InPixels->setChecked(true);
        Press(W, "Ok");
    });
    F->Table0->trigger();
    EXPECT_TRUE(Body().contains("<table border=\"1\" cellpadding=\"1\" cellspacing=\"1\" "
                                "width=\"7\"><tbody><tr><td width=\"2\">&nbsp;</td><td "
                                "width=\"2\">&nbsp;</td><td width=\"3\">&nbsp;</td></tr><tr>"))
        << Body().toStdString();

    // Rows that are no number stop the command with the conversion's message.
    const QString Before = Body();
    QString Message;
    WhenModal<QWidget>([&](QWidget *W) {
        qobject_cast<TTabForm *>(W)->Rows->Edit->setText("x");
        AnswerMessage(Message);
        Press(W, "Ok");
    });
    F->Table0->trigger();
    EXPECT_EQ(Message, "'x' is not a valid integer value");
    EXPECT_EQ(Body(), Before);

    // The Table submenu works on the cell under the caret.
    SelectIn("td");
    F->InsertRow1->trigger();
    EXPECT_EQ(Js("document.querySelector('table').rows.length").toInt(), 3);

    // A new table waits with the caret in its first cell; Tab and Shift+Tab move between
    // the cells and keep the focus in the editor.
    EditSource("<p id=c>x</p>");
    SelectIn("#c");
    WhenModal<QWidget>([&](QWidget *W) {
        auto *T = qobject_cast<TTabForm *>(W);
        T->Rows->Edit->setText("2");
        T->Columns->Edit->setText("2");
        T->WidthEdit->setText("100");
        Press(W, "Ok");
    });
    F->Table0->trigger();
    F->activateWindow(); // the dialog gives the activation back later offscreen
    ASSERT_TRUE(QTest::qWaitForWindowActive(F.get()));
    F->DHTMLEdit1->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return Js("document.hasFocus()").toBool(); }));
    QTest::keyClicks(Keys(), "a");
    QTest::keyClick(Keys(), Qt::Key_Tab);
    QTest::keyClicks(Keys(), "b");
    QTest::keyClick(Keys(), Qt::Key_Tab);
    QTest::keyClick(Keys(), Qt::Key_Tab);
    QTest::keyClick(Keys(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClicks(Keys(), "c");
    const QString Cells = "Array.from(document.querySelectorAll('td')).map(c=>"
                          "c.textContent.replace(/\\u00a0/g,'_')).join(',')";
    EXPECT_TRUE(WaitUntil([&] { return Js(Cells).toString() == "a,b,c,_"; }))
        << Js(Cells).toString().toStdString();
    EXPECT_EQ(F->FocusOf(QApplication::focusWidget()), shell::TFocus::HtmlEditor);
}

TEST_F(Window, FormattingBarAndMenus)
{
    EditSource("<p id=a>one</p><p id=b>two</p>");
    SelectIn("#a");
    F->ComboBox5->setCurrentIndex(F->ComboBox5->findText("Heading 1"));
    emit F->ComboBox5->activated(F->ComboBox5->currentIndex());
    F->ComboBox8->setCurrentIndex(F->ComboBox8->findText("2"));
    emit F->ComboBox8->activated(F->ComboBox8->currentIndex());
    EXPECT_TRUE(Body().contains("<h1><font size=\"2\">one</font></h1>")) << Body().toStdString();
    // The alignments: one group in which all may be up.
    F->SpeedItem14->trigger();
    F->SpeedItem15->trigger();
    EXPECT_FALSE(F->SpeedItem14->isChecked());
    EXPECT_TRUE(Body().contains("text-align: right")) << Body().toStdString();

    // The list toggles keep menu and bar together.
    SelectIn("#b");
    F->NumList0->trigger();
    EXPECT_TRUE(F->NumList0->isChecked() && F->SpeedItem16->isChecked());
    F->SpeedItem17->trigger();
    EXPECT_TRUE(F->BulList0->isChecked() && !F->NumList0->isChecked());
    EXPECT_TRUE(Body().contains("<ul><li>two</li></ul>")) << Body().toStdString();

    SelectIn("li");
    WhenModal<QWidget>([](QWidget *W) {
        qobject_cast<THyperlinkForm *>(W)->Url->setText("mailto:ann@example.org");
        Press(W, "Ok");
    });
    F->Hyperlink0->trigger();
    EXPECT_TRUE(Body().contains("<a href=\"mailto:ann@example.org\">two</a>"))
        << Body().toStdString();

    // The caret moved into a list sets the list toggles from the page, not from the last click.
    EditSource("<ol><li id=n>n</li></ol><ul><li id=u>u</li></ul>");
    F->activateWindow(); // the hyperlink dialog took it
    Keys()->setFocus();
    SelectIn("#n");
    EXPECT_TRUE(WaitUntil([&] { return F->NumList0->isChecked() && !F->BulList0->isChecked(); }));
    SelectIn("#u");
    EXPECT_TRUE(WaitUntil([&] { return F->BulList0->isChecked() && !F->NumList0->isChecked(); }));
}

// Outlook's own style properties (mso-, -ms-) and values the browser cannot read stay on the
// elements a command edits; what the command changes, it changes.
TEST_F(Window, CommandsKeepStylePropertiesTheBrowserDoesNotKnow)
{
    EditSource("<p id=a style=\"mso-line-height-rule:exactly;line-height:20px;font-weight:"
               "normal;-ms-text-size-adjust:100%\">Dear reader</p>"
               "<p id=b style=\"mso-margin-top-alt:auto;margin:0;line-height:exactly\">Centred</p>"
               "<p id=c><span id=d style=\"font-weight:bold;mso-bidi-font-weight:normal;"
               "color:red\">plain again</span> rest</p><p><span id=e style=\"font-weight:normal;"
               "mso-ansi-language:PL;color:red\">aa bb cc</span></p>");
    const auto Style = [&](const char *Id) {
        return Js(QStringLiteral("document.getElementById('%1').getAttribute('style')").arg(Id))
            .toString();
    };
    // One word of the paragraph made bold: the paragraph's normal weight moves to the words
    // beside it.
    ASSERT_TRUE(Js("(function(){const t=document.getElementById('a').firstChild;"
                   "const r=document.createRange();r.setStart(t,5);r.setEnd(t,11);"
                   "getSelection().removeAllRanges();getSelection().addRange(r);return true;})()")
                    .toBool());
    emit F->DomWork->Editor->InputStarted();
    F->SpeedItem9->trigger();
    EXPECT_TRUE(Body().contains("<span style=\"font-weight: normal;\">Dear </span><b>reader</b>"))
        << Body().toStdString();
    EXPECT_EQ(Style("a"),
              "mso-line-height-rule:exactly; line-height: 20px; -ms-text-size-adjust:100%;");
    // Undo gives the paragraph its weight back; redo does the command again, whole.
    F->Undo0->trigger();
    EXPECT_TRUE(WaitUntil([&] {
        return Style("a") ==
               "mso-line-height-rule:exactly; line-height: 20px; font-weight: normal; "
               "-ms-text-size-adjust:100%;";
    })) << Style("a").toStdString();
    F->Redo0->trigger();
    EXPECT_TRUE(WaitUntil([&] { return Body().contains("<b>reader</b>"); }));
    EXPECT_EQ(Style("a"),
              "mso-line-height-rule:exactly; line-height: 20px; -ms-text-size-adjust:100%;");

    SelectIn("#b");
    F->SpeedItem14->trigger();
    EXPECT_EQ(Style("b"),
              "mso-margin-top-alt:auto; text-align: center; margin: 0px; line-height:exactly;");

    // Bold taken off: the weight goes, the rest stays.
    SelectIn("#d");
    F->SpeedItem9->trigger();
    EXPECT_FALSE(F->SpeedItem9->isChecked());
    EXPECT_EQ(Style("d"), "color: red; mso-bidi-font-weight:normal;");

    // The middle of a span made bold: each piece of the span keeps them.
    ASSERT_TRUE(Js("(function(){const t=document.getElementById('e').firstChild;"
                   "const r=document.createRange();r.setStart(t,3);r.setEnd(t,5);"
                   "getSelection().removeAllRanges();getSelection().addRange(r);return true;})()")
                    .toBool());
    emit F->DomWork->Editor->InputStarted();
    F->SpeedItem9->trigger();
    EXPECT_TRUE(Body().contains("\">aa </span><span style=\"color: red; mso-ansi-language:PL;\">"
                                "<b>bb</b></span><span style=\"font-weight:normal;mso-ansi-"
                                "language:PL;color:red\"> cc</span>"))
        << Body().toStdString();

    // The source and the body a mailing reads carry them.
    F->SourceView0Click();
    const QString Source = F->RxRichEdit1->toPlainText();
    EXPECT_TRUE(Source.contains("-ms-text-size-adjust:100%;\">")) << Source.toStdString();
    EXPECT_TRUE(F->Views->MessageBody().contains("mso-bidi-font-weight:normal"));
}

TEST_F(Window, AnEditorThatDiesComesBackAndSaysSo)
{
    EditSource("<p id=a>kept text</p>");
    QSignalSpy Loaded(F->DomWork->Editor, &TDomHost::DocumentLoaded);
    QString Message;
    AnswerMessage(Message);
    ::kill(pid_t(F->DHTMLEdit1->page()->renderProcessPid()), SIGKILL);
    ASSERT_TRUE(WaitUntil([&] { return !Message.isEmpty(); }));
    EXPECT_TRUE(Message.contains("restarted")) << Message.toStdString();
    WaitForEditorLoad(Loaded);
    EXPECT_TRUE(Body().contains("kept text")) << Body().toStdString();
}

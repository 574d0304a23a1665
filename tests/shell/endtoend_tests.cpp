// The main road through the real window, offscreen: the program's forms made as the program
// makes them, the sample table opened from the command line, a filter and a calculated field
// set through their pages, a message typed into the source and the HTML editor, the preview of
// the filtered table's third record, a mailing over four connections to the test SMTP server on
// 127.0.0.1 checked message by message and in the log, "Save Project?" answered on closing, and the
// project and table opened again from the command line with everything as it was. Python's dbfread
// reads the table independently for the records the filter must keep.

#include "../delivery/testserver.h"
#include "../delivery/uitest.h"
#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"
#include "delivery/maillog.h"
#include "delivery/ui/sendform.h"
#include "modal.h"
#include "shell/addwordform.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/workspace.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qftest;

namespace {

// The records of the table whose CITY is City, by dbfread: "EMAIL FIRSTNAME" in table order.
QStringList AddressesInCity(const QString &Table, const QString &City)
{
    QProcess Python;
    Python.start("/usr/bin/python3",
                 {"-c",
                  "import sys, dbfread\n"
                  "for r in dbfread.DBF(sys.argv[1], encoding='utf-8'):\n"
                  "    if r['CITY'] == sys.argv[2]: print(r['EMAIL'], r['FIRSTNAME'])\n",
                  Table, City});
    if (!Python.waitForFinished(30000) || Python.exitCode() != 0)
        return {"dbfread failed: " + QString::fromUtf8(Python.readAllStandardError())};
    return QString::fromUtf8(Python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Answers the one-line input dialog with Text once it shows.
void AnswerInputDialog(const QString &Text)
{
    QTimer::singleShot(0, [Text] {
        ASSERT_TRUE(QTest::qWaitFor([] { return AddWordForm && AddWordForm->isVisible(); }));
        AddWordForm->Edit1->setText(Text);
        QTest::keyClick(AddWordForm->Edit1, Qt::Key_Return);
    });
}

class ShellEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ForgetSettings(); }
    void TearDown() override
    {
        FreeForms();
        QFile::remove(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                      "/Profiles.dat");
        ForgetSettings();
    }
};

} // namespace

TEST_F(ShellEndToEnd, TableFilterCalculatedFieldAndMessageThroughTheWindow)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(CopySamples(Dir.path()));
    const QString Table = Dir.filePath("contacts.dbf");

    // The sender profile "LOCAL" at the test SMTP server on 127.0.0.1, in the profile file.
    TTestServer Server;
    ASSERT_FALSE(SaveProfile("LOCAL", QString::number(Server.Port())).isEmpty());

    // As the program starts: the forms, then the window, whose first show opens the command line.
    CreateForms();
    ASSERT_TRUE(MainForm);
    TMainForm &F = *MainForm;
    F.CommandLine = {Table};
    F.show();
    F.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&F));
    ASSERT_TRUE(QTest::qWaitFor([&] { return F.Workspace->Active(); }, 20000));
    EXPECT_EQ(F.windowTitle(), "Quillfast - (NONAME) Using contacts");
    EXPECT_EQ(F.Workspace->ADOQuery1().RecordCount(), 300);
    EXPECT_TRUE(F.AddRec0->isEnabled() && F.Start0->isEnabled());

    // The filter, typed on its page and switched on; the table reopened takes it.
    const QStringList Expected = AddressesInCity(Table, "Millhaven");
    ASSERT_GT(Expected.size(), 0) << Expected.join(' ').toStdString();
    F.Filter0->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return F.Memo1->hasFocus(); }));
    QTest::keyClicks(F.Memo1, "CITY = 'Millhaven'");
    ASSERT_TRUE(F.UseFilter->isEnabled());
    F.UseFilter->click();
    ASSERT_TRUE(F.UseFilter->isChecked());
    EXPECT_TRUE(F.Cut0->isEnabled() == false && F.Undo0->isEnabled());
    F.Reopen0->trigger();
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(F.Workspace->ADOQuery1().RecordCount(), Expected.size());

    // A calculated field: its name asked in the input dialog, its expression and type set.
    F.CalcFieldsView0->trigger();
    AnswerInputDialog("DOUBLED");
    QTest::mouseClick(F.AddCalcField, Qt::LeftButton);
    ASSERT_EQ(F.CalcFieldList->count(), 1);
    EXPECT_EQ(F.CalcFieldList->item(0)->text(), "DOUBLED");
    ASSERT_TRUE(F.Memo2->isEnabled());
    F.Memo2->setFocus();
    QTest::keyClicks(F.Memo2, "AMOUNT * 2");
    F.FieldType->setCurrentIndex(1);
    emit F.FieldType->activated(1);
    F.DBView0->trigger(); // leaving the expression stores it

    // The message: a greeting typed into the source, the name typed into the HTML editor at its
    // end; the source and the preview follow.
    F.activateWindow(); // back from the input dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(&F));
    F.SourceView0->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return F.RxRichEdit1->hasFocus(); }));
    QTest::keyClicks(F.RxRichEdit1, "<p id=\"g\">Dear </p>");
    F.EditView0->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return F.DomWork->Ready && F.DomWork->DocumentHTML().contains("Dear"); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return F.SpeedItem9->isEnabled(); },
                                20000)); // the bar follows the document
    F.DHTMLEdit1->setFocus();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return F.FocusOf(QApplication::focusWidget()) == TFocus::HtmlEditor; }));
    bool Placed = false;
    F.DHTMLEdit1->page()->runJavaScript(
        "(function(){const t=document.querySelector('#g').firstChild;const "
        "r=document.createRange();"
        "r.setStart(t,t.length);getSelection().removeAllRanges();getSelection().addRange(r);})()",
        QWebEngineScript::ApplicationWorld, [&](const QVariant &) { Placed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return Placed; }));
    QWidget *Keys = F.DHTMLEdit1->focusProxy() ? F.DHTMLEdit1->focusProxy() : F.DHTMLEdit1;
    QTest::keyClicks(Keys, "%FIRSTNAME,");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return F.DomWork->DocumentHTML().contains("%FIRSTNAME,"); }, 20000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return F.Undo0->isEnabled(); }, 20000)); // the typing can be undone
    F.SourceView0->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return F.RxRichEdit1->toPlainText().contains("%FIRSTNAME,"); }, 20000));

    // The preview of the filtered table's third record: the name merged for that record.
    F.Workspace->ADOQuery1().SetRecNo(3);
    ASSERT_EQ(F.Workspace->ADOQuery1().RecNo(), 3);
    const QString Third = Expected[2].section(' ', 1);
    F.Preview0->trigger();
    const auto PreviewText = [&] {
        QFile Page(F.Preview->FPreviewFile);
        return Page.open(QIODevice::ReadOnly) ? QString::fromUtf8(Page.readAll()) : QString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return PreviewText().contains(Third + ","); }, 20000))
        << PreviewText().toStdString();

    // The mailing: the profile pointing at the test server, four connections, a subject merged
    // per record, from the second filtered record on.
    F.activateWindow();
    ASSERT_TRUE(OptForm);
    OptForm->UpDown1->setValue(4); // the options in force are the dialog's controls
    OptForm->CheckBox1->setChecked(true);
    F.ComboBox2->setCurrentText("EMAIL");
    F.Edit2->setFocus();
    QTest::keyClicks(F.Edit2, "Offer for %FIRSTNAME");
    ASSERT_GE(F.ComboBox4->findText("LOCAL"), 0);
    F.ComboBox4->setCurrentIndex(F.ComboBox4->findText("LOCAL"));
    emit F.ComboBox4->activated(F.ComboBox4->currentIndex());
    F.Workspace->ADOQuery1().SetRecNo(2); // the mailing starts at the current record
    {
        // Gone before the closing below, whose question is answered by its own action.
        TBoxAnswerer Boxes;
        QTimer Start;
        QObject::connect(&Start, &QTimer::timeout, [&] {
            auto *Form = qf::delivery::SendForm;
            if (Form && Form->isVisible() && Form->Button2->isEnabled() &&
                Form->Panel1->text() == "The list is prepared")
                Form->Button2->click();
        });
        Start.start(5);
        QTest::mouseClick(F.BitBtn1, Qt::LeftButton); // returns when the mailing dialog has closed
        Start.stop();
        EXPECT_EQ(Boxes.Texts, QStringList{"Mailing is Completed Successfully"});
    }
    QStringList Got, Want;
    for (const QString &M : Server.MessageFiles())
        Got << Server.Envelope(M).value("rcpt_tos").toArray().at(0).toString();
    QStringList Subjects, WantSubjects;
    for (const QJsonValue &M : ParseMail(Server.MessageFiles()))
        Subjects << M.toObject().value("subject").toString();
    for (const QString &Line : Expected.mid(1)) {
        Want << Line.section(' ', 0, 0);
        WantSubjects << "Offer for " + Line.section(' ', 1);
    }
    for (QStringList *L : {&Got, &Want, &Subjects, &WantSubjects})
        L->sort();
    EXPECT_EQ(Got, Want);
    EXPECT_EQ(Subjects, WantSubjects);
    QFile Log(qf::delivery::DefaultLogFileName());
    ASSERT_TRUE(Log.open(QIODevice::ReadOnly));
    const QString LogText = QString::fromUtf8(Log.readAll());
    for (const QString &Address : Want)
        EXPECT_TRUE(LogText.contains(Address)) << Address.toStdString();

    // Closing asks "Save Project?"; Yes on the unnamed project asks for its name.
    const QString ProjectFile = Dir.filePath("offer.qfx");
    QString Asked;
    AnswerBox(QMessageBox::Yes, &Asked);
    ChooseFile("offer", Dir.path());
    F.Exit0->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !F.isVisible(); }, 20000));
    EXPECT_EQ(Asked, "Save Project?");
    ASSERT_TRUE(QFile::exists(ProjectFile));
    FreeForms();

    // Started again with the project and the table: everything as it was.
    CreateForms();
    ASSERT_TRUE(MainForm);
    TMainForm &G = *MainForm;
    G.CommandLine = {ProjectFile, Table};
    G.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return G.Workspace->Active(); }, 20000));
    EXPECT_EQ(G.windowTitle(), "Quillfast - offer Using contacts");
    EXPECT_EQ(G.Memo1->toPlainText(), "CITY = 'Millhaven'");
    EXPECT_TRUE(G.UseFilter->isChecked());
    EXPECT_EQ(G.Workspace->ADOQuery1().RecordCount(), Expected.size());
    ASSERT_EQ(G.CalcFieldList->count(), 1);
    EXPECT_EQ(G.CalcFieldList->item(0)->text(), "DOUBLED");
    G.CalcFieldList->setCurrentRow(0);
    emit G.CalcFieldList->itemClicked(G.CalcFieldList->item(0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return G.Memo2->toPlainText() == "AMOUNT * 2"; }, 5000))
        << G.Memo2->toPlainText().toStdString();
    EXPECT_TRUE(G.RxRichEdit1->toPlainText().contains("%FIRSTNAME,"));
}

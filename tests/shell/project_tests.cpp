// The project commands in the real window, offscreen: Save As and Open through their dialogs,
// "Save Project?" on New, Open and close, the command line, the attachment page and the
// charset dialog.

#include "composer/project.h"
#include "composer/ui/attachpage.h"
#include "composer/ui/charsetform.h"
#include "modal.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shelltest.h"
#include "tables/workspace.h"
#include "testenv.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qftest;

namespace {

class ShellProject : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::unique_ptr<TMainForm> F;

    void SetUp() override
    {
        ForgetSettings();
        ProjectFileName.clear();
        F = std::make_unique<TMainForm>();
        F->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(F.get()));
    }
    void TearDown() override
    {
        F->Project->FModified = false;
        F->Project->ResetModified();
        F.reset();
        ForgetSettings();
    }
    QString Path(const QString &Name) { return Dir.filePath(Name); }
};

TEST_F(ShellProject, SaveAsNewAndOpenThroughTheirDialogs)
{
    QTest::keyClicks(F->Edit2, "Hello %NAME");
    F->RxRichEdit1->setPlainText("<p>Dear %NAME</p>");
    ChooseFile("Letter", Dir.path());
    F->SaveProjectAs0->trigger();
    EXPECT_EQ(F->Project->ProjectFileName, Path("Letter"));
    EXPECT_TRUE(QFile::exists(Path("Letter.qfx")));
    EXPECT_TRUE(F->windowTitle().contains("Letter")) << F->windowTitle().toStdString();
    EXPECT_EQ(MailDir, Dir.path() + "/");

    // Unchanged: New asks nothing.
    F->NewProject0->trigger();
    EXPECT_EQ(F->Edit2->text(), "");
    EXPECT_EQ(F->RxRichEdit1->toPlainText(),
              QString(qf::composer::DefaultDocument).replace("\r\n", "\n"));
    EXPECT_TRUE(F->Project->ProjectFileName.isEmpty());

    // Changed: the file is chosen first, then "Save Project?"; Cancel keeps the project.
    QTest::keyClicks(F->Edit2, "draft");
    ChooseFile("Letter.qfx", Dir.path());
    QString Question;
    AnswerBox(QMessageBox::Cancel, &Question);
    F->OpenProject0->trigger();
    EXPECT_EQ(Question, "Save Project?");
    EXPECT_EQ(F->Edit2->text(), "draft");
    // No: the other project opens.
    ChooseFile("Letter.qfx", Dir.path());
    AnswerBox(QMessageBox::No);
    F->OpenProject0->trigger();
    EXPECT_EQ(F->Edit2->text(), "Hello %NAME");
    EXPECT_EQ(F->RxRichEdit1->toPlainText(), "<p>Dear %NAME</p>");
    EXPECT_FALSE(F->IsModified());
    // Save writes the same bytes under the same name and keeps the first file as its backup; the
    // texts keep their CR LF line breaks.
    F->RxRichEdit1->setPlainText("<p>\r\nDear %NAME</p>");
    F->SaveProject0->trigger();
    EXPECT_TRUE(QFile::exists(Path("Backup of Letter.qfx")));
    QFile Saved(Path("Letter.qfx"));
    ASSERT_TRUE(Saved.open(QIODevice::ReadOnly));
    const QByteArray Bytes = Saved.readAll();
    EXPECT_TRUE(Bytes.contains("<p>\r\nDear %NAME</p>"));
    F->Project->OpenMailFile(Path("Letter.qfx"));
    F->SaveProject0->trigger();
    Saved.close();
    ASSERT_TRUE(Saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(Saved.readAll(), Bytes);
}

TEST_F(ShellProject, CloseAsksAndCancelKeepsTheWindow)
{
    F->RxRichEdit2->setPlainText("typed");
    AnswerBox(QMessageBox::Cancel);
    F->close();
    EXPECT_TRUE(F->isVisible());
    // Yes on an unnamed project asks for a name; cancelling that keeps the window too.
    AnswerBox(QMessageBox::Yes);
    ChooseFile(QString(), Dir.path());
    F->close();
    EXPECT_TRUE(F->isVisible());
    // Yes and a name: saved, then closed.
    AnswerBox(QMessageBox::Yes);
    ChooseFile("Closing", Dir.path());
    F->close();
    EXPECT_FALSE(F->isVisible());
    EXPECT_TRUE(QFile::exists(Path("Closing.qfx")));
}

TEST_F(ShellProject, CommandLineOpensTheProjectOrSaysWhyNot)
{
    QString Message;
    AnswerBox(QMessageBox::Ok, &Message);
    F->OpenCommandLine({Path("Missing.qfx")});
    EXPECT_TRUE(Message.contains(Path("Missing.qfx"))) << Message.toStdString();
    EXPECT_TRUE(F->Project->ProjectFileName.isEmpty());

    {
        QFile File(Path("Cut.QFX"));
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(QByteArray("\x01\0\0\0\x07\0\0\0Subject\x0a\0\0\0\x05\0\0\0Hel", 27));
    }
    // The project first, then the table; each says what is wrong with it.
    QString Messages[2];
    AnswerBox(QMessageBox::Ok, &Messages[0]);
    AnswerBox(QMessageBox::Ok, &Messages[1]);
    F->OpenCommandLine({Path("table.dbf"), Path("Cut.QFX")});
    EXPECT_TRUE(Messages[0].contains("Cut.QFX")) << Messages[0].toStdString();
    EXPECT_TRUE(Messages[1].contains("table.dbf")) << Messages[1].toStdString();
    EXPECT_EQ(F->Project->ProjectFileName, Path("Cut.QFX"));
    EXPECT_FALSE(F->IsModified());
}

TEST_F(ShellProject, TheSampleProjectWithTheSampleTable)
{
    ASSERT_TRUE(CopySamples(Dir.path(), {"letter.qfx", "contacts.dbf", "contacts.dbt"}));
    F->OpenCommandLine({Path("contacts.dbf"), Path("letter.qfx")});
    EXPECT_EQ(F->Project->ProjectFileName, Path("letter.qfx"));
    EXPECT_EQ(F->Edit2->text(), "Your account in %CITY");
    ASSERT_TRUE(F->Workspace->Active());
    EXPECT_EQ(F->ComboBox2->currentText(), "EMAIL");
    EXPECT_EQ(F->ComboBox2->count(), 5); // the text and memo fields
    EXPECT_EQ(F->ExpandPlaceholders(F->Edit2->text()), "Your account in Ambervale");
    // The calculated field through the window's record variables.
    EXPECT_EQ(F->ExpandPlaceholders("Dear %FULLNAME,"), "Dear Piet Garroway,");
    EXPECT_EQ(F->CalcFieldList->count(), 1);
    QString To;
    EXPECT_TRUE(F->EvaluateName(F->ComboBox2->currentText(), To));
    EXPECT_EQ(To, "piet.garroway1@example.org");
    EXPECT_FALSE(F->IsModified());
}

TEST_F(ShellProject, AttachmentsAsChosenAndTheCharsetDialog)
{
    for (const char *Name : {"Price.PDF", "notes.txt"}) {
        QFile File(Path(Name));
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    }
    F->AttachView0->trigger();
    QListWidget *List = F->AttachPage->ListBox3;
    EXPECT_FALSE(F->AttachPage->RemoveButton->isEnabled());
    ChooseFile("\"Price.PDF\" \"notes.txt\"", Dir.path());
    QTest::mouseClick(F->AttachPage->AddButton, Qt::LeftButton);
    ASSERT_EQ(List->count(), 2);
    EXPECT_EQ(List->item(0)->text(), Path("Price.PDF"));
    EXPECT_EQ(List->item(1)->text(), Path("notes.txt"));
    EXPECT_EQ(List->currentRow(), 1);
    EXPECT_TRUE(F->AttachPage->RemoveButton->isEnabled());
    EXPECT_TRUE(F->IsModified());
    EXPECT_TRUE(F->CheckAttachments());
    QFile::remove(Path("notes.txt"));
    QString Message;
    AnswerBox(QMessageBox::Ok, &Message);
    EXPECT_FALSE(F->CheckAttachments());
    EXPECT_TRUE(Message.contains(Path("notes.txt")));
    QTest::mouseClick(F->AttachPage->RemoveButton, Qt::LeftButton);
    ASSERT_EQ(List->count(), 1);
    EXPECT_EQ(List->currentRow(), 0);

    // The charset: the dialog opens on the current row; Cancel changes nothing, Ok takes the row.
    F->Project->FModified = false;
    EXPECT_EQ(F->Project->CharsetIndex, 15);
    WhenModal<qf::composer::TCharSetForm>([](qf::composer::TCharSetForm *D) {
        EXPECT_EQ(D->ListBox1->currentRow(), 15);
        EXPECT_EQ(D->ListBox1->currentItem()->text(), "User Defined, x-user-defined");
        QTest::mouseClick(D->CancelBtn, Qt::LeftButton);
    });
    F->Encoding0->trigger();
    EXPECT_FALSE(F->Project->FModified);
    WhenModal<qf::composer::TCharSetForm>([](qf::composer::TCharSetForm *D) {
        D->ListBox1->setCurrentRow(14);
        QTest::mouseClick(D->OkBtn, Qt::LeftButton);
    });
    F->Encoding0->trigger();
    EXPECT_EQ(F->Project->CharsetIndex, 14);
    EXPECT_TRUE(F->Project->FModified);
}

} // namespace

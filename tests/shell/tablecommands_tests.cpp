// The record commands and Execute SQL in the real main window: its actions, its dialogs and the
// record editor, over .dbf files in a temporary folder read back by python3-dbfread.

#include "../tables/recordfixture.h"
#include "modal.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tables/sqlstatement.h"
#include "tables/ui/editdb.h"
#include "tables/ui/recorddialogs.h"
#include "tables/ui/restructform.h"
#include "tables/ui/sqlform.h"
#include "testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

using namespace qf::shell;
using namespace qf::tables;

namespace {

class TableCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        qftest::ForgetSettings();
        CreateForms();
        MakePeople(Dir.path(),
                   "('Smith', 'Oslo', 1, NULL, 0, NULL), ('Berg', 'Bergen', 2, NULL, 0, NULL), "
                   "('Dahl', 'Oslo', 3, NULL, 0, NULL)");
        MainForm->OpenDBFFile(File());
        ASSERT_TRUE(MainForm->Workspace->Active());
    }
    void TearDown() override
    {
        FreeForms();
        qftest::ForgetSettings();
    }
    QString File() const { return Dir.filePath("people.dbf"); }
    QStringList Names()
    {
        QStringList L;
        for (const QJsonValue &R : StoredRecords(File()))
            L << R.toArray()[0].toString();
        return L;
    }
    QTemporaryDir Dir;
};

TEST_F(TableCommands, DeleteWithAndWithoutConfirmation)
{
    TMainForm &F = *MainForm;
    EXPECT_EQ(F.RecordPosition->text(), "Record 1 of 3");

    // Off (the default): deleted at once.
    F.DeleteRec0->trigger();
    EXPECT_EQ(Names(), QStringList({"Berg", "Dahl"}));
    EXPECT_EQ(F.RecordPosition->text(), "Record 1 of 2");

    // On: No with the box ticked deletes nothing and keeps asking.
    OptForm->CheckBox2->setChecked(true);
    WhenModal<TDelForm>([](TDelForm *D) {
        EXPECT_EQ(D->focusWidget(), D->NoButton);
        EXPECT_FALSE(D->CheckBox1->isChecked());
        D->CheckBox1->setChecked(true);
        QTest::mouseClick(D->NoButton, Qt::LeftButton);
    });
    F.DeleteRec5->trigger();
    EXPECT_EQ(Names().size(), 2);
    EXPECT_TRUE(OptForm->CheckBox2->isChecked());

    // Yes with the box ticked deletes and turns the question off for good.
    WhenModal<TDelForm>([](TDelForm *D) {
        EXPECT_FALSE(D->CheckBox1->isChecked());
        D->CheckBox1->setChecked(true);
        QTest::mouseClick(D->YesButton, Qt::LeftButton);
    });
    F.DeleteRec0->trigger();
    EXPECT_EQ(Names(), QStringList({"Dahl"}));
    EXPECT_FALSE(OptForm->CheckBox2->isChecked());
    TOptionValues Stored;
    Stored.ConfirmDel = true;
    ASSERT_TRUE(ReadOptionValues(Stored));
    EXPECT_FALSE(Stored.ConfirmDel);
    F.DeleteRec0->trigger(); // no question now
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_FALSE(F.DeleteRec0->isEnabled());
}

TEST_F(TableCommands, EditAndAddThroughTheRecordEditor)
{
    TMainForm &F = *MainForm;
    WhenModal<TEditDB>([](TEditDB *E) {
        auto *Name = qobject_cast<QComboBox *>(E->EditorOf("NAME"));
        Name->lineEdit()->selectAll();
        QTest::keyClicks(Name->lineEdit(), "Smithson");
        QTest::mouseClick(E->ApplyButton, Qt::LeftButton);
        QTest::mouseClick(E->CloseButton, Qt::LeftButton);
    });
    F.EditRec0->trigger();
    EXPECT_EQ(Names(), QStringList({"Smithson", "Berg", "Dahl"}));

    // Add appends, the editor shows the new record; closing asks and Yes saves it.
    WhenModal<TEditDB>([](TEditDB *E) {
        EXPECT_EQ(E->StatusPanel->text(), "Record -1 of 3");
        QTest::keyClicks(qobject_cast<QComboBox *>(E->EditorOf("NAME"))->lineEdit(), "Lie");
        AnswerBox(QMessageBox::Yes);
        QTest::keyClick(E, Qt::Key_Escape);
    });
    F.AddRec0->trigger();
    EXPECT_EQ(Names(), QStringList({"Smithson", "Berg", "Dahl", "Lie"}));
    EXPECT_EQ(F.RecordPosition->text(), "Record 4 of 4");

    // Enter in the grid edits the current record.
    bool Shown = false;
    WhenModal<TEditDB>([&](TEditDB *E) {
        Shown = true;
        E->reject();
    });
    F.RxDBGrid1->setFocus();
    QTest::keyClick(F.RxDBGrid1, Qt::Key_Return);
    EXPECT_TRUE(Shown);
}

TEST_F(TableCommands, ChangesThatCouldNotBeWrittenAreNotClosedAwaySilently)
{
    TMainForm &F = *MainForm;
    AppendBehindTheBack(File());
    QString Told;
    WhenModal<TEditDB>([&](TEditDB *E) {
        auto *Name = qobject_cast<QComboBox *>(E->EditorOf("NAME"));
        Name->lineEdit()->selectAll();
        QTest::keyClicks(Name->lineEdit(), "Typed");
        AnswerBox(QMessageBox::Ok, &Told);
        QTest::mouseClick(E->ApplyButton, Qt::LeftButton);
        EXPECT_EQ(Name->currentText(), "Typed");
        E->reject();
    });
    F.EditRec0->trigger();
    EXPECT_TRUE(Told.contains("\"people.dbf\"")) << Told.toStdString();
    // The message says how the change is kept, not only how it is lost.
    EXPECT_TRUE(Told.contains("To keep them, save the table under another name with "
                              "Restructure/Save As DBF"))
        << Told.toStdString();
    EXPECT_EQ(F.RxDBGrid1->model()->index(0, 0).data().toString(), "Typed");

    // Close asks before the change goes; No keeps the table open with it.
    AnswerBox(QMessageBox::No, &Told);
    F.CloseDB0->trigger();
    EXPECT_TRUE(Told.contains("lose these changes")) << Told.toStdString();
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(F.Workspace->ADOQuery1().FieldByName("NAME").AsString(), "Typed");
    Told.clear();
    AnswerBox(QMessageBox::Yes, &Told);
    F.Reopen0->trigger();
    EXPECT_TRUE(Told.contains("lose these changes")) << Told.toStdString();
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(F.Workspace->ADOQuery1().FieldByName("NAME").AsString(), "Smith");

    // And Save As does keep them, as the message says.
    AppendBehindTheBack(File());
    F.Workspace->ADOQuery1().Edit();
    F.Workspace->ADOQuery1().FieldByName("NAME").SetAsString("Kept");
    AnswerBox(QMessageBox::Ok, &Told);
    F.Workspace->ADOQuery1().Post();
    ASSERT_TRUE(F.Workspace->ADOQuery1().Source()->HasPendingChanges());
    WhenModal<TRestructForm>([&](TRestructForm *R) {
        ChooseFile(Dir.filePath("kept.dbf"));
        WhenModal<TCopyOptForm>(
            [](TCopyOptForm *O) { QTest::mouseClick(O->OkBtn, Qt::LeftButton); });
        QTest::mouseClick(R->Button3, Qt::LeftButton);
        QTest::mouseClick(R->CloseBtn, Qt::LeftButton);
    });
    F.Restructure0->trigger();
    EXPECT_EQ(F.Workspace->TableName, "kept.dbf");
    const QJsonArray Kept = StoredRecords(Dir.filePath("kept.dbf"));
    ASSERT_EQ(Kept.size(), 4); // the records as they were read, without the one added since
    EXPECT_EQ(Kept[0].toArray()[0].toString(), "Kept");
}

TEST_F(TableCommands, FindAndFindDuplicates)
{
    TMainForm &F = *MainForm;
    WhenModal<TFindForm>([](TFindForm *D) {
        EXPECT_EQ(D->FieldList->count(), 4); // no logical or memo field
        D->FieldList->setCurrentText("NAME");
        D->Edit1->setText("Da");
        QTest::mouseClick(D->OkButton, Qt::LeftButton);
    });
    F.Find0->trigger();
    EXPECT_EQ(F.Workspace->ADOQuery1().RecNo(), 3);
    EXPECT_EQ(F.RxDBGrid1->currentIndex().column(), 0);

    QString NotFound;
    WhenModal<TFindForm>([](TFindForm *D) {
        EXPECT_EQ(D->Edit1->text(), "Da"); // kept between uses
        D->Exactly->setChecked(true);
        D->Edit1->setText("dahl");
        QTest::mouseClick(D->OkButton, Qt::LeftButton);
    });
    AnswerBox(QMessageBox::Ok, &NotFound);
    F.FindRec5->trigger();
    EXPECT_EQ(NotFound, "Search text not found");

    F.Workspace->FSortField = "CITY";
    F.Workspace->FSorted = 1;
    F.Workspace->ApplySort();
    ASSERT_TRUE(F.Unique0->isEnabled());
    F.Workspace->ADOQuery1().First();
    F.Unique0->trigger(); // Bergen, Oslo, Oslo: stops on the second Oslo without a word
    EXPECT_EQ(F.Workspace->ADOQuery1().RecNo(), 3);

    // Ctrl+F4 closes the table.
    F.show();
    F.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&F));
    QTest::keyClick(&F, Qt::Key_F4, Qt::ControlModifier);
    EXPECT_FALSE(F.Workspace->Active());
}

TEST_F(TableCommands, ExecuteSqlShowsTheResultInTheGrid)
{
    TMainForm &F = *MainForm;
    WriteDbfHeader(Dir.filePath("cities.dbf"), {Def("CITY", dtC, 12), Def("COUNTRY", dtC, 12)});
    FillTable(Dir.path(), "INSERT INTO cities VALUES ('Oslo', 'Norway'), ('Bergen', 'Norge')");
    QAbstractItemModel *M = F.RxDBGrid1->model();

    // A statement that fails says why and leaves the open table open.
    bool Told = false;
    WhenModal<TSQLForm>([this](TSQLForm *S) {
        S->ComboBox1->setCurrentIndex(sdDbase);
        S->Edit1->setText(Dir.path());
        S->Memo1->setPlainText("SELECT * FROM nowhere WHERE");
        QTest::mouseClick(S->ExecuteButton, Qt::LeftButton);
    });
    WhenModal<QMessageBox>([&](QMessageBox *B) {
        Told = B->icon() == QMessageBox::Critical;
        B->accept();
    });
    F.ExecSQL0->trigger();
    EXPECT_TRUE(Told);
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(F.Workspace->TableName, "people.dbf");
    EXPECT_EQ(F.Workspace->SqlQueryMode, 0);
    EXPECT_EQ(M->rowCount(), 3);
    EXPECT_TRUE(F.EditRec0->isEnabled());

    QFile::remove(Dir.filePath("people.cfg"));
    WhenModal<TSQLForm>([](TSQLForm *S) {
        S->ComboBox1->setCurrentIndex(sdDbase); // the temporary folder's name has a point
        S->Memo1->setPlainText(
            "SELECT p.NAME, c.COUNTRY FROM people p JOIN cities c ON p.CITY = c.CITY ORDER BY 1");
        QTest::mouseClick(S->ExecuteButton, Qt::LeftButton);
    });
    F.ExecSQL0->trigger();
    EXPECT_TRUE(
        QFileInfo::exists(Dir.filePath("people.cfg"))); // the table's layout, written on close
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(F.Workspace->SqlQueryMode, 1);
    EXPECT_EQ(SQLDataBase, Dir.path());
    ASSERT_EQ(M->rowCount(), 3);
    EXPECT_EQ(M->columnCount(), 2);
    EXPECT_EQ(M->index(0, 0).data().toString(), "Berg");
    EXPECT_EQ(M->index(0, 1).data().toString(), "Norge");
    // A result takes no changes: Add and Delete are off. Edit shows the record, and a change
    // typed into it is refused with the reason; closing then gives the text up.
    EXPECT_FALSE(F.AddRec0->isEnabled());
    EXPECT_FALSE(F.DeleteRec0->isEnabled());
    ASSERT_TRUE(F.EditRec0->isEnabled());
    QString Refused;
    bool Shown = false;
    WhenModal<TEditDB>([&](TEditDB *E) {
        Shown = true;
        auto *Country = qobject_cast<QComboBox *>(E->EditorOf("COUNTRY"));
        ASSERT_TRUE(Country);
        EXPECT_EQ(Country->currentText(), "Norge");
        EXPECT_EQ(E->StatusPanel->text(), "Record 1 of 3");
        EXPECT_FALSE(E->NewButton->isEnabled());
        EXPECT_FALSE(E->DeleteButton->isEnabled());
        AnswerBox(QMessageBox::Ok, &Refused);
        Country->lineEdit()->selectAll();
        QTest::keyClicks(Country->lineEdit(), "Sverige");
        EXPECT_EQ(Country->currentText(), "Sverige"); // what was typed stays until given up
        AnswerBox(QMessageBox::No);
        QTest::mouseClick(E->CloseButton, Qt::LeftButton);
    });
    F.EditRec0->trigger();
    EXPECT_TRUE(Shown);
    EXPECT_TRUE(Refused.contains("cannot be changed") && Refused.contains("the SQL result"))
        << Refused.toStdString();
    EXPECT_FALSE(MainForm->EditDB->isVisible());
    EXPECT_EQ(M->index(0, 1).data().toString(), "Norge");
}

// Closing the window with changes the table file no longer takes asks before they are lost.
TEST_F(TableCommands, ClosingWithChangesThatCannotBeWrittenAsksFirst)
{
    TMainForm &F = *MainForm;
    WriteBytes(File(), "short"); // replaced by another program meanwhile
    AnswerBox(QMessageBox::Ok);  // the failed save
    TADOQuery &Q = F.Workspace->ADOQuery1();
    Q.Edit();
    Q.FieldByName("NAME").SetAsString("Zed");
    Q.Post();
    ASSERT_TRUE(Q.Source()->HasPendingChanges());
    QString Asked;
    AnswerBox(QMessageBox::No, &Asked);
    EXPECT_FALSE(F.close());
    EXPECT_TRUE(Asked.contains("could not be saved")) << Asked.toStdString();
}

} // namespace

// The record editor and the SQL dialog through their real controls, over real .dbf files and an
// Access fixture.

#include "data/mdb/mdbfixtures.h"
#include "modal.h"
#include "recordfixture.h"
#include "tables/recordcommands.h"
#include "tables/sqlstatement.h"
#include "tables/ui/editdb.h"
#include "tables/ui/sqlform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>

using namespace qf::tables;

namespace {

class RecordEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakePeople(Dir.path(), "('Smith', 'Oslo', 2794.13, '2017-05-24', 0, 'first'), "
                               "('Berg', 'Bergen', 123456789, NULL, 1, NULL)");
        W.RecordCommands().OnError = [this](const QString &M) { Errors << M; };
        W.OpenDBFFile(File());
        Editor = std::make_unique<TEditDB>(W);
        Editor->OnError = [this](const QString &M) { Errors << M; };
        Editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
    }
    QString File() const { return Dir.filePath("people.dbf"); }
    QComboBox *Combo(const char *Name) { return qobject_cast<QComboBox *>(Editor->EditorOf(Name)); }
    void Type(const char *Field, const QString &Text)
    {
        QLineEdit *Edit = Combo(Field)->lineEdit();
        Edit->setFocus();
        Edit->selectAll();
        QTest::keyClick(Edit, Qt::Key_Delete);
        QTest::keyClicks(Edit, Text);
    }
    QTemporaryDir Dir;
    TTableWorkspace W;
    std::unique_ptr<TEditDB> Editor;
    QStringList Errors;
};

TEST_F(RecordEditor, OneEditorPerFieldLaidOutByWidth)
{
    ASSERT_EQ(Editor->Editors.size(), 6u);
    EXPECT_TRUE(Combo("NAME") && Combo("CITY") && Combo("AMOUNT") && Combo("BORN"));
    EXPECT_TRUE(qobject_cast<QCheckBox *>(Editor->EditorOf("MEMBER")));
    auto *Memo = qobject_cast<QPlainTextEdit *>(Editor->EditorOf("NOTE"));
    ASSERT_TRUE(Memo);
    EXPECT_EQ(Memo->height(), 89);
    EXPECT_EQ(Editor->Labels[4]->text(), ""); // a logical field's name is on its check box
    EXPECT_EQ(Combo("NAME")->currentText(), "Smith");
    EXPECT_EQ(Combo("NAME")->count(), 2); // the pick list
    EXPECT_EQ(Combo("NAME")->y(), 22);
    EXPECT_EQ(Combo("CITY")->x(), Combo("NAME")->x() + Combo("NAME")->width() + 10);
    // Each box shows its whole value from the start, and a number box the field's whole width.
    const auto Shows = [](QLineEdit *Edit, const QString &Text) {
        return Edit->fontMetrics().horizontalAdvance(Text) + 5 <= Edit->contentsRect().width();
    };
    for (int Record : {2, 1}) {
        W.ADOQuery1().SetRecNo(Record);
        for (const char *Name : {"NAME", "CITY", "AMOUNT", "BORN"}) {
            QLineEdit *Edit = Combo(Name)->lineEdit();
            EXPECT_TRUE(Shows(Edit, Edit->text())) << Name << " " << Edit->text().toStdString();
            EXPECT_EQ(Edit->cursorPosition(), 0) << Name;
        }
    }
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "2794.13");
    EXPECT_TRUE(Shows(Combo("AMOUNT")->lineEdit(), QString(15, '8')));
    // The last editor reaches to 25 pixels short of the scroll box's right edge.
    QWidget *Last = Editor->Editors.back();
    EXPECT_EQ(Last->x() + Last->width(), Editor->ScrollBox1->viewport()->width() - 25);
    EXPECT_EQ(Editor->StatusPanel->text(), "Record 1 of 2");
    EXPECT_FALSE(Editor->ApplyButton->isEnabled());
    EXPECT_TRUE(Editor->NewButton->isEnabled());
}

TEST_F(RecordEditor, TypedValuesArePostedAndWritten)
{
    Type("NAME", "Smythe");
    EXPECT_TRUE(Editor->ApplyButton->isEnabled());
    EXPECT_FALSE(Editor->NewButton->isEnabled());
    auto *Member = qobject_cast<QCheckBox *>(Editor->EditorOf("MEMBER"));
    QTest::mouseClick(Member, Qt::LeftButton, {}, QPoint(6, Member->height() / 2)); // on the box
    EXPECT_TRUE(Member->isChecked());
    Type("AMOUNT", "12.5");
    QTest::mouseClick(Editor->ApplyButton, Qt::LeftButton);
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    EXPECT_FALSE(Editor->ApplyButton->isEnabled());
    EXPECT_EQ(Combo("NAME")->itemText(0), "Smythe"); // new values go to the top of the list
    const QJsonArray Row = StoredRecords(File())[0].toArray();
    EXPECT_EQ(Row[0].toString(), "Smythe");
    EXPECT_DOUBLE_EQ(Row[2].toDouble(), 12.5);
    EXPECT_EQ(Row[4].toBool(), true);
    EXPECT_EQ(Row[5].toString(), "first");

    // New shows the new record as it will be saved: empty, but for the template fields carried
    // over; the navigator saves before it moves.
    QTest::mouseClick(Editor->NewButton, Qt::LeftButton);
    EXPECT_EQ(Combo("NAME")->currentText(), "");
    EXPECT_EQ(Editor->StatusPanel->text(), "Record -1 of 2");
    QTest::mouseClick(Editor->RestoreButton, Qt::LeftButton);
    W.FieldInfo[1].Template = W.FieldInfo[4].Template = 1;
    QTest::mouseClick(Editor->NewButton, Qt::LeftButton);
    EXPECT_EQ(Combo("CITY")->currentText(), "Oslo");
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "");
    EXPECT_TRUE(Member->isChecked());
    Type("NAME", "Dahl");
    QTest::mouseClick(Editor->NavFirst, Qt::LeftButton);
    EXPECT_EQ(Combo("NAME")->currentText(), "Smythe");
    const QJsonArray Rows = StoredRecords(File());
    ASSERT_EQ(Rows.size(), 3);
    EXPECT_EQ(Rows[2].toArray()[0].toString(), "Dahl");
    EXPECT_EQ(Rows[2].toArray()[1].toString(), "Oslo");
}

TEST_F(RecordEditor, AutocompleteFromThePickListUnlessSwitchedOffOrDeleting)
{
    Type("CITY", "Be");
    EXPECT_EQ(Combo("CITY")->currentText(), "Bergen");
    QTest::keyClick(Combo("CITY")->lineEdit(), Qt::Key_Backspace); // the completed part goes
    QTest::keyClick(Combo("CITY")->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(Combo("CITY")->currentText(), "B");
    W.FieldInfo[1].Autocomplete = 0;
    Type("CITY", "Be");
    EXPECT_EQ(Combo("CITY")->currentText(), "Be");
}

TEST_F(RecordEditor, RefusedPostKeepsTheTypedValues)
{
    AppendBehindTheBack(File());
    Type("NAME", "Typed");
    QTest::mouseClick(Editor->ApplyButton, Qt::LeftButton);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"people.dbf\""));
    EXPECT_EQ(Combo("NAME")->currentText(), "Typed");
    EXPECT_EQ(W.ADOQuery1().FieldByName("NAME").AsString(), "Typed");
    EXPECT_TRUE(W.ADOQuery1().Source()->HasPendingChanges());

    // A value the field cannot take: the record stays in edit with the text in its editor.
    Errors.clear();
    Type("AMOUNT", "lots");
    QTest::mouseClick(Editor->ApplyButton, Qt::LeftButton);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("lots"));
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "lots");
    EXPECT_TRUE(Editor->ApplyButton->isEnabled());
    // Moving away does not drop it either.
    QTest::mouseClick(Editor->NavNext, Qt::LeftButton);
    EXPECT_EQ(W.ADOQuery1().RecNo(), 1);
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "lots");
}

TEST_F(RecordEditor, ReadOnlyResultKeepsTypedTextAndAsksOnClose)
{
    Editor.reset();
    ExecuteSqlStatement(W, sdDbase, Dir.path(), "SELECT NAME, CITY FROM people ORDER BY NAME",
                        false);
    Editor = std::make_unique<TEditDB>(W);
    Editor->OnError = [this](const QString &M) { Errors << M; };
    Editor->show();
    ASSERT_EQ(Editor->Editors.size(), 2u);
    EXPECT_FALSE(Editor->NewButton->isEnabled());
    EXPECT_FALSE(Editor->DeleteButton->isEnabled());
    Type("CITY", "Molde");
    ASSERT_EQ(Errors.size(), 1); // said once, not per key
    EXPECT_TRUE(Errors[0].contains("the SQL result"));
    QTest::mouseClick(Editor->ApplyButton, Qt::LeftButton);
    EXPECT_EQ(Errors.size(), 2);
    EXPECT_EQ(Combo("CITY")->currentText(), "Molde");

    // Close asks; Cancel keeps the dialog and the text, No gives the text up.
    WhenModal<QMessageBox>([](QMessageBox *Box) {
        EXPECT_EQ(Box->text(), "Save Changes?");
        Box->button(QMessageBox::Cancel)->click();
    });
    QTest::mouseClick(Editor->CloseButton, Qt::LeftButton);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    EXPECT_TRUE(Editor->isVisible());
    EXPECT_EQ(Combo("CITY")->currentText(), "Molde");
    WhenModal<QMessageBox>([](QMessageBox *Box) { Box->button(QMessageBox::No)->click(); });
    QTest::mouseClick(Editor->CloseButton, Qt::LeftButton);
    EXPECT_FALSE(Editor->isVisible());
    EXPECT_EQ(Combo("CITY")->currentText(), "Bergen");
}

TEST(RecordEditorAccess, ReadOnlyTableRefusesWithTheTableNameAndKeepsTheText)
{
    REQUIRE_MDB_FIXTURES();
    // A copy: the workspace writes the table's layout file beside it.
    QTemporaryDir Dir;
    const QString Fruit = Dir.filePath("fruit.mdb");
    ASSERT_TRUE(QFile::copy(MdbFixture("fruit.mdb"), Fruit));
    const QByteArray Before = FileHash(Fruit);
    TTableWorkspace W;
    QStringList Errors;
    W.RecordCommands().OnError = [&](const QString &M) { Errors << M; };
    W.OnSelectTable = [](const QStringList &Names, QString &Chosen) {
        Chosen = "Fruit";
        return Names.contains(Chosen);
    };
    ASSERT_TRUE(W.OpenAccessFile(Fruit));
    EXPECT_FALSE(W.RecordCommands().CanEdit());
    EXPECT_FALSE(W.RecordCommands().CanAdd());
    EXPECT_FALSE(W.RecordCommands().CanDelete());
    EXPECT_FALSE(W.RecordCommands().AddRecord());
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"Fruit\"") && Errors[0].contains("read-only"))
        << Errors[0].toStdString();

    TEditDB Editor(W);
    Editor.OnError = [&](const QString &M) { Errors << M; };
    Editor.show();
    EXPECT_FALSE(Editor.NewButton->isEnabled());
    EXPECT_FALSE(Editor.DeleteButton->isEnabled());
    QComboBox *Text = nullptr;
    for (QWidget *E : Editor.Editors)
        if (!Text)
            Text = qobject_cast<QComboBox *>(E);
    ASSERT_TRUE(Text);
    Text->lineEdit()->selectAll();
    QTest::keyClicks(Text->lineEdit(), "Kiwi");
    ASSERT_EQ(Errors.size(), 2);
    EXPECT_TRUE(Errors[1].contains("\"Fruit\""));
    QTest::mouseClick(Editor.ApplyButton, Qt::LeftButton);
    EXPECT_EQ(Errors.size(), 3);
    EXPECT_EQ(Text->currentText(), "Kiwi");
    EXPECT_TRUE(Editor.ApplyButton->isEnabled());
    QTest::mouseClick(Editor.RestoreButton, Qt::LeftButton);
    EXPECT_NE(Text->currentText(), "Kiwi");
    W.Close();
    EXPECT_EQ(FileHash(Fruit), Before);
}

TEST(SqlDialog, SavesAndLoadsSqlFiles)
{
    QTemporaryDir Dir;
    TSQLForm Form;
    QStringList Dirs;
    Form.OnSQLFileDirChanged = [&](const QString &D) { Dirs << D; };
    Form.SQLDataBase = Dir.path();
    Form.SQLFileDir = Dir.path();
    const QString Join =
        "SELECT p.NAME, c.COUNTRY FROM people p JOIN cities c ON c.CITY = p.CITY ORDER BY p.NAME";
    QTemporaryDir Queries;

    WhenModal<TSQLForm>([&](TSQLForm *F) {
        EXPECT_EQ(F->ComboBox1->currentIndex(), int(sdDbase)); // a path without extension
        EXPECT_EQ(F->Edit1->text(), Dir.path());
        QTest::keyClicks(F->Memo1, Join);
        WhenModal<QFileDialog>([&](QFileDialog *D) {
            EXPECT_EQ(D->windowTitle(), "Save Query As");
            D->selectFile(Queries.filePath("join"));
            static_cast<QDialog *>(D)->accept();
        });
        F->SaveButton->click();
        F->Memo1->clear();
        WhenModal<QFileDialog>([&](QFileDialog *D) {
            EXPECT_EQ(D->windowTitle(), "Open Query");
            D->selectFile(Queries.filePath("join.sql"));
            static_cast<QDialog *>(D)->accept();
        });
        F->LoadButton->click();
        EXPECT_EQ(F->Memo1->toPlainText(), Join);
        F->ExecuteButton->click();
    });
    ASSERT_EQ(Form.exec(), QDialog::Accepted);
    EXPECT_EQ(ReadSqlFile(Queries.filePath("join.sql")), Join); // ".sql" added to the chosen name
    EXPECT_EQ(Dirs, QStringList({Queries.path() + "/", Queries.path() + "/"}));
}

} // namespace

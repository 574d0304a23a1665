// The record editor and the SQL dialog through their real controls, over real .dbf files and an
// Access fixture.

#include "data/mdb/mdbfixtures.h"
#include "modal.h"
#include "recordfixture.h"
#include "tables/recordcommands.h"
#include "tables/sqlstatement.h"
#include "tables/ui/editdb.h"
#include "tables/ui/sqlform.h"

#include <QApplication>
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
        Show();
    }
    void Show()
    {
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
    void Click(QAbstractButton *Button) { QTest::mouseClick(Button, Qt::LeftButton); }
    QTemporaryDir Dir;
    TTableWorkspace W;
    std::unique_ptr<TEditDB> Editor;
    QStringList Errors;
};

TEST_F(RecordEditor, EachBoxShowsItsWholeValueFromTheStart)
{
    ASSERT_EQ(Editor->Editors.size(), 6u);
    EXPECT_EQ(Combo("NAME")->count(), 2); // the pick list
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
    // A number box the field's whole width; the last editor reaches to 25 pixels short of the
    // scroll box's right edge.
    EXPECT_TRUE(Shows(Combo("AMOUNT")->lineEdit(), QString(15, '8')));
    QWidget *Last = Editor->Editors.back();
    EXPECT_EQ(Last->x() + Last->width(), Editor->ScrollBox1->viewport()->width() - 25);
    EXPECT_EQ(Editor->StatusPanel->text(), "Record 1 of 2");
}

TEST_F(RecordEditor, TypedValuesArePostedAndNewShowsWhatIsSaved)
{
    Type("NAME", "Smythe");
    EXPECT_FALSE(Editor->NewButton->isEnabled());
    auto *Member = qobject_cast<QCheckBox *>(Editor->EditorOf("MEMBER"));
    QTest::mouseClick(Member, Qt::LeftButton, {}, QPoint(6, Member->height() / 2)); // on the box
    Type("AMOUNT", "12.5");
    Click(Editor->ApplyButton);
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    EXPECT_EQ(Combo("NAME")->itemText(0), "Smythe"); // new values go to the top of the list
    const QJsonArray Row = StoredRecords(File())[0].toArray();
    EXPECT_EQ(Row, QJsonArray({"Smythe", "Oslo", 12.5, "2017-05-24", true, "first"}));

    // New shows the new record as it will be saved: empty, but for the template fields carried
    // over; the navigator saves before it moves.
    Click(Editor->NewButton);
    EXPECT_EQ(Combo("NAME")->currentText(), "");
    EXPECT_EQ(Editor->StatusPanel->text(), "Record -1 of 2");
    Click(Editor->RestoreButton);
    W.FieldInfo[1].Template = W.FieldInfo[4].Template = 1;
    Click(Editor->NewButton);
    EXPECT_EQ(Combo("CITY")->currentText(), "Oslo");
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "");
    EXPECT_TRUE(Member->isChecked());
    Type("NAME", "Dahl");
    Click(Editor->NavFirst);
    EXPECT_EQ(Combo("NAME")->currentText(), "Smythe");
    const QJsonArray Rows = StoredRecords(File());
    ASSERT_EQ(Rows.size(), 3);
    EXPECT_EQ(Rows[2][0].toString(), "Dahl");
    EXPECT_EQ(Rows[2][1].toString(), "Oslo");
}

TEST_F(RecordEditor, RefusedPostKeepsTheTypedValues)
{
    AppendBehindTheBack(File());
    Type("NAME", "Typed");
    Click(Editor->ApplyButton);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_EQ(Combo("NAME")->currentText(), "Typed");
    EXPECT_TRUE(W.ADOQuery1().Source()->HasPendingChanges());

    // A value the field cannot take: the record stays in edit with the text in its editor, also
    // when the navigator tries to move away.
    Type("AMOUNT", "lots");
    Click(Editor->ApplyButton);
    ASSERT_EQ(Errors.size(), 2);
    EXPECT_TRUE(Errors[1].contains("lots"));
    Click(Editor->NavNext);
    EXPECT_EQ(W.ADOQuery1().RecNo(), 1);
    EXPECT_EQ(Combo("AMOUNT")->currentText(), "lots");
    EXPECT_TRUE(Editor->ApplyButton->isEnabled());
}

TEST_F(RecordEditor, ReadOnlyResultKeepsTypedTextAndAsksOnClose)
{
    Editor.reset();
    ExecuteSqlStatement(W, sdDbase, Dir.path(), "SELECT NAME, CITY FROM people ORDER BY NAME",
                        false);
    Show();
    EXPECT_FALSE(Editor->NewButton->isEnabled());
    EXPECT_FALSE(Editor->DeleteButton->isEnabled());
    Type("CITY", "Molde");
    ASSERT_EQ(Errors.size(), 1); // said once, not per key
    EXPECT_TRUE(Errors[0].contains("the SQL result"));
    // Close asks; Cancel keeps the dialog and the text, No gives the text up.
    WhenModal<QMessageBox>([](QMessageBox *Box) { Box->button(QMessageBox::Cancel)->click(); });
    Click(Editor->CloseButton);
    EXPECT_TRUE(Editor->isVisible());
    EXPECT_EQ(Combo("CITY")->currentText(), "Molde");
    WhenModal<QMessageBox>([](QMessageBox *Box) { Box->button(QMessageBox::No)->click(); });
    Click(Editor->CloseButton);
    EXPECT_FALSE(Editor->isVisible());
    EXPECT_EQ(Combo("CITY")->currentText(), "Bergen");
}

TEST(RecordEditorAutocomplete, AnEntryEqualToTheTypedTextWinsOverALongerOne)
{
    // The pick lists take the table's order: the longer entry comes first.
    QTemporaryDir Dir;
    const std::vector<TRawField> Fields = {{"NAME", 'C', 12}, {"AMOUNT", 'N', 10, 2}};
    const QString File = Dir.filePath("prices.dbf");
    WriteBytes(File, RawDbf(0x03, Fields,
                            {RawRecord(Fields, {"Anna Lee", "10.11"}),
                             RawRecord(Fields, {"Anna", "10.10"})}));
    TTableWorkspace W;
    QStringList Errors;
    W.RecordCommands().OnError = [&](const QString &M) { Errors << M; };
    W.OpenDBFFile(File);
    TEditDB Editor(W);
    Editor.OnError = [&](const QString &M) { Errors << M; };
    Editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Editor));
    auto *Name = qobject_cast<QComboBox *>(Editor.EditorOf("NAME"));
    auto *Amount = qobject_cast<QComboBox *>(Editor.EditorOf("AMOUNT"));
    ASSERT_TRUE(Name && Amount);
    ASSERT_EQ(Amount->itemText(0), "10.11");
    ASSERT_EQ(Amount->itemText(1), "10.1");

    // Typed as a user types: into the box that has the focus.
    const auto Type = [](QComboBox *Box, const QString &Text) {
        Box->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([Box] { return Box->hasFocus(); }));
        QTest::keyClicks(QApplication::focusWidget(), Text);
        return Box->currentText();
    };
    QTest::mouseClick(Editor.NewButton, Qt::LeftButton);
    EXPECT_EQ(Type(Amount, "10.1"), "10.1");
    EXPECT_EQ(Type(Name, "Anna"), "Anna");
    QTest::mouseClick(Editor.ApplyButton, Qt::LeftButton);
    ASSERT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    const QJsonArray Rows = StoredRecords(File);
    ASSERT_EQ(Rows.size(), 3);
    EXPECT_EQ(Rows[2].toArray(), QJsonArray({"Anna", 10.1}));

    // Completion still offers the first entry that starts with what was typed.
    QTest::mouseClick(Editor.NewButton, Qt::LeftButton);
    EXPECT_EQ(Type(Amount, "10."), "10.11");
    EXPECT_EQ(Amount->lineEdit()->selectedText(), "11");
    EXPECT_EQ(Type(Name, "An"), "Anna Lee");
    // The field's Autocomplete flag off: nothing completes.
    W.FieldInfo[1].Autocomplete = 0;
    Amount->lineEdit()->clear();
    EXPECT_EQ(Type(Amount, "10."), "10.");
    QTest::mouseClick(Editor.RestoreButton, Qt::LeftButton);
    W.Close();
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
    W.OnSelectTable = [](const QStringList &, QString &Chosen) {
        return !(Chosen = "Fruit").isEmpty();
    };
    ASSERT_TRUE(W.OpenAccessFile(Fruit));
    EXPECT_TRUE(W.RecordCommands().CanEdit()); // shown, and each change refused
    EXPECT_FALSE(W.RecordCommands().CanAdd() || W.RecordCommands().CanDelete() ||
                 W.RecordCommands().AddRecord());
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("\"Fruit\"") && Errors[0].contains("read-only"))
        << Errors[0].toStdString();

    TEditDB Editor(W);
    Editor.OnError = [&](const QString &M) { Errors << M; };
    Editor.show();
    EXPECT_FALSE(Editor.NewButton->isEnabled());
    EXPECT_FALSE(Editor.DeleteButton->isEnabled());
    auto *Text = qobject_cast<QComboBox *>(Editor.Editors[1]);
    ASSERT_TRUE(Text);
    Text->lineEdit()->selectAll();
    QTest::keyClicks(Text->lineEdit(), "Kiwi");
    QTest::mouseClick(Editor.ApplyButton, Qt::LeftButton);
    ASSERT_EQ(Errors.size(), 3);
    EXPECT_TRUE(Errors[1].contains("\"Fruit\""));
    EXPECT_EQ(Text->currentText(), "Kiwi");
    QTest::mouseClick(Editor.RestoreButton, Qt::LeftButton);
    EXPECT_NE(Text->currentText(), "Kiwi");
    W.Close();
    EXPECT_EQ(FileHash(Fruit), Before);
}

TEST(SqlDialog, SavesAndLoadsSqlFiles)
{
    QTemporaryDir Dir, Queries;
    TSQLForm Form;
    QStringList Dirs;
    Form.OnSQLFileDirChanged = [&](const QString &D) { Dirs << D; };
    Form.SQLDataBase = Form.SQLFileDir = Dir.path();
    const QString Join = "SELECT p.NAME FROM people p JOIN cities c ON c.CITY = p.CITY";
    const auto Choose = [&](const QString &Name) {
        WhenModal<QFileDialog>([File = Queries.filePath(Name)](QFileDialog *D) {
            D->selectFile(File);
            static_cast<QDialog *>(D)->accept();
        });
    };
    WhenModal<TSQLForm>([&](TSQLForm *F) {
        EXPECT_EQ(F->ComboBox1->currentIndex(), int(sdDbase)); // a path without extension
        QTest::keyClicks(F->Memo1, Join);
        Choose("join");
        F->SaveButton->click();
        F->Memo1->clear();
        Choose("join.sql");
        F->LoadButton->click();
        EXPECT_EQ(F->Memo1->toPlainText(), Join);
        F->ExecuteButton->click();
    });
    ASSERT_EQ(Form.exec(), QDialog::Accepted);
    EXPECT_EQ(ReadSqlFile(Queries.filePath("join.sql")), Join); // ".sql" added to the chosen name
    EXPECT_EQ(Dirs, QStringList({Queries.path() + "/", Queries.path() + "/"}));
}

} // namespace

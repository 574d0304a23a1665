// The calculated-field and filter pages in the real main window, offscreen: names added through
// the one-line input dialog, refused and duplicate names, order, expression and type committed to
// the project store, deletion; the filter applied at opening and Reopen, its failure asked about
// with the caret at the fault, and a calculated field inside the filter.

#include "calcfixture.h"
#include "composer/project.h"
#include "dbforacle.h"
#include "modal.h"
#include "shell/addwordform.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "tables/calc/calcfields.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace qf;
using namespace qf::shell;
using namespace qf::tables;
using calctest::TRow;

namespace {

class CalcUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        Form = std::make_unique<TMainForm>();
        AddWordForm = new TAddWordForm(Form.get());
        Form->show();
        // Focus changes (the memo's commit) need the window active.
        Activate();
        Page = Form->CalcFieldPage;
        calctest::WriteTable(
            Dir.filePath("people.dbf"),
            {Def("NAME", dtC, 12), Def("CITY", dtC, 12), Def("AMOUNT", dtN), Def("DUE", dtD)},
            {TRow{"Smith", "Berlin", "10.5", "20240105"}, TRow{"anna", "Hamburg", "3", "20230301"},
             TRow{std::nullopt, std::nullopt, std::nullopt, std::nullopt},
             TRow{"Bob", "Berlin", "-2.25", "20241231"}, TRow{"Zoe", "Koeln", "1000", "19991231"}});
    }
    void TearDown() override
    {
        Form.reset();
        AddWordForm = nullptr;
        TableName.clear();
        SqlQueryMode = 0;
    }
    void Activate()
    {
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    }
    // Under load the window may still be taking back its activation from the dialogs.
    void Focus(QWidget *Widget)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] {
            Form->activateWindow();
            Widget->setFocus();
            return QApplication::focusWidget() == Widget;
        }));
    }
    // Add with Name typed into the input dialog; the message it brings is kept in Message.
    void Add(const QString &Name, QString *Message = nullptr)
    {
        WhenModal<TAddWordForm>([Name](TAddWordForm *Dialog) {
            QTest::keyClicks(Dialog->Edit1, Name);
            QTest::keyClick(Dialog->Edit1, Qt::Key_Return);
        });
        if (Message)
            WhenModal<QMessageBox>([Message](QMessageBox *Box) {
                *Message = Box->text();
                Box->accept();
            });
        QTest::mouseClick(Page->Button8, Qt::LeftButton);
    }
    QStringList Names() const
    {
        QStringList List;
        for (int i = 0; i < Page->ListBox1->count(); ++i)
            List << Page->ListBox1->item(i)->text();
        return List;
    }
    void Select(int Row)
    {
        QTest::mouseClick(Page->ListBox1->viewport(), Qt::LeftButton, {},
                          Page->ListBox1->visualItemRect(Page->ListBox1->item(Row)).center());
    }
    int Rows() const { return Form->RxDBGrid1->model()->rowCount(); }
    void SetFilter(const QString &Text)
    {
        Form->Memo1->clear();
        QTest::keyClicks(Form->Memo1, Text);
    }

    QTemporaryDir Dir;
    std::unique_ptr<TMainForm> Form;
    TCalcFieldPage *Page = nullptr;
};

} // namespace

TEST_F(CalcUi, AddEditTypeAndDeleteThroughThePage)
{
    Form->CalcFieldsView0->trigger();
    EXPECT_FALSE(Page->Memo2->isEnabled());
    Add("Total");
    EXPECT_EQ(Page->Selected(), "TOTAL");
    EXPECT_TRUE(Page->Memo2->isEnabled());
    EXPECT_TRUE(Form->FModified);

    // A name already there (in any case) and a name against the rules change nothing.
    QString Message;
    Add("total", &Message);
    EXPECT_EQ(Message, "Field \"total\" already exists");
    Add("2nd", &Message);
    EXPECT_EQ(Message, "Invalid Name");
    for (const char *Name : {"a_b", "ab", "a"})
        Add(Name);
    EXPECT_EQ(Names(), QStringList({"A", "AB", "A_B", "TOTAL"}));

    // The expression goes to the store when the memo loses the focus; the type at once.
    Select(3);
    Focus(Page->Memo2);
    QTest::keyClicks(Page->Memo2, "AMOUNT * 2");
    QString Stored;
    ASSERT_TRUE(Form->CalcFields->Expression("TOTAL", Stored));
    EXPECT_TRUE(Stored.isEmpty());
    Form->FModified = false;
    Focus(Page->ComboBox1);
    QTest::keyClick(Page->ComboBox1, Qt::Key_Up); // String -> Boolean
    QTest::keyClick(Page->ComboBox1, Qt::Key_Up); // -> Float
    EXPECT_TRUE(Form->FModified);                 // a type change alone is a change too
    ASSERT_TRUE(Form->CalcFields->Expression("TOTAL", Stored));
    EXPECT_EQ(Stored, "AMOUNT * 2");
    int32_t Type = -1;
    ASSERT_TRUE(Form->CalcFields->TypeCode("TOTAL", Type));
    EXPECT_EQ(Type, cfFloat);

    // Selecting another name shows its own item; coming back shows the stored one.
    Select(0);
    EXPECT_TRUE(Page->Memo2->toPlainText().isEmpty());
    Select(3);
    EXPECT_EQ(Page->Memo2->toPlainText(), "AMOUNT * 2");

    // Deleting the last name selects the new last one; deleting another selects the one that
    // took its place; deleting every name leaves nothing.
    QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_EQ(Page->Selected(), "A_B");
    EXPECT_FALSE(Form->CalcFields->Exists("TOTAL"));
    Select(1);
    QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_EQ(Page->Selected(), "A_B");
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_FALSE(Page->Memo2->isEnabled());
}

// Delete, the expression and the type follow the selection whatever refilled the list: a project
// opened whole, a damaged one, a new one.
TEST_F(CalcUi, ControlsFollowTheSelectionAfterEveryRefill)
{
    Form->CalcFieldsView0->trigger();
    Add("Total");
    Focus(Page->Memo2);
    QTest::keyClicks(Page->Memo2, "AMOUNT * 2");
    const QString Saved = Dir.filePath("saved.qfx");
    Form->Project->ProjectFileName = Saved;
    ASSERT_TRUE(Form->Project->SaveProject());
    auto Enabled = [this] {
        return QList<bool>{Page->Button14->isEnabled(), Page->Memo2->isEnabled(),
                           Page->ComboBox1->isEnabled()};
    };
    const QList<bool> On{true, true, true}, Off{false, false, false};
    ASSERT_EQ(Enabled(), On);

    // Cut off before its first item: nothing can be read, nothing is selected.
    {
        QFile Damaged(Dir.filePath("damaged.qfx"));
        ASSERT_TRUE(Damaged.open(QIODevice::WriteOnly));
        Damaged.write(QByteArray("\x01\0\0\0\x07\0\0", 7));
    }
    QString Message;
    AnswerBox(QMessageBox::Ok, &Message);
    Form->Project->OpenMailFile(Dir.filePath("damaged.qfx"));
    EXPECT_TRUE(Message.contains("damaged.qfx")) << Message.toStdString();
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_EQ(Enabled(), Off);
    EXPECT_TRUE(Page->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(Page->ComboBox1->currentIndex(), -1);
    QTest::mouseClick(Page->Button14, Qt::LeftButton); // does nothing, says nothing

    // A whole project selects its first field; New leaves nothing to delete.
    Form->Project->OpenMailFile(Saved);
    EXPECT_EQ(Page->Selected(), "TOTAL");
    EXPECT_EQ(Page->Memo2->toPlainText(), "AMOUNT * 2");
    EXPECT_EQ(Enabled(), On);
    Form->Project->ResetModified();
    Form->NewProject0->trigger();
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_EQ(Enabled(), Off);
}

TEST_F(CalcUi, FilterAppliedAtOpeningAndReopenAndItsFailureAsked)
{
    Form->Filter0->trigger();
    SetFilter("CITY = 'Berlin'");
    QTest::keyClick(Form->UseFilter, Qt::Key_Space);
    Form->OpenDBFFile(Dir.filePath("people.dbf"));
    ASSERT_TRUE(Form->Workspace->Active());
    EXPECT_EQ(Rows(), 2);

    // A calculated field inside the filter.
    Form->CalcFields->Add("BIG");
    Form->CalcFields->SetTypeCode("BIG", cfBoolean);
    Form->CalcFields->SetExpression("BIG", "AMOUNT * 2 > 10");
    SetFilter("BIG and not(NAME = 'Zoe')");
    Form->Reopen0->trigger();
    EXPECT_EQ(Rows(), 1);

    // A filter that does not compile asks at the first record, with the caret after the fault;
    // Yes shows every record.
    Form->DBView0->trigger();
    SetFilter("AMOUNT >");
    QTest::keyClick(Form->Memo1, Qt::Key_Return);
    QTest::keyClicks(Form->Memo1, "  * 1");
    QString Question;
    int Caret = -1;
    bool OnFilterPage = false;
    WhenModal<QMessageBox>([&](QMessageBox *Box) {
        Question = Box->text();
        OnFilterPage = Form->PageControl1->currentWidget() == Form->TabSheet9;
        Caret = Form->Memo1->textCursor().position();
        QTest::mouseClick(Box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    Form->Reopen0->trigger();
    EXPECT_TRUE(Question.startsWith("Error in Filter Expression With Description:\n\"Line 2, Col "))
        << Question.toStdString();
    EXPECT_TRUE(OnFilterPage);
    EXPECT_EQ(Caret, 12); // after the "*" on the second line
    EXPECT_EQ(Rows(), 5);
}

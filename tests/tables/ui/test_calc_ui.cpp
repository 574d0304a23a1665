// The calculated-field and filter pages in the real main window, offscreen: names added through
// the one-line input dialog, refused and duplicate names, order, expression and type committed to
// the project store, deletion; the filter applied at opening and Reopen, its failure asked about
// with the caret at the fault, and a calculated field inside the filter.

#include "calcfixture.h"
#include "modal.h"
#include "shell/addwordform.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/ui/filterpage.h"
#include "tables/workspace.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qf;
using namespace qf::shell;
using namespace qf::tables;
using calctest::TRow;

namespace {

// Types Name into the input dialog and presses Enter; the dialog's caption is kept in Caption.
void TypeName(const QString &Name, QString *Caption = nullptr)
{
    WhenModal<TAddWordForm>([Name, Caption](TAddWordForm *Dialog) {
        if (Caption)
            *Caption = Dialog->windowTitle();
        QTest::keyClicks(Dialog->Edit1, Name);
        QTest::keyClick(Dialog->Edit1, Qt::Key_Return);
    });
}

// Answers the next message box with Button and keeps its text.
void Answer(QMessageBox::StandardButton Button, QString *Text)
{
    WhenModal<QMessageBox>([Button, Text](QMessageBox *Box) {
        *Text = Box->text();
        QTest::mouseClick(Box->button(Button), Qt::LeftButton);
    });
}

class CalcUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        Form = std::make_unique<TMainForm>();
        AddWordForm = new TAddWordForm(Form.get());
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        // Focus changes (the memo's commit) need the window active.
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        Page = Form->CalcFieldPage;
        std::vector<TFieldDefRec> Defs(4);
        const char *Names[] = {"NAME", "CITY", "AMOUNT", "DUE"};
        const TDbfType Kinds[] = {dtC, dtC, dtN, dtD};
        for (size_t i = 0; i < Defs.size(); ++i) {
            Defs[i].Name = QString::fromLatin1(Names[i]);
            Defs[i].Kind = Kinds[i];
            Defs[i].Size = 12;
        }
        calctest::WriteTable(
            Dir.filePath("people.dbf"), Defs,
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
    QStringList Names() const
    {
        QStringList List;
        for (int i = 0; i < Page->ListBox1->count(); ++i)
            List << Page->ListBox1->item(i)->text();
        return List;
    }
    int Rows() const { return Form->RxDBGrid1->model()->rowCount(); }
    void SetFilter(const QString &Text)
    {
        Form->Memo1->clear();
        const QStringList Lines = Text.split(u'\n');
        for (int i = 0; i < Lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(Form->Memo1, Qt::Key_Return);
            QTest::keyClicks(Form->Memo1, Lines[i]);
        }
    }

    QTemporaryDir Dir;
    std::unique_ptr<TMainForm> Form;
    TCalcFieldPage *Page = nullptr;
};

} // namespace

TEST_F(CalcUi, AddEditTypeAndDeleteThroughThePage)
{
    Form->CalcFieldsView0->trigger();
    EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet7);
    EXPECT_TRUE(Page->Button8->isEnabled());
    EXPECT_FALSE(Page->Button14->isEnabled());
    EXPECT_FALSE(Page->Memo2->isEnabled());

    QString Caption;
    TypeName("Total", &Caption);
    QTest::mouseClick(Page->Button8, Qt::LeftButton);
    EXPECT_EQ(Caption, "Add Field");
    EXPECT_EQ(Names(), QStringList({"TOTAL"}));
    EXPECT_EQ(Page->Selected(), "TOTAL");
    EXPECT_TRUE(Page->Memo2->isEnabled() && Page->Button14->isEnabled());
    EXPECT_EQ(Page->ComboBox1->currentText(), "String");
    EXPECT_TRUE(Page->Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(Form->FModified);

    // A name already there (in any case) and a name against the rules change nothing.
    QString Message;
    TypeName("total");
    Answer(QMessageBox::Ok, &Message);
    QTest::mouseClick(Page->Button8, Qt::LeftButton);
    EXPECT_EQ(Message, "Field \"total\" already exists");
    for (const char *Bad : {"2nd", "a-b", "a b"}) {
        TypeName(Bad);
        Answer(QMessageBox::Ok, &Message);
        QTest::mouseClick(Page->Button8, Qt::LeftButton);
        EXPECT_EQ(Message, "Invalid Name") << Bad;
    }
    // Cancel adds nothing.
    WhenModal<TAddWordForm>(
        [](TAddWordForm *Dialog) { QTest::keyClick(Dialog->Edit1, Qt::Key_Escape); });
    QTest::mouseClick(Page->Button8, Qt::LeftButton);
    for (const char *Name : {"a_b", "ab", "a"}) {
        TypeName(Name);
        QTest::mouseClick(Page->Button8, Qt::LeftButton);
    }
    EXPECT_EQ(Names(), QStringList({"A", "AB", "A_B", "TOTAL"}));
    EXPECT_EQ(Page->Selected(), "A");

    // The expression goes to the store when the memo loses the focus; the type at once. The
    // window is active again after the dialogs, for the focus to move.
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->FModified = false;
    QTest::mouseClick(Page->ListBox1->viewport(), Qt::LeftButton, {},
                      Page->ListBox1->visualItemRect(Page->ListBox1->item(3)).center());
    EXPECT_EQ(Page->Selected(), "TOTAL");
    EXPECT_TRUE(Page->Memo2->isEnabled());
    // Under load the window may still be taking back its activation from the dialogs.
    const auto Focus = [&](QWidget *W) {
        return QTest::qWaitFor([&] {
            Form->activateWindow();
            W->setFocus();
            return QApplication::focusWidget() == W;
        });
    };
    ASSERT_TRUE(Focus(Page->Memo2));
    QTest::keyClicks(Page->Memo2, "AMOUNT * 2");
    EXPECT_TRUE(Form->FModified);
    QString Stored;
    ASSERT_TRUE(Form->CalcFields->Expression("TOTAL", Stored));
    EXPECT_TRUE(Stored.isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), Page->Memo2);
    // A type change alone is a change of the project too.
    Form->FModified = false;
    ASSERT_TRUE(Focus(Page->ComboBox1));
    QTest::keyClick(Page->ComboBox1, Qt::Key_Up); // String -> Boolean
    QTest::keyClick(Page->ComboBox1, Qt::Key_Up); // -> Float
    ASSERT_TRUE(Form->CalcFields->Expression("TOTAL", Stored));
    EXPECT_EQ(Stored, "AMOUNT * 2");
    int32_t Type = -1;
    ASSERT_TRUE(Form->CalcFields->TypeCode("TOTAL", Type));
    EXPECT_EQ(Type, cfFloat);
    EXPECT_TRUE(Form->FModified);

    // Selecting another name shows its own item; coming back shows the stored one.
    QTest::mouseClick(Page->ListBox1->viewport(), Qt::LeftButton, {},
                      Page->ListBox1->visualItemRect(Page->ListBox1->item(0)).center());
    EXPECT_TRUE(Page->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(Page->ComboBox1->currentText(), "String");
    QTest::mouseClick(Page->ListBox1->viewport(), Qt::LeftButton, {},
                      Page->ListBox1->visualItemRect(Page->ListBox1->item(3)).center());
    EXPECT_EQ(Page->Memo2->toPlainText(), "AMOUNT * 2");
    EXPECT_EQ(Page->ComboBox1->currentText(), "Float");

    // Deleting the last name selects the new last one; deleting every name leaves nothing.
    QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_EQ(Names(), QStringList({"A", "AB", "A_B"}));
    EXPECT_EQ(Page->Selected(), "A_B");
    EXPECT_FALSE(Form->CalcFields->Exists("TOTAL"));
    // Deleting another selects the one that took its place.
    QTest::mouseClick(Page->ListBox1->viewport(), Qt::LeftButton, {},
                      Page->ListBox1->visualItemRect(Page->ListBox1->item(1)).center());
    QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_EQ(Page->Selected(), "A_B");
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(Page->Button14, Qt::LeftButton);
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_FALSE(Page->Button14->isEnabled());
    EXPECT_FALSE(Page->Memo2->isEnabled());
    EXPECT_TRUE(Page->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(Page->ComboBox1->currentIndex(), -1);
}

TEST_F(CalcUi, FilterAppliedAtOpeningAndReopenAndItsFailureAsked)
{
    Form->Filter0->trigger();
    SetFilter("CITY = 'Berlin'");
    QTest::keyClick(Form->UseFilter, Qt::Key_Space);
    EXPECT_TRUE(Form->UseFilter->isChecked());
    Form->OpenDBFFile(Dir.filePath("people.dbf"));
    ASSERT_TRUE(Form->Workspace->Active());
    EXPECT_EQ(Rows(), 2);

    // A changed text waits for Reopen, which keeps the switch.
    SetFilter("DUE < encodedate(2024, 1, 1)");
    EXPECT_EQ(Rows(), 2);
    Form->Reopen0->trigger();
    EXPECT_EQ(Rows(), 3); // the null date reads as day zero

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
    SetFilter("AMOUNT >\n  * 1");
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
    EXPECT_TRUE(Question.endsWith("\";\nDo You whant to Disable Filter?"));
    EXPECT_TRUE(OnFilterPage);
    EXPECT_EQ(Caret, 12); // after the "*" on the second line
    EXPECT_EQ(Rows(), 5);

    // "Use Filter" off: nothing is evaluated, nothing asked.
    QTest::keyClick(Form->UseFilter, Qt::Key_Space);
    EXPECT_FALSE(Form->UseFilter->isChecked());
    Form->Reopen0->trigger();
    EXPECT_EQ(Rows(), 5);
    Form->CloseDB0->trigger();
    EXPECT_FALSE(Form->Workspace->Active());
}

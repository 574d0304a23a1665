// The main window's commands through its real widgets: the items following the enabling rule as
// the focus, the pages and the table change, the editing commands acting on the focused editor
// from the menu, the tool bars and the pop-up menus.

#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shelltest.h"
#include "tables/ui/calcfieldpage.h"
#include "tables/workspace.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qftest;

namespace {

class ShellCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForgetSettings();
        F = std::make_unique<TMainForm>();
        F->show();
        F->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(F.get()));
        // The HTML editor's first document, which takes the source's text, is in.
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return !F->Views->FFirstDocumentLoad && F->DomWork->Ready; }, 20000));
    }
    void TearDown() override
    {
        F.reset();
        ForgetSettings();
    }

    void Focus(QWidget *W)
    {
        W->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([W] { return W->hasFocus(); }));
    }

    QStringList Enabled(std::initializer_list<QAction *> Actions)
    {
        QStringList R;
        for (QAction *A : Actions)
            if (A->isEnabled())
                R << A->objectName();
        return R;
    }

    std::unique_ptr<TMainForm> F;
};

// Triggers a menu's item the way a user does: the menu opens and the item is clicked.
void ClickMenuItem(QMenu *Menu, QAction *Item, QWidget *Over)
{
    Menu->popup(Over->mapToGlobal(QPoint(5, 5)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Menu));
    QTest::mouseClick(Menu, Qt::LeftButton, {}, Menu->actionGeometry(Item).center());
    ASSERT_TRUE(QTest::qWaitFor([Menu] { return !Menu->isVisible(); }));
}

QToolButton *ButtonOf(QToolBar *Bar, QAction *A)
{
    return qobject_cast<QToolButton *>(Bar->widgetForAction(A));
}

} // namespace

TEST_F(ShellCommands, ItemsFollowTheFocusedEditorAndThePages)
{
    const auto Clipboard = [this] {
        return Enabled({F->Cut0, F->Copy0, F->Paste0, F->Undo0, F->Redo0, F->SelectAll0});
    };
    F->Filter0->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return F->Memo1->hasFocus(); }));
    EXPECT_EQ(Clipboard(), QStringList({"Paste0", "SelectAll0"}));
    QTest::keyClicks(F->Memo1, "Balance > 100");
    EXPECT_EQ(Clipboard(), QStringList({"Paste0", "Undo0", "SelectAll0"})); // a memo has no redo
    QTest::keyClick(F->Memo1, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(Clipboard(), QStringList({"Cut0", "Copy0", "Paste0", "Undo0", "SelectAll0"}));
    EXPECT_FALSE(F->Table0->isEnabled()); // not on the Mail page's Edit page

    // Leaving the editor for a control that is none disables the clipboard commands.
    F->CalcFieldsView0->trigger();
    Focus(F->CalcFieldList);
    EXPECT_EQ(Clipboard(), QStringList());

    // The Subject edit on the Edit page in HTML mode: the insert commands come along.
    F->EditView0->trigger();
    Focus(F->Edit2);
    QTest::keyClicks(F->Edit2, "Offer");
    EXPECT_EQ(Clipboard(), QStringList({"Paste0", "Undo0", "SelectAll0"}));
    EXPECT_EQ(
        Enabled({F->Table0, F->Image0, F->HorizontalLine0, F->Font0, F->NumList0, F->Hyperlink0}),
        QStringList({"Table0", "Image0", "HorizontalLine0", "Font0", "NumList0"}));

    // Plain text: the formatting bar is off and the plain-text editor is in front.
    F->PlainText0->setEnabled(true);
    F->PlainMode->setChecked(true);
    F->UpdateControls();
    F->UpdateEditCommands();
    EXPECT_EQ(F->EditorStack->currentWidget(), F->RxRichEdit2);
    EXPECT_FALSE(F->SpeedItem9->isEnabled() || F->ComboBox8->isEnabled() ||
                 F->NumList0->isEnabled());
    EXPECT_FALSE(F->Table0->isEnabled());
    Focus(F->RxRichEdit2);
    QTest::keyClicks(F->RxRichEdit2, "Dear");
    EXPECT_EQ(Clipboard(), QStringList({"Paste0", "Undo0", "SelectAll0"}));
    F->RxRichEdit2->undo();
    EXPECT_TRUE(F->Redo0->isEnabled());

    // The Start button is a place of the Mailing menu's Start.
    F->Start0->setEnabled(true);
    EXPECT_TRUE(F->BitBtn1->isEnabled());
    int Starts = 0;
    F->Start0->disconnect(F.get()); // the mailing itself is not the point here
    QObject::connect(F->Start0, &QAction::triggered, [&] { ++Starts; });
    QTest::mouseClick(F->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(Starts, 1);
    F->Start0->setEnabled(false);
    EXPECT_FALSE(F->BitBtn1->isEnabled());
}

TEST_F(ShellCommands, EditingCommandsActOnTheFocusedEditorFromEveryPlace)
{
    QClipboard *Clip = QApplication::clipboard();
    // Each text editor with each command, from the Edit menu.
    struct TEditor {
        QWidget *Page, *Inner;
        QWidget *Editor;
        bool Redo;
    };
    const TEditor Editors[] = {{F->TabSheet9, nullptr, F->Memo1, false},
                               {F->TabSheet7, nullptr, F->Memo2, false},
                               {F->TabSheet2, F->TabSheet10, F->RxRichEdit1, true},
                               {F->TabSheet2, F->TabSheet3, F->Edit2, false}};
    const auto Text = [](QWidget *W) {
        if (auto *E = qobject_cast<QPlainTextEdit *>(W))
            return E->toPlainText();
        return qobject_cast<QLineEdit *>(W)->text();
    };
    // The expression takes text once a calculated field is chosen.
    F->CalcFieldsView0->trigger();
    F->CalcFieldPage->AskName = [](const QString &, QString &Name) {
        Name = "TOTAL";
        return true;
    };
    QTest::mouseClick(F->AddCalcField, Qt::LeftButton);
    ASSERT_TRUE(F->Memo2->isEnabled());
    for (const TEditor &E : Editors) {
        SCOPED_TRACE(E.Editor->objectName().toStdString());
        if (E.Inner)
            F->PageControl2->setCurrentWidget(E.Inner);
        F->PageControl1->setCurrentWidget(E.Page);
        Focus(E.Editor);
        // Each starts empty (the source holds the new project's default message).
        if (auto *P = qobject_cast<QPlainTextEdit *>(E.Editor))
            P->clear();
        else
            qobject_cast<QLineEdit *>(E.Editor)->clear();
        QTest::keyClicks(E.Editor, "abc");
        F->SelectAll0->trigger();
        F->Copy0->trigger();
        EXPECT_EQ(Clip->text(), "abc");
        F->Cut0->trigger();
        EXPECT_EQ(Text(E.Editor), "");
        F->Paste0->trigger();
        F->Paste0->trigger();
        EXPECT_EQ(Text(E.Editor), "abcabc");
        F->Undo0->trigger();
        EXPECT_EQ(Text(E.Editor), "abc");
        F->Redo0->trigger(); // nothing in a memo or the Subject edit
        EXPECT_EQ(Text(E.Editor), E.Redo ? "abcabc" : "abc");
    }

    // The source editor's tool bar and pop-up menu: "Paste" pastes into the source editor.
    F->SourceView0->trigger();
    Focus(F->RxRichEdit1);
    F->RxRichEdit1->clear();
    Clip->setText("<p>pasted</p>");
    F->UpdateEditCommands();
    ASSERT_TRUE(F->SpeedItem35->isEnabled());
    QTest::mouseClick(ButtonOf(F->SourceBar, F->SpeedItem35), Qt::LeftButton);
    EXPECT_EQ(F->RxRichEdit1->toPlainText(), "<p>pasted</p>");
    EXPECT_TRUE(F->RxRichEdit1->hasFocus()); // the tool bar does not take the focus

    QContextMenuEvent Ask(QContextMenuEvent::Mouse, QPoint(10, 10),
                          F->RxRichEdit1->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(F->RxRichEdit1->viewport(), &Ask);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(F->PopupMenu2));
    EXPECT_TRUE(F->Paste2->isEnabled() && F->SelAll2->isEnabled() && F->Undo2->isEnabled());
    EXPECT_FALSE(F->Cut2->isEnabled());
    QTest::mouseClick(F->PopupMenu2, Qt::LeftButton, {},
                      F->PopupMenu2->actionGeometry(F->Paste2).center());
    EXPECT_EQ(F->RxRichEdit1->toPlainText(), "<p>pasted</p><p>pasted</p>");
    ClickMenuItem(F->PopupMenu2, F->SelAll2, F->RxRichEdit1);
    EXPECT_EQ(F->RxRichEdit1->textCursor().selectedText(), "<p>pasted</p><p>pasted</p>");
    EXPECT_TRUE(F->Cut0->isEnabled());

    // The plain-text editor's pop-up menu.
    F->PlainText0->setEnabled(true);
    F->PlainMode->setChecked(true);
    F->EditView0->trigger();
    F->UpdateControls();
    Focus(F->RxRichEdit2);
    QTest::keyClicks(F->RxRichEdit2, "Dear");
    QContextMenuEvent AskPlain(QContextMenuEvent::Mouse, QPoint(10, 10),
                               F->RxRichEdit2->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(F->RxRichEdit2->viewport(), &AskPlain);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(F->PopupMenu3));
    QTest::mouseClick(F->PopupMenu3, Qt::LeftButton, {},
                      F->PopupMenu3->actionGeometry(F->Undo3).center());
    EXPECT_EQ(F->RxRichEdit2->toPlainText(), "");

    // Another control takes no editing command.
    Focus(F->ComboBox2);
    F->SelectAll0->setEnabled(true);
    F->SelectAll0->trigger();
    EXPECT_FALSE(F->RxRichEdit2->textCursor().hasSelection());
    EXPECT_FALSE(F->SelectAll0->isEnabled());
}

TEST_F(ShellCommands, InsertTableFollowsItsCommandAndOneCommandPerShortcut)
{
    // The pop-up's "Insert Table..." follows and runs the Insert menu's "Table...".
    int Runs = 0;
    F->Table0->disconnect(F.get()); // the dialog itself is not the point here
    QObject::connect(F->Table0, &QAction::triggered, [&] { ++Runs; });
    F->Table0->setEnabled(true);
    EXPECT_TRUE(F->InsertTable1->isEnabled());
    F->InsertTable1->trigger();
    EXPECT_EQ(Runs, 1);
    F->Table0->setEnabled(false);
    EXPECT_FALSE(F->InsertTable1->isEnabled());

    QMap<QString, QString> Owner;
    for (QAction *A : F->findChildren<QAction *>())
        for (const QKeySequence &K : A->shortcuts()) {
            EXPECT_FALSE(Owner.contains(K.toString()))
                << K.toString().toStdString() << " " << A->objectName().toStdString();
            Owner[K.toString()] = A->objectName();
        }
}

TEST_F(ShellCommands, TableCommandsFollowTheOpenTable)
{
    const QList<QAction *> Table = {F->Restructure0, F->AddRec0,  F->EditRec0, F->DeleteRec0,
                                    F->Find0,        F->CloseDB0, F->Unique0,  F->Unsort0,
                                    F->Descend0,     F->Reopen0,  F->Start0};
    const auto States = [&] {
        QStringList On;
        for (QAction *A : Table)
            if (A->isEnabled())
                On << A->objectName();
        return On;
    };
    EXPECT_EQ(States(), QStringList());
    EXPECT_FALSE(F->RxDBGrid1->horizontalHeader()->sectionsClickable());

    QTemporaryDir Dir;
    ASSERT_TRUE(CopySamples(Dir.path()));
    F->OpenDBFFile(Dir.filePath("contacts.dbf"));
    ASSERT_TRUE(F->Workspace->Active());
    EXPECT_EQ(States(), QStringList({"Restructure0", "AddRec0", "EditRec0", "DeleteRec0", "Find0",
                                     "CloseDB0", "Descend0", "Reopen0", "Start0"}));
    EXPECT_TRUE(F->BitBtn1->isEnabled());
    EXPECT_TRUE(F->RxDBGrid1->horizontalHeader()->sectionsClickable());

    F->RxDBGrid1TitleBtnClick(1); // sorted: Find Duplicates and Unsort come along
    EXPECT_TRUE(F->Unique0->isEnabled() && F->Unsort0->isEnabled());
    F->Unsort0->trigger();
    EXPECT_FALSE(F->Unique0->isEnabled() || F->Unsort0->isEnabled());

    F->CloseDB0->trigger();
    EXPECT_EQ(States(), QStringList());
    EXPECT_FALSE(F->BitBtn1->isEnabled());
}

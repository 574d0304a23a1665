// The options dialog, the modal-window minimizer, the hyperlink label and the help component,
// driven through real widgets offscreen.

#include "shell/globals.h"
#include "shell/grlink.h"
#include "shell/helpwindow.h"
#include "shell/hhcomp.h"
#include "shell/minmodal.h"
#include "shell/optform.h"
#include "tables/data/dbf/dbfcodec.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qftest;

namespace {

// Runs Action inside the dialog's modal loop, then closes it with the given button.
void WhileShown(TOptForm &Form, const std::function<void()> &Action, QPushButton *Close)
{
    QTimer::singleShot(0, &Form, [&Form, Action, Close] {
        Action();
        Close->click();
    });
    Form.Options1Click();
}

} // namespace

class ShellOptions : public ::testing::Test {
protected:
    void SetUp() override { ForgetSettings(); }
    void TearDown() override { ForgetSettings(); }
};

TEST_F(ShellOptions, FirstRunShowsDefaultsAndStoredValuesFillTheControls)
{
    {
        TOptForm Form;
        EXPECT_EQ(Form.Values(), TOptionValues());
        EXPECT_FALSE(QFile::exists(SettingsFile())); // reading creates nothing
    }
    WriteSettingsFile(
        "[2.0]\nWriteLog=1\nConfirmDel=1\nThreads=40\nDefaultCharset=3\nProfDir=/srv/p\n");
    TOptForm Form;
    EXPECT_TRUE(Form.CheckBox1->isChecked());
    EXPECT_TRUE(Form.CheckBox2->isChecked());
    EXPECT_EQ(Form.UpDown1->value(), 40);
    EXPECT_EQ(Form.ComboBox1->currentIndex(), 3);
    EXPECT_EQ(Form.DirectoryEdit1->text(), "/srv/p");
}

TEST_F(ShellOptions, OkWritesOnlyChangedControlsAndCancelPutsBackStoredOrDefaultValues)
{
    TOptForm Form;
    WhileShown(
        Form, [] {}, Form.OkButton);
    EXPECT_FALSE(QFile::exists(SettingsFile()));
    WhileShown(
        Form,
        [&] {
            EXPECT_EQ(Form.focusWidget(), Form.OkButton);
            QTest::keyClick(Form.UpDown1, Qt::Key_Up);
        },
        Form.OkButton);
    const QByteArray Text = ReadSettingsFile();
    EXPECT_EQ(Text, "[2.0]\nThreads=16\n");
    EXPECT_EQ(Form.UpDown1->value(), 16);

    const auto ChangeAll = [&] {
        Form.CheckBox1->click();
        Form.CheckBox2->click();
        Form.ComboBox1->setCurrentIndex(14);
        Form.DirectoryEdit1->Edit->setText("/profiles, old"); // a list to QSettings
        Form.Edit1->selectAll();
        QTest::keyClicks(Form.Edit1, "77");
    };
    WhileShown(Form, ChangeAll, Form.CancelButton);
    EXPECT_EQ(Form.UpDown1->value(), 16);
    EXPECT_FALSE(Form.CheckBox1->isChecked()); // never stored: its default
    EXPECT_EQ(Form.ComboBox1->currentIndex(), 15);
    EXPECT_TRUE(Form.DirectoryEdit1->text().isEmpty());
    EXPECT_EQ(ReadSettingsFile(), Text);

    WhileShown(Form, ChangeAll, Form.OkButton);
    TOptionValues V;
    ASSERT_TRUE(ReadOptionValues(V));
    EXPECT_TRUE(V.WriteLog);
    EXPECT_TRUE(V.ConfirmDel);
    EXPECT_EQ(V.Threads, 77);
    EXPECT_EQ(V.DefaultCharset, 14);
    EXPECT_EQ(V.ProfDir, "/profiles, old");
}

TEST_F(ShellOptions, OptionsThatCouldNotBeStoredStayInForce)
{
    TOptForm Form;
    {
        TFullDisk Full;
        WhileShown(
            Form, [&] { Form.UpDown1->setValue(64); }, Form.OkButton);
    }

    EXPECT_EQ(Form.UpDown1->value(), 64);
    EXPECT_EQ(Form.UnsavedFlags(), unsigned(ofThreads));
    EXPECT_FALSE(QFile::exists(SettingsFile()));
    // A later Cancel does not throw the option away...
    WhileShown(
        Form, [&] { Form.CheckBox2->click(); }, Form.CancelButton);
    EXPECT_EQ(Form.UpDown1->value(), 64);
    EXPECT_FALSE(Form.CheckBox2->isChecked());
    // ...and the next OK that can write stores it.
    WhileShown(
        Form, [] {}, Form.OkButton);
    EXPECT_EQ(Form.UnsavedFlags(), 0u);
    TOptionValues V;
    ASSERT_TRUE(ReadOptionValues(V));
    EXPECT_EQ(V.Threads, 64);
}

TEST(ShellMinModal, MinimizingTheDialogMinimizesTheApplicationAndNoFormChangesNothing)
{
    QMainWindow Main;
    Main.show();
    QDialog Dialog(&Main);
    auto *Inner = new QWidget(&Dialog);
    auto *Min = new TMinModal(Inner);
    ASSERT_EQ(Min->Form(), &Dialog);
    int Calls = 0;
    Min->OnMinimize = [&](TMinModal *Sender) {
        EXPECT_EQ(Sender, Min);
        ++Calls;
    };
    Dialog.show();

    Dialog.showMaximized();
    EXPECT_EQ(Calls, 0);
    EXPECT_FALSE(Main.isMinimized());

    Dialog.showMinimized();
    EXPECT_EQ(Calls, 1);
    EXPECT_TRUE(Main.isMinimized());

    QEvent Deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&Dialog, &Deactivate);
    EXPECT_TRUE(Main.isMinimized());

    QEvent Activate(QEvent::WindowActivate);
    QApplication::sendEvent(&Dialog, &Activate);
    EXPECT_FALSE(Main.isMinimized());
    EXPECT_FALSE(Dialog.isMinimized());

    // No form in the owner chain: nothing to watch.
    QObject Owner;
    TMinModal Orphan(&Owner);
    EXPECT_EQ(Orphan.Form(), nullptr);
    EXPECT_FALSE(Orphan.Installed());
    // A form destroyed first leaves the component harmless.
    auto *Form = new QDialog;
    auto *Watcher = new TMinModal(new QObject(Form));
    EXPECT_TRUE(Watcher->Installed());
    delete Form;
}

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Opened;
public slots:
    void Open(const QUrl &Url) { Opened << Url; }
};

TEST(ShellGrlink, LooksLikeALinkClickOpensUrlOrCaptionAndCopyTakesCaption)
{
    TUrlCatcher Catcher;
    QDesktopServices::setUrlHandler("https", &Catcher, "Open");
    TGrlink Link;
    Link.setText("https://example.org/caption");
    Link.resize(200, 20);
    Link.show();
    EXPECT_EQ(Link.FontColor(), QColor(0, 0, 255));

    // The colour changes while the left button is held; a release outside opens nothing.
    QTest::mousePress(&Link, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(Link.FontColor(), QColor(0, 0, 255));
    QTest::mouseRelease(&Link, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(&Link, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Link.FontColor(), QColor(0x80, 0, 0x80));
    QTest::mouseRelease(&Link, Qt::LeftButton, {}, QPoint(500, 500));
    EXPECT_EQ(Link.FontColor(), QColor(0, 0, 255));
    EXPECT_TRUE(Catcher.Opened.isEmpty());

    // A blank URL opens the caption.
    QTest::mouseClick(&Link, Qt::LeftButton, {}, QPoint(5, 5));
    Link.URL = "  ";
    Link.Click();
    Link.URL = "https://example.org/url";
    Link.Click();
    ASSERT_EQ(Catcher.Opened.size(), 3);
    EXPECT_EQ(Catcher.Opened[0], QUrl("https://example.org/caption"));
    EXPECT_EQ(Catcher.Opened[1], QUrl("https://example.org/caption"));
    EXPECT_EQ(Catcher.Opened[2], QUrl("https://example.org/url"));

    Link.URL.clear();
    Link.setText("  ");
    Link.Click();
    EXPECT_EQ(Catcher.Opened.size(), 3);
    QDesktopServices::unsetUrlHandler("https");

    Link.setText("Tembrook");
    Link.URL = "https://example.org/url";
    Link.CopyItem()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "Tembrook");
}

class ShellHelp : public ::testing::Test {
protected:
    void TearDown() override { THHComp::CloseAll(); }
};

TEST_F(ShellHelp, ContentsFitListEveryPageFollowLinksAndAMissingFileShowsAMessage)
{
    QWidget Form;
    {
        THHComp Help(&Form, SourceHelpFile());
        EXPECT_EQ(QFileInfo(Help.HelpPath()),
                  QFileInfo(QStringLiteral(QF_HELP_SOURCE_DIR "/index.html")));
        Help.ShowContents();
        THelpWindow *W = THHComp::HelpWindow();
        ASSERT_NE(W, nullptr);
        EXPECT_TRUE(W->isVisible());
        EXPECT_TRUE(W->CurrentPage().endsWith("help/index.html"));
        ASSERT_GE(W->Contents->count(), 8);
        EXPECT_EQ(W->Contents->currentRow(), 0);
        W->resize(760, 540);
        QApplication::processEvents();
        // Every title fits the contents pane.
        EXPECT_LE(W->Contents->sizeHintForColumn(0), W->Contents->viewport()->width());
        for (int i = 0; i < W->Contents->count(); ++i) {
            const QString File = W->Contents->item(i)->data(Qt::UserRole).toString();
            EXPECT_TRUE(QFileInfo(File).isFile()) << File.toStdString();
            W->Contents->setCurrentRow(i);
            EXPECT_EQ(QFileInfo(W->CurrentPage()), QFileInfo(File));
            EXPECT_FALSE(W->Browser->toPlainText().trimmed().isEmpty()) << File.toStdString();
        }

        ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
        const auto RowOf = [W](const QString &Page) {
            for (int i = 0; i < W->Contents->count(); ++i)
                if (W->Contents->item(i)->data(Qt::UserRole).toString().endsWith("/" + Page))
                    return i;
            return -1;
        };
        W->Contents->setCurrentRow(RowOf("overview.html"));
        ASSERT_TRUE(W->CurrentPage().endsWith("/overview.html"));
        // A link followed in a page moves the selection: click the page's link to the Filter page.
        QTextCursor Link = W->Browser->document()->find("Filter");
        while (!Link.isNull() && !Link.charFormat().isAnchor())
            Link = W->Browser->document()->find("Filter", Link);
        ASSERT_FALSE(Link.isNull());
        W->Browser->setTextCursor(Link);
        W->Browser->ensureCursorVisible();
        const QPoint At = W->Browser->cursorRect(Link).center() - QPoint(5, 0);
        ASSERT_EQ(W->Browser->anchorAt(At), "filter.html");
        QTest::mouseClick(W->Browser->viewport(), Qt::LeftButton, {}, At);
        EXPECT_TRUE(W->CurrentPage().endsWith("/filter.html"));
        EXPECT_EQ(W->Contents->currentRow(), RowOf("filter.html"));
        // Back in the page history too.
        W->Browser->backward();
        EXPECT_EQ(W->Contents->currentRow(), RowOf("overview.html"));
    }
    EXPECT_FALSE(THHComp::HelpWindow()->isVisible()); // closed with its component

    THHComp Missing(&Form, "help/none.html");
    Missing.ShowContents();
    EXPECT_TRUE(THHComp::HelpWindow()->Browser->toPlainText().contains("cannot be found"));
    EXPECT_TRUE(THHComp::HelpWindow()->isVisible());
}

TEST_F(ShellHelp, TheWindowOpensOverTheMainWindowAndWholeOnTheScreen)
{
    QWidget Form;
    const QRect Room = Form.screen()->availableGeometry();
    // A main window in a corner: the help window stays on the screen.
    Form.setGeometry(Room.right() - 250, Room.bottom() - 150, 240, 140);
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    THHComp Help(&Form, SourceHelpFile());
    Help.ShowContents();
    THelpWindow *W = THHComp::HelpWindow();
    ASSERT_NE(W, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
    EXPECT_TRUE(Room.contains(W->frameGeometry()))
        << W->frameGeometry().x() << "," << W->frameGeometry().y() << " "
        << W->frameGeometry().width() << "x" << W->frameGeometry().height();
    EXPECT_TRUE(W->frameGeometry().contains(Form.frameGeometry().center()));
    THHComp::CloseAll();
    delete W;

    // Over the middle of the main window, as near as the screen allows.
    Form.setGeometry(Room.left() + 10, Room.top() + 10, 300, 200);
    Help.ShowContents();
    W = THHComp::HelpWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
    const QRect Shown = W->frameGeometry();
    EXPECT_TRUE(Room.contains(Shown));
    QRect Ideal(QPoint(), Shown.size());
    Ideal.moveCenter(Form.frameGeometry().center());
    EXPECT_EQ(Shown.left(), std::max(Ideal.left(), Room.left()));
    EXPECT_EQ(Shown.top(), std::max(Ideal.top(), Room.top()));
}

TEST_F(ShellHelp, F1OpensHelpAndNoControlSeesIt)
{
    QWidget Form;
    auto *Edit = new QLineEdit(&Form);
    THHComp Help(&Form, SourceHelpFile());
    Form.show();
    Edit->setFocus();

    QTest::keyClick(Edit, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(!THHComp::HelpWindow() || !THHComp::HelpWindow()->isVisible());
    QTest::keyClick(Edit, Qt::Key_F1, Qt::ControlModifier);
    EXPECT_TRUE(!THHComp::HelpWindow() || !THHComp::HelpWindow()->isVisible());

    QTest::keyClicks(Edit, "ab");
    // A key the keyboard map has no code for (key 0) still types its text.
    QKeyEvent Composed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("é"));
    QApplication::sendEvent(Edit, &Composed);
    EXPECT_EQ(Edit->text(), "abé");
    QTest::keyClick(Edit, Qt::Key_F1);
    ASSERT_NE(THHComp::HelpWindow(), nullptr);
    EXPECT_TRUE(THHComp::HelpWindow()->isVisible());
    EXPECT_EQ(Edit->text(), "abé"); // other keys still reach the control
}

#include "gui_tests.moc"

// The restructure page tells the encoding a new table is written in: the locale's ANSI code page
// (Windows-1252 here, in the C locale), with the .cpg naming it.
TEST_F(ShellHelp, TheRestructurePageTellsTheCodePageOfNewTables)
{
    QFile Page(QStringLiteral(QF_HELP_SOURCE_DIR "/restructure.html"));
    ASSERT_TRUE(Page.open(QIODevice::ReadOnly));
    const QString Text = QString::fromUtf8(Page.readAll()).simplified();
    const qf::tables::TDbfEncoding New = qf::tables::DbfLocaleEncoding(QLocale::c());
    EXPECT_EQ(New.CodePageFile, "1252");
    EXPECT_TRUE(Text.contains("takes the ANSI code page of your locale's language: Windows-1252"));
    EXPECT_FALSE(Text.contains("writes text as UTF-8"));
}

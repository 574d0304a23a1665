// The main window's frame: its folders, pages and Exit, the two web views, the forms of start-up,
// the help and the profiles with Start's checks.

#include "composer/domwork.h"
#include "composer/mailviews.h"
#include "composer/preview.h"
#include "delivery/profiles.h"
#include "delivery/ui/proform.h"
#include "delivery/ui/sendform.h"
#include "shell/aboutbox.h"
#include "shell/addwordform.h"
#include "shell/globals.h"
#include "shell/grlink.h"
#include "shell/helpwindow.h"
#include "shell/hhcomp.h"
#include "shell/mainform.h"
#include "shell/optform.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qftest;

namespace {

QString Strip(QString S) { return S.remove('&'); }

// A menu as text: captions, "-" for separators, shortcuts after a tab.
QStringList MenuText(const QMenu *Menu)
{
    QStringList Lines;
    for (const QAction *A : Menu->actions()) {
        if (A->isSeparator())
            Lines << "-";
        else if (A->shortcut().isEmpty())
            Lines << Strip(A->text());
        else
            Lines << Strip(A->text()) + "\t" + A->shortcut().toString();
    }
    return Lines;
}

QMenu *TopMenu(TMainForm &F, const QString &Title)
{
    for (QAction *A : F.menuBar()->actions())
        if (Strip(A->text()) == Title)
            return A->menu();
    return nullptr;
}

class ShellMainForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        ForgetSettings();
        SqlQueryMode = 0;
        ProjectFileName.clear();
        TableName.clear();
    }
    void TearDown() override { ForgetSettings(); }
};

} // namespace

// The menus, their order, captions and shortcuts, in one table.
TEST_F(ShellMainForm, MenusCaptionsAndShortcuts)
{
    TMainForm F;
    const std::pair<QString, QString> Menus[] = {
        {"File", "Create DBF...|New Project\tCtrl+N|-|Open Table...|Execute SQL...|Open "
                 "Project...\tCtrl+O|-|Restructure/Save As DBF...|Save Project\tCtrl+S|Save "
                 "Project As...|-|Close Table\tCtrl+F4|-|Profiles...|-|Exit"},
        {"Table", "Add Record...|Edit Record...|Delete Record|-|Find...\tCtrl+F|Find "
                  "Duplicates\tCtrl+D|-|Reopen|-|Descended|Unsort"},
        {"Edit", "Undo\tCtrl+U|Redo|-|Cut\tCtrl+X|Copy\tCtrl+C|Paste\tCtrl+V|-|Select "
                 "All\tCtrl+A|-|Options..."},
        {"View", "Table|Filter|Calculated Fields|Mail|-|Log"},
        {"Insert", "Horizontal Line|-|Image...|Hyperlink...\tCtrl+K|Table..."},
        {"Format", "Font...|-|Numbered List|Bulleted List|-|Decrease indent|Increase Indent"},
        {"Mailing", "Start|-|HTML|Plain Text|-|Encoding..."},
        {"Help", "Help\tF1|-|About..."}};
    ASSERT_EQ(F.menuBar()->actions().size(), qsizetype(std::size(Menus)));
    for (int I = 0; I < int(std::size(Menus)); ++I) {
        EXPECT_EQ(Strip(F.menuBar()->actions()[I]->text()), Menus[I].first);
        EXPECT_EQ(MenuText(TopMenu(F, Menus[I].first)).join('|'), Menus[I].second);
    }
}

TEST_F(ShellMainForm, FirstRunAndStoredFolders)
{
    TMainForm F;
    // First run: the remembered folders fall back to a folder the user can write.
    EXPECT_FALSE(DataBaseDir.isEmpty());
    EXPECT_EQ(DataBaseDir, MailDir);
    EXPECT_EQ(DataBaseDir, SQLFileDir);
    EXPECT_TRUE(QFileInfo(DataBaseDir).isDir());
    EXPECT_TRUE(QFileInfo(DataBaseDir).isWritable());
    EXPECT_TRUE(SQLDataBase.isEmpty());
    EXPECT_TRUE(AppDir.endsWith('/'));

    // Stored folders are kept.
    WriteSettingsFile("[2.0]\nDataBaseDir=/tables/\n");
    TMainForm Stored;
    EXPECT_EQ(DataBaseDir, "/tables/");
}

TEST_F(ShellMainForm, HelpLiesBesideTheProgramWhateverTheWorkingFolder)
{
    // The help component is made before the window's create step sets AppDir.
    AppDir.clear();
    const QString Saved = QDir::currentPath();
    QTemporaryDir Elsewhere;
    QDir::setCurrent(Elsewhere.path());
    TMainForm F;
    QDir::setCurrent(Saved);
    EXPECT_EQ(F.HHComp1->HelpPath(), QCoreApplication::applicationDirPath() + "/help/index.html");
    EXPECT_EQ(F.HHComp1->HelpPath(), AppDir + "help/index.html");
}

TEST_F(ShellMainForm, ViewCommandsSwitchPagesAndExitRemovesThePreviewFile)
{
    TMainForm F;
    F.show();
    const struct {
        QAction *Command;
        QWidget *Outer, *Inner; // no inner page: the mail pages are hidden
    } Steps[] = {
        {F.Preview0, F.TabSheet2, F.TabSheet5},    {F.SourceView0, F.TabSheet2, F.TabSheet10},
        {F.AttachView0, F.TabSheet2, F.TabSheet6}, {F.CalcFieldsView0, F.TabSheet7, nullptr},
        {F.DBView0, F.TabSheet1, nullptr},         {F.EditView0, F.TabSheet2, F.TabSheet3},
        {F.Filter0, F.TabSheet9, nullptr}};
    for (const auto &S : Steps) {
        S.Command->trigger();
        EXPECT_EQ(F.PageControl1->currentWidget(), S.Outer)
            << S.Command->objectName().toStdString();
        if (S.Inner) {
            EXPECT_EQ(F.PageControl2->currentWidget(), S.Inner)
                << S.Command->objectName().toStdString();
        }
    }
    EXPECT_EQ(F.focusWidget(), F.Memo1);

    // Exit closes the window and removes the preview file.
    QTemporaryDir Dir;
    F.Preview->FPreviewFile = Dir.filePath("$qfprev_.html");
    {
        QFile P(F.Preview->FPreviewFile);
        ASSERT_TRUE(P.open(QIODevice::WriteOnly));
    }
    F.Exit0->trigger();
    EXPECT_FALSE(F.isVisible());
    EXPECT_FALSE(QFile::exists(F.Preview->FPreviewFile));
}

TEST_F(ShellMainForm, StartupFormsAndHelpShortcut)
{
    CreateForms();
    ASSERT_NE(MainForm, nullptr);
    ASSERT_NE(AddWordForm, nullptr);
    ASSERT_NE(AboutBox, nullptr);
    ASSERT_NE(OptForm, nullptr);
    EXPECT_EQ(OptForm->parent(), MainForm);
    MainForm->HHComp1->HelpFile = SourceHelpFile();
    MainForm->HHComp1->Loaded();
    // About... and Options... show their dialogs modally; the about box's help link opens
    // our help window, not the desktop's browser.
    bool AboutShown = false, OptionsShown = false;
    QTimer::singleShot(0, AboutBox, [&] {
        AboutShown = AboutBox->isVisible() && QApplication::activeModalWidget() == AboutBox;
        QTest::mouseClick(AboutBox->HelpLink, Qt::LeftButton);
        AboutBox->accept();
    });
    MainForm->About0->trigger();
    ASSERT_NE(THHComp::HelpWindow(), nullptr);
    EXPECT_TRUE(THHComp::HelpWindow()->isVisible());
    EXPECT_TRUE(THHComp::HelpWindow()->CurrentPage().endsWith("help/index.html"));
    THHComp::CloseAll();
    QTimer::singleShot(0, OptForm, [&] {
        OptionsShown = OptForm->isVisible() && QApplication::activeModalWidget() == OptForm;
        OptForm->CancelButton->click();
    });
    MainForm->Options1->trigger();
    EXPECT_TRUE(AboutShown);
    EXPECT_TRUE(OptionsShown);

    MainForm->show();
    MainForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(MainForm));
    // F1 is the Help menu's shortcut on the main window: it opens the contents.
    QTest::keyClick(MainForm, Qt::Key_F1);
    EXPECT_TRUE(THHComp::HelpWindow()->isVisible());
    EXPECT_TRUE(THHComp::HelpWindow()->CurrentPage().endsWith("index.html"));
    MainForm->close();
    EXPECT_FALSE(THHComp::HelpWindow()->isVisible());
    FreeForms();
    EXPECT_EQ(MainForm, nullptr);
    EXPECT_EQ(OptForm, nullptr);
}

// The profiles read at start-up fill the "From" list; Start checks the chosen profile before
// the mailing dialog opens.
TEST_F(ShellMainForm, ProfilesAtStartupAndStartChecks)
{
    const QString Data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(Data);
    {
        qf::delivery::TProfiles P;
        P.AddProfile("OFFICE");
        P.AddProfile("BLANK");
        for (const char *Item : {"Host", "User", "Name", "Addr"})
            P.SetValue(Item, "OFFICE", "x");
        ASSERT_TRUE(P.Save(Data + "/Profiles.dat"));
    }
    // A "Path of Profiles" that is gone falls back to the default file, with no box at start-up;
    // the profiles dialog says so.
    TOptionValues Options;
    ASSERT_TRUE(ReadOptionValues(Options));
    Options.ProfDir = Data + "/gone";
    ASSERT_TRUE(WriteOptionValues(Options, ofProfDir));
    QStringList Boxes;
    QTimer Answer;
    const auto AnswerBoxes = [&] {
        if (auto *B = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            Boxes << B->text();
            B->button(QMessageBox::Ok)->click();
        }
    };
    QObject::connect(&Answer, &QTimer::timeout, AnswerBoxes);
    Answer.start(5);
    CreateForms();
    Answer.disconnect();
    EXPECT_TRUE(Boxes.isEmpty()) << Boxes.join('\n').toStdString();
    ASSERT_NE(qf::delivery::SendForm, nullptr);
    EXPECT_EQ(MainForm->ComboBox4->count(), 2);
    EXPECT_EQ(MainForm->ComboBox4->itemText(1), "OFFICE");
    EXPECT_TRUE(qf::delivery::ProForm->FileLabel->text().contains(
        QDir::toNativeSeparators(Data + "/Profiles.dat")))
        << qf::delivery::ProForm->FileLabel->text().toStdString();

    Boxes.clear();
    QObject::connect(&Answer, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            AnswerBoxes();
        } else if (qf::delivery::SendForm->isVisible() &&
                   qf::delivery::SendForm->Panel1->text() == "The list is prepared") {
            Boxes << qf::delivery::SendForm->Panel2->text();
            qf::delivery::SendForm->CancelBtn->click();
        }
    });
    Answer.start(5);
    MainForm->ComboBox4->setCurrentIndex(-1);
    MainForm->Start0Click();
    MainForm->ComboBox4->setCurrentIndex(0);
    MainForm->Start0Click();
    MainForm->ComboBox4->setCurrentIndex(1);
    MainForm->Start0Click(); // no table open: nothing to send
    EXPECT_EQ(Boxes,
              QStringList({"Profile does not selected",
                           "One or more fields of selected Profile are blank", "0 Records"}));
    EXPECT_EQ(MainForm->FProfile.FSmtpPort, "25");
    FreeForms();
    QFile::remove(Data + "/Profiles.dat");
}

// Both web views start on a blank document; the preview of merged mail runs no scripts, and the
// address under the mouse shows in the status bar.
TEST_F(ShellMainForm, WebViewsLoadBlankDocuments)
{
    TMainForm F;
    QSignalSpy Editor(F.DomWork->Editor, &qf::composer::TDomHost::DocumentLoaded);
    QSignalSpy Preview(F.WebBrowser1, &QWebEngineView::loadFinished);
    F.show();
    F.Preview->FPreviewDirty = false;
    ASSERT_TRUE(Editor.count() > 0 || Editor.wait(30000));
    ASSERT_TRUE(Preview.count() > 0 || Preview.wait(30000));
    EXPECT_TRUE(Editor.first().first().toBool());
    EXPECT_TRUE(Preview.first().first().toBool());
    EXPECT_FALSE(F.Views->FFirstDocumentLoad);
    EXPECT_FALSE(F.Views->FHtmlChanged);
    EXPECT_TRUE(F.Preview->FPreviewDirty);
    EXPECT_FALSE(F.WebBrowser1->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    F.WebBrowser1StatusTextChange("file:///tmp/x.html");
    EXPECT_EQ(F.StatusBar1->currentMessage(), "file:///tmp/x.html");
}

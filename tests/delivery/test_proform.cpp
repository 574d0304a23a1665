// The "Profiles" dialog and the "Log" window offscreen, through their real controls.

#include "delivery/maillog.h"
#include "delivery/ui/logform.h"
#include "delivery/ui/proform.h"
#include "testserver.h"
#include "uitest.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace qf::delivery;

namespace {

class DeliveryProForm : public ::testing::Test {
protected:
    DeliveryProForm()
    {
        File = Dir.filePath(QStringLiteral("Profiles.dat"));
        Form.ProfileFile = [this](QString *) { return File; };
        Form.InputName = [this](const QString &, QString &Text) {
            Text = NextName;
            return true;
        };
        Form.MainProfileList = &MainList;
        Form.FromProfile = [] { return QStringLiteral("HOME"); };
    }
    void Add(const QString &Name)
    {
        NextName = Name;
        QTest::mouseClick(Form.Button1, Qt::LeftButton);
    }
    QStringList Listed() const
    {
        QStringList L;
        for (int I = 0; I < Form.ListBox1->count(); ++I)
            L << Form.ListBox1->item(I)->text();
        return L;
    }

    QTemporaryDir Dir;
    QString File;
    TProForm Form;
    QComboBox MainList;
    TBoxAnswerer Boxes;
    QString NextName;
};

} // namespace

TEST_F(DeliveryProForm, AddEditDeleteAndSave)
{
    Form.show();
    for (const char *Name : {"office", "Office", "my.name", "my-name", "my_name"})
        Add(QString::fromUtf8(Name));
    EXPECT_EQ(Boxes.Texts,
              (QStringList{QStringLiteral("Profile \"Office\" already exists"),
                           QStringLiteral("Invalid Name"), QStringLiteral("Invalid Name"),
                           QStringLiteral("Invalid Name")}));
    Add(QStringLiteral("home"));
    Add(QStringLiteral("Ärger"));
    EXPECT_EQ(Listed(), (QStringList{QStringLiteral("HOME"), QStringLiteral("OFFICE"),
                                     QStringLiteral("ÄRGER")}));
    EXPECT_EQ(MainList.currentText(), QStringLiteral("HOME"));

    // Typing into a field stores it when the field loses the focus.
    QApplication::setActiveWindow(&Form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    Form.ListBox1->setCurrentRow(1);
    QTest::mouseClick(Form.Edits[0], Qt::LeftButton);
    Form.Edits[0]->setFocus();
    QTest::keyClicks(Form.Edits[0], QStringLiteral("smtp.example.com"));
    Form.ListBox1->setFocus();
    QString Host;
    ASSERT_TRUE(Form.Profiles.Value(QStringLiteral("Host"), QStringLiteral("OFFICE"), Host));
    EXPECT_EQ(Host, QStringLiteral("smtp.example.com"));

    // Deleting the last of three selects the new last one.
    Form.ListBox1->setCurrentRow(2);
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_EQ(Listed(), (QStringList{QStringLiteral("HOME"), QStringLiteral("OFFICE")}));
    EXPECT_EQ(Form.ListBox1->currentRow(), 1);
    QTest::mouseClick(Form.Button3, Qt::LeftButton);

    // The file as the store writes it; shown again, the dialog reads it back.
    TProfiles P;
    ASSERT_TRUE(P.Load(File));
    EXPECT_EQ(P.Names(), (QStringList{QStringLiteral("HOME"), QStringLiteral("OFFICE")}));
    ASSERT_TRUE(P.Value(QStringLiteral("Host"), QStringLiteral("OFFICE"), Host));
    EXPECT_EQ(Host, QStringLiteral("smtp.example.com"));
    const QByteArray Saved = ReadAll(File);
    Form.show();
    EXPECT_EQ(Listed(), (QStringList{QStringLiteral("HOME"), QStringLiteral("OFFICE")}));
    QTest::keyClick(&Form, Qt::Key_Escape);
    EXPECT_EQ(ReadAll(File), Saved);
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath(QStringLiteral("Backup of Profiles.dat"))));

    // A single click into a field rewrites the file.
    Form.show();
    QTest::mouseClick(Form.Edits[2], Qt::LeftButton);
    QTest::mouseClick(Form.Button3, Qt::LeftButton);
    EXPECT_TRUE(QFileInfo::exists(Dir.filePath(QStringLiteral("Backup of Profiles.dat"))));

    // Deleting the only entry empties and disables the fields.
    Form.show();
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_TRUE(Listed().isEmpty());
    EXPECT_FALSE(Form.Edits[0]->isEnabled());
}

// A "Path of Profiles" that names no folder: the default file is used without a box at
// start-up, and the dialog says so when the user opens it.
TEST_F(DeliveryProForm, MissingFolderSaidOverItsWindowAndChoiceKept)
{
    TProfiles P;
    P.AddProfile(QStringLiteral("HOME"));
    P.AddProfile(QStringLiteral("OFFICE"));
    ASSERT_TRUE(P.Save(File));
    // As at start-up: the profiles read without showing the dialog, its owner not shown yet.
    QWidget Owner;
    TProForm Pro(&Owner);
    Pro.MainProfileList = &MainList;
    Pro.FromProfile = [] { return QStringLiteral("HOME"); };
    const QString Missing = Dir.filePath(QStringLiteral("gone"));
    QString ProfDir = Missing;
    Pro.ProfileFile = [&](QString *Warning) {
        return ProfileFileName(ProfDir, Dir.path(), Warning);
    };
    Pro.FormShow();
    EXPECT_TRUE(Boxes.Texts.isEmpty()) << Boxes.Texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(MainList.currentText(), QStringLiteral("HOME"));
    EXPECT_EQ(MainList.count(), 2);

    // The user's choice of sender outlives the dialog, which names the file it uses.
    MainList.setCurrentIndex(MainList.findText(QStringLiteral("OFFICE")));
    Pro.show();
    EXPECT_TRUE(Boxes.Texts.isEmpty()) << Boxes.Texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Pro.FileLabel->isVisible());
    EXPECT_EQ(Pro.FileLabel->text(),
              QStringLiteral("The folder \"%1\" of \"Path of Profiles\" does not "
                             "exist. The profiles are read from and saved to \"%2\".")
                  .arg(Missing, File));
    EXPECT_EQ(Pro.ListBox1->count(), 2);
    QTest::mouseClick(Pro.Button3, Qt::LeftButton);
    EXPECT_EQ(MainList.currentText(), QStringLiteral("OFFICE"));

    // A folder that exists is used, and named.
    ProfDir = Dir.path() + QLatin1Char('/');
    Pro.show();
    EXPECT_EQ(Pro.FileLabel->text(), QStringLiteral("Profiles file: \"%1\"").arg(File));
    QTest::mouseClick(Pro.Button3, Qt::LeftButton);
}

// A profile clicked with the mouse shows its fields, and Delete removes that one.
TEST_F(DeliveryProForm, ProfileClickedWithTheMouseIsShown)
{
    TProfiles P;
    for (const char *Name : {"HOME", "OFFICE", "SHOP"}) {
        P.AddProfile(QString::fromLatin1(Name));
        P.SetValue(QStringLiteral("Host"), QString::fromLatin1(Name),
                   QStringLiteral("smtp.%1.example").arg(QString::fromLatin1(Name).toLower()));
    }
    ASSERT_TRUE(P.Save(File));
    Form.show();
    QApplication::setActiveWindow(&Form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    auto Click = [&](int Row) {
        QListWidgetItem *Item = Form.ListBox1->item(Row);
        QTest::mouseClick(Form.ListBox1->viewport(), Qt::LeftButton, {},
                          Form.ListBox1->visualItemRect(Item).center());
    };
    for (int Row : {1, 2, 0, 2}) {
        SCOPED_TRACE(Row);
        Click(Row);
        const QString Name = Form.ListBox1->item(Row)->text();
        EXPECT_TRUE(Form.ListBox1->item(Row)->isSelected());
        EXPECT_EQ(Form.Edits[0]->text(), QStringLiteral("smtp.%1.example").arg(Name.toLower()));
        EXPECT_EQ(Form.Edits[1]->text(), QStringLiteral("25"));
        for (QLineEdit *E : Form.Edits)
            EXPECT_TRUE(E->isEnabled());
        EXPECT_TRUE(Form.Button2->isEnabled());
    }
    // The keys still move through the list.
    QTest::keyClick(Form.ListBox1, Qt::Key_Up);
    EXPECT_EQ(Form.Edits[0]->text(), QStringLiteral("smtp.office.example"));

    // An edit, then a click on another profile: the edit is kept for the one it was made in.
    Click(0);
    QTest::mouseClick(Form.Edits[3], Qt::LeftButton);
    Form.Edits[3]->setFocus();
    QTest::keyClicks(Form.Edits[3], QStringLiteral("Home Sender"));
    Click(2);
    EXPECT_TRUE(Form.Edits[3]->text().isEmpty());
    QString Value;
    ASSERT_TRUE(Form.Profiles.Value(QStringLiteral("Name"), QStringLiteral("HOME"), Value));
    EXPECT_EQ(Value, QStringLiteral("Home Sender"));

    Click(1);
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_EQ(Listed(), (QStringList{QStringLiteral("HOME"), QStringLiteral("SHOP")}));
    EXPECT_EQ(Form.Edits[0]->text(), QStringLiteral("smtp.shop.example"));
    QTest::mouseClick(Form.Button3, Qt::LeftButton);
}

TEST(DeliveryLogForm, ShowClearCancelSave)
{
    TBoxAnswerer Boxes;
    TLogForm Form;
    QTemporaryDir Dir;
    Form.FileName = Dir.filePath(QStringLiteral("Quillfast.log"));

    // No log yet: the error is shown and the editor stays empty.
    Form.show();
    EXPECT_EQ(Boxes.Texts.size(), 1);
    EXPECT_TRUE(Form.RxRichEdit1->toPlainText().isEmpty());
    QTest::mouseClick(Form.Button2, Qt::LeftButton);

    const QByteArray Log = "\r\nMailing started 1/2/26 10:00:00. Connecting...\r\nConnected\r\n";
    QFile F(Form.FileName);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(Log);
    F.close();
    Form.show();
    EXPECT_EQ(Form.RxRichEdit1->toPlainText(),
              QString::fromUtf8(Log).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QTest::mouseClick(Form.Button3, Qt::LeftButton);
    EXPECT_TRUE(Form.RxRichEdit1->toPlainText().isEmpty());
    QTest::mouseClick(Form.Button2, Qt::LeftButton);
    EXPECT_EQ(ReadAll(Form.FileName), Log);

    // Saved unchanged it stays byte for byte; cleared and saved it is empty.
    Form.show();
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    EXPECT_EQ(ReadAll(Form.FileName), Log);
    Form.show();
    QTest::mouseClick(Form.Button3, Qt::LeftButton);
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    EXPECT_FALSE(Form.isVisible());
    EXPECT_TRUE(ReadAll(Form.FileName).isEmpty());
}

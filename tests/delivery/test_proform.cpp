// The "Profiles" dialog and the "Log" window offscreen, through their real controls.

#include "delivery/maillog.h"
#include "delivery/ui/logform.h"
#include "delivery/ui/proform.h"
#include "testserver.h"
#include "uitest.h"

#include <QComboBox>
#include <QFileInfo>
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
    Pro.ProfileFile = [&](QString *Warning) {
        return ProfileFileName(Missing, Dir.path(), Warning);
    };
    Pro.FormShow();
    ASSERT_EQ(Boxes.Texts.size(), 1);
    EXPECT_EQ(Boxes.Texts[0],
              QStringLiteral("The folder \"%1\" of \"Path of Profiles\" does not "
                             "exist. The profiles are read from and saved to \"%2\".")
                  .arg(Missing, File));
    EXPECT_TRUE(Boxes.Geometries[0].contains(
        QGuiApplication::primaryScreen()->availableGeometry().center()));
    EXPECT_EQ(MainList.currentText(), QStringLiteral("HOME"));

    // The user's choice of sender outlives the dialog; the box opens over the dialog.
    MainList.setCurrentIndex(MainList.findText(QStringLiteral("OFFICE")));
    Pro.show();
    ASSERT_EQ(Boxes.Texts.size(), 2);
    EXPECT_TRUE(Pro.frameGeometry().contains(Boxes.Geometries[1].center()));
    QTest::mouseClick(Pro.Button3, Qt::LeftButton);
    EXPECT_EQ(MainList.currentText(), QStringLiteral("OFFICE"));
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

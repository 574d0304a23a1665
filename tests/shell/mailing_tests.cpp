// A mailing through the main window: a table opened by the workspace and moved to its third
// record, a profile from the profile file, the project's merge, Start, and the messages at the
// test SMTP server.

#include "../delivery/testserver.h"
#include "../delivery/uitest.h"
#include "delivery/profiles.h"
#include "delivery/ui/sendform.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "tables/data/dataset.h"
#include "tables/workspace.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace qf::shell;

TEST(ShellMailing, FromTheOpenTableThroughStart)
{
    QTemporaryDir Dir;
    std::vector<QStringList> Rows;
    for (int I = 0; I < 5; ++I)
        Rows.push_back({QStringLiteral("p%1@example.com").arg(I), QStringLiteral("Name%1").arg(I)});
    WriteDbf(Dir.filePath("contacts.dbf"), {{"EMAIL", 40}, {"NAME", 20}}, Rows);
    TTestServer Server;
    const QString Data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(Data);
    {
        qf::delivery::TProfiles P;
        P.AddProfile("OFFICE");
        for (const auto &[Item, Value] : {std::pair<const char *, QString>{"Host", "127.0.0.1"},
                                          {"Port", QString::number(Server.Port())},
                                          {"User", "user"},
                                          {"Name", "Sender"},
                                          {"Addr", "sender@example.com"}})
            P.SetValue(Item, "OFFICE", Value);
        ASSERT_TRUE(P.Save(Data + "/Profiles.dat"));
    }

    CreateForms();
    ASSERT_NE(MainForm, nullptr);
    EXPECT_FALSE(MainForm->Start0->isEnabled());
    MainForm->OpenDBFFile(Dir.filePath("contacts.dbf"));
    ASSERT_TRUE(MainForm->Workspace->Active());
    EXPECT_TRUE(MainForm->Start0->isEnabled());
    MainForm->Workspace->ADOQuery1().SetRecNo(3);

    qf::tables::TADOQuery &Query = MainForm->Workspace->ADOQuery1();
    if (MainForm->ComboBox2->findText("EMAIL") < 0)
        MainForm->ComboBox2->addItem("EMAIL");
    MainForm->ComboBox2->setCurrentText("EMAIL");
    MainForm->Edit2->setText("Hello %NAME");
    MainForm->RxRichEdit1->setPlainText("<p>Dear %NAME</p>");
    MainForm->ComboBox4->setCurrentText("OFFICE");

    TBoxAnswerer Boxes;
    QTimer Start;
    QObject::connect(&Start, &QTimer::timeout, [&] {
        auto *Form = qf::delivery::SendForm;
        if (Form->isVisible() && Form->Button2->isEnabled() &&
            Form->Panel1->text() == "The list is prepared") {
            EXPECT_EQ(Form->Panel2->text(), "3 Records");
            Form->Button2->click();
        }
    });
    Start.start(5);
    MainForm->Start0->trigger(); // returns when the dialog has closed
    EXPECT_EQ(Boxes.Texts, QStringList{"Mailing is Completed Successfully"});
    QStringList Got;
    for (const QString &F : Server.MessageFiles())
        Got << Server.Envelope(F).value("rcpt_tos").toArray().at(0).toString();
    Got.sort();
    EXPECT_EQ(Got, QStringList({"p2@example.com", "p3@example.com", "p4@example.com"}));
    // Merged for its own record by the project's merge.
    QStringList Subjects;
    for (const QJsonValue &M : ParseMail(Server.MessageFiles()))
        Subjects << M.toObject().value("subject").toString();
    Subjects.sort();
    EXPECT_EQ(Subjects, QStringList({"Hello Name2", "Hello Name3", "Hello Name4"}));
    EXPECT_EQ(Query.RecNo(), 3);
    FreeForms();
    QFile::remove(Data + "/Profiles.dat");
}

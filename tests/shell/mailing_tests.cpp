// With "Use Filter" on, every road into a table in the main window shows only the filtered
// records, and Start prepares only those.

#include "../delivery/uitest.h"
#include "delivery/ui/sendform.h"
#include "modal.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "tables/data/dataset.h"
#include "tables/sqlstatement.h"
#include "tables/ui/editdb.h"
#include "tables/ui/restructform.h"
#include "tables/ui/sqlform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace qf::shell;

namespace {
// The count Start prepares; the dialog is then cancelled, so nothing is sent.
QString PreparedCount(TMainForm &F)
{
    QString Count;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        auto *Form = qf::delivery::SendForm;
        if (Form->isVisible() && Form->Panel1->text() == "The list is prepared" &&
            Form->CancelBtn->isEnabled()) {
            Count = Form->Panel2->text();
            Form->CancelBtn->click();
        }
    });
    Watch.start(5);
    F.Start0->trigger();
    return Count;
}

// Save As of the restructure dialog, copying every record (not only the filtered ones); a
// MoveRow of 0 or more brings that field to the top first, InTableOrder leaves the copy unsorted.
void SaveAsThroughRestructure(TMainForm &F, const QString &Name, int MoveRow, bool InTableOrder)
{
    WhenModal<qf::tables::TRestructForm>([=](qf::tables::TRestructForm *R) {
        if (MoveRow >= 0) {
            R->StringGrid1->selectRow(MoveRow);
            QTest::mouseClick(R->SpeedButton1, Qt::LeftButton);
        }
        ChooseFile(Name);
        WhenModal<qf::tables::TCopyOptForm>([=](qf::tables::TCopyOptForm *O) {
            O->CheckBox2->setChecked(false);
            if (InTableOrder)
                O->CheckBox3->setChecked(false);
            QTest::mouseClick(O->OkBtn, Qt::LeftButton);
        });
        QTest::mouseClick(R->Button3, Qt::LeftButton);
        QTest::mouseClick(R->CloseBtn, Qt::LeftButton);
    });
    F.Restructure0->trigger();
}
} // namespace

TEST(ShellMailing, EveryRoadIntoATableKeepsTheFilter)
{
    QTemporaryDir Dir;
    std::vector<QStringList> Rows;
    for (int I = 0; I < 6; ++I)
        Rows.push_back({QStringLiteral("p%1@example.com").arg(I), I % 2 ? "Oslo" : "Bergen"});
    const QString Table = Dir.filePath("contacts.dbf"), Copy = Dir.filePath("copy.dbf");
    WriteDbf(Table, {{"EMAIL", 40}, {"CITY", 20}}, Rows);
    const QString Profiles = qftest::SaveProfile("OFFICE", "2525");
    ASSERT_FALSE(Profiles.isEmpty());
    CreateForms();
    ASSERT_NE(MainForm, nullptr);
    TMainForm &F = *MainForm;
    F.Memo1->setPlainText("CITY = 'Oslo'");
    F.UseFilter->setChecked(true);
    F.ComboBox4->setCurrentText("OFFICE");
    TBoxAnswerer Boxes; // what comes up is answered, so a failure shows below

    const std::pair<const char *, std::function<void()>> Roads[] = {
        {"Open Table", [&] { F.OpenDBFFile(Table); }},
        {"Reopen", [&] { F.Reopen0->trigger(); }},
        {"Save As", [&] { SaveAsThroughRestructure(F, Copy, -1, false); }},
        {"Restructure", [&] { SaveAsThroughRestructure(F, Dir.filePath("moved.dbf"), 1, false); }},
        {"Execute SQL",
         [&] {
             WhenModal<qf::tables::TSQLForm>([&](qf::tables::TSQLForm *S) {
                 S->ComboBox1->setCurrentIndex(qf::tables::sdDbase);
                 S->Edit1->setText(Dir.path());
                 S->Memo1->setPlainText("SELECT * FROM contacts");
                 QTest::mouseClick(S->ExecuteButton, Qt::LeftButton);
             });
             F.ExecSQL0->trigger();
         }},
    };
    qf::tables::TADOQuery &Query = F.Workspace->ADOQuery1();
    for (const auto &[Road, Take] : Roads) {
        Take();
        ASSERT_TRUE(F.Workspace->Active()) << Road;
        F.ComboBox2->setCurrentText("EMAIL");
        EXPECT_EQ(Query.RecordCount(), 3) << Road;
        EXPECT_EQ(PreparedCount(F), "3 Records") << Road;
    }

    // Create DBF opens its new, empty table filtered too.
    WhenModal<qf::tables::TRestructForm>([&](qf::tables::TRestructForm *R) {
        WhenModal<qf::tables::TEditForm>([](qf::tables::TEditForm *E) {
            QTest::keyClicks(E->Edit1, "EMAIL");
            QTest::keyClicks(E->Edit2, "40");
            QTest::mouseClick(E->OkBtn, Qt::LeftButton);
        });
        QTest::mouseClick(R->Button1, Qt::LeftButton);
        ChooseFile(Dir.filePath("fresh.dbf"));
        QTest::mouseClick(R->Button3, Qt::LeftButton);
        QTest::mouseClick(R->CloseBtn, Qt::LeftButton);
    });
    F.CreateDBF0->trigger();
    EXPECT_EQ(F.Workspace->TableName, "fresh.dbf");
    EXPECT_TRUE(Query.Filtered());
    FreeForms();
    QFile::remove(Profiles);
}

TEST(ShellMailing, ASortedTableOpensAtTheFirstRecordTheGridShows)
{
    QTemporaryDir Dir;
    // In the table's order the first record, Mia, stands 64th of 65 once filtered and sorted,
    // out of the grid's sight.
    std::vector<QStringList> Rows = {
        {"Mia", "mia@example.com", "Oslo"},   {"Ann", "ann@example.com", "Oslo"},
        {"Zoe", "zoe@example.com", "Bergen"}, {"Bob", "bob@example.com", "Oslo"},
        {"Kim", "kim@example.com", "Bergen"}, {"Eva", "eva@example.com", "Oslo"},
        {"Tom", "tom@example.com", "Oslo"},   {"Cid", "cid@example.com", "Bergen"}};
    for (int i = 0; i < 60; ++i)
        Rows.insert(Rows.begin() + 2, {QStringLiteral("Bea%1").arg(i, 2, 10, QLatin1Char('0')),
                                       QStringLiteral("bea%1@example.com").arg(i), "Oslo"});
    const QString Table = Dir.filePath("contacts.dbf");
    WriteDbf(Table, {{"NAME", 10}, {"EMAIL", 40}, {"CITY", 20}}, Rows);
    const QString Profiles = qftest::SaveProfile("OFFICE", "2525");
    ASSERT_FALSE(Profiles.isEmpty());
    CreateForms();
    ASSERT_NE(MainForm, nullptr);
    TMainForm &F = *MainForm;
    F.Memo1->setPlainText("CITY = 'Oslo'");
    F.UseFilter->setChecked(true);
    F.ComboBox4->setCurrentText("OFFICE");
    TBoxAnswerer Boxes;
    qf::tables::TADOQuery &Query = F.Workspace->ADOQuery1();
    F.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&F));

    // The current record, where the grid and both status bars say it stands.
    const auto Current = [&](const std::string &Where) {
        const QString Name = Query.FieldByName("NAME").AsString().trimmed();
        const QString Position =
            QStringLiteral("Record %1 of %2").arg(Query.RecNo()).arg(Query.RecordCount());
        EXPECT_EQ(F.RecordPosition->text(), Position) << Where;
        EXPECT_EQ(F.EditDB->StatusPanel->text(), Position) << Where;
        EXPECT_EQ(F.RxDBGrid1->currentIndex().row(), Query.RecNo() - 1) << Where;
        // In sight, not scrolled away.
        EXPECT_TRUE(F.RxDBGrid1->viewport()->rect().contains(
            F.RxDBGrid1->visualRect(F.RxDBGrid1->currentIndex()).center()))
            << Where;
        EXPECT_EQ(F.RxDBGrid1->model()->index(Query.RecNo() - 1, 0).data().toString().trimmed(),
                  Name)
            << Where;
        return Name;
    };
    // The layout file keeps a sort by NAME.
    F.OpenDBFFile(Table);
    ASSERT_TRUE(F.Workspace->Active());
    F.RxDBGrid1TitleBtnClick(0);
    F.CloseDB0->trigger();
    ASSERT_TRUE(QFileInfo::exists(Dir.filePath("contacts.cfg")));

    const std::pair<const char *, std::function<void()>> Roads[] = {
        {"Open Table", [&] { F.OpenDBFFile(Table); }},
        {"Reopen", [&] { F.Reopen0->trigger(); }},
        {"Save As", [&] { SaveAsThroughRestructure(F, Dir.filePath("copy.dbf"), -1, true); }},
        {"Restructure", [&] { SaveAsThroughRestructure(F, Dir.filePath("moved.dbf"), 2, true); }},
    };
    for (const auto &[Road, Take] : Roads) {
        Take();
        ASSERT_TRUE(F.Workspace->Active()) << Road;
        ASSERT_EQ(F.FSortField, "NAME") << Road;
        ASSERT_EQ(Query.RecordCount(), 65) << Road;
        EXPECT_EQ(Query.RecNo(), 1) << Road;
        EXPECT_EQ(Current(Road), "Ann") << Road;
        F.ComboBox2->setCurrentText("EMAIL");
        EXPECT_EQ(PreparedCount(F), "65 Records") << Road;
        Query.SetRecNo(40); // the next road starts elsewhere
    }

    // A title click, Descended and Unsort keep the current record; the status bars follow it.
    Query.SetRecNo(62);
    ASSERT_EQ(Current("before"), "Bob");
    F.Descend0->trigger(); // Tom Mia Eva Bob Ann
    EXPECT_EQ(Current("Descended"), "Bob");
    EXPECT_EQ(Query.RecNo(), 4);
    F.Unsort0->trigger(); // in the table's order: Mia Ann Bea00..Bea59 Bob Eva Tom
    EXPECT_EQ(Current("Unsort"), "Bob");
    EXPECT_EQ(Query.RecNo(), 63);
    F.RxDBGrid1TitleBtnClick(Query.FindField("EMAIL")->Index()); // descending: tom mia eva bob
    EXPECT_EQ(Current("title click"), "Bob");
    EXPECT_EQ(Query.RecNo(), 4);

    // Execute SQL opens its result at the first record too.
    WhenModal<qf::tables::TSQLForm>([&](qf::tables::TSQLForm *S) {
        S->ComboBox1->setCurrentIndex(qf::tables::sdDbase);
        S->Edit1->setText(Dir.path());
        S->Memo1->setPlainText("SELECT * FROM contacts");
        QTest::mouseClick(S->ExecuteButton, Qt::LeftButton);
    });
    F.ExecSQL0->trigger();
    ASSERT_TRUE(F.Workspace->Active());
    EXPECT_EQ(Query.RecNo(), 1);
    EXPECT_EQ(Current("Execute SQL"), "Mia");
    F.ComboBox2->setCurrentText("EMAIL");
    EXPECT_EQ(PreparedCount(F), "65 Records");
    EXPECT_TRUE(Boxes.Texts.isEmpty()) << Boxes.Texts.join('\n').toStdString();
    FreeForms();
    QFile::remove(Profiles);
}

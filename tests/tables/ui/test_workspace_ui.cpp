// The table workspace in the real main window, offscreen: File > "Open Table..." through its
// dialog, the Access table picker, title clicks and the sorted column's colour, Descended and
// Unsort, column widths kept through Close and Reopen, and the layout file they write.

#include "data/mdb/mdbfixtures.h"
#include "dbforacle.h"
#include "layoutbytes.h"
#include "modal.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "tables/recordcommands.h"
#include "tables/ui/editdb.h"
#include "tables/ui/seltabform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace qf::shell;
using namespace qf::tables;

namespace {

void ClickTitle(QTableView *Grid, int Column)
{
    QHeaderView *H = Grid->horizontalHeader();
    const QPoint At(H->sectionViewportPosition(Column) + H->sectionSize(Column) / 2,
                    H->height() / 2);
    QTest::mouseClick(H->viewport(), Qt::LeftButton, {}, At);
}

class TablesUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table = layouttest::CopySample(Dir.path());
        Form = std::make_unique<TMainForm>();
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Grid = Form->RxDBGrid1;
        // A message box nobody expects would block the test: close it and fail with its text.
        QObject::connect(&Watchdog, &QTimer::timeout, [] {
            if (auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "unexpected message: " << Box->text().toStdString();
                Box->reject();
            }
        });
        Watchdog.start(50);
    }
    void TearDown() override
    {
        Form.reset();
        TableName.clear();
        SqlQueryMode = 0;
    }
    TTableWorkspace &W() { return *Form->Workspace; }
    QString Cell(int Row, int Column)
    {
        return Grid->model()->index(Row, Column).data().toString();
    }
    QStringList ColumnTexts(int Column)
    {
        QStringList Texts;
        for (int Row = 0; Row < Grid->model()->rowCount(); ++Row)
            Texts << Cell(Row, Column);
        return Texts;
    }
    bool Aqua(int Row, int Column)
    {
        const QVariant Brush = Grid->model()->index(Row, Column).data(Qt::BackgroundRole);
        return Brush.isValid() && Brush.value<QBrush>().color() == QColor(Qt::cyan);
    }

    QTemporaryDir Dir;
    QString Table;
    std::unique_ptr<TMainForm> Form;
    QTableView *Grid = nullptr;
    QTimer Watchdog;
};

} // namespace

TEST_F(TablesUi, OpenSortCloseReopenAndTheLayoutFile)
{
    WhenModal<QFileDialog>([&](QFileDialog *Dialog) {
        // Set, not typed: a completer popping up under load would take the Return key.
        Dialog->findChild<QLineEdit *>("fileNameEdit")->setText(Table);
        QTest::mouseClick(Dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open),
                          Qt::LeftButton);
    });
    Form->OpenTable0->trigger();
    ASSERT_TRUE(W().Active());
    EXPECT_EQ(Grid->model()->rowCount(), 300);
    EXPECT_EQ(Cell(0, 0), "Piet");

    // A click in the grid moves the dataset's cursor; painting rows does not.
    Grid->scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(W().ADOQuery1().RecNo(), 1);
    Grid->scrollToTop();
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {},
                      Grid->visualRect(Grid->model()->index(3, 1)).center());
    EXPECT_EQ(W().ADOQuery1().RecNo(), 4);

    // A title click sorts ascending and paints the column aqua; the memo title does not sort.
    ClickTitle(Grid, 1);
    QStringList Names = ColumnTexts(1);
    EXPECT_TRUE(std::is_sorted(Names.begin(), Names.end()));
    EXPECT_TRUE(Aqua(0, 1) && Aqua(299, 1) && !Aqua(0, 0));
    ClickTitle(Grid, 7);
    EXPECT_EQ(W().ADOQuery1().Sort(), "LASTNAME ASC");
    Form->Descend0->trigger();
    Names = ColumnTexts(1);
    EXPECT_TRUE(std::is_sorted(Names.rbegin(), Names.rend()));
    Form->Unsort0->trigger();
    EXPECT_EQ(Cell(0, 0), "Piet");
    EXPECT_FALSE(Aqua(0, 1));

    // A record added and deleted again: the grid's rows follow, its widths and column stay.
    Grid->horizontalHeader()->resizeSection(0, 123);
    Grid->setCurrentIndex(Grid->model()->index(2, 5));
    TADOQuery &Q = W().ADOQuery1();
    Q.Append();
    Q.FieldByName("FIRSTNAME").SetAsString("Added");
    Q.Post();
    EXPECT_EQ(Cell(300, 0), "Added");
    Q.Delete();
    Q.UpdateBatch();
    EXPECT_EQ(Grid->model()->rowCount(), 300);
    EXPECT_EQ(Grid->columnWidth(0), 123);
    EXPECT_EQ(Grid->currentIndex().column(), 5);

    // Sorted again by a title, closed and opened again (the command-line road): widths, sort
    // and tick come back from the layout file.
    ClickTitle(Grid, 3);
    Form->CloseDB0->trigger();
    EXPECT_TRUE(Grid->isHidden());
    EXPECT_FALSE(Form->Descend0->isChecked());
    const QString Cfg = Dir.filePath("contacts.cfg");
    const QByteArray Layout = ReadBytes(Cfg);
    EXPECT_TRUE(Layout.startsWith(layouttest::TLayoutBytes().Str("CITY").Flag(true).Bytes()));
    Form->OpenCommandLineTables({Table});
    EXPECT_EQ(Grid->columnWidth(0), 123);
    EXPECT_EQ(W().ADOQuery1().Sort(), "CITY DESC");
    EXPECT_TRUE(Form->Descend0->isChecked());
    EXPECT_TRUE(Aqua(5, 3));

    // Reopen keeps the grid column and the sort; the window's close writes the same bytes again.
    Grid->setCurrentIndex(Grid->model()->index(2, 5));
    Form->Reopen0->trigger();
    EXPECT_EQ(Grid->currentIndex().column(), 5);
    EXPECT_EQ(W().ADOQuery1().Sort(), "CITY DESC");
    EXPECT_EQ(Grid->columnWidth(0), 123);
    Form->close();
    EXPECT_EQ(ReadBytes(Cfg), Layout);
}

TEST_F(TablesUi, AccessTableThroughThePicker)
{
    REQUIRE_MDB_FIXTURES();
    const QString Mdb = Dir.filePath("Monitor.mdb");
    ASSERT_TRUE(QFile::copy(QDir(MdbFixtureDir()).filePath("Monitor.mdb"), Mdb));
    // Cancelled: no table, the connection closed.
    WhenModal<TSelTabForm>(
        [](TSelTabForm *Picker) { QTest::mouseClick(Picker->Cancel, Qt::LeftButton); });
    Form->OpenCommandLineTables({Mdb});
    EXPECT_FALSE(W().Active());
    EXPECT_FALSE(W().ADOConnection1().Connected());

    // A double click on the last table opens it.
    QString Chosen;
    WhenModal<TSelTabForm>([&](TSelTabForm *Picker) {
        QListWidgetItem *Item = Picker->ListBox1->item(Picker->ListBox1->count() - 1);
        Chosen = Item->text();
        const QPoint At = Picker->ListBox1->visualItemRect(Item).center();
        QTest::mouseClick(Picker->ListBox1->viewport(), Qt::LeftButton, {}, At);
        QTest::mouseDClick(Picker->ListBox1->viewport(), Qt::LeftButton, {}, At);
    });
    Form->OpenCommandLineTables({Mdb});
    ASSERT_TRUE(W().Active());
    EXPECT_EQ(TableName, Chosen);
    EXPECT_EQ(Grid->model()->rowCount(), W().ADOQuery1().RecordCount());

    // Read-only, but its records can be looked at in the editor: Edit is on, Add and Delete off.
    ASSERT_GT(W().ADOQuery1().RecordCount(), 0);
    EXPECT_TRUE(Form->EditRec0->isEnabled());
    EXPECT_FALSE(Form->AddRec0->isEnabled() || Form->DeleteRec0->isEnabled());
    QString Shown;
    WhenModal<TEditDB>([&](TEditDB *E) {
        Shown = E->StatusPanel->text();
        QTest::mouseClick(E->CloseButton, Qt::LeftButton);
    });
    Form->EditRec0->trigger();
    EXPECT_EQ(Shown, W().RecordCommands().RecordPositionText());

    Form->CloseDB0->trigger();
    EXPECT_TRUE(QFile::exists(Dir.filePath(Chosen + ".cfg")));
}

// The restructure dialog in the real main window, offscreen, through its widgets: the sample table
// restructured (renamed, retyped, resized, dropped, added and moved fields) and every record of the
// result read by dbfread and GDAL against the source records converted; an empty table created
// with the field dialog's refusals; Save As onto the open table itself; a Save As that fails.

#include "dbforacle.h"
#include "layoutbytes.h"
#include "modal.h"
#include "ogroracle.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "tables/ui/restructform.h"
#include "tables/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <csignal>
#include <sys/resource.h>

using namespace qf::shell;
using namespace qf::tables;

// Readable failures.
inline void PrintTo(const QJsonArray &Array, std::ostream *Out)
{
    *Out << QJsonDocument(Array).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

void Click(QAbstractButton *Button) { QTest::mouseClick(Button, Qt::LeftButton); }

void SelectRow(TRestructForm *F, int Row, bool Double = false)
{
    const QPoint At = F->StringGrid1->visualRect(F->StringGrid1->model()->index(Row, 0)).center();
    QTest::mouseClick(F->StringGrid1->viewport(), Qt::LeftButton, {}, At);
    if (Double)
        QTest::mouseDClick(F->StringGrid1->viewport(), Qt::LeftButton, {}, At);
}

QStringList Row(TRestructForm *F, int Row)
{
    QStringList Texts;
    for (int Column = 0; Column < 3; ++Column)
        Texts << (F->StringGrid1->item(Row, Column) ? F->StringGrid1->item(Row, Column)->text()
                                                    : QString());
    return Texts;
}

QStringList Names(TRestructForm *F)
{
    QStringList Texts;
    for (int r = 0; r < F->StringGrid1->rowCount(); ++r)
        Texts << Row(F, r)[0];
    return Texts;
}

// The field dialog opened by Open (a click on Button, else a double click on the selected
// row), filled by typing, closed with OK.
void EditField(TRestructForm *F, QAbstractButton *Button, const QString &Name, int Type,
               const QString &Size)
{
    WhenModal<TEditForm>([=](TEditForm *E) {
        E->Edit1->selectAll();
        QTest::keyClicks(E->Edit1, Name);
        E->ComboBox1->setCurrentIndex(Type);
        E->Edit2->selectAll();
        QTest::keyClicks(E->Edit2, Size);
        Click(E->OkBtn);
    });
    if (Button)
        Click(Button);
    else
        SelectRow(F, F->StringGrid1->currentRow(), true);
}

// The save dialog given a name, then the copy options taken as they are (or checked by Options).
void SaveAs(TRestructForm *F, const QString &FileName, bool Data = true,
            std::function<void(TCopyOptForm *)> Options = nullptr)
{
    WhenModal<QFileDialog>([=](QFileDialog *Dialog) {
        Dialog->findChild<QLineEdit *>("fileNameEdit")->setText(FileName);
        Click(Dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save));
    });
    if (Data)
        WhenModal<TCopyOptForm>([=](TCopyOptForm *O) {
            if (Options)
                Options(O);
            Click(O->OkBtn);
        });
    Click(F->Button3);
}

// The longest start of Text within Bytes bytes of UTF-8, as a character field keeps it.
QString CutUtf8Text(const QString &Text, int Bytes)
{
    QString Cut;
    for (const QChar C : Text) {
        if ((Cut + C).toUtf8().size() > Bytes)
            break;
        Cut += C;
    }
    while (Cut.endsWith(QLatin1Char(' ')))
        Cut.chop(1);
    return Cut;
}

// dbfread reads blank text fields as ""; here they are blanks like the others.
QJsonArray Records(const QString &FileName)
{
    QJsonArray Result;
    for (const QJsonValue &Record : ReadWithDbfread(FileName)["records"].toArray()) {
        QJsonArray Values;
        for (const QJsonValue &Value : Record.toArray())
            Values.append(Value.isString() && Value.toString().isEmpty() ? QJsonValue() : Value);
        Result.append(Values);
    }
    return Result;
}

class RestructureUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        Table = layouttest::CopySample(Dir.path());
        Form = std::make_unique<TMainForm>();
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        // Every message box is recorded and answered: Yes where it asks, else OK.
        QObject::connect(&Watchdog, &QTimer::timeout, [this] {
            if (auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                Box && Box->isVisible()) {
                Boxes << Box->text();
                Click(Box->button(QMessageBox::Yes) ? Box->button(QMessageBox::Yes)
                                                    : Box->button(QMessageBox::Ok));
            }
        });
        Watchdog.start(20);
    }
    void TearDown() override
    {
        Form.reset();
        TableName.clear();
    }
    TTableWorkspace &W() { return *Form->Workspace; }
    QMap<QString, QByteArray> Files() const
    {
        QMap<QString, QByteArray> Map;
        for (const QString &Name : QDir(Dir.path()).entryList(QDir::Files))
            Map.insert(Name, ReadBytes(Dir.filePath(Name)));
        return Map;
    }
    // Runs Steps in the restructure dialog (Create DBF when Create), then closes it.
    void InDialog(const std::function<void(TRestructForm *)> &Steps, bool Create = false)
    {
        bool Done = false;
        WhenModal<TRestructForm>([&](TRestructForm *F) {
            Steps(F);
            Click(F->CloseBtn);
            Done = true;
        });
        (Create ? Form->CreateDBF0 : Form->Restructure0)->trigger();
        ASSERT_TRUE(Done);
    }

    QTemporaryDir Dir;
    QString Table;
    std::unique_ptr<TMainForm> Form;
    QTimer Watchdog;
    QStringList Boxes;
};

} // namespace

TEST_F(RestructureUi, RestructuredSampleReadByDbfreadAndGdal)
{
    const QJsonArray Source = Records(Table);
    ASSERT_EQ(Source.size(), 300);
    Form->OpenDBFFile(Table);
    const QStringList Result = {"CITY",   "GIVEN",  "LASTNAME", "AMOUNT",
                                "JOINED", "ACTIVE", "NOTES",    "EXTRA"};
    InDialog([&](TRestructForm *F) {
        EXPECT_EQ(Row(F, 0), QStringList({"FIRSTNAME", "C", "15"}));
        SelectRow(F, 0);
        EditField(F, F->Button2, "Given", 0, "8"); // renamed and narrowed
        SelectRow(F, 4);
        EditField(F, F->Button2, "AMOUNT", 0, "12"); // number to text, its own name kept
        SelectRow(F, 5);
        EditField(F, nullptr, "JOINED", 1, ""); // date to number, by a double click
        SelectRow(F, 6);
        EditField(F, F->Button2, "ACTIVE", 4, ""); // logical to memo
        SelectRow(F, 7);
        EditField(F, F->Button2, "NOTES", 0, "30"); // memo to text
        SelectRow(F, 2);
        Click(F->Button4);                        // EMAIL dropped
        EditField(F, F->Button1, "extra", 3, ""); // added at the end
        SelectRow(F, 2);
        for (int i = 0; i < 3; ++i) // CITY to the top; the third does nothing
            Click(F->SpeedButton1);
        Click(F->SpeedButton2); // down and up again: the selection follows the field
        Click(F->SpeedButton1);
        EXPECT_EQ(Names(F), Result);
        EXPECT_EQ(Row(F, 6), QStringList({"NOTES", "C", "30"}));
        SaveAs(F, "restructured");
        // The dialog now lists the table just written, as read back from it.
        EXPECT_EQ(Names(F), Result);
        EXPECT_EQ(Row(F, 5), QStringList({"ACTIVE", "M", ""}));
    });
    // One question before the target is written: the texts cut to the narrower fields.
    ASSERT_EQ(Boxes.size(), 1);
    int Cut = 0;
    for (const QJsonValue &Record : Source)
        Cut += (Record[0].toString().toUtf8().size() > 8) +
               (Record[7].toString().toUtf8().size() > 30);
    EXPECT_TRUE(Boxes[0].startsWith(
        QStringLiteral("%1 values would not be copied whole:\nrecord ").arg(Cut)))
        << Boxes[0].toStdString();
    EXPECT_EQ(W().TableName, "restructured.dbf");

    const QString File = Dir.filePath("restructured.dbf");
    const QJsonArray Copied = Records(File);
    const auto Gdal = ReadWithOgrinfo(File);
    ASSERT_EQ(Copied.size(), Source.size());
    ASSERT_EQ(Gdal.size(), size_t(Source.size()));
    const QDate Epoch(1899, 12, 30);
    for (qsizetype r = 0; r < Source.size(); ++r) {
        // Source: FIRSTNAME, LASTNAME, EMAIL, CITY, AMOUNT, JOINED, ACTIVE, NOTES.
        const QJsonArray S = Source[r].toArray();
        const QJsonValue N;
        const QJsonValue Amount =
            S[4].isNull() ? N : QJsonValue(QString::number(S[4].toDouble(), 'g', 15));
        const QJsonValue Joined =
            S[5].isNull()
                ? N
                : QJsonValue(double(Epoch.daysTo(QDate::fromString(S[5].toString(), Qt::ISODate))));
        const QString Notes = CutUtf8Text(S[7].toString(), 30);
        const QJsonArray Expected = {S[3],
                                     CutUtf8Text(S[0].toString(), 8),
                                     S[1],
                                     Amount,
                                     Joined,
                                     S[6].toBool() ? "True" : "False",
                                     Notes.isEmpty() ? N : Notes,
                                     N};
        EXPECT_EQ(Copied[r].toArray(), Expected) << "record " << r + 1;
        EXPECT_EQ(Gdal[size_t(r)].value("ACTIVE").size(), 10); // every record has its memo
    }
    EXPECT_EQ(Records(Table), Source); // the source table is untouched
}

TEST_F(RestructureUi, CreateAnEmptyTableWithTheFieldDialogsChecks)
{
    InDialog(
        [&](TRestructForm *F) {
            Click(F->Button3); // nothing to save
            EditField(F, F->Button1, "id", 0, "5");
            EXPECT_EQ(Row(F, 0), QStringList({"ID", "C", "5"}));
            // Refusals keep the field dialog open with the input; the first failing check speaks.
            WhenModal<TEditForm>([&](TEditForm *E) {
                QTest::keyClicks(E->Edit1, "Id");
                for (const char *Size :
                     {"255", "abc", "-3", "254"}) { // the size first, then the name
                    E->Edit2->clear();
                    QTest::keyClicks(E->Edit2, Size);
                    Click(E->OkBtn);
                }
                EXPECT_TRUE(E->isVisible());
                Click(E->CancelBtn); // the added row goes again
            });
            Click(F->Button1);
            EXPECT_EQ(F->StringGrid1->rowCount(), 1);
            EditField(F, F->Button1, "when", 2, "99"); // the size box is ignored for dates
            SelectRow(F, 1);
            Click(F->SpeedButton2); // the last row stays last
            EXPECT_EQ(Names(F), QStringList({"ID", "WHEN"}));
            SaveAs(F, Dir.filePath("fresh"), false); // no copy options when creating
        },
        true);
    EXPECT_EQ(Boxes, QStringList({"Though one field is required", "Maximum Size of Field is 254",
                                  "Invalid Size", "Field Size Required",
                                  "Dublicate Field Name - \"Id\""}));
    EXPECT_EQ(W().TableName, "fresh.dbf");
    const QJsonObject Oracle = ReadWithDbfread(Dir.filePath("fresh.dbf"));
    EXPECT_EQ(Oracle["count"].toInt(), 0);
    EXPECT_EQ(Oracle["fields"].toArray(),
              QJsonArray({QJsonArray{"ID", "C", 5, 0}, QJsonArray{"WHEN", "D", 8, 0}}));
    EXPECT_TRUE(ReadWithOgrinfo(Dir.filePath("fresh.dbf")).empty());
}

TEST_F(RestructureUi, SaveAsOntoTheOpenTableAndAFailedOne)
{
    Form->OpenDBFFile(Table);
    W().TitleClick(1); // sorted by LASTNAME
    W().FieldInfo[3].PickList = QStringList{"Ambervale"};
    Form->RxDBGrid1->setColumnWidth(3, 151); // widened by the user
    const QJsonArray Before = Records(Table);
    const auto FilesBefore = Files();

    // A disk that fills (the file-size limit) during the copy: an error, the files as they were.
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
    InDialog([&](TRestructForm *F) {
        rlimit Limited = Old;
        Limited.rlim_cur = 30000;
        setrlimit(RLIMIT_FSIZE, &Limited);
        SaveAs(F, Table);
        setrlimit(RLIMIT_FSIZE, &Old);
        EXPECT_EQ(Files(), FilesBefore);
        // Then the same, with CITY moved to the top, written in place of the open table. The copy
        // options: sorted, so "Copy by Sorted Sequence" may be chosen; not filtered.
        SelectRow(F, 3);
        for (int i = 0; i < 3; ++i)
            Click(F->SpeedButton1);
        SaveAs(F, Table, true, [](TCopyOptForm *O) {
            EXPECT_FALSE(O->CheckBox2->isEnabled());
            EXPECT_TRUE(O->CheckBox3->isEnabled());
            // A title, but no close box and no system menu: the choice ends with "Ok".
            for (const Qt::WindowFlags Flags : {O->windowFlags(), O->windowHandle()->flags()}) {
                EXPECT_EQ(Flags & Qt::WindowType_Mask, Qt::Dialog);
                EXPECT_TRUE(Flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint));
                EXPECT_FALSE(Flags & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                                      Qt::WindowContextHelpButtonHint))
                    << std::hex << Flags.toInt();
            }
        });
    });
    std::signal(SIGXFSZ, OldHandler);
    ASSERT_EQ(Boxes.size(), 3);
    EXPECT_TRUE(Boxes[1].contains("could not be written") &&
                Boxes[1].contains("The copy stopped at record"))
        << Boxes[1].toStdString();

    EXPECT_EQ(W().ADOQuery1().Fields(0).FieldName(), "CITY");
    EXPECT_EQ(W().ADOQuery1().Sort(), "LASTNAME ASC");
    EXPECT_EQ(W().FieldInfo[0].PickList, QStringList({"Ambervale"}));
    EXPECT_EQ(Form->RxDBGrid1->columnWidth(0), 151);
    const QJsonArray After = Records(Table);
    ASSERT_EQ(After.size(), Before.size());
    for (qsizetype r = 0; r < Before.size(); ++r) {
        const QJsonArray B = Before[r].toArray();
        EXPECT_EQ(After[r].toArray(), QJsonArray({B[3], B[0], B[1], B[2], B[4], B[5], B[6], B[7]}))
            << "record " << r + 1;
    }
    EXPECT_FALSE(QFile::exists(Dir.filePath("contacts.cfg")));
    EXPECT_EQ(QDir(Dir.path()).entryList({"tmp*"}, QDir::Files), QStringList());
}

TEST_F(RestructureUi, MemosLostFromTheMemoFileAreToldAtTheOpenAndAskedBeforeACopy)
{
    const std::vector<TRawField> Fields = {{"NAME", 'C', 10}, {"NOTE", 'M', 10}};
    const QString Damaged = Dir.filePath("damaged.dbf");
    // The memo file was cut after its first text: the second memo and a damaged reference point
    // past its end.
    WriteBytes(Damaged,
               RawDbf(0x83, Fields,
                      {RawRecord(Fields, {"Anna", "1"}), RawRecord(Fields, {"Bob", "2"}),
                       RawRecord(Fields, {"Cid", ""}), RawRecord(Fields, {"Dan", "9999999999"})}));
    QByteArray Memo(512, '\0');
    qToLittleEndian<quint32>(3, Memo.data());
    Memo += QByteArray("kept\x1A\x1A").leftJustified(512, '\0');
    WriteBytes(Dir.filePath("damaged.dbt"), Memo);

    Form->OpenDBFFile(Damaged);
    ASSERT_TRUE(W().Active());
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_EQ(Boxes[0], QStringLiteral("The memo file \"%1\" is damaged: 2 memos of the table "
                                       "\"%2\" refer to places past its end and read as empty.")
                            .arg(Dir.filePath("damaged.dbt"), Damaged));
    Form->Reopen0->trigger();
    EXPECT_EQ(Boxes.size(), 2); // said again at every open, once

    // Save As asks before the loss becomes final: the box is answered Yes here.
    InDialog([&](TRestructForm *F) { SaveAs(F, Dir.filePath("copy")); });
    ASSERT_EQ(Boxes.size(), 3);
    EXPECT_EQ(Boxes[2], QStringLiteral("2 values would not be copied whole:\n"
                                       "record 2, field NOTE: the memo refers to block 2, past "
                                       "the end of the memo file \"%1\"; its text is lost and "
                                       "would be left blank\n"
                                       "record 4, field NOTE: the memo refers to block "
                                       "9999999999, past the end of the memo file \"%1\"; its "
                                       "text is lost and would be left blank\n\n"
                                       "Save the table anyway?")
                            .arg(Dir.filePath("damaged.dbt")));
    EXPECT_EQ(W().TableName, "copy.dbf");
    const QJsonArray Copied = Records(Dir.filePath("copy.dbf"));
    ASSERT_EQ(Copied.size(), 4);
    EXPECT_EQ(Copied[0].toArray(), QJsonArray({"Anna", "kept"}));
    EXPECT_EQ(Copied[1].toArray(), QJsonArray({"Bob", QJsonValue()}));
}

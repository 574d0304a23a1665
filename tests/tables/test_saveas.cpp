// Save As of a restructured field list through the workspace, without a window: onto the open
// table itself with its field settings carried over, and failures after the copy (a rename that
// fails, values that would be lost) that leave the target's files as they were. A disk that fills
// during the copy: the window tests.

#include "dbforacle.h"
#include "tables/restructure.h"
#include "tables/saveas.h"
#include "workspacefixture.h"

#include <QDir>

using namespace qf::tables;

namespace {
class TablesSaveAs : public TSampleWorkspace {
protected:
    void SetUp() override
    {
        TSampleWorkspace::SetUp();
        W.OpenDBFFile(Table);
        W.Close(); // writes the layout file, which must go with the old table
        W.OpenDBFFile(Table);
        ASSERT_TRUE(W.Active());
        List.BuildFieldDefs(W.ADOQuery1(), W.FieldInfo);
    }
    QMap<QString, QByteArray> Files() const
    {
        QMap<QString, QByteArray> Map;
        for (const QString &Name : QDir(Dir.path()).entryList(QDir::Files))
            Map.insert(Name, ReadBytes(Dir.filePath(Name)));
        return Map;
    }
    TRestructure List;
    TSaveAsFlow Flow{W};
};
} // namespace

TEST_F(TablesSaveAs, OntoTheOpenTableItselfKeepsTheFieldSettings)
{
    const QJsonArray Before = ReadWithDbfread(Table)["records"].toArray();
    ASSERT_TRUE(W.TitleClick(1));
    W.FieldInfo[3].PickList = QStringList{"Ambervale", "Brightwater"};
    W.FieldInfo[3].Template = 1;
    W.FieldInfo[3].GridWidth = 123;
    List.BuildFieldDefs(W.ADOQuery1(), W.FieldInfo);
    // Move CITY to the top, drop EMAIL.
    for (int i = 3; i > 0; --i)
        ASSERT_TRUE(List.MoveUp(i));
    List.Delete(3);
    const auto Rights = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QFile::setPermissions(Table, Rights);
    ASSERT_TRUE(Flow.SaveAs(Dir.filePath("contacts"), List.FFieldDefs, false)); // ".dbf" added
    EXPECT_EQ(QFile::permissions(Table) & 0xF0FF, Rights); // the replaced table's access rights
    EXPECT_EQ(QFile::permissions(Dir.filePath("contacts.dbt")) & 0xF0FF, Rights);

    EXPECT_EQ(W.TableName, "contacts.dbf");
    EXPECT_EQ(W.FieldInfo[0].PickList, QStringList({"Ambervale", "Brightwater"}));
    EXPECT_EQ(W.FieldInfo[0].Template, 1);
    EXPECT_EQ(W.FieldInfo[0].GridWidth, 123);
    EXPECT_EQ(W.ADOQuery1().Sort(), "LASTNAME ASC");
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files),
              QStringList({"contacts.cpg", "contacts.dbf", "contacts.dbt"}));
    const QJsonArray After = ReadWithDbfread(Table)["records"].toArray();
    ASSERT_EQ(After.size(), Before.size());
    for (qsizetype r = 0; r < Before.size(); ++r) {
        const QJsonArray Old = Before[r].toArray();
        EXPECT_EQ(After[r].toArray(),
                  QJsonArray({Old[3], Old[0], Old[1], Old[4], Old[5], Old[6], Old[7]}))
            << "record " << r + 1;
    }
}

TEST_F(TablesSaveAs, FailuresLeaveTheTargetAsItWas)
{
    const auto Before = Files();
    ASSERT_EQ(Before.keys(), QStringList({"contacts.cfg", "contacts.dbf", "contacts.dbt"}));
    // A rename that fails after the copy: the old files come back and the table is reopened.
    QDir(Dir.path()).mkdir("contacts.cpg");
    const QString Error = Message([&] { Flow.SaveAs(Table, List.FFieldDefs, false); });
    EXPECT_TRUE(Error.contains("could not be replaced; its files are as they were"))
        << Error.toStdString();
    QDir(Dir.path()).rmdir("contacts.cpg");
    EXPECT_EQ(Files(), Before);
    EXPECT_EQ(W.TableName, "contacts.dbf");

    // Values that would be lost (dates as logicals) are asked about; No changes nothing.
    List.FFieldDefs[5].Kind = dtL;
    QString Question;
    Flow.OnConfirmLoss = [&](const QString &Text) { return Question = Text, false; };
    EXPECT_FALSE(Flow.SaveAs(Table, List.FFieldDefs, false));
    EXPECT_TRUE(
        Question.startsWith("300 values would not be copied whole:\nrecord 1, field JOINED: \"") &&
        Question.endsWith("Save the table anyway?"))
        << Question.toStdString();
    EXPECT_EQ(Files(), Before);
    // Yes saves them blank.
    Flow.OnConfirmLoss = [](const QString &) { return true; };
    EXPECT_TRUE(Flow.SaveAs(Table, List.FFieldDefs, false));
    EXPECT_EQ(ReadWithDbfread(Table)["records"].toArray()[0].toArray()[5], QJsonValue());
}

// The name the copy is first written under is never the target's own.
TEST_F(TablesSaveAs, ToTheNameOfTheTemporaryFile)
{
    ASSERT_TRUE(Flow.SaveAs(Dir.filePath("tmp0.dbf"), List.FFieldDefs, false));
    EXPECT_EQ(W.ADOQuery1().RecordCount(), 300);
    EXPECT_EQ(QDir(Dir.path()).entryList({"tmp*"}, QDir::Files),
              QStringList({"tmp0.cpg", "tmp0.dbf", "tmp0.dbt"}));
}

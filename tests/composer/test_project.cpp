#include "composer/attachments.h"
#include "composerfixture.h"

#include <map>

namespace {

// One item as the file holds it: key length, key, kind, payload.
struct TItem {
    int Kind;
    QByteArray Payload;
};
QByteArray Le32(int32_t V)
{
    QByteArray B(4, '\0');
    qToLittleEndian<qint32>(V, B.data());
    return B;
}
TItem Str(int Kind, const QString &S)
{
    return {Kind, Le32(int32_t(S.toUtf8().size())) + S.toUtf8()};
}
TItem Int(int Kind, int32_t V) { return {Kind, Le32(V)}; }
TItem Byte(int Kind, uint8_t V) { return {Kind, QByteArray(1, char(V))}; }
// The file: format 1, then the items in ascending byte order of their keys.
QByteArray FileOf(const std::map<std::string, TItem> &Items)
{
    QByteArray B = Le32(1);
    for (const auto &[Key, Item] : Items)
        B += Le32(int32_t(Key.size())) + QByteArray::fromStdString(Key) + Le32(Item.Kind) +
             Item.Payload;
    return B;
}

class Project : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TMailProject P;
    TMessageSettings Controls; // what the window's controls hold
    QString Source, Plain;     // the source and plain-text views
    std::vector<QString> Errors;
    TSaveAnswer Answer = saCancel;
    QString OpenName, SaveName;

    void SetUp() override
    {
        P.GetMessageSettings = [this] {
            TMessageSettings S = Controls;
            S.Doc = Source;
            S.Plain = Plain;
            return S;
        };
        P.ApplyMessageSettings = [this](const TMessageSettings &S) {
            Controls = S;
            Source = S.Doc;
            Plain = S.Plain;
        };
        P.SourceText = [this] { return Source; };
        P.PlainText = [this] { return Plain; };
        P.OnError = [this](const QString &M) { Errors.push_back(M); };
        P.AskSaveProject = [this] { return Answer; };
        P.ChooseOpenFile = [this](QString &F) {
            F = OpenName;
            return !F.isEmpty();
        };
        P.ChooseSaveFile = [this](QString &F) {
            F = SaveName;
            return !F.isEmpty();
        };
        P.ReadDefaultCharset = [] { return 7; };
        P.LoadMessageSettings();
        P.ResetModified();
    }
    QString Path(const char *Name) { return Dir.filePath(QString::fromUtf8(Name)); }
};

TEST_F(Project, FileHoldsEveryItemByteForByte)
{
    Controls.FText = "AMOUNT > 10";
    Controls.UseF = true;
    Source = "<HTML>Grüße %NAME</HTML>";
    Controls.From = "office";
    Controls.SubMail = 4;
    Controls.Subject = "Hello %NAME";
    Controls.ToAddr = "EMAIL";
    Plain = "plain\r\ntext";
    P.CharsetIndex = 14;
    TAttachments(P.DList1).Add({"/tmp/Price.pdf", "/tmp/b c.txt"});
    AddCalcField(P.DList1, "GREETING", 3, "\"Dear \" + NAME");
    SaveName = Path("Letter");
    ASSERT_TRUE(P.SaveProjectAs());

    const QByteArray Expected = FileOf({
        {"Attach", Str(3, "/tmp/Price.pdf\r\n/tmp/b c.txt")},
        {"CF~Expr~GREETING", Str(2, "\"Dear \" + NAME")},
        {"CF~Type~GREETING", Int(1, 3)},
        {"Charset", Int(14, 14)},
        {"Doc", Str(6, "<HTML>Grüße %NAME</HTML>")},
        {"FText", Str(4, "AMOUNT > 10")},
        {"From", Str(8, "office")},
        {"Plain", Str(12, "plain\r\ntext")},
        {"SubMail", Byte(9, 4)},
        {"Subject", Str(10, "Hello %NAME")},
        {"ToAddr", Str(11, "EMAIL")},
        {"UseF", Byte(5, 1)},
    });
    EXPECT_EQ(ReadBytes(Path("Letter.qfx")), Expected);

    // Reopened and saved again: the same bytes; the first file is now the backup.
    TMessageSettings Saved = P.GetMessageSettings();
    Controls = {};
    Source = Plain = QString();
    Answer = saNo;
    OpenName = Path("Letter.qfx");
    P.NewProject();
    P.OpenProject();
    Saved.Charset = 14;
    EXPECT_EQ(Controls, Saved);
    EXPECT_FALSE(P.IsModified());
    ASSERT_TRUE(P.SaveProject());
    EXPECT_EQ(ReadBytes(Path("Letter.qfx")), Expected);
}

TEST_F(Project, MissingItemsTakeTheirDefaults)
{
    // A file with nothing but a subject.
    WriteBytes(Path("bare.qfx"), FileOf({{"Subject", Str(10, "Hi")}}));
    Controls.UseF = true;
    ASSERT_TRUE(P.OpenMailFile(Path("bare.qfx")));
    TMessageSettings Defaults;
    Defaults.Subject = "Hi";
    Defaults.Charset = 7; // the "DefaultCharset" setting
    EXPECT_EQ(Controls, Defaults);
    EXPECT_EQ(Source, DefaultDocument);
    // No setting to read, or one outside the table: row 15.
    P.ReadDefaultCharset = [] { return CharsetCount; };
    P.LoadMessageSettings();
    EXPECT_EQ(P.CharsetIndex, 15);
    // A stored row outside the table counts as missing; items of a foreign kind too.
    WriteBytes(
        Path("odd.qfx"),
        FileOf({{"Charset", Int(14, CharsetCount)}, {"Doc", Int(1, 5)}, {"SubMail", Byte(9, 0)}}));
    P.ReadDefaultCharset = [] { return 3; };
    ASSERT_TRUE(P.OpenMailFile(Path("odd.qfx")));
    EXPECT_EQ(P.CharsetIndex, 3);
    EXPECT_EQ(Controls.Doc, DefaultDocument);
    EXPECT_EQ(Controls.SubMail, 0);
}

TEST_F(Project, ChangesAreFoundByTheTextsNotByByteSums)
{
    Source = "<p>ab</p>";
    Plain = "xy";
    P.ResetModified();
    EXPECT_FALSE(P.IsModified());
    Source = "<p>ba</p>"; // same byte sum
    EXPECT_TRUE(P.IsModified());
    Source = "<p>ab</p>"; // back to the same text: the change was found and stays
    EXPECT_TRUE(P.IsModified());
    P.ResetModified();
    // The editor's document: only once its hash was taken.
    QString Doc = "<body>one</body>";
    P.EditorDocument = [&](QString &H) {
        H = Doc;
        return true;
    };
    Doc = "<body>eno</body>";
    EXPECT_FALSE(P.IsModified());
    P.TakeDocChecksum(Doc);
    P.TakeDocChecksum("ignored: the first one counts");
    EXPECT_FALSE(P.IsModified());
    Doc = "<body>one</body>";
    EXPECT_TRUE(P.IsModified());
}

TEST_F(Project, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept)
{
    SaveName = Path("keep.qfx");
    Controls.Subject = "first";
    ASSERT_TRUE(P.SaveProjectAs());
    const QByteArray First = ReadBytes(Path("keep.qfx"));
    // The backup cannot take its place (a folder of that name holds a file).
    ASSERT_TRUE(QDir(Dir.path()).mkpath("Backup of keep.qfx/x"));
    Controls.Subject = "second";
    P.FModified = true;
    EXPECT_FALSE(P.SaveProject());
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_TRUE(Errors[0].contains("Backup of keep.qfx")) << Errors[0].toStdString();
    EXPECT_EQ(ReadBytes(Path("keep.qfx")), First);
    // A folder that does not exist: reported, and the project keeps its name.
    SaveName = Path("no/such/folder/x.qfx");
    EXPECT_FALSE(P.SaveProjectAs());
    EXPECT_EQ(Errors.size(), 2u);
    EXPECT_EQ(P.ProjectFileName, Path("keep.qfx"));
    Answer = saYes;
    EXPECT_FALSE(P.CloseQuery());
}

TEST_F(Project, CommandLineNamesKeepTheirCase)
{
    const TCommandLine C =
        ParseCommandLine({"/d/Mail/Letter", "/d/Data/Clients.DBF", "/d/other.dbf", "/d/Base.Mdb",
                          "/d/second.QFX", "notes.txt"});
    EXPECT_EQ(C.Project, "/d/Mail/Letter");
    EXPECT_EQ(C.Table, "/d/Data/Clients.DBF");
    EXPECT_EQ(C.Database, "/d/Base.Mdb");
    EXPECT_EQ(TMailProject::SaveTarget("/d/Letter"), "/d/Letter.qfx");
    EXPECT_EQ(TMailProject::SaveTarget("/d/Letter.Qfx"), "/d/Letter.Qfx");
}

TEST(Attachments, StoredAsChosenAndListed)
{
    TMailProject P;
    TAttachments A(P.DList1);
    A.EnsureItem(); // a cancelled "Add..." leaves the empty item
    EXPECT_TRUE(A.HasItem());
    EXPECT_EQ(A.Add({"/home/u/Price.pdf", "/home/u/price.pdf", "/home/u/Price.pdf"}), 2);
    int Select = 9;
    ASSERT_TRUE(A.Remove(0, Select));
    EXPECT_EQ(Select, 0);
    QString Text;
    GetString(P.DList1, "Attach", Text);
    EXPECT_EQ(Text, "/home/u/price.pdf\r\n/home/u/Price.pdf\r\n");
    A.Add({"/x"}); // no blank line after the trailing break
    EXPECT_EQ(A.Lines(), (QStringList{"/home/u/price.pdf", "/home/u/Price.pdf", "/x"}));
    ASSERT_TRUE(A.Remove(2, Select));
    EXPECT_EQ(Select, 1);
    EXPECT_FALSE(A.Remove(2, Select));
    ASSERT_TRUE(A.Remove(0, Select));
    ASSERT_TRUE(A.Remove(0, Select));
    EXPECT_EQ(Select, -1);
}

TEST(Attachments, MissingFilesAreNamedBeforeSending)
{
    QTemporaryDir Dir;
    const QString Here = Dir.filePath("Here.txt");
    WriteBytes(Here, "x");
    EXPECT_TRUE(TAttachments::CheckFiles({Here}).isEmpty());
    const QString M = TAttachments::CheckFiles({Here, Dir.filePath("here.txt"), Dir.path()});
    EXPECT_TRUE(M.contains(Dir.filePath("here.txt")));
    EXPECT_TRUE(M.contains("\"" + Dir.path() + "\""));
    EXPECT_FALSE(M.contains(Here + "\""));
}

} // namespace

// Settings, file-name helpers, the caption and resize rules, the main scanner's
// set-up and the splash clock: everything of the shell that needs no window.

#include "shell/fileutils.h"
#include "shell/framelogic.h"
#include "shell/globals.h"
#include "shell/quietlog.h"
#include "shell/settings.h"
#include "shell/splashclock.h"
#include "store/reader.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace qf::shell;
using namespace qf::store;
using namespace qftest;

namespace {

void Touch(const QString &Name)
{
    QFile F(Name);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
}

} // namespace

TEST(ShellFileUtils, MakeTempFileNameTakesFirstFreeCounterInFolderOrTempFolder)
{
    QTemporaryDir Dir;
    Touch(Dir.filePath("tmp0.dbf"));
    Touch(Dir.filePath("tmp1.dbf"));
    EXPECT_EQ(MakeTempFileName(Dir.path(), "tmp", "dbf"), Dir.path() + "/tmp2.dbf");
    // A folder given with its delimiter gets no second one; a "\" typed by the user is kept.
    EXPECT_EQ(MakeTempFileName(Dir.path() + "/", "tmp", "dbf"), Dir.path() + "/tmp2.dbf");
    EXPECT_EQ(MakeTempFileName("nowhere\\", "tmp", "dbf"), "nowhere\\tmp0.dbf");

    // No folder: the temporary folder.
    const QString Name = MakeTempFileName(QString(), "qfsh", "tst");
    EXPECT_TRUE(Name.startsWith(QDir::tempPath() + "/qfsh")) << Name.toStdString();
    EXPECT_FALSE(QFile::exists(Name));
    // An 8-character prefix gives always the same name, whether the file exists or not.
    const QString Preview = MakeTempFileName(QString(), "$qfprev_", "html");
    EXPECT_EQ(Preview, QDir::tempPath() + "/$qfprev_.html");
    Touch(Preview);
    EXPECT_EQ(MakeTempFileName(QString(), "$qfprev_", "html"), Preview);
    QFile::remove(Preview);
}

TEST(ShellFileUtils, RemoveFileExt)
{
    const char *Cases[][2] = {{"report.final.txt", "report.final"},
                              {"name.", "name"},
                              {"readme", "readme"},
                              {"c:\\docs.old\\readme", "c:\\docs.old\\readme"},
                              {"/home/u/docs.old/readme", "/home/u/docs.old/readme"},
                              {"/home/u/docs.old/offer.qfx", "/home/u/docs.old/offer"},
                              {"a.b:c", "a.b:c"},
                              {"", ""}};
    for (const auto &C : Cases)
        EXPECT_EQ(RemoveFileExt(C[0]), C[1]) << C[0];
}

TEST(ShellFrameLogic, CaptionAndResizeRule)
{
    EXPECT_EQ(CaptionText("", "", 0), "Quillfast - (NONAME) Using (NONAME)");
    EXPECT_EQ(CaptionText("", "", 1), "Quillfast - (NONAME) Using (SQL QUERY)");
    EXPECT_EQ(CaptionText("/any/folder/offer.qfx", "CLIENTS.DBF", 0),
              "Quillfast - offer Using CLIENTS");
    // An open table's name wins over the SQL-query mode.
    EXPECT_EQ(CaptionText("/p.x/offer", "CLIENTS.DBF", 1), "Quillfast - offer Using CLIENTS");
    // The subject row and the preview's status bar fill their panels down to a minimum.
    EXPECT_EQ(SubjectEditWidth(1000, 90), 900);
    EXPECT_EQ(SubjectEditWidth(200, 90), 150);
    EXPECT_EQ(PreviewStatusWidth(1000, 200), 780);
    EXPECT_EQ(PreviewStatusWidth(250, 200), 300);
}

TEST(ShellFrameLogic, TilesCoverTheAreaAndNeverLoopOnAnEmptyPicture)
{
    const auto T = TileOrigins(500, 200, 221, 132);
    ASSERT_EQ(T.size(), 6);
    EXPECT_EQ(T.front(), QPoint(0, 0));
    EXPECT_EQ(T.back(), QPoint(442, 132));
    EXPECT_TRUE(TileOrigins(500, 200, 0, 132).isEmpty());
    EXPECT_TRUE(TileOrigins(500, 200, 221, 0).isEmpty());
    EXPECT_TRUE(TileOrigins(0, 0, 221, 132).isEmpty());
}

TEST(ShellFrameLogic, MainReaderYieldsLineBreaksAndKeepsUnderscoreWords)
{
    TReader Reader;
    SetupMainReader(Reader);
    TScroller S(Reader);
    S.SetText("first_name\r\nlast name\n", 0);
    QStringList Tokens;
    for (int i = 0; i < 10 && S.Current().Kind != tkEnd; ++i, S.Next())
        Tokens << S.Current().Text;
    EXPECT_EQ(Tokens, QStringList({"first_name", "\r", "\n", "last", "name", "\n"}));
}

class ShellSettings : public ::testing::Test {
protected:
    void SetUp() override { ForgetSettings(); }
    void TearDown() override { ForgetSettings(); }
};

TEST_F(ShellSettings, RangesForeignTypesAndNoCharsetRow)
{
    const struct {
        const char *Text;
        int Threads, Charset;
        bool WriteLog;
        const char *ProfDir;
    } Cases[] = {
        // Any non-zero number is on, a text where a number belongs reads as the default,
        // and a list is not a string.
        {"Threads=0\nDefaultCharset=19\nWriteLog=7\nConfirmDel=yes\nProfDir=a,b\n", 1, 15, true,
         ""},
        {"Threads=1000\nDefaultCharset=-1\nWriteLog=0\nProfDir=/srv/profiles\n", 100, 15, false,
         "/srv/profiles"},
        {"Threads=99999999999\nDefaultCharset=18\n", 15, 18, false,
         ""}, // beyond 32 bits: unreadable
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        WriteSettingsFile(QByteArray("[2.0]\n") + C.Text);
        TOptionValues V;
        V.ConfirmDel = true;
        ASSERT_TRUE(ReadOptionValues(V));
        EXPECT_EQ(V.Threads, C.Threads);
        EXPECT_EQ(V.DefaultCharset, C.Charset);
        EXPECT_EQ(V.WriteLog, C.WriteLog);
        EXPECT_FALSE(V.ConfirmDel);
        EXPECT_EQ(V.ProfDir, C.ProfDir);
    }
    // No selected charset row: nothing is written for it; row 0 is.
    ForgetSettings();
    TOptionValues V;
    V.DefaultCharset = -1;
    ASSERT_TRUE(WriteOptionValues(V, ofDefaultCharset));
    EXPECT_FALSE(ReadSettingsFile().contains("DefaultCharset"));
    V.DefaultCharset = 0;
    ASSERT_TRUE(WriteOptionValues(V, ofDefaultCharset));
    EXPECT_TRUE(ReadSettingsFile().contains("DefaultCharset=0"));
}

TEST_F(ShellSettings, DirSettingsRoundTrip)
{
    const struct {
        QString *Dir;
        bool (*Save)();
        const char *Value;
    } Dirs[] = {{&DataBaseDir, SaveDataBaseDir, "/data/tables/"},
                {&MailDir, SaveMailDir, "/data/mail/"},
                {&SQLFileDir, SaveSQLFileDir, "/data/sql/"},
                {&SQLDataBase, SaveSQLDataBase, "/data/db.mdb"}};
    for (const auto &D : Dirs) {
        *D.Dir = D.Value;
        ASSERT_TRUE(D.Save());
    }
    for (const auto &D : Dirs)
        *D.Dir = "changed";
    ASSERT_TRUE(LoadDirSettings());
    for (const auto &D : Dirs)
        EXPECT_EQ(*D.Dir, D.Value);
    ForgetSettings();
    ASSERT_TRUE(LoadDirSettings());
    for (const auto &D : Dirs)
        EXPECT_TRUE(D.Dir->isEmpty());
}

TEST_F(ShellSettings, FailedWriteIsNotReportedAsSavedAndKeepsStoredValues)
{
    WriteSettingsFile("[2.0]\nThreads=7\nProfDir=/keep\nMailDir=/mail\n");
    TOptionValues V;
    ASSERT_TRUE(ReadOptionValues(V));
    V.Threads = 50;
    MailDir = "/other";
    {
        TFullDisk Full;
        EXPECT_FALSE(WriteOptionValues(V, ofThreads));
        EXPECT_FALSE(SaveMailDir());
    }
    // The file still holds every stored value.
    EXPECT_EQ(ReadSettingsFile(), "[2.0]\nThreads=7\nProfDir=/keep\nMailDir=/mail\n");
    // Written again once the disk has room, the values are stored beside the others.
    ASSERT_TRUE(WriteOptionValues(V, ofThreads));
    ASSERT_TRUE(SaveMailDir());
    const QByteArray Text = ReadSettingsFile();
    EXPECT_TRUE(Text.contains("Threads=50")) << Text.constData();
    EXPECT_TRUE(Text.contains("MailDir=/other")) << Text.constData();
    EXPECT_TRUE(Text.contains("ProfDir=/keep")) << Text.constData();
}

TEST_F(ShellSettings, UnopenableSettingsLeaveCurrentValuesAndSkipWrites)
{
    // The folder the settings belong in taken by a file; the settings file a folder.
    const std::function<void()> Blocks[] = {[] {
                                                QDir().mkpath(
                                                    QFileInfo(ConfigDir()).absolutePath());
                                                Touch(ConfigDir());
                                            },
                                            [] { QDir().mkpath(SettingsFile()); }};
    for (const auto &Block : Blocks) {
        ForgetSettings();
        Block();
        TOptionValues V;
        V.Threads = 33;
        V.ConfirmDel = true;
        V.ProfDir = "/current";
        const TOptionValues Current = V;
        EXPECT_FALSE(ReadOptionValues(V));
        EXPECT_EQ(V, Current);
        DataBaseDir = "/unchanged";
        EXPECT_FALSE(LoadDirSettings());
        EXPECT_EQ(DataBaseDir, "/unchanged");
        EXPECT_FALSE(WriteOptionValues(V, ofThreads));
        EXPECT_FALSE(SaveDataBaseDir());
        // What blocked them is left alone.
        EXPECT_TRUE(QFileInfo::exists(ConfigDir()));
        EXPECT_FALSE(QFileInfo(SettingsFile()).isFile());
    }
    QDir(SettingsFile()).removeRecursively();
    // Once the folder can be made, the same writes succeed.
    ForgetSettings();
    TOptionValues V;
    V.Threads = 9;
    EXPECT_TRUE(WriteOptionValues(V, ofThreads));
    EXPECT_TRUE(SaveDataBaseDir());
    EXPECT_TRUE(ReadSettingsFile().contains("Threads=9"));
}

TEST(ShellQuietLog, WebEngineNotesDroppedWarningsKept)
{
    static QStringList Seen;
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &Text) { Seen << Text; });
    InstallQuietLog(true);
    QLoggingCategory Context("qt.webenginecontext");
    qCInfo(Context) << "GL Type: disabled";
    qInfo("Sandboxing disabled by user.");
    qCWarning(Context) << "context creation failed";
    qInfo("other note");
    qWarning("a warning");
    EXPECT_EQ(Seen, QStringList({"context creation failed", "other note", "a warning"}));
    // The sandbox note stays when the program did not turn the sandbox off itself.
    InstallQuietLog(false);
    qInfo("Sandboxing disabled by user.");
    EXPECT_EQ(Seen.size(), 4);
    qInstallMessageHandler(nullptr);
}

TEST(ShellSplashClock, WaitsOnlyForTheRestOfTwoSeconds)
{
    using namespace std::chrono;
    TSplashClock::Clock::time_point Now{};
    milliseconds Slept{0};
    TSplashClock Clock([&] { return Now; },
                       [&](milliseconds Ms) {
                           Slept += Ms;
                           Now += Ms;
                       });
    Clock.Start();
    Now += milliseconds(700);
    Clock.Wait();
    EXPECT_EQ(Slept, milliseconds(1300));

    // A start-up that already took longer removes the splash without any wait.
    Slept = milliseconds(0);
    Clock.Start();
    Now += milliseconds(2500);
    Clock.Wait();
    EXPECT_EQ(Slept, milliseconds(0));

    // A sleep that returns early is completed; one that overshoots ends the wait.
    int Calls = 0;
    TSplashClock Early([&] { return Now; },
                       [&](milliseconds Ms) {
                           ++Calls;
                           Now += Ms / 2 + milliseconds(1);
                       });
    Early.Start();
    Early.Wait();
    EXPECT_GE(Calls, 2);
    EXPECT_EQ(Early.Remaining(), milliseconds(0));
}

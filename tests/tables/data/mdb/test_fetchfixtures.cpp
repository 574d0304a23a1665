// The Access fixtures' fetch on a machine that cannot reach the package registries: apt-get,
// apt-cache and npm are replaced by scripts that log their call and fail. One failed fetch is
// enough for a run: every later try, in this process or another, gives up at once.

#include "mdbfixtures.h"

#include <QProcessEnvironment>

namespace {

class MdbFixtureFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        QDir(Dir.path()).mkpath("bin");
        for (const char *Tool : {"apt-get", "apt-cache", "npm"}) {
            const QString Name = Dir.filePath(QStringLiteral("bin/") + QLatin1String(Tool));
            QFile Stub(Name);
            ASSERT_TRUE(Stub.open(QIODevice::WriteOnly));
            Stub.write(QStringLiteral("#!/bin/sh\necho \"$0 $*\" >>'%1'\n"
                                      "echo 'npm error code ECONNREFUSED' >&2\nexit 1\n")
                           .arg(Calls())
                           .toLocal8Bit());
            Stub.close();
            Stub.setPermissions(Stub.permissions() | QFileDevice::ExeOwner);
        }
        OldPath = qgetenv("PATH");
        qputenv("PATH", Dir.filePath("bin").toLocal8Bit() + ':' + OldPath);
        HadCI = qEnvironmentVariableIsSet("CI");
        OldCI = qgetenv("CI");
        qunsetenv("CI");
    }
    void TearDown() override
    {
        qputenv("PATH", OldPath);
        if (HadCI)
            qputenv("CI", OldCI);
    }
    QString Calls() const { return Dir.filePath("calls.log"); }
    QString Cache() const { return Dir.filePath("cache"); }
    int CallCount() const
    {
        QFile Log(Calls());
        return Log.open(QIODevice::ReadOnly) ? int(Log.readAll().count('\n')) : 0;
    }
    // The script run as the test run's set-up or as a test process runs it; its exit code.
    int RunScript(const QStringList &Options = {}, bool CI = false)
    {
        QProcess Script;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        if (CI)
            Env.insert("CI", "true");
        Script.setProcessEnvironment(Env);
        Script.start("bash", QStringList{QF_MDB_FETCH} + Options + QStringList{Cache()});
        EXPECT_TRUE(Script.waitForFinished(120000));
        return Script.exitCode();
    }

    QTemporaryDir Dir;
    QByteArray OldPath, OldCI;
    bool HadCI = false;
};

TEST_F(MdbFixtureFetch, AFailureIsRememberedForTheRunAndTheSetUpTriesAgain)
{
    // The run's set-up tries, fails with the registries' reasons, and skips (77).
    EXPECT_EQ(RunScript({"--retry"}), 77);
    const int Tried = CallCount();
    EXPECT_GT(Tried, 0);
    QFile Marker(QDir(Cache()).filePath(".fetch-failed"));
    ASSERT_TRUE(Marker.open(QIODevice::ReadOnly));
    const QString Reason = QString::fromLocal8Bit(Marker.readAll());
    EXPECT_TRUE(Reason.contains("mrtg-contrib")) << Reason.toStdString();
    EXPECT_TRUE(Reason.contains("mdb-reader")) << Reason.toStdString();
    EXPECT_TRUE(Reason.contains("ECONNREFUSED")) << Reason.toStdString();
    Marker.close();

    // Every test after it gives up at once, with the reason, and tries no registry again: the
    // helper in a test process, and the script behind the lock another process held.
    const QString Problem = FetchMdbFixtures(Cache());
    EXPECT_TRUE(Problem.contains("mdb-reader")) << Problem.toStdString();
    EXPECT_TRUE(Problem.contains(".fetch-failed")) << Problem.toStdString();
    EXPECT_EQ(RunScript(), 77);
    EXPECT_EQ(CallCount(), Tried);
    // In CI a run without the fixtures fails.
    EXPECT_EQ(RunScript({}, true), 1);
    EXPECT_EQ(CallCount(), Tried);

    // The next run's set-up tries again.
    EXPECT_EQ(RunScript({"--retry"}), 77);
    EXPECT_GT(CallCount(), Tried);

    // Fixtures that are there are used, whatever an earlier fetch left behind.
    for (const char *Name : {"Monitor.mdb", "testodbc.mdb", "fruit.mdb"}) {
        QFile File(QDir(Cache()).filePath(Name));
        ASSERT_TRUE(File.open(QIODevice::WriteOnly));
        File.write("x");
    }
    QDir(Cache()).mkpath("node/node_modules/mdb-reader");
    EXPECT_EQ(FetchMdbFixtures(Cache()), QString());
    EXPECT_EQ(RunScript(), 0);
}

} // namespace

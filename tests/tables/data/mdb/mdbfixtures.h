#pragma once
// The Access fixtures, fetched from the package registries on first use (never committed), and
// the independent reader npm mdb-reader run through node.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// QF_MDB_FIXTURES (set by CTest) or the build folder's default; QF_MDB_FETCH is the script.
inline QString MdbFixtureDir()
{
    const QByteArray FromEnv = qgetenv("QF_MDB_FIXTURES");
    return QString::fromLocal8Bit(FromEnv.isEmpty() ? QByteArray(QF_MDB_FIXTURES_DEFAULT)
                                                    : FromEnv);
}

// Fetches what is missing into Folder; returns an empty string when everything is there, else why
// not. A fetch that failed earlier in the run (its reason kept in .fetch-failed, which the run's
// set-up step clears) is not tried again, nor waited for: the registries are out of reach for
// every test alike, and each try takes minutes.
inline QString FetchMdbFixtures(const QString &Folder)
{
    const QDir Dir(Folder);
    auto Complete = [&] {
        return QFile::exists(Dir.filePath("Monitor.mdb")) &&
               QFile::exists(Dir.filePath("testodbc.mdb")) &&
               QFile::exists(Dir.filePath("fruit.mdb")) &&
               QFile::exists(Dir.filePath("node/node_modules/mdb-reader"));
    };
    if (Complete())
        return QString();
    const QString Marker = Dir.filePath(".fetch-failed");
    auto Problem = [&](const QString &Reason) {
        return QStringLiteral("the Access fixtures could not be fetched from the package "
                              "registries (apt-get download, npm); the Access tests are skipped "
                              "until the next ctest run, or until %1 is deleted:\n%2")
            .arg(Marker, Reason.trimmed());
    };
    QFile Failed(Marker);
    if (Failed.open(QIODevice::ReadOnly))
        return Problem(QString::fromLocal8Bit(Failed.readAll()));
    QProcess Fetch;
    Fetch.start(QStringLiteral("bash"), {QStringLiteral(QF_MDB_FETCH), Dir.absolutePath()});
    if (!Fetch.waitForFinished(300000)) {
        Fetch.kill();
        Fetch.waitForFinished();
        const QString Reason = QStringLiteral("the fetch did not finish within 5 minutes");
        QSaveFile Note(Marker);
        if (Note.open(QIODevice::WriteOnly)) {
            Note.write(Reason.toLocal8Bit());
            Note.commit();
        }
        return Problem(Reason);
    }
    if (Complete())
        return QString();
    return Problem(QString::fromLocal8Bit(Fetch.readAllStandardError()));
}

// The fixtures of the run's cache folder, fetched at most once per test process.
inline QString EnsureMdbFixtures()
{
    static const QString Problem = FetchMdbFixtures(MdbFixtureDir());
    return Problem;
}

// Skips without the fixtures, but fails in CI (CI set), where a run that tested nothing of Access
// must not pass.
#define REQUIRE_MDB_FIXTURES()                                                                     \
    do {                                                                                           \
        const QString Problem_ = EnsureMdbFixtures();                                              \
        if (!Problem_.isEmpty() && qEnvironmentVariableIsSet("CI"))                                \
            FAIL() << Problem_.toStdString();                                                      \
        if (!Problem_.isEmpty())                                                                   \
            GTEST_SKIP() << Problem_.toStdString();                                                \
    } while (0)

inline QString MdbFixture(const char *Name)
{
    return QDir(MdbFixtureDir()).filePath(QString::fromLatin1(Name));
}

// To show that a fixture was left unchanged.
inline QByteArray FileHash(const QString &FileName)
{
    QFile File(FileName);
    EXPECT_TRUE(File.open(QIODevice::ReadOnly)) << FileName.toStdString();
    return QCryptographicHash::hash(File.readAll(), QCryptographicHash::Sha256);
}

// Every user table of the file as mdb-reader reads it:
// [{name, columns: [{name, type, size}], rows: [[value...]]}], dates as ISO text in UTC.
inline QJsonDocument ReadWithMdbReader(const QString &FileName)
{
    const QString Script = QDir(MdbFixtureDir()).filePath("node/dump-tables.mjs");
    if (!QFile::exists(Script)) {
        // Test processes may run side by side: write the script whole or not at all.
        QSaveFile File(Script);
        if (File.open(QIODevice::WriteOnly)) {
            File.write(R"(import MDBReader from "mdb-reader";
import { readFileSync } from "fs";
const reader = new MDBReader(readFileSync(process.argv[2]));
const tables = reader.getTableNames().map(name => {
  const table = reader.getTable(name);
  const columns = table.getColumns().map(c => ({ name: c.name, type: c.type, size: c.size }));
  const rows = table.getData().map(row => columns.map(c => {
    const v = row[c.name];
    return v instanceof Date ? v.toISOString() : v;
  }));
  return { name, columns, rows };
});
process.stdout.write(JSON.stringify(tables));
)");
            File.commit();
        }
    }
    QProcess Node;
    Node.setWorkingDirectory(QDir(MdbFixtureDir()).filePath("node"));
    Node.start(QStringLiteral("node"), {Script, FileName});
    Node.waitForFinished(60000);
    return QJsonDocument::fromJson(Node.readAllStandardOutput());
}

#pragma once
// Points the settings and data folders of the test process at a temporary folder,
// so tests never touch the real user's settings.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

namespace qftest {

inline QTemporaryDir &TestHome()
{
    static QTemporaryDir Dir;
    return Dir;
}

inline void IsolateUserFolders()
{
    const QString Home = TestHome().path();
    qputenv("HOME", Home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (Home + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (Home + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (Home + "/cache").toUtf8());
    qputenv("TMPDIR", Home.toUtf8()); // the preview file too
    QDir().mkpath(Home + "/config");
}

#ifdef QF_HELP_SOURCE_DIR
// The help pages of the source tree, as a help file name relative to the program's folder.
inline QString SourceHelpFile()
{
    return QDir(QCoreApplication::applicationDirPath())
        .relativeFilePath(QStringLiteral(QF_HELP_SOURCE_DIR "/index.html"));
}
#endif

inline QString ConfigDir() { return TestHome().path() + "/config/Tembrook"; }
inline QString SettingsFile() { return ConfigDir() + "/Quillfast 2.0.ini"; }

// Starts a test from a first run: no settings stored.
inline void ForgetSettings()
{
    if (QFileInfo(ConfigDir()).isFile())
        QFile::remove(ConfigDir());
    else
        QDir(ConfigDir()).removeRecursively();
}

inline void WriteSettingsFile(const QByteArray &Text)
{
    ForgetSettings();
    QDir().mkpath(ConfigDir());
    QFile F(SettingsFile());
    F.open(QIODevice::WriteOnly);
    F.write(Text);
}

inline QByteArray ReadSettingsFile()
{
    QFile F(SettingsFile());
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

// Makes every file write of this process fail, as on a full disk, while it lives.
class TFullDisk {
public:
    TFullDisk()
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit L = FOld;
        L.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &L);
    }
    ~TFullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFullDisk(const TFullDisk &) = delete;
    TFullDisk &operator=(const TFullDisk &) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

} // namespace qftest

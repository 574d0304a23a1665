#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Settings, caches and the preview file stay inside the test's own folder.
    static QTemporaryDir Home;
    qputenv("HOME", Home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (Home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (Home.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (Home.path() + "/cache").toUtf8());
    qputenv("TMPDIR", Home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

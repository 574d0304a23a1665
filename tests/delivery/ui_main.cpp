#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The windows' tests: offscreen, with a home folder of their own for the log file and the
// profile file.
int main(int argc, char **argv)
{
    QTemporaryDir Home;
    qputenv("HOME", Home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (Home.path() + QStringLiteral("/data")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "shell/startup.h"
#include "testenv.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qftest::IsolateUserFolders();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qf::shell::PrepareEnvironment();
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

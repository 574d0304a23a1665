// The main of the widget tests: offscreen unless told otherwise, WebEngine without its sandbox
// as root, the user's folders moved into a temporary one. Programs with the main window
// (QF_TEST_SHELL) take the program's own environment too: its settings' names, its quiet log.

#include "testenv.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <unistd.h>
#ifdef QF_TEST_SHELL
#include "shell/startup.h"
#endif

int main(int argc, char **argv)
{
    qftest::IsolateUserFolders();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#ifdef QF_TEST_SHELL
    qf::shell::PrepareEnvironment();
#endif
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

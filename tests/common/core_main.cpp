// The main of the test programs without windows: an application for the event loop, with the
// user's folders moved into a temporary one.

#include "testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qftest::IsolateUserFolders();
    QCoreApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

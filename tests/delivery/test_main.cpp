#include <QCoreApplication>
#include <gtest/gtest.h>

// The thread tests need an application for calls into its thread.
int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

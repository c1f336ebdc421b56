// Test program entry for code that needs no window system.
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testenv::root();  // XDG folders before anything reads them
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

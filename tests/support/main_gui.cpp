// Test program entry for widget tests: an offscreen QApplication.
#include "tests/support/testenv.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testenv::root();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

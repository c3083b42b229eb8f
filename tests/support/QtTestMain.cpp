// main() for widget tests: an offscreen QApplication and settings kept apart
// from the real user's.
#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

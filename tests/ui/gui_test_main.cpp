// GUI tests run offscreen against one QApplication, with no Wine prefix to find and no Steam
// of the user's whose game the start-up would enter.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("WINEPREFIX", "/nonexistent/kvb-test-wine-prefix", 1);
    setenv("HOME", "/nonexistent/kvb-test-home", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

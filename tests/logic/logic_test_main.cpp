// The window logic's tests, with no Wine prefix to find and no Steam of the user's whose game
// the start-up would enter.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
#ifndef _WIN32
    setenv("WINEPREFIX", "/nonexistent/kvb-test-wine-prefix", 1);
    setenv("HOME", "/nonexistent/kvb-test-home", 1);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

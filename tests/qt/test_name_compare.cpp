#include "qt/name_compare.h"

#include <gtest/gtest.h>

using namespace kvb;

TEST(LocaleNameSort, IgnoresCaseAndPutsEqualNamesInByteOrder)
{
    std::vector<std::string> names = {"b.tex", "B.TEX", "a.mid", "C.bin", "A.MID", "c.bin"};
    LocaleNameSort()(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.MID", "a.mid", "B.TEX", "b.tex", "C.bin", "c.bin"}));
}

#include "preview/entry_preview.h"

#include <gtest/gtest.h>

using namespace kvb;

TEST(PreviewExtensionRule, LastDotOnwardsInAsciiCapitals)
{
    EXPECT_EQ(PreviewExtension("a.b.tex"), ".TEX");
    EXPECT_EQ(PreviewExtension("name."), ".");
    EXPECT_EQ(PreviewExtension("dir.d\\file"), "");
    EXPECT_EQ(PreviewExtension("c.d:stream"), "");
    EXPECT_EQ(PreviewExtension("a\\b.mid"), ".MID");
    EXPECT_EQ(PreviewExtension("x.m\xC3\xAF"
                               "d"),
              ".M\xC3\xAF"
              "D"); // only a to z change
}

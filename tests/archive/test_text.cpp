#include "archive/text.h"

#include <gtest/gtest.h>

using namespace kvb;

TEST(Encoding, Windows1252RoundTripsEveryByte)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    std::string utf8 = Cp1252ToUtf8(all);
    auto back = Utf8ToCp1252(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Encoding, KnownCharacters)
{
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9"), "caf\u00E9");
    EXPECT_EQ(*Utf8ToCp1252("\u00E9t\u00E9"), "\xE9t\xE9");
}

TEST(Encoding, CharactersOutsideWindows1252AreRefused)
{
    EXPECT_FALSE(Utf8ToCp1252("\u65E5\u672C").has_value());
    EXPECT_FALSE(Utf8ToCp1252("\xC3").has_value());     // truncated sequence
    EXPECT_FALSE(Utf8ToCp1252("\xC0\x80").has_value()); // overlong NUL
}

TEST(Encoding, PrintableNameEscapesControlBytes)
{
    EXPECT_EQ(PrintableName(std::string("A\0B\x7F\x1F\xE9", 6)), "A\\x00B\\x7F\\x1F\u00E9");
}

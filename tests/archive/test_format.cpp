#include "archive/format.h"

#include <gtest/gtest.h>

using namespace kvb;

TEST(NameRule, TwentyByteNameHasNoTerminator)
{
    TNameField field = NameToField("ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(NameFromField(field), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(NameFromField(NameToField("ABCDEFGHIJKLMNOPQRSTUVWXY")), "ABCDEFGHIJKLMNOPQRST");
}

TEST(NameRule, ShortNameIsPaddedAndBytesAfterTheFirstNulAreIgnored)
{
    TNameField field = NameToField("A.TEX");
    EXPECT_EQ(field[5], '\0');
    EXPECT_EQ(field[19], '\0');
    field[10] = 'X';
    EXPECT_EQ(NameFromField(field), "A.TEX");
}

TEST(NameRule, ComparisonIgnoresOnlyAsciiCase)
{
    EXPECT_TRUE(SameName("field.bin", "FIELD.BIN"));
    EXPECT_FALSE(SameName("FIELD.BIN", "FIELD.BIN "));
    EXPECT_FALSE(SameName("\xE9.TEX", "\xC9.TEX")); // e-acute vs E-acute: not ASCII
    EXPECT_FALSE(SameName("A_B", "A-B"));
}

TEST(CreatorRule, LeadingNulsArePaddingLaterNulsAreText)
{
    EXPECT_EQ(CreatorFromField(TCreatorField{}), "");
    EXPECT_EQ(CreatorFromField(CreatorToField("SQUARESOFT")), "SQUARESOFT");
    TCreatorField ab{};
    ab[0] = 'A';
    ab[1] = 'B';
    EXPECT_EQ(CreatorFromField(ab), std::string("AB\0\0\0\0\0\0\0\0\0\0", 12));
}

TEST(Records, TocRecordRoundTripsEveryFieldLittleEndian)
{
    TKVB_TocRecord r{NameToField("X.MID"), 0x01020304, 14, 0xBEEF};
    char bytes[kTocRecordSize];
    EncodeTocRecord(r, bytes);
    EXPECT_EQ(bytes[20], 0x04);
    EXPECT_EQ(bytes[23], 0x01);
    EXPECT_EQ(static_cast<unsigned char>(bytes[25]), 0xEF);
    TKVB_TocRecord back = DecodeTocRecord(bytes);
    EXPECT_EQ(back.Name, r.Name);
    EXPECT_EQ(back.Offset, r.Offset);
    EXPECT_EQ(back.Reserved1, 14);
    EXPECT_EQ(back.Reserved2, 0xBEEF);
}

TEST(Records, NegativeLengthsAreSigned)
{
    char bytes[kDataHeaderSize] = {};
    PutInt32LE(bytes + 20, -1);
    EXPECT_EQ(DecodeDataHeader(bytes).Length, -1);
    PutInt32LE(bytes + 20, INT32_MIN);
    EXPECT_EQ(DecodeDataHeader(bytes).Length, INT32_MIN);
}

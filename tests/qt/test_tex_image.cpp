#include "platform/stream.h"
#include "qt/tex_image.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;
using namespace std::string_literals;

namespace {

QImage Converted(const TexBuilder &builder)
{
    TMemoryStream stream(builder.Build());
    return TexImageToQImage(TexToBitmap(stream, kTexImageDataPosition));
}

} // namespace

TEST(TexImageToQImage, PalettisedBecomesIndexed8WithThePaletteAsColourTable)
{
    TexBuilder builder = TexBuilder::Palettised(3, 2, {{0x30, 0x20, 0x10}, {1, 2, 3}, {250, 251, 252}},
                                                "\0\1\2"
                                                "\2\2\0"s);
    QImage image = Converted(builder);
    ASSERT_EQ(image.format(), QImage::Format_Indexed8);
    EXPECT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.colorTable(),
              (QList<QRgb>{qRgb(0x30, 0x20, 0x10), qRgb(1, 2, 3), qRgb(250, 251, 252)}));
    EXPECT_EQ(image.pixelIndex(1, 0), 1);
    EXPECT_EQ(image.pixelIndex(0, 1), 2); // top row first
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0x30, 0x20, 0x10));
}

TEST(TexImageToQImage, IndexPastThePaletteShowsBlack)
{
    QImage image = Converted(TexBuilder::Palettised(2, 1, {{200, 100, 50}}, "\0\x09"s));
    EXPECT_EQ(image.colorCount(), 10);
    EXPECT_EQ(image.pixel(0, 0), qRgb(200, 100, 50));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
}

TEST(TexImageToQImage, RowsTheFileDoesNotHoldShowIndexZero)
{
    // 3 x 3 declared; the file ends one pixel into the second row.
    QImage image = Converted(TexBuilder::Palettised(3, 3, {{9, 9, 9}, {200, 100, 50}},
                                                    "\1\1\1"
                                                    "\1\1\1"
                                                    "\1\1\1"s)
                                 .CutShort(5));
    ASSERT_EQ(image.size(), QSize(3, 3));
    EXPECT_EQ(image.pixelIndex(2, 0), 1);
    EXPECT_EQ(image.pixelIndex(0, 1), 1);
    EXPECT_EQ(image.pixelIndex(1, 1), 0);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(image.pixelIndex(x, 2), 0) << x;
}

TEST(TexImageToQImage, DirectColourBecomesRgb555AndBit15HasNoEffect)
{
    QImage image = Converted(TexBuilder::Direct(3, 2, {0x7C00, 0x03E0, 0x001F, 0x8000, 0xFFFF, 0x0421}));
    ASSERT_EQ(image.format(), QImage::Format_RGB555);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(2, 1), qRgb(8, 8, 8)); // 1 of 31 in each channel
}

TEST(TexImageToQImage, NoPixelsGivesANullImage)
{
    EXPECT_TRUE(Converted(TexBuilder::Palettised(1, 1, {{1, 1, 1}}, "\0"s).HeaderSize(0, 1)).isNull());
}

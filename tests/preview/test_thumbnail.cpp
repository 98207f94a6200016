// Thumbnails: the proportions kept, the average of what a pixel covers, the nearest pixel where a
// texture is smaller than the square, and what a damaged texture gives.
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/thumbnail.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace kvb;
using namespace kvb::test;

namespace {

TThumbnail Thumbnail(const TexBuilder &texture, int32_t side)
{
    TMemoryStream stream(texture.Build());
    return MakeThumbnail(stream, kTexImageDataPosition, side);
}

} // namespace

TEST(Thumbnail, AveragesWhatEachPixelCoversAndKeepsTheProportions)
{
    // 4 x 2 palettised: left half black and white checks, right half all red.
    const TexBuilder texture = TexBuilder::Palettised(4, 2, {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}},
                                                      std::string("\0\1\2\2"
                                                                  "\1\0\2\2",
                                                                  8));
    const TThumbnail small = Thumbnail(texture, 2);
    ASSERT_EQ(small.Width, 2);
    ASSERT_EQ(small.Height, 1);
    EXPECT_TRUE(small.Fault.empty());
    EXPECT_EQ(small.Pixels, (std::vector<uint32_t>{0xFF808080u, 0xFFFF0000u}));

    // 5-5-5 colours spread over 8 bits, as displays show them: 31 is 255.
    const TThumbnail direct = Thumbnail(TexBuilder::Direct(1, 1, {uint16_t(31 << 10 | 16)}), 1);
    EXPECT_EQ(direct.Pixels, (std::vector<uint32_t>{0xFFFF0084u}));
}

TEST(Thumbnail, ASmallTextureFillsTheSquareWithItsNearestPixels)
{
    const TThumbnail big =
        Thumbnail(TexBuilder::Palettised(2, 1, {{0, 0, 255}, {0, 255, 0}}, std::string("\0\1", 2)), 96);
    ASSERT_EQ(big.Width, 96);
    ASSERT_EQ(big.Height, 48);
    EXPECT_EQ(big.Pixels.front(), 0xFF0000FFu);
    EXPECT_EQ(big.Pixels[47], 0xFF0000FFu);
    EXPECT_EQ(big.Pixels[48], 0xFF00FF00u);
    EXPECT_EQ(big.Pixels.back(), 0xFF00FF00u);
    // A thin texture keeps a side of one pixel.
    EXPECT_EQ(Thumbnail(GradientTex(1000, 1), 96).Height, 1);
}

TEST(Thumbnail, DamagedTexturesGiveWhatTheyHoldOrFail)
{
    // A header claiming 4096 x 4096 over a few rows: the rows held, the rest index 0; nothing
    // of the claimed size is held in memory.
    const TThumbnail claimed = Thumbnail(GradientTex(4, 4).HeaderSize(4096, 4096), 8);
    EXPECT_EQ(claimed.Width, 8);
    EXPECT_EQ(claimed.Pixels.size(), 64u);
    // Indices beyond the palette show black, as the preview shows them.
    const TThumbnail beyond =
        Thumbnail(TexBuilder::Palettised(2, 1, {{255, 255, 255}}, std::string("\0\xC8", 2)), 2);
    EXPECT_EQ(beyond.Pixels, (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF000000u}));
    // No pixels at all, and a header cut short.
    EXPECT_EQ(Thumbnail(GradientTex(4, 4).HeaderSize(0, 4), 8).Fault, "no pixels");
    EXPECT_THROW(Thumbnail(GradientTex(4, 4).CutShort(4 * 4 + 256 * 4 + 200), 8), EReadError);
}

TEST(ThumbnailMaker, MakesWhatIsWantedFromTheArchiveAndSaysWhyOneCannotBe)
{
    TempDir dir;
    const std::string path = dir / "t.kvb";
    WriteFile(path, ArchiveBuilder()
                        .Add("A.TEX", GradientTex(8, 8).Build())
                        .Add("B.TEX", "not a texture")
                        .Add("C.TEX", PictureTex(16, 8).Build())
                        .Build());
    const TKVBFile catalogue(path, false); // lengths not read: the maker reads them
    std::vector<TKVB_Entry> entries;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        entries.push_back(catalogue.GetEntry(i));
    TThumbnailMaker maker(path, entries, 16);
    maker.Want({2, 1});
    std::vector<TThumbnailMaker::TMade> made;
    for (int wait = 0; wait < 500 && made.size() < 2; ++wait) {
        for (TThumbnailMaker::TMade &m : maker.Take())
            made.push_back(std::move(m));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].Index, 2); // the first wanted first
    EXPECT_EQ(made[0].Thumbnail.Width, 16);
    EXPECT_EQ(made[0].Thumbnail.Height, 8);
    EXPECT_EQ(made[1].Index, 1);
    EXPECT_FALSE(made[1].Thumbnail.Fault.empty());
}

#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/tex.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;
using namespace std::string_literals;

namespace {

const std::vector<TTexColour> kThreeColours = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};

// 4 x 3 pixels, no index 0, so a pixel left without data stands out.
TexBuilder Palettised4x3()
{
    return TexBuilder::Palettised(4, 3, kThreeColours,
                                  "\1\2\1\2"
                                  "\2\2\1\1"
                                  "\1\1\2\2");
}

TTexImage Decode(TMemoryStream &stream)
{
    return TexToBitmap(stream, kTexImageDataPosition);
}

void ExpectReadError(const std::string &bytes)
{
    TMemoryStream stream(bytes);
    try {
        Decode(stream);
        ADD_FAILURE() << "no error for " << bytes.size() << " bytes";
    } catch (const EReadError &e) {
        // The system's text, then where the file ends and which part of the texture it cuts.
        EXPECT_EQ(e.Message(), "Stream read error");
        EXPECT_EQ(e.Detail().rfind("the file ends at byte " + std::to_string(bytes.size()) + ", but its ",
                                   0),
                  0u)
            << e.Detail();
    }
}

std::string RefusalMessage(const TexBuilder &builder)
{
    TMemoryStream stream(builder.Build());
    try {
        Decode(stream);
    } catch (const EReadError &) {
        return "read error instead of a refusal";
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "accepted";
}

} // namespace

TEST(TexToBitmap, PaletteEntriesAreBlueGreenRedAndAnUnusedByte)
{
    std::string bytes = TexBuilder::Palettised(1, 1, {{0, 0, 0}, {0, 0, 0}}, "\1").Build();
    bytes.replace(236, 4, "\x10\x20\x30\xFF");
    TMemoryStream stream(bytes);
    TTexImage image = Decode(stream);
    EXPECT_EQ(image.Format, TTexFormat::Palettised8);
    ASSERT_EQ(image.Palette.size(), 2u);
    EXPECT_EQ(image.Palette[0], (TTexColour{0x30, 0x20, 0x10}));
}

TEST(TexToBitmap, PalettisedExactSizeDecodesEveryPixelTopRowFirstAndIgnoresExtraBytes)
{
    TexBuilder builder = Palettised4x3();
    for (std::string trailing : {"", "extra bytes"}) {
        std::string bytes = builder.Trailing(trailing).Build();
        TMemoryStream stream(bytes);
        TTexImage image = Decode(stream);
        EXPECT_EQ(image.Width, 4);
        EXPECT_EQ(image.Height, 3);
        EXPECT_EQ(image.Palette, kThreeColours);
        EXPECT_EQ(std::string(image.Indices.begin(), image.Indices.end()), builder.Indices());
        EXPECT_EQ(image.IndexAt(0, 1), 2); // the second row stored is the second from the top
        EXPECT_EQ(stream.Position(), int64_t(builder.PixelPosition()) + 12);
    }
}

// Only the rows the file holds are stored; every pixel past the data reads as index 0.
std::string AllIndices(const TTexImage &image)
{
    std::string out;
    for (int32_t y = 0; y < image.Height; ++y)
        for (int32_t x = 0; x < image.Width; ++x)
            out += char(image.IndexAt(x, y));
    return out;
}

TEST(TexToBitmap, PalettisedPixelDataCutShortHoldsOnlyItsRowsWithoutError)
{
    TexBuilder builder = Palettised4x3();
    {
        TMemoryStream stream(builder.CutShort(1).Build());
        TTexImage image = Decode(stream);
        std::string expected = builder.Indices();
        expected.back() = '\0';
        EXPECT_EQ(AllIndices(image), expected);
        EXPECT_EQ(image.Indices.size(), 12u);
        EXPECT_EQ(image.HeldPixels, 11);
        EXPECT_FALSE(image.Complete());
        EXPECT_EQ(stream.Position(), stream.Size());
    }
    {
        // Data ends one pixel into the second row: the rest of it and the last row are 0, and
        // the last row is not stored.
        TMemoryStream stream(builder.CutShort(7).Build());
        TTexImage image = Decode(stream);
        EXPECT_EQ(AllIndices(image), "\1\2\1\2"
                                     "\2\0\0\0"
                                     "\0\0\0\0"s);
        EXPECT_EQ(image.HeldRows(), 2);
        EXPECT_EQ(image.Indices.size(), 8u);
    }
    {
        TMemoryStream stream(builder.CutShort(12).Build());
        TTexImage image = Decode(stream);
        EXPECT_EQ(AllIndices(image), std::string(12, '\0'));
        EXPECT_TRUE(image.Indices.empty());
        EXPECT_EQ(image.HeldRows(), 0);
        EXPECT_EQ(image.Palette, kThreeColours);
    }
    {
        // The largest picture a header may claim, in a file of a few bytes, costs those bytes.
        TMemoryStream stream(builder.HeaderSize(kTexMaxSide, kTexMaxSide).CutShort(0).Build());
        TTexImage image = Decode(stream);
        EXPECT_EQ(image.HeldPixels, 12);
        EXPECT_EQ(image.Indices.size(), size_t(kTexMaxSide));
        EXPECT_EQ(image.IndexAt(3, 0), 2);
        EXPECT_EQ(image.IndexAt(kTexMaxSide - 1, kTexMaxSide - 1), 0);
    }
}

TEST(TexToBitmap, FilesEndingInsideTheHeaderOrThePaletteFailWithTheReadError)
{
    std::string bytes = Palettised4x3().Build();
    ExpectReadError(bytes.substr(0, 67)); // height incomplete
    ExpectReadError(bytes.substr(0, 91)); // palette count incomplete
    ExpectReadError(bytes.substr(0, 236 + 3 * 4 - 1));
    ExpectReadError(bytes.substr(0, 236)); // palette missing entirely
}

TEST(TexToBitmap, DirectColourValuesAreKeptAsStoredAndExtraBytesIgnored)
{
    const std::vector<uint16_t> colours = {0x7C00, 0x03E0, 0x001F, 0x8000, 0xFFFF, 0x1234};
    TexBuilder builder = TexBuilder::Direct(3, 2, colours).Trailing("tail");
    TMemoryStream stream(builder.Build());
    TTexImage image = Decode(stream);
    EXPECT_EQ(image.Format, TTexFormat::Direct555);
    EXPECT_EQ(image.Width, 3);
    EXPECT_EQ(image.Height, 2);
    EXPECT_EQ(image.Colours, colours);
    EXPECT_EQ(image.ColourAt(0, 1), 0x8000); // first value of the second row stored
    EXPECT_EQ(stream.Position(), 236 + 12);
}

TEST(TexToBitmap, DirectColourDataOneByteShortFails)
{
    ExpectReadError(TexBuilder::Direct(3, 2, std::vector<uint16_t>(6, 0x1111)).CutShort(1).Build());
    // A header claiming the largest allowed picture in a tiny file fails the same way.
    ExpectReadError(TexBuilder::Direct(1, 1, {0}).HeaderSize(kTexMaxSide, kTexMaxSide).Build());
}

TEST(TexToBitmap, NoPixelsStillReadsThePaletteButNothingElse)
{
    std::string palettised = TexBuilder::Palettised(1, 1, kThreeColours, "\1").HeaderSize(0, 5).Build();
    palettised.pop_back(); // drop the one pixel: the header now says there are none
    TMemoryStream stream(palettised);
    TTexImage image = Decode(stream);
    EXPECT_EQ(image.Format, TTexFormat::Palettised8);
    EXPECT_EQ(image.Palette, kThreeColours);
    EXPECT_TRUE(image.Indices.empty());
    EXPECT_EQ(stream.Position(), 236 + 12);
    ExpectReadError(palettised.substr(0, 236 + 11));

    // Direct colour with no pixels reads nothing after the header, not even when the file
    // ends right after the palette count.
    std::string direct = TexBuilder::Direct(0, 0, {}).HeaderSize(7, 0).Build();
    for (size_t size : {direct.size(), size_t(92)}) {
        TMemoryStream s(direct.substr(0, size));
        TTexImage d = Decode(s);
        EXPECT_EQ(d.Format, TTexFormat::Direct555);
        EXPECT_EQ(d.Width, 7);
        EXPECT_EQ(s.Position(), 236);
    }
}

TEST(TexToBitmap, ImpossibleHeadersAreRefusedWithAMessage)
{
    TexBuilder palettised = Palettised4x3();
    EXPECT_EQ(RefusalMessage(TexBuilder(palettised).HeaderSize(-1, 3)),
              "Texture size -1 x 3 is not supported: each side must be 0 to 16384 pixels");
    EXPECT_EQ(RefusalMessage(TexBuilder(palettised).HeaderSize(16385, 1)),
              "Texture size 16385 x 1 is not supported: each side must be 0 to 16384 pixels");
    EXPECT_EQ(RefusalMessage(TexBuilder(palettised).HeaderPaletteCount(257)),
              "Texture palette of 257 colours is not supported: at most 256");
    // A count that reads as negative when signed is just as far out of range.
    EXPECT_EQ(RefusalMessage(TexBuilder(palettised).HeaderPaletteCount(0xFFFFFFFF)),
              "Texture palette of 4294967295 colours is not supported: at most 256");

    std::vector<TTexColour> full(256, TTexColour{9, 9, 9});
    TMemoryStream stream(TexBuilder::Palettised(1, 1, full, "\xFF").Build());
    EXPECT_EQ(Decode(stream).Palette, full);
}

TEST(TexToBitmap, ImageDataPositionIsTheCallersAndTheFileStreamStaysUsable)
{
    TexBuilder builder = Palettised4x3();
    std::string bytes = builder.Build();
    bytes.insert(236, 64, '\x7F');
    TempDir dir;
    WriteFile(dir / "moved.tex", bytes);
    TFileStream stream(dir / "moved.tex", TFileStream::Mode::OpenRead);
    TTexImage image = TexToBitmap(stream, 300);
    EXPECT_EQ(image.Palette, kThreeColours);
    EXPECT_EQ(std::string(image.Indices.begin(), image.Indices.end()), builder.Indices());
    EXPECT_EQ(stream.Position(), int64_t(bytes.size()));
    stream.Seek(60);
    char width[4];
    stream.ReadBuffer(width, 4);
    EXPECT_EQ(width[0], 4);
}

TEST(ShownPalette, IndicesPastThePaletteGetBlack)
{
    TMemoryStream stream(TexBuilder::Palettised(3, 1, kThreeColours, "\0\5\2"s).Build());
    TTexImage image = Decode(stream);
    std::vector<TTexColour> expected = kThreeColours;
    expected.resize(6);
    EXPECT_EQ(ShownPalette(image), expected);

    TMemoryStream inRange(Palettised4x3().Build());
    EXPECT_EQ(ShownPalette(Decode(inRange)), kThreeColours);
}

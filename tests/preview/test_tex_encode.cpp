#include "archive/format.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "preview/png_samples.h"
#include "preview/tex.h"
#include "preview/tex_encode.h"
#include "support/archive_builder.h"
#include "support/same_bytes.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace kvb;
using namespace kvb::test;

namespace {

// A 5-bit channel as an 8-bit one, the way the bits are spread to reach full brightness.
uint8_t Expand5(unsigned value)
{
    return uint8_t((value << 3) | (value >> 2));
}

// What an image viewer shows for the texture: the picture that tex2png exports.
std::vector<TTexColour> Shown(const TTexImage &image)
{
    std::vector<TTexColour> pixels;
    if (image.Format == TTexFormat::Palettised8) {
        const std::vector<TTexColour> palette = ShownPalette(image);
        for (uint8_t index : image.Indices)
            pixels.push_back(palette[index]);
    } else {
        for (uint16_t v : image.Colours)
            pixels.push_back({Expand5(v >> 10 & 31), Expand5(v >> 5 & 31), Expand5(v & 31)});
    }
    return pixels;
}

TTexImage Decode(const std::string &tex)
{
    TMemoryStream stream(tex);
    return TexToBitmap(stream, kTexImageDataPosition);
}

// The texture exported to PNG as it shows, and read back.
TRgbImage Exported(const std::string &tex)
{
    const TTexImage image = Decode(tex);
    return DecodePng(StbPng(image.Width, image.Height, 3, RgbSamples(Shown(image))), "out.png");
}

TRgbImage Picture(int32_t width, int32_t height, std::vector<TTexColour> pixels)
{
    return TRgbImage{width, height, std::move(pixels)};
}

int Distance(const TTexColour &a, const TTexColour &b)
{
    return std::max({std::abs(a.Red - b.Red), std::abs(a.Green - b.Green), std::abs(a.Blue - b.Blue)});
}

} // namespace

TEST(EncodeTex, AnUnchangedExportComesBackByteForByte)
{
    struct Row {
        const char *what;
        TexBuilder texture;
    };
    const std::vector<Row> rows = {
        {"palettised gradient", GradientTex(64, 40)},
        {"palettised gradient with trailing bytes",
         GradientTex(17, 9).Trailing(B({'T', 0, 0xff, 0, 'x'}))},
        {"direct colour, bit 15 on odd rows", PictureTex(40, 33)},
        {"direct colour with trailing bytes", PictureTex(3, 5).Trailing(PatternBytes(50, 3))},
        // Index 0 and 2 show the same colour; each pixel keeps the one it had.
        {"duplicate palette colours",
         TexBuilder::Palettised(4, 2, {{10, 20, 30}, {1, 2, 3}, {10, 20, 30}},
                                B({0, 2, 1, 2, 2, 0, 0, 1}))},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string reference = row.texture.Build();
        EXPECT_TRUE(SameBytes(EncodeTex(reference, "ref.tex", Exported(reference), false), reference));
    }
}

TEST(EncodeTex, AnotherSizeChangesWidthAndHeightOnly)
{
    struct Row {
        const char *what;
        std::string reference;
        size_t pixelBytes; // per pixel
        size_t palette;    // bytes
    };
    const std::string trailing = "TRAIL";
    const std::vector<Row> rows = {
        {"palettised", GradientTex(16, 8).Trailing(trailing).Build(), 1, 1024},
        {"direct colour", PictureTex(8, 8).Trailing(trailing).Build(), 2, 0},
    };
    // Colours of the gradient's palette, so that the palettised texture shows them exactly.
    std::vector<TTexColour> pixels;
    for (int i = 0; i < 15; ++i)
        pixels.push_back(GradientTex(1, 1).Palette()[size_t(i * 17)]);
    const TRgbImage picture = Picture(5, 3, pixels);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string tex = EncodeTex(row.reference, "ref.tex", picture, false);
        ASSERT_EQ(tex.size(), 236 + row.palette + 15 * row.pixelBytes + trailing.size());
        EXPECT_EQ(GetInt32LE(tex.data() + 60), 5);
        EXPECT_EQ(GetInt32LE(tex.data() + 64), 3);
        std::string header = tex.substr(0, 236 + row.palette);
        std::string expected = row.reference.substr(0, 236 + row.palette);
        header.replace(60, 8, 8, '\0');
        expected.replace(60, 8, 8, '\0');
        EXPECT_TRUE(SameBytes(header, expected)) << "header but for the size, count and palette";
        EXPECT_EQ(tex.substr(tex.size() - trailing.size()), trailing);

        const TTexImage decoded = Decode(tex);
        ASSERT_EQ(decoded.Width, 5);
        ASSERT_EQ(decoded.Height, 3);
        const std::vector<TTexColour> shown = Shown(decoded);
        for (size_t i = 0; i < pixels.size(); ++i)
            EXPECT_LE(Distance(shown[i], pixels[i]), row.pixelBytes == 2 ? 5 : 0) << "pixel " << i;
        if (row.pixelBytes == 2) {
            for (uint16_t v : decoded.Colours)
                EXPECT_EQ(v & 0x8000, 0) << "bit 15 of a picture of another size";
        }
    }
}

TEST(EncodeTex, DirectColourRoundsEachChannelToTheNearestStep)
{
    struct Row {
        uint8_t eight;
        uint16_t five;
    };
    const std::vector<Row> rows = {{0, 0},    {4, 0},    {5, 1},    {8, 1},    {12, 1},   {13, 2},
                                   {127, 15}, {128, 16}, {250, 30}, {251, 31}, {254, 31}, {255, 31}};
    std::vector<TTexColour> pixels;
    for (const Row &row : rows)
        pixels.push_back({row.eight, uint8_t(255 - row.eight), row.eight});
    // Bit 15 of the reference's pixels stays where the picture keeps the size.
    std::vector<uint16_t> reference(rows.size(), 0);
    reference[1] = 0x8000;
    const std::string tex = EncodeTex(TexBuilder::Direct(int32_t(rows.size()), 1, reference).Build(),
                                      "ref.tex", Picture(int32_t(rows.size()), 1, pixels), false);
    const TTexImage decoded = Decode(tex);
    ASSERT_EQ(decoded.Colours.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("8-bit " + std::to_string(rows[i].eight));
        const uint16_t v = decoded.Colours[i];
        EXPECT_EQ(v >> 10 & 31, rows[i].five) << "red";
        EXPECT_EQ(v >> 5 & 31, 31 - rows[i].five) << "green";
        EXPECT_EQ(v & 31, rows[i].five) << "blue";
        EXPECT_EQ(v & 0x8000, i == 1 ? 0x8000 : 0);
    }
}

TEST(EncodeTex, PalettisedPixelsTakeTheNearestPaletteColour)
{
    const std::vector<TTexColour> palette = {{0, 0, 0},   {200, 0, 0},     {0, 200, 0},
                                             {0, 0, 200}, {255, 255, 255}, {200, 0, 0}};
    struct Row {
        TTexColour pixel;
        uint8_t index;
    };
    const std::vector<Row> rows = {
        {{190, 10, 10}, 1},
        {{20, 180, 30}, 2},
        {{250, 240, 255}, 4},
        {{10, 10, 10}, 0},
        {{0, 0, 160}, 3},
        // Halfway between black and blue, and a colour held twice: the lower index.
        {{0, 0, 100}, 0},
        {{200, 0, 0}, 1},
        {{201, 1, 1}, 1},
    };
    std::vector<TTexColour> pixels;
    for (const Row &row : rows)
        pixels.push_back(row.pixel);
    // The reference shows white everywhere, so no pixel keeps its reference index.
    const std::string reference =
        TexBuilder::Palettised(int32_t(rows.size()), 1, palette, std::string(rows.size(), '\4')).Build();
    const std::string tex =
        EncodeTex(reference, "ref.tex", Picture(int32_t(rows.size()), 1, pixels), false);
    ASSERT_EQ(tex.size(), reference.size());
    EXPECT_EQ(tex.substr(0, 236 + 24), reference.substr(0, 236 + 24)) << "header and palette";
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(int(uint8_t(tex[236 + 24 + i])), int(rows[i].index)) << "pixel " << i;
}

TEST(EncodeTex, ANewPaletteHasAtMostTheReferenceCountAndFitsThePicture)
{
    // 12 x 8 in three colours.
    const std::vector<TTexColour> colours = {{250, 20, 20}, {10, 200, 40}, {30, 40, 230}};
    std::vector<TTexColour> pixels;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            pixels.push_back(colours[size_t((x / 4 + y / 4) % 3)]);
    const TRgbImage picture = Picture(12, 8, pixels);

    struct Row {
        const char *what;
        std::string reference;
        int32_t count; // the count field of the new texture
        int tolerance; // how far a pixel may lie from its own colour
    };
    auto solid = [](uint32_t count) {
        std::vector<TTexColour> palette(count, TTexColour{7, 7, 7});
        return TexBuilder::Palettised(12, 8, palette, std::string(96, '\0')).Build();
    };
    const std::vector<Row> rows = {
        {"256 colours, three used", GradientTex(12, 8).Build(), 3, 8},
        {"4 colours", solid(4), 3, 8},
        {"3 colours", solid(3), 3, 8},
        {"2 colours", solid(2), 2, 255},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string tex = EncodeTex(row.reference, "ref.tex", picture, true);
        const int32_t count = GetInt32LE(tex.data() + 88);
        EXPECT_EQ(count, row.count);
        ASSERT_EQ(tex.size(), 236 + 4 * size_t(count) + 96);
        const TTexImage decoded = Decode(tex);
        ASSERT_EQ(decoded.Palette.size(), size_t(count));
        std::set<uint8_t> used;
        for (size_t i = 0; i < pixels.size(); ++i) {
            ASSERT_LT(decoded.Indices[i], count) << "pixel " << i << " has no palette colour";
            used.insert(decoded.Indices[i]);
            EXPECT_LE(Distance(decoded.Palette[decoded.Indices[i]], pixels[i]), row.tolerance)
                << "pixel " << i;
        }
        EXPECT_EQ(used.size(), size_t(std::min(count, 3)));
    }
}

// The palette library will not make fewer than two colours; a one-colour reference still gets
// a texture whose every pixel has its colour.
TEST(EncodeTex, ANewPaletteForAOneColourReferenceUsesOnlyThatColour)
{
    const TRgbImage picture = Picture(2, 1, {{250, 20, 20}, {10, 200, 40}});
    const std::string reference = TexBuilder::Palettised(2, 1, {{7, 7, 7}}, std::string(2, '\0')).Build();
    const std::string tex = EncodeTex(reference, "ref.tex", picture, true);
    EXPECT_EQ(GetInt32LE(tex.data() + 88), 1);
    ASSERT_EQ(tex.size(), 236 + 4 + 2u);
    EXPECT_EQ(int(tex[240]), 0) << "pixel 0";
    EXPECT_EQ(int(tex[241]), 0) << "pixel 1";
}

TEST(EncodeTex, RefusesAReferenceShorterThanAHeader)
{
    const TRgbImage picture = Picture(1, 1, {{1, 2, 3}});
    const std::string header = TexBuilder::Direct(1, 1, {0}).Build().substr(0, 235);
    try {
        EncodeTex(header, "ref.tex", picture, false);
        ADD_FAILURE() << "not refused";
    } catch (const EKVBError &e) {
        EXPECT_STREQ(e.what(), "Texture ref.tex cannot serve as a reference: it has 235 bytes, and "
                               "a texture's header alone has 236");
    }
    // A header alone is a texture of no pixels data, and enough for a reference.
    EXPECT_NO_THROW(EncodeTex(TexBuilder::Direct(0, 0, {}).Build(), "ref.tex", picture, false));
}

TEST(PngToTex, WritesTheTextureAndRefusesToWriteOverItsInputs)
{
    TempDir dir;
    const std::string reference = PictureTex(6, 4).Build();
    WriteFile(dir / "ref.tex", reference);
    const TTexImage image = Decode(reference);
    WriteFile(dir / "in.png", StbPng(6, 4, 3, RgbSamples(Shown(image))));
    PngToTex(dir / "ref.tex", dir / "in.png", dir / "out.tex", false);
    EXPECT_TRUE(SameBytes(ReadFile(dir / "out.tex"), reference));

    for (const std::string &input : {dir / "ref.tex", dir / "in.png"}) {
        const std::string before = ReadFile(input);
        try {
            PngToTex(dir / "ref.tex", dir / "in.png", input, false);
            ADD_FAILURE() << "wrote over " << input;
        } catch (const EFCreateError &e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + input + ": it is " + input +
                                                 ", which this operation reads");
        }
        EXPECT_EQ(ReadFile(input), before);
    }
}

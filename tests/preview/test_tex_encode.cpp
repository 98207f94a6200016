#include "archive/format.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "preview/tex_encode.h"
#include "support/archive_builder.h"
#include "support/png_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

// PNGs of the common kinds are written by the header-only encoder, its functions kept here.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <set>

using namespace kvb;
using namespace kvb::test;
using namespace std::string_literals;

namespace {

// Bytes written as numbers, NULs included.
std::string B(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes)
        out += char(b);
    return out;
}

// A 5-bit channel as an 8-bit one, the way the bits are spread to reach full brightness.
uint8_t Expand5(unsigned value) { return uint8_t((value << 3) | (value >> 2)); }

void Append(void *context, void *data, int size)
{
    static_cast<std::string *>(context)->append(static_cast<const char *>(data), size_t(size));
}

// A PNG of channels 8-bit samples per pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA).
std::string StbPng(int width, int height, int channels, const std::string &samples)
{
    std::string png;
    EXPECT_NE(stbi_write_png_to_func(Append, &png, width, height, channels, samples.data(),
                                     width * channels),
              0);
    return png;
}

std::string RgbSamples(const std::vector<TTexColour> &pixels)
{
    std::string samples;
    for (const TTexColour &c : pixels)
        samples += {char(c.Red), char(c.Green), char(c.Blue)};
    return samples;
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

testing::AssertionResult SameBytes(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << i;
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
        {"palettised gradient with trailing bytes", GradientTex(17, 9).Trailing(B({'T', 0, 0xff, 0, 'x'}))},
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
    const std::vector<Row> rows = {{0, 0},    {4, 0},    {5, 1},    {8, 1},   {12, 1},
                                   {13, 2},   {127, 15}, {128, 16}, {250, 30}, {251, 31},
                                   {254, 31}, {255, 31}};
    std::vector<TTexColour> pixels;
    for (const Row &row : rows)
        pixels.push_back({row.eight, uint8_t(255 - row.eight), row.eight});
    // Bit 15 of the reference's pixels stays where the picture keeps the size.
    std::vector<uint16_t> reference(rows.size(), 0);
    reference[1] = 0x8000;
    const std::string tex =
        EncodeTex(TexBuilder::Direct(int32_t(rows.size()), 1, reference).Build(), "ref.tex",
                  Picture(int32_t(rows.size()), 1, pixels), false);
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
    const std::vector<TTexColour> palette = {
        {0, 0, 0}, {200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {255, 255, 255}, {200, 0, 0}};
    struct Row {
        TTexColour pixel;
        uint8_t index;
    };
    const std::vector<Row> rows = {
        {{190, 10, 10}, 1}, {{20, 180, 30}, 2}, {{250, 240, 255}, 4},
        {{10, 10, 10}, 0},  {{0, 0, 160}, 3},
        // Halfway between black and blue, and a colour held twice: the lower index.
        {{0, 0, 100}, 0},   {{200, 0, 0}, 1},   {{201, 1, 1}, 1},
    };
    std::vector<TTexColour> pixels;
    for (const Row &row : rows)
        pixels.push_back(row.pixel);
    // The reference shows white everywhere, so no pixel keeps its reference index.
    const std::string reference =
        TexBuilder::Palettised(int32_t(rows.size()), 1, palette, std::string(rows.size(), '\4'))
            .Build();
    const std::string tex = EncodeTex(reference, "ref.tex", Picture(int32_t(rows.size()), 1, pixels), false);
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
        int32_t count;       // the count field of the new texture
        int tolerance;       // how far a pixel may lie from its own colour
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

namespace {

uint32_t Crc(const std::string &bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::string BigEndian(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Chunk(const std::string &type, const std::string &data)
{
    return BigEndian(uint32_t(data.size())) + type + data + BigEndian(Crc(type + data));
}

// A PNG of the kinds the encoder above does not write: rows are the filtered-less scanlines'
// sample bytes, stored without compression.
std::string HandPng(uint32_t width, uint32_t height, int depth, int colourType,
                    const std::vector<std::string> &rows, const std::string &palette = "")
{
    std::string raw;
    for (const std::string &row : rows)
        raw += '\0' + row; // filter type none
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    std::string zlib = "\x78\x01";
    zlib += {'\x01', char(raw.size() & 0xFF), char(raw.size() >> 8), char(~raw.size() & 0xFF),
             char((~raw.size() >> 8) & 0xFF)};
    zlib += raw + BigEndian(b << 16 | a);
    std::string ihdr = BigEndian(width) + BigEndian(height);
    ihdr += {char(depth), char(colourType), '\0', '\0', '\0'};
    std::string png = "\x89PNG\r\n\x1a\n";
    png += Chunk("IHDR", ihdr);
    if (!palette.empty())
        png += Chunk("PLTE", palette);
    return png + Chunk("IDAT", zlib) + Chunk("IEND", "");
}

} // namespace

TEST(DecodePng, EveryColourTypeGivesItsRgb)
{
    using Colours = std::vector<TTexColour>;
    struct Row {
        const char *what;
        std::string png;
        Colours expected;
    };
    const std::vector<Row> rows = {
        {"grey", StbPng(3, 1, 1, B({0x00, 0x80, 0xff})), Colours{{0, 0, 0}, {128, 128, 128}, {255, 255, 255}}},
        {"grey and alpha", StbPng(2, 1, 2, B({0x40, 0x00, 0xc0, 0x80})),
         Colours{{64, 64, 64}, {192, 192, 192}}},
        {"RGB", StbPng(2, 1, 3, B({1, 2, 3, 0xfd, 0xfe, 0xff})), Colours{{1, 2, 3}, {253, 254, 255}}},
        {"RGBA, alpha dropped", StbPng(2, 1, 4, B({1, 2, 3, 0, 0x10, 0x20, 0x30, 0x7f})),
         Colours{{1, 2, 3}, {16, 32, 48}}},
        {"2 x 2 RGB, rows in order", StbPng(2, 2, 3, B({1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0})),
         Colours{{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}},
        {"palette, 8 bits", HandPng(3, 1, 8, 3, {B({2, 0, 1})},
                                    B({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xa0, 0xb0, 0xc0})),
         Colours{{0xa0, 0xb0, 0xc0}, {0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}}},
        {"palette, 2 bits", HandPng(4, 1, 2, 3, {B({0x1b})},
                                    B({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xa0, 0xb0, 0xc0, 1, 2, 3})),
         Colours{{0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}, {0xa0, 0xb0, 0xc0}, {1, 2, 3}}},
        // Samples of 16 bits chosen as multiples of 257, which every narrowing maps alike.
        {"RGB, 16 bits", HandPng(2, 1, 16, 2, {B({0x12, 0x12, 0, 0, 0xff, 0xff, 0x80, 0x80, 0xab, 0xab, 1, 1})}),
         Colours{{0x12, 0x00, 0xff}, {0x80, 0xab, 0x01}}},
        {"grey, 16 bits", HandPng(2, 1, 16, 0, {B({0x33, 0x33, 0xcc, 0xcc})}),
         Colours{{0x33, 0x33, 0x33}, {0xcc, 0xcc, 0xcc}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const TRgbImage image = DecodePng(row.png, "in.png");
        EXPECT_EQ(size_t(image.Width) * size_t(image.Height), row.expected.size());
        ASSERT_EQ(image.Pixels.size(), row.expected.size());
        for (size_t i = 0; i < row.expected.size(); ++i) {
            const TTexColour &p = image.Pixels[i], &e = row.expected[i];
            EXPECT_EQ(p, e) << "pixel " << i << ": " << int(p.Red) << "," << int(p.Green) << ","
                            << int(p.Blue);
        }
    }
}

TEST(DecodePng, RefusesWhatIsNoPngAndPicturesNoTextureHolds)
{
    auto refusal = [](const std::string &bytes) {
        try {
            DecodePng(bytes, "in.png");
        } catch (const EKVBError &e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(refusal(""), "Image in.png is not a PNG file");
    EXPECT_EQ(refusal(StbPng(2, 1, 3, "abcdef").substr(0, 8)), "Image in.png is damaged: it ends after its signature");
    EXPECT_EQ(refusal(GradientTex(4, 4).Build()), "Image in.png is not a PNG file");
    EXPECT_EQ(refusal(StbPng(2, 1, 3, "abcdef").substr(0, 20)),
              "Image in.png is damaged: it ends inside chunk IHDR");
    // The sizes are refused from the header: the pixel data here is far too short for them.
    const std::string row(3, 'x');
    EXPECT_EQ(refusal(HandPng(20000, 1, 8, 2, {row})),
              "Image in.png is 20000 x 1 pixels; a texture takes 1 to 16384 on each side");
    EXPECT_EQ(refusal(HandPng(1, 16385, 8, 2, {row})),
              "Image in.png is 1 x 16385 pixels; a texture takes 1 to 16384 on each side");
}

namespace {

std::string DecodeFailure(const std::string &png)
{
    try {
        DecodePng(png, "in.png");
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "(no error)";
}

// RGB rows of 8-bit samples, each stored with its filter type byte and filtered by it.
std::string FilteredRows(const std::vector<std::string> &rows, const std::string &types)
{
    constexpr size_t step = 3;
    std::string out, above(rows[0].size(), '\0');
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto *row = reinterpret_cast<const uint8_t *>(rows[r].data());
        const auto *up = reinterpret_cast<const uint8_t *>(above.data());
        out += types[r];
        for (size_t i = 0; i < rows[r].size(); ++i) {
            const int a = i >= step ? row[i - step] : 0, b = up[i], c = i >= step ? up[i - step] : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            // A type PNG does not have is stored as it comes.
            const int predictor[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c, 0};
            out += char(row[i] - predictor[std::min(int(types[r]), 5)]);
        }
        above = rows[r];
    }
    return out;
}

} // namespace

TEST(DecodePng, EveryFilterTypeAndInterlacedImagesDecode)
{
    // 5 x 5 RGB pixels, each different: (x * 40, y * 40, x + 5 * y).
    const auto pixel = [](uint32_t x, uint32_t y) {
        return TTexColour{uint8_t(x * 40), uint8_t(y * 40), uint8_t(x + 5 * y)};
    };
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < 5; ++y) {
        rows.emplace_back();
        for (uint32_t x = 0; x < 5; ++x)
            rows.back() += RgbSamples({pixel(x, y)});
    }
    // The seven passes of Adam7 interlacing, each its own rows of filter type none.
    const uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::string interlaced;
    for (const auto &p : passes)
        for (uint32_t y = p[1]; y < 5; y += p[3]) {
            interlaced += '\0';
            for (uint32_t x = p[0]; x < 5; x += p[2])
                interlaced += RgbSamples({pixel(x, y)});
        }
    const struct {
        const char *what;
        std::string png;
    } cases[] = {
        {"filter types 0 to 4", PngFile(PngHeader(5, 5, 8, 2), Zlib(FilteredRows(rows, B({0, 1, 2, 3, 4}))))},
        {"filter types 4 to 0", PngFile(PngHeader(5, 5, 8, 2), Zlib(FilteredRows(rows, B({4, 3, 2, 1, 0}))))},
        {"interlaced", PngFile(PngHeader(5, 5, 8, 2, 1), Zlib(interlaced))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TRgbImage image = DecodePng(c.png, "in.png");
        ASSERT_EQ(image.Width, 5);
        ASSERT_EQ(image.Height, 5);
        for (uint32_t y = 0; y < 5; ++y)
            for (uint32_t x = 0; x < 5; ++x)
                EXPECT_EQ(image.At(int32_t(x), int32_t(y)), pixel(x, y)) << x << "," << y;
    }
    EXPECT_EQ(DecodeFailure(PngFile(PngHeader(5, 5, 8, 2), Zlib(FilteredRows(rows, B({0, 1, 5, 0, 0}))))),
              "Image in.png is damaged: row 3 of its image data has filter type 5, which PNG does "
              "not have");
}

TEST(DecodePng, SaysWhichHeaderFieldIsInvalid)
{
    const std::string data = Zlib(std::string(4, '\0'));
    const std::string invalid = "Image in.png has an invalid header: ";
    const struct {
        std::string header, message;
    } cases[] = {
        {PngHeader(0, 1, 8, 2), "a PNG is 1 to 2147483647 pixels on each side, and this one says 0 x 1"},
        {PngHeader(1, 0, 8, 2), "a PNG is 1 to 2147483647 pixels on each side, and this one says 1 x 0"},
        {PngHeader(0x80000000u, 1, 8, 2),
         "a PNG is 1 to 2147483647 pixels on each side, and this one says 2147483648 x 1"},
        {PngHeader(1, 1, 8, 5), "colour type 5 is not one of PNG's (0, 2, 3, 4, 6)"},
        {PngHeader(1, 1, 4, 2), "a bit depth of 4 is not allowed for colour type 2 (RGB)"},
        {PngHeader(1, 1, 16, 3), "a bit depth of 16 is not allowed for colour type 3 (palette)"},
        {PngHeader(1, 1, 3, 0), "a bit depth of 3 is not allowed for colour type 0 (greyscale)"},
        {PngHeader(1, 1, 8, 2, 0, 1), "compression method 1 is unknown (PNG has only 0)"},
        {PngHeader(1, 1, 8, 2, 0, 0, 1), "filter method 1 is unknown (PNG has only 0)"},
        {PngHeader(1, 1, 8, 2, 2), "interlace method 2 is unknown (PNG has 0 and 1)"},
        {PngHeader(1, 1, 8, 2) + "x", "it has 14 bytes instead of 13"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecodeFailure(PngFile(c.header, data)), invalid + c.message);
}

TEST(DecodePng, AChunkItUsesMustMatchItsChecksum)
{
    const std::string palette = B({1, 2, 3});
    const std::string png = PngFile(PngHeader(2, 1, 8, 3), Zlib(B({0, 0, 0})), palette);
    ASSERT_EQ(DecodePng(png, "in.png").Pixels, (std::vector<TTexColour>{{1, 2, 3}, {1, 2, 3}}));
    const char *types[] = {"IHDR", "PLTE", "IDAT", "IEND"};
    for (int chunk = 0; chunk < 4; ++chunk) {
        std::string damaged = png;
        // The last byte of the chunk's checksum.
        damaged[PngChunkPosition(png, chunk + 1) - 1] ^= 1;
        EXPECT_EQ(DecodeFailure(damaged), "Image in.png is damaged: chunk " + std::string(types[chunk]) +
                                              " does not match its checksum (CRC)");
    }
    // Chunks that only describe the picture are passed over, checksum and all.
    std::string withText = png;
    withText.insert(PngChunkPosition(png, 1), PngChunk("tEXt", "Comment\0x"s));
    withText[PngChunkPosition(withText, 2) - 1] ^= 1;
    EXPECT_EQ(DecodePng(withText, "in.png").Width, 2);
}

TEST(DecodePng, InflatesNoMoreThanTheDeclaredPixelsNeed)
{
    // 4 x 3 RGB pixels need 3 rows of 1 + 12 bytes; a gigabyte follows them.
    const std::string bomb = PngFile(PngHeader(4, 3, 8, 2), ZlibOfZeros(uint64_t(1) << 30));
    EXPECT_LT(bomb.size(), 2u << 20);
    EXPECT_EQ(DecodeFailure(bomb), "Image in.png is damaged: its image data holds more than its 4 x 3 pixels");
    EXPECT_EQ(DecodePng(PngFile(PngHeader(4, 3, 8, 2), ZlibOfZeros(39)), "in.png").Pixels.size(), 12u);
    EXPECT_EQ(DecodeFailure(PngFile(PngHeader(4, 3, 8, 2), ZlibOfZeros(38))),
              "Image in.png is damaged: its image data ends before its 4 x 3 pixels are complete");
    // The largest picture a texture may have, in a file of a few bytes: refused as soon as its
    // data ends, without memory for what it claims.
    EXPECT_EQ(DecodeFailure(PngFile(PngHeader(16384, 16384, 16, 6), ZlibOfZeros(1000))),
              "Image in.png is damaged: its image data ends before its 16384 x 16384 pixels are "
              "complete");
    // What is no zlib stream is named as such.
    EXPECT_EQ(DecodeFailure(PngFile(PngHeader(1, 1, 8, 2), "not zlib")),
              "Image in.png is damaged: its image data cannot be decompressed (incorrect header check)");
}

TEST(DecodePng, ChunksAreNamedWithTheirControlBytesEscaped)
{
    const std::string header = PngChunk("IHDR", PngHeader(1, 1, 8, 2));
    const std::string rest = PngChunk("IDAT", Zlib(B({0, 1, 2, 3}))) + PngChunk("IEND", "");
    const std::string signature = "\x89PNG\r\n\x1a\n";
    EXPECT_EQ(DecodeFailure(signature + header + PngChunk("\x1b" "cab", "") + rest),
              "Image in.png is damaged: the chunk at byte 33 has the type \"\\x1Bcab\", which is "
              "not four letters");
    EXPECT_EQ(DecodeFailure(signature + header + PngChunk("ABCD", "") + rest),
              "Image in.png cannot be read: it holds chunk ABCD, which is needed to show it and "
              "unknown here");
    EXPECT_EQ(DecodeFailure(signature + PngChunk("IDAT", "") + header + rest),
              "Image in.png is damaged: its first chunk is IDAT, not the header IHDR");
    EXPECT_EQ(DecodeFailure(signature + header + PngChunk("IEND", "")),
              "Image in.png is damaged: it holds no image data (IDAT chunk)");
    EXPECT_EQ(DecodeFailure(PngFile(PngHeader(1, 1, 8, 3), Zlib(B({0, 0})))),
              "Image in.png is damaged: it has no palette chunk PLTE, which its colour type needs");
    // Ancillary chunks unknown here are passed over.
    EXPECT_EQ(DecodePng(signature + header + PngChunk("abCd", "\x1b") + rest, "in.png").Pixels,
              (std::vector<TTexColour>{{1, 2, 3}}));
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
            EXPECT_EQ(std::string(e.what()),
                      "Cannot create file " + input + ": it is " + input + ", which this operation reads");
        }
        EXPECT_EQ(ReadFile(input), before);
    }
}

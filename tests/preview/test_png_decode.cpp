#include "platform/errors.h"
#include "preview/png_image.h"
#include "preview/png_samples.h"
#include "preview/tex.h"
#include "support/png_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kvb;
using namespace kvb::test;
using namespace std::string_literals;

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

// A PNG of the kinds StbPng does not write: rows are the filtered-less scanlines'
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
        {"grey", StbPng(3, 1, 1, B({0x00, 0x80, 0xff})),
         Colours{{0, 0, 0}, {128, 128, 128}, {255, 255, 255}}},
        {"grey and alpha", StbPng(2, 1, 2, B({0x40, 0x00, 0xc0, 0x80})),
         Colours{{64, 64, 64}, {192, 192, 192}}},
        {"RGB", StbPng(2, 1, 3, B({1, 2, 3, 0xfd, 0xfe, 0xff})), Colours{{1, 2, 3}, {253, 254, 255}}},
        {"RGBA, alpha dropped", StbPng(2, 1, 4, B({1, 2, 3, 0, 0x10, 0x20, 0x30, 0x7f})),
         Colours{{1, 2, 3}, {16, 32, 48}}},
        {"2 x 2 RGB, rows in order", StbPng(2, 2, 3, B({1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0})),
         Colours{{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}},
        {"palette, 8 bits",
         HandPng(3, 1, 8, 3, {B({2, 0, 1})}, B({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xa0, 0xb0, 0xc0})),
         Colours{{0xa0, 0xb0, 0xc0}, {0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}}},
        {"palette, 2 bits",
         HandPng(4, 1, 2, 3, {B({0x1b})},
                 B({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xa0, 0xb0, 0xc0, 1, 2, 3})),
         Colours{{0x10, 0x20, 0x30}, {0x40, 0x50, 0x60}, {0xa0, 0xb0, 0xc0}, {1, 2, 3}}},
        // Samples of 16 bits chosen as multiples of 257, which every narrowing maps alike.
        {"RGB, 16 bits",
         HandPng(2, 1, 16, 2, {B({0x12, 0x12, 0, 0, 0xff, 0xff, 0x80, 0x80, 0xab, 0xab, 1, 1})}),
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
    EXPECT_EQ(refusal(StbPng(2, 1, 3, "abcdef").substr(0, 8)),
              "Image in.png is damaged: it ends after its signature");
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
            const int predictor[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c,
                                     0};
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
        {"filter types 0 to 4",
         PngFile(PngHeader(5, 5, 8, 2), Zlib(FilteredRows(rows, B({0, 1, 2, 3, 4}))))},
        {"filter types 4 to 0",
         PngFile(PngHeader(5, 5, 8, 2), Zlib(FilteredRows(rows, B({4, 3, 2, 1, 0}))))},
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
    EXPECT_EQ(DecodeFailure(bomb),
              "Image in.png is damaged: its image data holds more than its 4 x 3 pixels");
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
    EXPECT_EQ(DecodeFailure(signature + header +
                            PngChunk("\x1b"
                                     "cab",
                                     "") +
                            rest),
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

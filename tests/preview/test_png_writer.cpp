#include "preview/png_image.h"
#include "preview/png_writer.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

using namespace kvb;

namespace {

uint32_t BigEndian32(const std::string &bytes, size_t at)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Every IDAT chunk's data, joined; each chunk at most kPngChunkData long.
std::string ImageData(const std::string &png)
{
    std::string data;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(png, at);
        EXPECT_LE(length, kPngChunkData);
        if (png.compare(at + 4, 4, "IDAT") == 0)
            data += png.substr(at + 8, length);
        at += 12 + length;
    }
    return data;
}

} // namespace

TEST(PngWriter, RowsRepeatedOrNotDecodeAsWrittenAndTheZlibStreamIsWhole)
{
    constexpr int32_t width = 301;
    uint32_t noise = 12345;
    const auto noiseRow = [&noise] {
        std::vector<TTexColour> row(width);
        for (TTexColour &c : row) {
            noise = noise * 1103515245 + 12345;
            c = TTexColour{uint8_t(noise >> 24), uint8_t(noise >> 16), uint8_t(noise >> 8)};
        }
        return row;
    };
    std::vector<TTexColour> gradient(width);
    for (int32_t x = 0; x < width; ++x)
        gradient[size_t(x)] = TTexColour{uint8_t(x), uint8_t(2 * x), uint8_t(3 * x)};
    TRgbImage image;
    image.Width = width;
    const auto add = [&image](const std::vector<TTexColour> &row, int times) {
        for (int i = 0; i < times; ++i)
            image.Pixels.insert(image.Pixels.end(), row.begin(), row.end());
        image.Height += times;
    };
    // More than one chunk of image data; then a row, a run of equal rows long enough that its
    // end is copied from a block made once, and the first row again, which deflate would take
    // from where it stood before the run if the copies had not cut it off.
    for (int i = 0; i < 100; ++i)
        add(noiseRow(), 1);
    add(gradient, 1);
    add(noiseRow(), 40);
    add(gradient, 1);
    add(noiseRow(), 6);
    add(noiseRow(), 1);

    const std::string png = EncodePng(image);
    const TRgbImage back = DecodePng(png, "out.png");
    ASSERT_EQ(back.Width, image.Width);
    ASSERT_EQ(back.Height, image.Height);
    EXPECT_TRUE(back.Pixels == image.Pixels);

    // The reader stops at the last pixel; zlib also checks the stream's end and its checksum.
    const std::string data = ImageData(png);
    EXPECT_GT(data.size(), kPngChunkData);
    std::string filtered(size_t(image.Height) * (1 + 3 * width) + 1, '\0');
    uLongf size = uLongf(filtered.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(filtered.data()), &size,
                         reinterpret_cast<const Bytef *>(data.data()), uLong(data.size())),
              Z_OK);
    EXPECT_EQ(size, filtered.size() - 1);
    EXPECT_EQ(png.substr(png.size() - 12), std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
}

#include "preview/png_image.h"

#include "platform/errors.h"

// The decoder is compiled here, PNG only, with its functions kept to this file.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>
// And the encoder, likewise.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include "platform/output_file.h"
#include "platform/stream.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <vector>

namespace kvb {

TRgbImage DecodePng(const std::string &bytes, const std::string &fileName)
{
    if (bytes.size() > size_t(INT_MAX))
        throw EKVBError("Image " + fileName + " is too large");
    const auto *data = reinterpret_cast<const stbi_uc *>(bytes.data());
    const int size = int(bytes.size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, size, &width, &height, &channels))
        throw EKVBError("Image " + fileName + " is not a PNG file");
    // Checked from the header, before the decoder sizes anything by it.
    if (width <= 0 || height <= 0 || width > kTexMaxSide || height > kTexMaxSide)
        throw EKVBError("Image " + fileName + " is " + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels; a texture takes 1 to " +
                        std::to_string(kTexMaxSide) + " on each side");

    std::unique_ptr<stbi_uc, void (*)(void *)> rgb(
        stbi_load_from_memory(data, size, &width, &height, &channels, 3), stbi_image_free);
    if (!rgb)
        throw EKVBError("Image " + fileName + " cannot be read: " + stbi_failure_reason());

    TRgbImage image;
    image.Width = width;
    image.Height = height;
    image.Pixels.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < image.Pixels.size(); ++i)
        image.Pixels[i] = TTexColour{rgb.get()[3 * i], rgb.get()[3 * i + 1], rgb.get()[3 * i + 2]};
    return image;
}

TRgbImage TexImageToRgb(const TTexImage &image)
{
    TRgbImage rgb;
    rgb.Width = image.Width;
    rgb.Height = image.Height;
    rgb.Pixels.resize(size_t(image.Width) * size_t(image.Height));
    if (image.Format == TTexFormat::Palettised8) {
        const std::vector<TTexColour> palette = ShownPalette(image);
        for (size_t i = 0; i < rgb.Pixels.size(); ++i)
            rgb.Pixels[i] = palette[image.Indices[i]];
        return rgb;
    }
    auto expand = [](unsigned v) { return uint8_t((v << 3) | (v >> 2)); };
    for (size_t i = 0; i < rgb.Pixels.size(); ++i) {
        const unsigned c = image.Colours[i];
        rgb.Pixels[i] = TTexColour{expand((c >> 10) & 31), expand((c >> 5) & 31), expand(c & 31)};
    }
    return rgb;
}

std::string EncodePng(const TRgbImage &image)
{
    std::vector<unsigned char> rows(image.Pixels.size() * 3);
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        rows[3 * i] = image.Pixels[i].Red;
        rows[3 * i + 1] = image.Pixels[i].Green;
        rows[3 * i + 2] = image.Pixels[i].Blue;
    }
    std::string png;
    auto append = [](void *context, void *data, int size) {
        static_cast<std::string *>(context)->append(static_cast<const char *>(data), size_t(size));
    };
    if (!stbi_write_png_to_func(append, &png, image.Width, image.Height, 3, rows.data(),
                                image.Width * 3))
        throw std::bad_alloc();
    return png;
}

TRgbImage ScaledToLongerSide(const TRgbImage &image, int size)
{
    const int longer = std::max(image.Width, image.Height);
    TRgbImage out;
    out.Width = std::max(1, int(int64_t(image.Width) * size / longer));
    out.Height = std::max(1, int(int64_t(image.Height) * size / longer));
    out.Pixels.resize(size_t(out.Width) * size_t(out.Height));
    for (int y = 0; y < out.Height; ++y) {
        // The source rows and columns that make up this pixel: one when enlarging, several
        // when shrinking.
        const int y0 = int(int64_t(y) * image.Height / out.Height);
        const int y1 = std::max(y0 + 1, int(int64_t(y + 1) * image.Height / out.Height));
        for (int x = 0; x < out.Width; ++x) {
            const int x0 = int(int64_t(x) * image.Width / out.Width);
            const int x1 = std::max(x0 + 1, int(int64_t(x + 1) * image.Width / out.Width));
            uint64_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const TTexColour &c = image.At(sx, sy);
                    sum[0] += c.Red;
                    sum[1] += c.Green;
                    sum[2] += c.Blue;
                }
            const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            out.Pixels[size_t(y) * size_t(out.Width) + size_t(x)] =
                TTexColour{uint8_t((sum[0] + n / 2) / n), uint8_t((sum[1] + n / 2) / n),
                           uint8_t((sum[2] + n / 2) / n)};
        }
    }
    return out;
}

void TexFileToPngFile(const std::string &texFile, const std::string &pngFile, int size)
{
    TFileStream source(texFile, TFileStream::Mode::OpenRead);
    const TTexImage texture = TexToBitmap(source, kTexImageDataPosition);
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    TRgbImage picture = TexImageToRgb(texture);
    if (size > 0)
        picture = ScaledToLongerSide(picture, size);
    const std::string png = EncodePng(picture);
    TOutputFile output(pngFile, TOutputKind::Whole, {&source});
    output.Stream().WriteBuffer(png.data(), int64_t(png.size()));
    output.Commit();
}

void WriteTexImageAsPng(const TTexImage &texture, const std::string &pngFile)
{
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("The texture has no pixels, and a PNG needs at least one");
    const std::string png = EncodePng(TexImageToRgb(texture));
    TOutputFile output(pngFile, TOutputKind::Whole);
    output.Stream().WriteBuffer(png.data(), int64_t(png.size()));
    output.Commit();
}

} // namespace kvb

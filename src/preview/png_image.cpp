#include "preview/png_image.h"

#include "platform/errors.h"

// The encoder is compiled here, with its functions kept to this file.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include "platform/output_file.h"
#include "platform/stream.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kvb {

namespace {

// A 5-5-5 value as shown: each 5-bit channel spread to 8 bits, so that full brightness stays full.
TTexColour Shown555(uint16_t value)
{
    auto expand = [](unsigned v) { return uint8_t((v << 3) | (v >> 2)); };
    return TTexColour{expand((value >> 10) & 31), expand((value >> 5) & 31), expand(value & 31)};
}

} // namespace

TShownPixels::TShownPixels(const TTexImage &image) : image_(image)
{
    if (image.Format == TTexFormat::Palettised8)
        palette_ = ShownPalette(image);
}

TTexColour TShownPixels::operator[](size_t pixel) const
{
    if (image_.Format == TTexFormat::Palettised8)
        return palette_[pixel < image_.Indices.size() ? image_.Indices[pixel] : 0];
    return Shown555(image_.Colours[pixel]);
}

TRgbImage TexImageToRgb(const TTexImage &image)
{
    TRgbImage rgb;
    rgb.Width = image.Width;
    rgb.Height = image.Height;
    rgb.Pixels.resize(size_t(image.Width) * size_t(image.Height));
    const TShownPixels shown(image);
    for (size_t i = 0; i < rgb.Pixels.size(); ++i)
        rgb.Pixels[i] = shown[i];
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
        throw EEncodeError("a picture of " + std::to_string(image.Width) + " x " +
                           std::to_string(image.Height) + " pixels as a PNG");
    return png;
}

TRgbImage TexThumbnail(const TTexImage &image, int size)
{
    const int longer = std::max(image.Width, image.Height);
    TRgbImage out;
    out.Width = std::max(1, int(int64_t(image.Width) * size / longer));
    out.Height = std::max(1, int(int64_t(image.Height) * size / longer));
    out.Pixels.resize(size_t(out.Width) * size_t(out.Height));
    const bool palettised = image.Format == TTexFormat::Palettised8;
    const std::vector<TTexColour> palette = palettised ? ShownPalette(image) : std::vector<TTexColour>();
    const auto colourAt = [&](int32_t x, int32_t y) {
        return palettised ? palette[image.IndexAt(x, y)] : Shown555(image.ColourAt(x, y));
    };
    // The source pixels at most kSamples apart, evenly spread over the block [first, end): all
    // of a small block, a grid over a large one.
    constexpr int kSamples = 4;
    const auto spread = [](int first, int end, int k, int n) {
        return first + int((int64_t(2 * k + 1) * (end - first)) / (2 * n));
    };
    for (int y = 0; y < out.Height; ++y) {
        // The source rows and columns that make up this pixel: one when enlarging, several
        // when shrinking.
        const int y0 = int(int64_t(y) * image.Height / out.Height);
        const int y1 = std::max(y0 + 1, int(int64_t(y + 1) * image.Height / out.Height));
        const int ny = std::min(kSamples, y1 - y0);
        for (int x = 0; x < out.Width; ++x) {
            const int x0 = int(int64_t(x) * image.Width / out.Width);
            const int x1 = std::max(x0 + 1, int(int64_t(x + 1) * image.Width / out.Width));
            const int nx = std::min(kSamples, x1 - x0);
            unsigned sum[3] = {0, 0, 0};
            for (int ky = 0; ky < ny; ++ky)
                for (int kx = 0; kx < nx; ++kx) {
                    const TTexColour c = colourAt(spread(x0, x1, kx, nx), spread(y0, y1, ky, ny));
                    sum[0] += c.Red;
                    sum[1] += c.Green;
                    sum[2] += c.Blue;
                }
            const unsigned n = unsigned(nx * ny);
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
    const TTexImage texture = ReadTexture(source, texFile);
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    if (size <= 0 && !texture.Complete()) {
        const int64_t whole = texture.HeldPixels / texture.Width;
        throw EKVBError("Texture " + texFile + " declares " + std::to_string(texture.Height) +
                        " rows of " + std::to_string(texture.Width) +
                        " pixels, but the file holds data for only " + std::to_string(whole) +
                        (whole * texture.Width < texture.HeldPixels ? " and part of one more"
                                                                     : "") +
                        "; only a complete texture is written as a PNG");
    }
    const std::string png =
        EncodePng(size > 0 ? TexThumbnail(texture, size) : TexImageToRgb(texture));
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

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

void TexFileToPngFile(const std::string &texFile, const std::string &pngFile)
{
    TFileStream source(texFile, TFileStream::Mode::OpenRead);
    const TTexImage texture = TexToBitmap(source, kTexImageDataPosition);
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    const std::string png = EncodePng(TexImageToRgb(texture));
    TOutputFile output(pngFile, TOutputKind::Whole, {&source});
    output.Stream().WriteBuffer(png.data(), int64_t(png.size()));
    output.Commit();
}

} // namespace kvb

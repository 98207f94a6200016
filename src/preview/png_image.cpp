#include "preview/png_image.h"

#include "platform/errors.h"

// The decoder is compiled here, PNG only, with its functions kept to this file.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

#include <climits>
#include <memory>

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

} // namespace kvb

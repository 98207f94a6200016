#include "preview/png_samples.h"

#include <gtest/gtest.h>

// PNGs of the common kinds are written by the header-only encoder, its functions kept here.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace kvb::test {

namespace {

void Append(void *context, void *data, int size)
{
    static_cast<std::string *>(context)->append(static_cast<const char *>(data), size_t(size));
}

} // namespace

std::string B(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes)
        out += char(b);
    return out;
}

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

} // namespace kvb::test

#include "support/tex_builder.h"

#include "archive/format.h"
#include "support/archive_builder.h"

#include <stdexcept>

namespace kvb::test {

TexBuilder::TexBuilder(int32_t width, int32_t height)
    : width_(width),
      height_(height),
      headerWidth_(width),
      headerHeight_(height)
{
}

TexBuilder TexBuilder::Palettised(int32_t width, int32_t height, std::vector<TTexColour> palette,
                                  std::string indices)
{
    if (palette.empty() || indices.size() != size_t(width) * size_t(height))
        throw std::invalid_argument("TexBuilder::Palettised: no palette or wrong pixel count");
    TexBuilder b(width, height);
    b.headerCount_ = uint32_t(palette.size());
    b.palette_ = std::move(palette);
    b.indices_ = std::move(indices);
    return b;
}

TexBuilder TexBuilder::Direct(int32_t width, int32_t height, std::vector<uint16_t> colours)
{
    if (colours.size() != size_t(width) * size_t(height))
        throw std::invalid_argument("TexBuilder::Direct: wrong pixel count");
    TexBuilder b(width, height);
    b.colours_ = std::move(colours);
    return b;
}

TexBuilder &TexBuilder::HeaderSize(int32_t width, int32_t height)
{
    headerWidth_ = width;
    headerHeight_ = height;
    return *this;
}

TexBuilder &TexBuilder::HeaderPaletteCount(uint32_t count)
{
    headerCount_ = count;
    return *this;
}

TexBuilder &TexBuilder::Trailing(std::string bytes)
{
    trailing_ = std::move(bytes);
    return *this;
}

TexBuilder &TexBuilder::CutShort(size_t bytes)
{
    cut_ = bytes;
    return *this;
}

size_t TexBuilder::PixelPosition() const
{
    return size_t(kTexImageDataPosition) + 4 * palette_.size();
}

std::string TexBuilder::Build() const
{
    std::string out = PatternBytes(size_t(kTexImageDataPosition), 4711);
    PutInt32LE(&out[60], headerWidth_);
    PutInt32LE(&out[64], headerHeight_);
    PutInt32LE(&out[88], int32_t(headerCount_));
    for (const TTexColour &c : palette_)
        out += {char(c.Blue), char(c.Green), char(c.Red), char(0xFF)};
    out += indices_;
    for (uint16_t v : colours_)
        out += {char(v & 0xFF), char(v >> 8)};
    out += trailing_;
    out.resize(out.size() - std::min(cut_, out.size()));
    return out;
}

TexBuilder GradientTex(int32_t width, int32_t height)
{
    std::vector<TTexColour> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[size_t(i)] = TTexColour{uint8_t(i), uint8_t(i / 2), uint8_t(255 - i)};
    std::string indices(size_t(width) * size_t(height), '\0');
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            indices[size_t(y) * size_t(width) + size_t(x)] = char((x + y) % 256);
    return TexBuilder::Palettised(width, height, std::move(ramp), std::move(indices));
}

TexBuilder PictureTex(int32_t width, int32_t height)
{
    std::vector<uint16_t> colours(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            unsigned red = unsigned(x) * 31 / unsigned(std::max(width - 1, 1));
            unsigned green = unsigned(y) * 31 / unsigned(std::max(height - 1, 1));
            unsigned blue = ((x / 16 + y / 16) % 2) ? 31 : 8;
            unsigned unused = (y % 2) ? 0x8000 : 0;
            colours[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t(unused | red << 10 | green << 5 | blue);
        }
    return TexBuilder::Direct(width, height, std::move(colours));
}

} // namespace kvb::test

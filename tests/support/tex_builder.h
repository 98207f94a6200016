// Builds TEX texture files of either format and any size for tests, benchmarks and the demo.
#pragma once

#include "preview/tex.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvb::test {

// A TEX file: a 236-byte header of pattern bytes holding width, height and palette count at 60,
// 64 and 88, then the palette (blue, green, red, 0xFF per entry) and the pixels, top row first.
class TexBuilder {
public:
    // A palettised texture: one palette index per pixel.
    static TexBuilder Palettised(int32_t width, int32_t height, std::vector<TTexColour> palette,
                                 std::string indices);
    // A 16-bit direct-colour texture: one 5-5-5 value per pixel.
    static TexBuilder Direct(int32_t width, int32_t height, std::vector<uint16_t> colours);

    // Header fields that disagree with the data that follows, for damaged or hostile files.
    TexBuilder &HeaderSize(int32_t width, int32_t height);
    TexBuilder &HeaderPaletteCount(uint32_t count);
    // Bytes after the pixel data.
    TexBuilder &Trailing(std::string bytes);
    // Leaves the last bytes off the file.
    TexBuilder &CutShort(size_t bytes);

    std::string Build() const;
    // Where the pixel data starts in what Build() returns.
    size_t PixelPosition() const;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const std::vector<TTexColour> &Palette() const { return palette_; }
    const std::string &Indices() const { return indices_; }
    const std::vector<uint16_t> &Colours() const { return colours_; }

private:
    TexBuilder(int32_t width, int32_t height);
    int32_t width_, height_;
    int32_t headerWidth_, headerHeight_;
    uint32_t headerCount_ = 0;
    std::vector<TTexColour> palette_;
    std::string indices_;
    std::vector<uint16_t> colours_;
    std::string trailing_;
    size_t cut_ = 0;
};

// A palettised diagonal gradient over a 256-colour ramp: pixel (x, y) has index (x + y) % 256.
TexBuilder GradientTex(int32_t width, int32_t height);
// A 16-bit picture: red rises to the right, green downwards, blue in 16-pixel checks; every odd
// row has bit 15 set, which carries no colour.
TexBuilder PictureTex(int32_t width, int32_t height);

} // namespace kvb::test

// PNG images read into plain 8-bit RGB pixels, for turning an edited picture back into a TEX
// texture. Any PNG colour type and bit depth is read; transparency is dropped.
#pragma once

#include "preview/tex.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvb {

struct TRgbImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TTexColour> Pixels; // row after row, top row first

    const TTexColour &At(int32_t x, int32_t y) const
    {
        return Pixels[size_t(y) * size_t(Width) + size_t(x)];
    }
};

// Decodes the PNG held in bytes; fileName is for messages. Refuses what is not a PNG and images
// larger than a texture can be (kTexMaxSide) before decoding their pixels.
TRgbImage DecodePng(const std::string &bytes, const std::string &fileName);

} // namespace kvb

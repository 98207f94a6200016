// PNG images read into plain 8-bit RGB pixels, for turning an edited picture back into a TEX
// texture, and textures written as PNG images. Any PNG colour type and bit depth is read;
// transparency is dropped.
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

// The texture's pixels as shown: palette entries through ShownPalette, 5-bit channels spread to
// 8 bits so that full brightness stays full.
TRgbImage TexImageToRgb(const TTexImage &image);
// An 8-bit RGB PNG of image, which has at least one pixel.
std::string EncodePng(const TRgbImage &image);

// image scaled, keeping its proportions, so that its longer side is size pixels: enlarged with
// each pixel a sharp block, as the game's art is drawn; shrunk by averaging.
TRgbImage ScaledToLongerSide(const TRgbImage &image, int size);

// kvb tex2png and "Export as PNG...": decodes the TEX file and writes it as a PNG through the
// safe writer; a size above 0 scales it first (file managers' thumbnails). Needs no graphics
// library, so every build of kvb has it. A texture without pixels is refused, since a PNG needs
// at least one.
void TexFileToPngFile(const std::string &texFile, const std::string &pngFile, int size = 0);

// The preview window's "Save as PNG...": texture as shown, written as a PNG through the safe
// writer. A texture without pixels is refused, since a PNG needs at least one.
void WriteTexImageAsPng(const TTexImage &texture, const std::string &pngFile);

} // namespace kvb

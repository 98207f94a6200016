// PNG images read into plain 8-bit RGB pixels, for turning an edited picture back into a TEX
// texture, and textures written as PNG images. Any PNG colour type, bit depth and interlacing is
// read; transparency is dropped.
#pragma once

#include "preview/tex.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvb {

// A 5-5-5 value as shown: each 5-bit channel spread to 8 bits, so that full brightness stays full.
TTexColour Shown555(uint16_t value);

struct TRgbImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TTexColour> Pixels; // row after row, top row first

    const TTexColour &At(int32_t x, int32_t y) const
    {
        return Pixels[size_t(y) * size_t(Width) + size_t(x)];
    }
};

// Decodes the PNG held in bytes; fileName is for messages. Refuses, saying what is wrong: what
// is not a PNG, a header with invalid fields, a chunk it uses whose checksum (CRC) fails, image
// data that ends early or holds more than the header's pixels, and images larger than a texture
// can be (kTexMaxSide), the last before decoding their pixels. Inflates no more than the header's
// pixels need, and stores rows only as they are decoded.
TRgbImage DecodePng(const std::string &bytes, const std::string &fileName);

// The texture's pixels as shown: palette entries through ShownPalette (pixels without data
// show index 0), 5-bit channels spread to 8 bits so that full brightness stays full.
TRgbImage TexImageToRgb(const TTexImage &image);
// The same, one pixel at a time (row by row from the top), without a copy of the whole image.
class TShownPixels {
public:
    explicit TShownPixels(const TTexImage &image);
    TTexColour operator[](size_t pixel) const;

private:
    const TTexImage &image_;
    std::vector<TTexColour> palette_; // Palettised8: as shown
};
// An 8-bit RGB PNG of image, which has at least one pixel (TPngWriter, in memory).
std::string EncodePng(const TRgbImage &image);

// The largest thumbnail kvb tex2png --size makes: the largest size desktops ask thumbnailers for.
constexpr int kMaxThumbnailSide = 1024;

// A picture of the texture whose longer side is size pixels, keeping its proportions, made by
// sampling the pixels the file holds (at most 4 x 4 per picture pixel), so that its cost follows
// size and the bytes held, never the size the texture claims: enlarged with each pixel a sharp
// block, as the game's art is drawn; shrunk by averaging the samples. Pixels without data are 0.
TRgbImage TexThumbnail(const TTexImage &image, int size);
// The same picture of a width x height picture whose rows rowAt gives: asked for from the top
// down, a row perhaps twice in a row; each row's width colours stay valid until the next call.
// For readers that never hold the whole picture.
TRgbImage ThumbnailOfRows(int32_t width, int32_t height, int size,
                          const std::function<const TTexColour *(int32_t y)> &rowAt);

// The texture reader reads, written as a PNG into sink from its first row to its last, a row
// at a time as it is read: what this holds is a row and the PNG writer's state. Pixels the
// texture holds no data for are index 0. texName names the texture in messages; one without
// pixels is refused, since a PNG needs at least one.
void WriteTexRowsAsPng(TTexRowReader &reader, const std::string &texName,
                       const std::function<void(const char *bytes, size_t size)> &sink);

// kvb tex2png and "Export as PNG...": decodes the TEX file and writes it as a PNG through the
// safe writer, a row at a time from the file, so that memory stays at a row and the PNG writer's
// state whatever size the texture claims; pixels a palettised file ends before are index 0, as
// the preview shows them. A size above 0 writes TexThumbnail(size) instead (file managers'
// thumbnails). Needs no graphics library, so every build of kvb has it. A texture without pixels
// is refused, since a PNG needs at least one.
void TexFileToPngFile(const std::string &texFile, const std::string &pngFile, int size = 0);

// The preview window's "Save as PNG...": texture as shown, written as a PNG through the safe
// writer. A texture without pixels is refused, since a PNG needs at least one.
void WriteTexImageAsPng(const TTexImage &texture, const std::string &pngFile);

} // namespace kvb

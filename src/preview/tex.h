// TEX textures, the game's own image format, decoded into a plain image for display.
//
// The decoder reads three header fields (width at 60, height at 64, palette entry count at 88,
// little-endian), then from the image-data position either count palette entries (blue, green,
// red, unused) followed by one index byte per pixel, or, with a count of 0, one 16-bit 5-5-5
// value per pixel. Rows are stored top row first with nothing between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvb {

class TStream;

// The header fields the program reads and writes: little-endian 32-bit values at these
// positions. The header is bytes 0 to 235; the entry preview and kvb tex2png find the image data
// after it.
constexpr int64_t kTexWidthPosition = 60;
constexpr int64_t kTexHeightPosition = 64;
constexpr int64_t kTexPaletteCountPosition = 88;
constexpr int32_t kTexImageDataPosition = 236;
// Each palette entry: blue, green, red, unused.
constexpr int64_t kTexPaletteEntrySize = 4;
// The palette table has this many slots; files asking for more are refused.
constexpr uint32_t kTexMaxPaletteCount = 256;
// Larger sides are refused before anything is allocated for the pixels.
constexpr int32_t kTexMaxSide = 16384;

enum class TTexFormat {
    Palettised8, // one byte per pixel, an index into Palette
    Direct555,   // one 16-bit value per pixel: blue bits 0-4, green 5-9, red 10-14, bit 15 unused
};

struct TTexColour {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    friend bool operator==(const TTexColour &, const TTexColour &) = default;
};

// A decoded texture. Pixels are stored row after row, top row first, Width per row, without
// padding; only the vector of the image's format is filled. A palettised file may end before
// its pixels do: only the rows it holds data for are stored, and every pixel it holds no data
// for reads as index 0, without memory spent on it.
struct TTexImage {
    TTexFormat Format = TTexFormat::Direct555;
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TTexColour> Palette; // Palettised8: the file's entries, 1 to 256 of them
    std::vector<uint8_t> Indices;    // Palettised8: HeldRows() × Width palette indices
    std::vector<uint16_t> Colours;   // Direct555: Width × Height values exactly as in the file
    int64_t HeldPixels = 0;          // pixels the file holds data for, from the first on

    // Rows with stored pixels; the last of them may hold data only in part.
    int32_t HeldRows() const { return Width == 0 ? Height : int32_t((HeldPixels + Width - 1) / Width); }
    // Whether the file holds data for every pixel.
    bool Complete() const { return HeldPixels == int64_t(Width) * Height; }

    uint8_t IndexAt(int32_t x, int32_t y) const
    {
        const std::size_t at = Offset(x, y);
        return at < Indices.size() ? Indices[at] : 0;
    }
    uint16_t ColourAt(int32_t x, int32_t y) const { return Colours[Offset(x, y)]; }
    std::size_t Offset(int32_t x, int32_t y) const
    {
        return std::size_t(y) * std::size_t(Width) + std::size_t(x);
    }
};

// A TEX file's pixels read a number of rows at a time, top row first, for writers that never hold
// the whole image. The header and the palette are read and checked on construction, as
// TexToBitmap reads them, and Image() holds them (Format, Width, Height, Palette, HeldPixels)
// without pixels; direct-colour data cut short fails there too, before any row is read.
class TTexRowReader {
public:
    TTexRowReader(TStream &stream, int32_t position);
    const TTexImage &Image() const { return image_; }
    // The next rows, Width pixels each: palette indices (Palettised8) or 5-5-5 values
    // (Direct555), in one read. Pixels the file holds no data for are 0.
    void ReadRows(uint8_t *indices, int32_t rows);
    void ReadRows(uint16_t *colours, int32_t rows);
    // Passes over the next rows without reading them.
    void SkipRows(int32_t rows);
    // Pixels the file holds that were not read yet: once none are left, every row reads as 0.
    int64_t UnreadPixels() const { return unread_; }

private:
    TStream &stream_;
    TTexImage image_;
    int64_t unread_ = 0; // pixels the file holds that were not read yet
};

// Decodes the TEX file in stream with its image data at position. The caller keeps the stream;
// afterwards it stands after the last byte read. A header, palette or direct-colour pixel data
// cut short fails with EReadError, before anything is allocated for the pixels; palettised pixel
// data cut short is no error: the image holds the rows there are (HeldPixels), and pixels left
// without data are 0. Negative sizes, sides over kTexMaxSide and palettes over
// kTexMaxPaletteCount entries fail with EKVBError.
TTexImage TexToBitmap(TStream &stream, int32_t position);

// Decodes a whole TEX file, image data at kTexImageDataPosition; a read error names the
// texture (name) and says where the file ends.
TTexImage ReadTexture(TStream &stream, const std::string &name);

// ReadTexture of the file at path, as the preview reads it; the file is closed on every path.
TTexImage ReadTexFile(const std::string &path);

// The palette a display uses for a palettised image: its own entries, extended with black so
// that every index its pixels use has a colour.
std::vector<TTexColour> ShownPalette(const TTexImage &image);

} // namespace kvb

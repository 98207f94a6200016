// TEX textures made from edited pictures: the way back from kvb tex2png and "Export as PNG...".
//
// The new texture is read by the game like the reference it is made for: every byte of the
// reference's header is kept but the width, the height and, where it changes, the palette count;
// whatever the reference holds after its pixels is kept after the new pixels. A direct-colour
// reference gives 5-5-5 pixels rounded to the nearest value; a palettised one keeps its palette
// and maps each pixel to the nearest colour in it, or gets a new palette of at most as many
// colours. Where the picture keeps the reference's size and a pixel shows what the reference
// shows there, the reference's own value is kept, so that a texture exported and imported
// unchanged comes back byte for byte.
#pragma once

#include "preview/png_image.h"

#include <string>

namespace kvb {

// reference: the bytes of the reference TEX file; referenceName is for messages.
std::string EncodeTex(const std::string &reference, const std::string &referenceName,
                      const TRgbImage &image, bool newPalette);

// Whether this build can make a new palette of more than one colour.
bool NewPalettesAvailable();

// How a picture's colours come out in the texture made of it.
struct TColourChange {
    int64_t Pixels = 0;  // pixels the texture shows in another colour than the picture
    int64_t Of = 0;      // the picture's pixels
    int Largest = 0;     // the largest difference in one of red, green and blue (0 to 255)
};

// A texture made of a picture, not yet written, and what it changes of the picture's colours.
// A 5-5-5 texture's rounding (up to 4 in a channel) is no change.
struct TMadeTexture {
    std::string Bytes;
    TColourChange Change;
};
TMadeTexture MakeTex(const std::string &referenceFile, const std::string &pngFile, bool newPalette);

// Writes a made texture to texFile through the safe writer (texFile may be neither input).
void WriteTex(const TMadeTexture &texture, const std::string &referenceFile,
              const std::string &pngFile, const std::string &texFile);

// kvb png2tex: MakeTex, then WriteTex.
void PngToTex(const std::string &referenceFile, const std::string &pngFile,
              const std::string &texFile, bool newPalette);

} // namespace kvb

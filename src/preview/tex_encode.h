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

// Whether the texture in source (a TEX file from its first byte) comes back byte for byte from
// the PNG that WriteTexRowsAsPng makes of it, encoded with itself as the reference and without a
// new palette: it can be read, has pixels, and holds data for all of them (one cut short would
// come back with the pixels it lacks).
bool PngKeepsTexture(TStream &source);

// Whether this build can make a new palette of more than one colour.
bool NewPalettesAvailable();

// How a picture's colours come out in the texture made of it.
struct TColourChange {
    int64_t Pixels = 0; // pixels the texture shows in another colour than the picture
    int64_t Of = 0;     // the picture's pixels
    int Largest = 0;    // the largest difference in one of red, green and blue (0 to 255)
};

// A texture made of a picture, not yet written, and what it changes of the picture's colours.
// A 5-5-5 texture's rounding (up to 4 in a channel) is no change.
struct TMadeTexture {
    std::string Bytes;
    TColourChange Change;
};
TMadeTexture MakeTex(const std::string &referenceFile, const std::string &pngFile, bool newPalette);
// The same from the bytes of the reference and of the PNG, each named for messages.
TMadeTexture MakeTexFromBytes(const std::string &reference, const std::string &referenceName,
                              const std::string &png, const std::string &pngName, bool newPalette);

// What "Import PNG..." says of a change before it asks about a new palette: "N of the M pixels
// of NAME would change colour, by up to L of 255 in red, green or blue, because the texture's
// palette lacks their colours."
std::string ColourChangeText(const TColourChange &change, const std::string &pngName);

// Writes a made texture to texFile through the safe writer (texFile may be neither input).
void WriteTex(const TMadeTexture &texture, const std::string &referenceFile, const std::string &pngFile,
              const std::string &texFile);

// kvb png2tex: MakeTex, then WriteTex.
void PngToTex(const std::string &referenceFile, const std::string &pngFile, const std::string &texFile,
              bool newPalette);

} // namespace kvb

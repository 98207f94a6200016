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

// kvb png2tex and "Import PNG...": reads the reference texture and the PNG and writes the new
// texture to texFile through the safe writer (texFile may not be either input).
void PngToTex(const std::string &referenceFile, const std::string &pngFile,
              const std::string &texFile, bool newPalette);

} // namespace kvb

// A decoded texture as a QImage, for the preview window and kvb tex2png alike.
#pragma once

#include "platform/stream.h"
#include "preview/tex.h"

#include <QImage>

#include <string>
#include <vector>

namespace kvb {

// Format_Indexed8 with the image's shown palette as colour table, or Format_RGB555. A texture
// without pixels gives a null QImage.
QImage TexImageToQImage(const TTexImage &image);

// kvb tex2png and "Export as PNG...": decodes the TEX file and writes it as a PNG through the
// safe writer. A texture without pixels is refused, since a PNG needs at least one. With a
// size above 0 the picture is scaled, keeping its proportions, so that its longer side is size
// pixels (file managers' thumbnails).
void TexFileToPng(const std::string &texFile, const std::string &pngFile, int size = 0);
// Writes image as a PNG through the safe writer; sources are the files the image came from.
void SaveImageAsPng(const QImage &image, const std::string &pngFile,
                    const std::vector<const TFileStream *> &sources = {});

} // namespace kvb

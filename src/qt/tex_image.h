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

// The preview window's "Save as PNG...": writes image as a PNG through the safe writer; sources are the files the image came from.
void SaveImageAsPng(const QImage &image, const std::string &pngFile,
                    const std::vector<const TFileStream *> &sources = {});

} // namespace kvb

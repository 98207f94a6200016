// A decoded texture as a QImage, for the Qt preview window.
#pragma once

#include "preview/tex.h"

#include <QImage>

namespace kvb {

// Format_Indexed8 with the image's shown palette as colour table, or Format_RGB555. A texture
// without pixels gives a null QImage.
QImage TexImageToQImage(const TTexImage &image);

} // namespace kvb

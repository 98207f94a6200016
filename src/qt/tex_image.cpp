#include "qt/tex_image.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kvb {

namespace {

// A null QImage has no rows to fill; the decoder has already bounded the size, so this is memory.
QImage Allocated(int32_t width, int32_t height, QImage::Format format)
{
    QImage out(width, height, format);
    if (out.isNull())
        throw std::bad_alloc();
    return out;
}

QImage Indexed(const TTexImage &image)
{
    QImage out = Allocated(image.Width, image.Height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (const TTexColour &c : ShownPalette(image))
        table.append(qRgb(c.Red, c.Green, c.Blue));
    out.setColorTable(table);
    // Rows the file holds no data for show index 0, as the pixels of a fresh bitmap would.
    const int32_t held = std::min(image.HeldRows(), image.Height);
    for (int32_t y = 0; y < image.Height; ++y) {
        if (y < held)
            std::memcpy(out.scanLine(y), &image.Indices[size_t(y) * size_t(image.Width)],
                        size_t(image.Width));
        else
            std::memset(out.scanLine(y), 0, size_t(image.Width));
    }
    return out;
}

QImage Direct(const TTexImage &image)
{
    QImage out = Allocated(image.Width, image.Height, QImage::Format_RGB555);
    for (int32_t y = 0; y < image.Height; ++y) {
        auto *row = reinterpret_cast<quint16 *>(out.scanLine(y));
        // Qt expects the unused top bit to be zero; the file's bit 15 carries no colour.
        for (int32_t x = 0; x < image.Width; ++x)
            row[x] = image.ColourAt(x, y) & 0x7FFF;
    }
    return out;
}

} // namespace

QImage TexImageToQImage(const TTexImage &image)
{
    if (image.Width == 0 || image.Height == 0)
        return QImage();
    return image.Format == TTexFormat::Palettised8 ? Indexed(image) : Direct(image);
}

} // namespace kvb

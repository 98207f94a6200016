#include "win32ui/tex_dib.h"

#include <algorithm>
#include <cstring>

namespace kvb::win32ui {

TTexDib::TTexDib(const TTexImage &texture)
{
    const bool palettised = texture.Format == TTexFormat::Palettised8;
    info_.header.biSize = sizeof info_.header;
    info_.header.biWidth = texture.Width;
    info_.header.biHeight = -texture.Height;
    info_.header.biPlanes = 1;
    info_.header.biBitCount = palettised ? 8 : 16;
    info_.header.biCompression = BI_RGB;
    stride_ = (size_t(texture.Width) * info_.header.biBitCount + 31) / 32 * 4;
    // Pixels the file holds no data for are 0, as in a freshly made bitmap.
    bits_.assign(stride_ * size_t(texture.Height), 0);

    if (!palettised) {
        for (int32_t y = 0; y < texture.Height; ++y)
            std::memcpy(&bits_[size_t(y) * stride_], &texture.Colours[texture.Offset(0, y)],
                        size_t(texture.Width) * sizeof(uint16_t));
        return;
    }
    const std::vector<TTexColour> colours = ShownPalette(texture);
    info_.header.biClrUsed = DWORD(colours.size());
    std::vector<uint8_t> logical(sizeof(LOGPALETTE) + colours.size() * sizeof(PALETTEENTRY));
    auto *palette = reinterpret_cast<LOGPALETTE *>(logical.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = WORD(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        info_.colours[i] = RGBQUAD{colours[i].Blue, colours[i].Green, colours[i].Red, 0};
        palette->palPalEntry[i] = PALETTEENTRY{colours[i].Red, colours[i].Green, colours[i].Blue, 0};
    }
    palette_.reset(::CreatePalette(palette));
    // The rows the file holds, the last one perhaps in part.
    const size_t held = std::min(texture.Indices.size(), size_t(texture.Width) * size_t(texture.Height));
    for (size_t start = 0; start < held; start += size_t(texture.Width)) {
        const size_t row = start / size_t(texture.Width);
        std::memcpy(&bits_[row * stride_], &texture.Indices[start],
                    std::min(size_t(texture.Width), held - start));
    }
}

void TTexDib::Draw(HDC dc, int x, int y, int width, int height) const
{
    if (Width() <= 0 || Height() <= 0)
        return;
    HPALETTE old = nullptr;
    if (palette_) {
        old = ::SelectPalette(dc, palette_.get(), TRUE);
        ::RealizePalette(dc);
    }
    const bool reduced = width < Width() || height < Height();
    ::SetStretchBltMode(dc, reduced ? HALFTONE : COLORONCOLOR);
    if (reduced)
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchDIBits(dc, x, y, width, height, 0, 0, Width(), Height(), bits_.data(), Info(),
                    DIB_RGB_COLORS, SRCCOPY);
    if (old)
        ::SelectPalette(dc, old, TRUE);
}

} // namespace kvb::win32ui

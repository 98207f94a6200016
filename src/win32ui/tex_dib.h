// A decoded texture as GDI draws it: a device-independent bitmap, 8 bits per pixel with the
// texture's colours as its table and a GDI palette of them (for screens of 256 colours), or 16
// bits per pixel in the uncompressed 5-5-5 layout, the texture's own.
#pragma once

#include "preview/tex.h"
#include "win32ui/form.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace kvb::win32ui {

struct TPaletteDeleter {
    void operator()(HPALETTE palette) const { ::DeleteObject(palette); }
};
using TPalette = std::unique_ptr<std::remove_pointer_t<HPALETTE>, TPaletteDeleter>;

class TTexDib {
public:
    // An empty bitmap, which draws nothing.
    TTexDib() = default;
    explicit TTexDib(const TTexImage &texture);

    int Width() const { return int(info_.header.biWidth); }
    int Height() const { return -int(info_.header.biHeight); }
    int BitsPerPixel() const { return info_.header.biBitCount; }
    // Bytes from one row to the next: whole 32-bit words.
    size_t Stride() const { return stride_; }
    const BITMAPINFO *Info() const { return reinterpret_cast<const BITMAPINFO *>(&info_); }
    // Rows top first (the header's height is negative).
    const std::vector<uint8_t> &Bits() const { return bits_; }
    // Nothing for a 16-bit bitmap.
    HPALETTE Palette() const { return palette_.get(); }

    // Draws the bitmap into dc at (x, y) scaled to width × height: texels kept sharp when
    // enlarged, smoothed when reduced, so that thin lines stay visible.
    void Draw(HDC dc, int x, int y, int width, int height) const;

private:
    struct {
        BITMAPINFOHEADER header{};
        RGBQUAD colours[256]{};
    } info_;
    size_t stride_ = 0;
    std::vector<uint8_t> bits_;
    TPalette palette_;
};

} // namespace kvb::win32ui

// The Win32 preview: a texture as a GDI bitmap (8-bit with its palette, or 16-bit 5-5-5), drawn
// at the logic's zoom, in a window placed beside the main window with scroll bars for a picture
// larger than its room, and its keys.
#include "win32_windows.h"

#include "support/tex_builder.h"
#include "win32ui/tex_dib.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TTexDib;

namespace {

TTexImage Decoded(const TexBuilder &builder)
{
    const std::string bytes = builder.Build();
    TMemoryStream stream(bytes);
    return TexToBitmap(stream, kTexImageDataPosition);
}

// The colour of each pixel of dib drawn at width × height, read back from a 32-bit bitmap.
std::vector<COLORREF> Drawn(const TTexDib &dib, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP target = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, target);
    dib.Draw(dc, 0, 0, width, height);
    ::GdiFlush();
    std::vector<COLORREF> pixels;
    for (int i = 0; i < width * height; ++i) {
        const uint32_t bgr = static_cast<const uint32_t *>(bits)[i];
        pixels.push_back(RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF));
    }
    ::SelectObject(dc, old);
    ::DeleteObject(target);
    ::DeleteDC(dc);
    return pixels;
}

SIZE ClientSize(HWND window)
{
    RECT r{};
    ::GetClientRect(window, &r);
    return {r.right, r.bottom};
}

} // namespace

TEST(TexDib, APalettisedTextureKeepsItsIndicesAndColours)
{
    const TexBuilder builder = TexBuilder::Palettised(3, 2,
                                                      {{0x30, 0x20, 0x10}, {0xFF, 0, 0}, {0, 0, 0xFF}},
                                                      std::string("\x00\x01\x02\x02\x01\x00", 6));
    const TTexDib dib(Decoded(builder));
    EXPECT_EQ(dib.BitsPerPixel(), 8);
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.Stride(), 4u);
    EXPECT_EQ(dib.Info()->bmiHeader.biClrUsed, 3u);
    EXPECT_EQ(dib.Info()->bmiColors[0].rgbRed, 0x30);
    EXPECT_EQ(dib.Info()->bmiColors[0].rgbBlue, 0x10);
    // Top row first.
    EXPECT_EQ(dib.Bits(), (std::vector<uint8_t>{0, 1, 2, 0, 2, 1, 0, 0}));
    PALETTEENTRY entries[3]{};
    ASSERT_NE(dib.Palette(), nullptr);
    EXPECT_EQ(::GetPaletteEntries(dib.Palette(), 0, 3, entries), 3u);
    EXPECT_EQ(entries[2].peBlue, 0xFF);
    EXPECT_EQ(entries[0].peGreen, 0x20);

    // Enlarged three times: each texel a sharp square of its own colour.
    const std::vector<COLORREF> drawn = Drawn(dib, 9, 6);
    EXPECT_EQ(drawn[0], RGB(0x30, 0x20, 0x10));
    EXPECT_EQ(drawn[2], RGB(0x30, 0x20, 0x10));
    EXPECT_EQ(drawn[3], RGB(0xFF, 0, 0));
    EXPECT_EQ(drawn[9 * 5 + 8], RGB(0x30, 0x20, 0x10));
    EXPECT_EQ(drawn[9 * 3 + 0], RGB(0, 0, 0xFF));
}

TEST(TexDib, ADirectColourTextureKeepsItsFiveFiveFiveValues)
{
    const TTexDib dib(Decoded(TexBuilder::Direct(2, 2, {0x7C00, 0x03E0, 0x001F, 0x8000})));
    EXPECT_EQ(dib.BitsPerPixel(), 16);
    EXPECT_EQ(dib.Info()->bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(dib.Palette(), nullptr);
    EXPECT_EQ(dib.Stride(), 4u);
    const std::vector<COLORREF> drawn = Drawn(dib, 2, 2);
    EXPECT_EQ(drawn,
              (std::vector<COLORREF>{RGB(0xFF, 0, 0), RGB(0, 0xFF, 0), RGB(0, 0, 0xFF), RGB(0, 0, 0)}));
}

TEST(TexDib, PixelsAPalettisedFileHoldsNoDataForAreIndexZero)
{
    const TexBuilder builder =
        TexBuilder::Palettised(3, 3, {{1, 2, 3}, {4, 5, 6}}, std::string(9, '\x01')).CutShort(4);
    const TTexDib dib(Decoded(builder));
    EXPECT_EQ(dib.Bits(), (std::vector<uint8_t>{1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(PreviewForm, ShowsTheTextureBesideTheMainWindowAtTheLogicsZoom)
{
    Win32Windows w;
    HWND preview = w.preview.Handle();
    w.preview.Logic().ShowTexture(Decoded(GradientTex(100, 50)), "GRADIENT.TEX");
    EXPECT_TRUE(::IsWindowVisible(preview));
    EXPECT_GE(ClientSize(preview).cx, 100);
    EXPECT_EQ(ClientSize(preview).cy, 50);
    // Where the logic says it goes: beside the main window, level with its top.
    const logic::TRect free = w.preview.FreeArea();
    RECT client{};
    ::GetClientRect(preview, &client);
    ::MapWindowPoints(preview, nullptr, reinterpret_cast<POINT *>(&client), 2);
    EXPECT_GE(client.left, free.Left);
    EXPECT_LE(client.right, free.Left + free.Width);

    // Ctrl++ and Ctrl+- step the zoom; Ctrl+0 goes back to the texture's own size.
    Win32Windows::Key(preview, VK_OEM_PLUS, true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview (200%)");
    EXPECT_GE(ClientSize(preview).cx, 200);
    EXPECT_EQ(w.preview.PictureSize().cy, 100);
    Win32Windows::Key(preview, VK_SUBTRACT, true);
    Win32Windows::Key(preview, VK_SUBTRACT, true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview (50%)");
    EXPECT_EQ(ClientSize(preview).cy, 25);
    Win32Windows::Key(preview, '0', true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview");
    // Ctrl++ on a US keyboard: Ctrl+Shift+=; and the keypad's plus.
    Win32Windows::Key(preview, VK_OEM_PLUS, true, true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview (200%)");
    Win32Windows::Key(preview, VK_ADD, true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview (300%)");
    Win32Windows::Key(preview, VK_NUMPAD0, true);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview");

    // Escape, or the close button, only hides it.
    Win32Windows::Key(preview, VK_ESCAPE);
    EXPECT_FALSE(::IsWindowVisible(preview));
    w.preview.Logic().ShowTexture(Decoded(GradientTex(10, 10)), "SMALL.TEX");
    ::SendMessageW(preview, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(preview));
    EXPECT_TRUE(::IsWindow(preview));
}

TEST(PreviewForm, ALargerPictureScrolls)
{
    Win32Windows w;
    HWND preview = w.preview.Handle();
    const logic::TRect free = w.preview.FreeArea();
    const int height = 3 * free.Height;
    const TTexImage tall = Decoded(PictureTex(64, height));
    w.preview.Logic().ShowTexture(tall, "TALL.TEX");
    // Too tall for the room: fitted, to a whole percent.
    const int percent = w.preview.Logic().Zoom();
    EXPECT_LT(percent, 100);
    EXPECT_LE(w.preview.PictureSize().cy, free.Height);

    Win32Windows::Key(preview, '0', true);
    EXPECT_EQ(w.preview.PictureSize().cy, height);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(preview, SB_VERT, &info));
    EXPECT_EQ(info.nMax, height - 1);
    EXPECT_EQ(int(info.nPage), ClientSize(preview).cy);
    Win32Windows::Key(preview, VK_NEXT);
    EXPECT_EQ(w.preview.ScrollPosition().y, ClientSize(preview).cy);
    ::SendMessageW(preview, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(w.preview.ScrollPosition().y, height - ClientSize(preview).cy);
    EXPECT_EQ(w.preview.ScrollPosition().x, 0);
}

TEST(PreviewForm, ASmallPictureHasNoScrollBarsAndTheWindowIsAsWideAsItsTitle)
{
    Win32Windows w;
    HWND preview = w.preview.Handle();
    auto bars = [preview] { return ::GetWindowLongPtrW(preview, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL); };
    // After a picture that needed both bars, whose room the next one must not lose to them.
    const logic::TRect free = w.preview.FreeArea();
    w.preview.Logic().ShowTexture(Decoded(GradientTex(2 * free.Width, 2 * free.Height)), "LARGE.TEX");
    Win32Windows::Key(preview, '0', true);
    ASSERT_EQ(bars(), WS_HSCROLL | WS_VSCROLL);
    ::SendMessageW(preview, WM_VSCROLL, SB_BOTTOM, 0);
    for (const int side : {64, 16}) {
        w.preview.Logic().ShowTexture(Decoded(GradientTex(side, side)), "SMALL.TEX");
        EXPECT_EQ(bars(), 0) << side;
        EXPECT_GE(ClientSize(preview).cx, side);
        EXPECT_EQ(ClientSize(preview).cy, side);
        EXPECT_EQ(w.preview.ScrollPosition().y, 0);
        RECT frame{};
        ::GetWindowRect(preview, &frame);
        EXPECT_GE(frame.right - frame.left, w.preview.TitleWidth()) << side;
    }
    // Zoomed in beyond the room beside the main window: the bars come back.
    while (w.preview.PictureSize().cx <= free.Width && w.preview.Logic().Zoom() < 800)
        w.preview.Logic().ZoomIn();
    EXPECT_EQ(w.preview.PictureSize().cx > free.Width, bars() != 0);
}

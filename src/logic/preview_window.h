// The preview window's behaviour, whatever draws it: the texture previewed last, shown beside
// the main window at its own size or fitted to the room there, enlarged by whole steps with its
// pixels kept sharp, and saved as a PNG.
#pragma once

#include "logic/face.h"
#include "logic/window_description.h"
#include "preview/tex.h"

#include <string>

namespace kvb::logic {

// A rectangle on the screen, in pixels.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Where a window beside mainWindow goes (frames included): on the side of it with more room
// (the right one when both have as much), its top level with mainWindow's, inside workArea (the
// screen less its panels). Where neither side has room it covers the main window's right part.
TRect RoomBeside(const TRect &workArea, const TRect &mainWindow);

// A size on the screen, in pixels.
struct TSize {
    int Width = 0;
    int Height = 0;
};

// A picture of width × height shown at percent of its size: whole pixels, at least 1 × 1.
TSize ScaledSize(int width, int height, int percent);
// The client area that shows picture within free: the picture's own size where it fits, else
// free's; a direction the picture overflows takes a scroll bar from the other one
// (horizontalBar high, verticalBar wide).
TSize ClientSizeFor(const TSize &picture, const TRect &free, int horizontalBar, int verticalBar);

// What the logic asks of the preview window.
class TTexView {
public:
    virtual ~TTexView() = default;
    // The largest client area the window can have where it is shown (see RoomBeside).
    virtual TRect FreeArea() const = 0;
    // Shows texture at percent of its size, each texel a sharp square when enlarged, from the
    // top-left corner, with caption as the window's title; the client area fits the picture
    // within FreeArea, with scroll bars for the rest. The window becomes visible beside the
    // main window without taking the keyboard focus from it.
    virtual void ShowPicture(const TTexImage &texture, int percent, const std::string &caption) = 0;
    // Hides the window; the texture stays for the next time it is shown.
    virtual void Hide() = 0;
};

class TTexViewLogic {
public:
    // The zoom steps of Ctrl++ and Ctrl+-, in percent; a texture larger than the room opens
    // at the largest percent that fits, which may lie between them.
    static constexpr int kZoomSteps[] = {10, 25, 50, 100, 200, 300, 400, 500, 600, 700, 800};

    TTexViewLogic(TTexView &view, TDialogs &dialogs);

    // The picture's menu and the window's keys, which both faces bind to the handlers below.
    static const TWindowDescription<TTexViewLogic> &Description();

    // The preview's texture, previewed from the file fileName (without folder): at its own
    // size, or fitted to the window's room when it is larger.
    void ShowTexture(const TTexImage &texture, const std::string &fileName);

    // Ctrl++, Ctrl+- and Ctrl+0: the next step up or down, or the texture's own size.
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    void mnuSavePngClick();
    // Escape hides the window.
    void EscapePressed();

    // The zoom in percent, and the title that shows it ("Preview" at 100%).
    int Zoom() const { return percent_; }
    static std::string Caption(int percent);
    bool HasPicture() const { return texture_.Width > 0 && texture_.Height > 0; }

    TFileDialog savPng;

private:
    void SetZoom(int percent);

    TTexView &view_;
    TDialogs &dialogs_;
    TTexImage texture_;
    std::string fileName_;
    int percent_ = 100;
};

} // namespace kvb::logic

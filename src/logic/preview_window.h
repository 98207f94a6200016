// The preview window's behaviour, whatever draws it: the texture previewed last, shown beside
// the main window at its own size or fitted to the room there, enlarged by whole steps with its
// pixels kept sharp, and saved as a PNG.
#pragma once

#include "logic/face.h"
#include "logic/window_description.h"
#include "preview/tex.h"

#include <optional>
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
    // Two versions of the entry fileName, from the archives named oldArchive and newArchive,
    // shown one at a time in one place (the old first) at one zoom, which the larger of them
    // fits; Space shows the other, and the title says which is shown.
    void ShowComparison(const TTexImage &oldTexture, const std::string &oldArchive,
                        const TTexImage &newTexture, const std::string &newArchive,
                        const std::string &fileName);
    // Space: the other version, at the same zoom.
    void FlipClick();

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
    // The title while two versions are compared: which of them is shown, from which archive.
    static std::string ComparisonCaption(bool newShown, const std::string &archive, int percent);
    bool HasPicture() const { return texture_.Width > 0 && texture_.Height > 0; }
    // Whether two versions are shown, and whether the new one is the one in view.
    bool Comparing() const { return compared_.has_value(); }
    bool NewShown() const { return compared_ && compared_->NewShown; }

    TFileDialog savPng;

private:
    // The texture's own size where width × height fits the room, else the largest whole percent
    // that fits, at least 1.
    int FittedPercent(int width, int height) const;
    void SetZoom(int percent);
    // The title for what is shown now.
    std::string ShownCaption() const;

    // The version out of view while two are compared, and the archives' names.
    struct TCompared {
        TTexImage Other;
        std::string OldArchive, NewArchive;
        bool NewShown = false;
    };

    TTexView &view_;
    TDialogs &dialogs_;
    TTexImage texture_;
    std::string fileName_;
    int percent_ = 100;
    std::optional<TCompared> compared_;
};

} // namespace kvb::logic

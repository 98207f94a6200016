// The preview window's behaviour, whatever draws it: the texture previewed last, shown at its
// own size or enlarged by whole steps with its pixels kept sharp, and saved as a PNG.
#pragma once

#include "logic/face.h"
#include "preview/tex.h"

#include <string>

namespace kvb::logic {

// What the logic asks of the preview window.
class TTexView {
public:
    virtual ~TTexView() = default;
    // Shows texture zoom times its size (its client area that size), unscaled from the top-left
    // corner, each texel a sharp square; makes the window visible and brings it to the front.
    virtual void ShowPicture(const TTexImage &texture, int zoom) = 0;
};

class TTexViewLogic {
public:
    static constexpr int kMaxZoom = 8;

    TTexViewLogic(TTexView &view, TDialogs &dialogs);

    // The preview's texture, previewed from the file fileName (without folder); at its own size.
    void ShowTexture(const TTexImage &texture, const std::string &fileName);

    // Ctrl++, Ctrl+- and Ctrl+0: the picture at 1 to kMaxZoom times its size.
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    void mnuSavePngClick();

    int Zoom() const { return zoom_; }
    bool HasPicture() const { return texture_.Width > 0 && texture_.Height > 0; }

    TFileDialog savPng;

private:
    void SetZoom(int zoom);

    TTexView &view_;
    TDialogs &dialogs_;
    TTexImage texture_;
    std::string fileName_;
    int zoom_ = 1;
};

} // namespace kvb::logic

#include "logic/preview_window.h"

#include "preview/png_image.h"

namespace kvb::logic {

TTexViewLogic::TTexViewLogic(TTexView &view, TDialogs &dialogs)
    : savPng{"PNG images|*.png|All files|*.*", "png", {}}, view_(view), dialogs_(dialogs)
{
}

void TTexViewLogic::ShowTexture(const TTexImage &texture, const std::string &fileName)
{
    texture_ = texture;
    fileName_ = fileName;
    zoom_ = 1;
    view_.ShowPicture(texture_, zoom_);
}

void TTexViewLogic::SetZoom(int zoom)
{
    if (!HasPicture() || zoom < 1 || zoom > kMaxZoom || zoom == zoom_)
        return;
    zoom_ = zoom;
    view_.ShowPicture(texture_, zoom_);
}

void TTexViewLogic::ZoomIn()
{
    SetZoom(zoom_ + 1);
}

void TTexViewLogic::ZoomOut()
{
    SetZoom(zoom_ - 1);
}

void TTexViewLogic::ZoomReset()
{
    SetZoom(1);
}

void TTexViewLogic::mnuSavePngClick()
{
    if (!HasPicture())
        return;
    savPng.FileName = fileName_ + ".png";
    const std::optional<std::string> target = dialogs_.SaveFile(savPng);
    if (!target)
        return;
    WriteTexImageAsPng(texture_, *target);
}

} // namespace kvb::logic
